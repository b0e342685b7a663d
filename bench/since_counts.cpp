// The faces of a pair of revisions followed through the tool's own import and matching, and
// counted against what the modelling history says became of them.
#include "since_counts.hpp"

#include "match/face_sampling.hpp"
#include "match/revision_match.hpp"
#include "model/step_import.hpp"

#include <fstream>
#include <sstream>

#include <BRepGProp.hxx>
#include <GProp_GProps.hxx>
#include <IFSelect_ReturnStatus.hxx>
#include <Interface_Static.hxx>
#include <STEPControl_Reader.hxx>
#include <STEPControl_Writer.hxx>

namespace {

// Writes `shape` as one STEP root, quietly; false when the writer fails.
bool writeStep(const TopoDS_Shape& shape, const fs::path& path)
{
    const int saved = silenceStdout();
    STEPControl_Writer writer;
    Interface_Static::SetCVal("write.step.schema", "AP214IS");
    const bool written = writer.Transfer(shape, STEPControl_AsIs) == IFSelect_RetDone &&
                         writer.Write(path.c_str()) == IFSelect_RetDone;
    restoreStdout(saved);
    return written;
}

// The STEP file at `path` with its reals cut to `digits` significant digits.
bool roundFile(const fs::path& path, int digits)
{
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    std::ofstream out(path, std::ios::trunc);
    out << roundReals(text.str(), digits);
    return in && out.flush();
}

// The faces of the model in `path` as the tool reads and samples them, with a check that they
// are those of `shape` in the same order (else the history's numbers would not hold for them),
// their centres within `slack` of where they were for each unit of their size.
bool readBack(const fs::path& path, const TopoDS_Shape& shape, std::vector<SampledFace>& faces,
              double slack = 1e-6)
{
    STEPControl_Reader reader;
    std::string error;
    const int saved = silenceStdout();
    const TopoDS_Shape read = importStepModel(reader, path.string(), error);
    restoreStdout(saved);
    if (!error.empty()) return false;
    const std::vector<TopoDS_Face> expected = numberedFaces(shape), found = numberedFaces(read);
    if (expected.size() != found.size()) return false;
    for (std::size_t i = 0; i < expected.size(); ++i) {
        GProp_GProps a, b;
        BRepGProp::SurfaceProperties(expected[i], a);
        BRepGProp::SurfaceProperties(found[i], b);
        if (a.CentreOfMass().Distance(b.CentreOfMass()) > slack * (1 + std::sqrt(a.Mass()))) {
            return false;
        }
    }
    faces = sampleModelFaces(read);
    return true;
}

std::string describe(const FaceMatch& match)
{
    std::string text = matchKindName(match.kind);
    for (const int n : match.newNumbers) text += " " + std::to_string(n);
    return text;
}

} // namespace

void countFollowed(const RevisionPair& pair, const fs::path& work, FollowCount& count)
{
    const Revision& revision = pair.revision;
    const fs::path before = work / "before.step", after = work / "after.step";
    std::vector<SampledFace> oldFaces, newFaces;
    if (!writeStep(revision.before, before) || !writeStep(revision.after, after) ||
        (pair.digits > 0 && !roundFile(after, pair.digits)) ||
        !readBack(before, revision.before, oldFaces) ||
        !readBack(after, revision.after, newFaces, pair.digits > 0 ? 1e-4 : 1e-6)) {
        ++count.skipped;
        count.notes.push_back(pair.name + ": skipped, its STEP files do not read back as written");
        return;
    }
    ++count.pairs;
    const std::vector<Truth> truths = truthOf(revision);
    const RevisionMatch match = compareRevisions(oldFaces, newFaces);
    // Matching by place alone, as before the search for a motion and the reshaped faces.
    MatchOptions byPlace;
    byPlace.followMotion = false;
    byPlace.findReshaped = false;
    const RevisionMatch plain = compareRevisions(oldFaces, newFaces, byPlace);
    for (std::size_t i = 0; i < match.faces.size() && i < truths.size(); ++i) {
        const FaceMatch& answer = match.faces[i];
        const Truth& truth = truths[i];
        ++count.faces;
        const bool right = truth.kind != "gone" && answer.newNumbers == truth.numbers;
        KindCount& kind = count.kinds[truth.kind];
        ++kind.faces;
        if (truth.kind == "gone" && answer.kind == MatchKind::gone) ++kind.right;
        if (isCertain(answer.kind)) {
            (right ? count.followed : count.wrong) += 1;
            (right ? kind.right : kind.wrong) += 1;
        }
        if (isCertain(answer.kind) ? !right : count.listUncertain) {
            const std::string reason = answer.reason.empty() ? "" : " (" + answer.reason + ")";
            count.notes.push_back(pair.name + ": face " + std::to_string(i + 1) + " " +
                                  describe(answer) + reason + ", the history says " + truth.kind);
        }
        if (truth.kind == "reshaped") {
            ++count.onChangedSurfaces;
            if (answer.kind == MatchKind::reshaped && right) ++count.reshaped;
        } else if (match.motion.empty() && (answer.kind != plain.faces[i].kind ||
                                            answer.newNumbers != plain.faces[i].newNumbers)) {
            ++count.otherAnswersChanged;
        }
    }
}
