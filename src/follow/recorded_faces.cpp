#include "recorded_faces.hpp"

#include "outline_moves.hpp"

#include "../record/sha256.hpp"

#include <algorithm>
#include <cerrno>
#include <fstream>
#include <map>
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

} // namespace

const std::vector<SampledFace>& sampledFacesOf(SampledModel& model)
{
    if (!model.faces) model.faces = sampleModelFaces(model.model->shape);
    return *model.faces;
}

std::vector<FaceMatch> followRecordedFaces(const std::string& root, const RecordReading& reading,
                                           const std::vector<int>& numbers, SampledModel& model)
{
    const RunRecord& record = reading.record;
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
    if (!groups.empty() && !reading.outlineRead) {
        for (const RecordedFace* group : groups) {
            for (const int visit : group->visits) {
                matches.push_back(unsureAnswer(
                    visit, "the whole old model cannot be told from a moved one: " +
                               reading.outlineProblem));
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
        const Bnd_Box oldBounds = outlineBounds(reading.outline);
        matches = matchRevisions(oldFaces, sampledFacesOf(model), oldBounds);
        Bnd_Box both = oldBounds;
        both.Add(outlineBounds(newOutline));
        const std::string moved =
            findOutlineMove(reading.outline, newOutline, measureTolerance(both));
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
