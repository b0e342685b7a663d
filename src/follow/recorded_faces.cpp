#include "recorded_faces.hpp"

#include "outline_moves.hpp"

#include "../record/sha256.hpp"

#include <algorithm>
#include <cerrno>
#include <fstream>
#include <map>
#include <set>
#include <sstream>

#include <BRepTools.hxx>
#include <BRep_Builder.hxx>
#include <Standard_Failure.hxx>
#include <TopoDS.hxx>
#include <TopoDS_Compound.hxx>

namespace {

FaceMatch unsureAnswer(int number, const std::string& reason)
{
    FaceMatch match;
    match.oldNumber = number;
    match.kind = MatchKind::unsure;
    match.reason = reason;
    return match;
}

// The face that the face file at `path` held at the last run, or why it cannot be had.
bool readRecordedFace(const std::string& path, const std::string& sha256, TopoDS_Face& face,
                      std::string& reason)
{
    std::ifstream file(path, std::ios::binary);
    if (!file.is_open()) {
        reason = "its face file from the last run, '" + path + "', is missing";
        return false;
    }
    std::ostringstream bytes;
    bytes << file.rdbuf();
    if (file.bad() || sha256Hex(bytes.str()) != sha256) {
        reason = "its face file from the last run, '" + path + "', has changed since";
        return false;
    }
    try {
        std::istringstream text(bytes.str());
        std::string header;
        std::getline(text, header); // the line BRepTools::Write puts before the shape in a file
        TopoDS_Shape shape;
        BRepTools::Read(shape, text, BRep_Builder());
        if (!shape.IsNull() && shape.ShapeType() == TopAbs_FACE) {
            face = TopoDS::Face(shape);
            return true;
        }
    } catch (const Standard_Failure&) {
    }
    reason = "its face file from the last run, '" + path + "', holds no face the library reads";
    return false;
}

// Faces of the old model that are not at hand may have been merged into a new face that a face
// at hand became: the matching would call that face changed (or split, with such a face among
// its pieces), where with every old face it says merged. A face whose new faces cover more
// than it did is therefore unsure; a face that a hole, a fillet or a split took from is not.
void doubtGrownFaces(const std::vector<SampledFace>& oldFaces,
                     const std::vector<SampledFace>& newFaces, const Bnd_Box& oldBounds,
                     std::vector<FaceMatch>& matches)
{
    Bnd_Box whole = oldBounds;
    for (const auto* faces : {&oldFaces, &newFaces}) {
        for (const SampledFace& face : *faces) whole.Add(face.box);
    }
    const MatchTolerance tolerance = measureTolerance(whole);
    std::map<int, const SampledFace*> oldByVisit, newByVisit;
    for (const SampledFace& face : oldFaces) {
        for (const int visit : face.visits) oldByVisit[visit] = &face;
    }
    for (const SampledFace& face : newFaces) {
        for (const int visit : face.visits) newByVisit[visit] = &face;
    }
    for (FaceMatch& match : matches) {
        if (match.kind != MatchKind::changed && match.kind != MatchKind::split) continue;
        const SampledFace* oldFace = oldByVisit[match.oldNumber];
        std::set<const SampledFace*> pieces;
        for (const int number : match.newNumbers) pieces.insert(newByVisit[number]);
        if (!oldFace || pieces.count(nullptr)) continue;
        double area = 0, margin = 1e-6 * oldFace->area;
        for (const SampledFace* piece : pieces) {
            area += piece->area;
            margin += pairTolerance(tolerance, oldFace->tolerance, piece->tolerance) *
                      (oldFace->perimeter + piece->perimeter);
        }
        if (area <= oldFace->area + margin) continue;
        match.kind = MatchKind::unsure;
        match.reason = "its new face" + std::string(pieces.size() == 1 ? " covers" : "s cover") +
                       " more than it did, and the faces of the old model beside it, which may "
                       "have been merged into " + (pieces.size() == 1 ? "it" : "them") +
                       ", are not at hand: compare with the old model file (--since)";
        match.newNumbers.clear();
    }
}

} // namespace

const std::vector<SampledFace>& sampledFacesOf(SampledModel& model)
{
    if (!model.faces) model.faces = sampleModelFaces(model.model->shape);
    return *model.faces;
}

std::vector<FaceMatch> followRecordedFaces(const std::string& root, const RunRecord& record,
                                           const RecordedOutline& outline,
                                           const std::vector<int>& numbers, SampledModel& model)
{
    std::map<int, FaceMatch> answers;
    // The old faces, one for each group of visits, as the matching of two models sees them.
    std::vector<const RecordedFace*> groups;
    std::vector<TopoDS_Face> faces;
    std::map<std::vector<int>, std::size_t> groupOf;
    for (const int number : numbers) {
        const RecordedFace* recorded = findRecordedFace(record, number);
        if (!recorded) {
            answers[number] = unsureAnswer(number, "the record of the last run does not name it");
            continue;
        }
        if (groupOf.count(recorded->visits)) continue;
        TopoDS_Face face;
        std::string reason;
        if (!readRecordedFace(dataFilePath(root, recorded->file), recorded->sha256, face, reason)) {
            answers[number] = unsureAnswer(number, reason);
            continue;
        }
        groupOf[recorded->visits] = groups.size();
        groups.push_back(recorded);
        faces.push_back(face);
    }

    std::vector<FaceMatch> matches;
    if (!groups.empty() && !outline.read) {
        for (const RecordedFace* group : groups) {
            for (const int visit : group->visits) {
                matches.push_back(unsureAnswer(
                    visit, "the whole old model cannot be told from a moved one: " +
                               outline.problem));
            }
        }
    } else if (!groups.empty()) {
        BRep_Builder builder;
        TopoDS_Compound compound;
        builder.MakeCompound(compound);
        for (const TopoDS_Face& face : faces) builder.Add(compound, face);
        std::vector<SampledFace> oldFaces = sampleModelFaces(compound);
        // Distinct files hold distinct faces: one entry each, in order, numbered as in the model.
        for (std::size_t i = 0; i < oldFaces.size() && i < groups.size(); ++i) {
            oldFaces[i].visits = groups[i]->visits;
        }
        const ModelOutline& newOutline = wholeOutlineOf(*model.model);
        const Bnd_Box oldBounds = outlineBounds(outline.outline);
        // By place alone: with only the listed faces at hand, a motion or a neighbourhood
        // could be found from too little; the outline below guards against a moved model.
        MatchOptions options;
        options.followMotion = false;
        options.findReshaped = false;
        options.oldModelBounds = oldBounds;
        matches = compareRevisions(oldFaces, sampledFacesOf(model), options).faces;
        doubtGrownFaces(oldFaces, sampledFacesOf(model), oldBounds, matches);
        Bnd_Box both = oldBounds;
        both.Add(outlineBounds(newOutline));
        const std::string moved =
            findOutlineMove(outline.outline, newOutline, measureTolerance(both));
        if (!moved.empty()) doubtAnswers(matches, moved);
    }
    for (const FaceMatch& match : matches) {
        if (!answers.count(match.oldNumber)) answers[match.oldNumber] = match;
    }
    std::vector<FaceMatch> found;
    for (const int number : numbers) {
        const auto answer = answers.find(number);
        found.push_back(answer != answers.end()
                            ? answer->second
                            : unsureAnswer(number, "the record of the last run does not name it"));
    }
    return found;
}
