#include "recorded_faces.hpp"

#include "../match/outline_moves.hpp"

#include "../digest/sha256.hpp"
#include "../model/face_export.hpp"
#include "../model/face_numbering.hpp"

#include <algorithm>
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
    std::string bytes, problem;
    const FileReading read = readRegularFile(path, bytes, problem);
    if (read != FileReading::read) {
        reason = "its face file '" + path + "' " +
                 (read == FileReading::absent ? "is missing" : "cannot be read: " + problem);
        return false;
    }
    if (sha256Hex(bytes) != sha256) {
        reason = "its face file '" + path + "' has changed since the last run";
        return false;
    }
    try {
        std::istringstream text(bytes);
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
    reason = "its face file '" + path + "' holds no face the library reads";
    return false;
}

// The numbers whose face now would be written byte for byte as `record` recorded it.
std::set<int> findSameBytes(const RunRecord& record, const std::vector<int>& numbers,
                            RunModel& model)
{
    std::set<int> wanted, same;
    for (const int number : numbers) {
        if (findRecordedFace(record, number)) wanted.insert(number);
    }
    if (wanted.empty()) return same;
    visitFaces(model.shape, [&](int number, const TopoDS_Face& face) {
        if (!wanted.count(number)) return;
        if (faceTextOf(model, number, face).sha256 == findRecordedFace(record, number)->sha256) {
            same.insert(number);
        }
    });
    return same;
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
                                           const std::vector<int>& numbers, SampledModel& model,
                                           bool guardMoves)
{
    std::map<int, FaceMatch> answers;
    // The same bytes are the same face, wherever the rest of the model went.
    for (const int number : findSameBytes(record, numbers, *model.model)) {
        FaceMatch& same = answers[number];
        same.oldNumber = number;
        same.kind = MatchKind::same;
        same.newNumbers = {number};
        same.kept = 1;
    }
    // The old faces, one for each group of visits, as the matching of two models sees them.
    std::vector<const RecordedFace*> groups;
    std::vector<TopoDS_Face> faces;
    std::map<std::vector<int>, std::size_t> groupOf;
    for (const int number : numbers) {
        if (answers.count(number)) continue;
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

    // A moved or replaced model may bring another face to where a listed one was: then no
    // place tells, and nothing is matched.
    std::string untold;
    RecordedOutline outline;
    if (!groups.empty() && guardMoves) {
        outline = readRecordedOutline(root, record);
        if (!outline.read) {
            untold = "the whole old model cannot be told from a moved one: " + outline.problem;
        } else {
            const ModelOutline& newOutline = wholeOutlineOf(*model.model);
            Bnd_Box both = outlineBounds(outline.outline);
            both.Add(outlineBounds(newOutline));
            untold = findOutlineMove(outline.outline, newOutline, measureTolerance(both));
        }
    }
    std::vector<FaceMatch> matches;
    if (!untold.empty()) {
        for (const RecordedFace* group : groups) {
            for (const int visit : group->visits) matches.push_back(unsureAnswer(visit, untold));
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
        Bnd_Box oldBounds;
        if (guardMoves) {
            oldBounds = outlineBounds(outline.outline);
        } else {
            for (const SampledFace& face : oldFaces) oldBounds.Add(face.box);
        }
        // By place alone: with only the listed faces at hand, a motion or a neighbourhood
        // could be found from too little; the outline above guards against a moved model.
        MatchOptions options;
        options.followMotion = false;
        options.findReshaped = false;
        options.oldModelBounds = oldBounds;
        matches = compareRevisions(oldFaces, sampledFacesOf(model), options).faces;
        doubtGrownFaces(oldFaces, sampledFacesOf(model), oldBounds, matches);
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

std::string describeFaceAnswer(int number, const FaceMatch& answer)
{
    std::string numbers;
    for (const int n : answer.newNumbers) numbers += (numbers.empty() ? "" : ", ") + std::to_string(n);
    switch (answer.kind) {
    case MatchKind::same:
        if (answer.newNumbers == std::vector<int>{number}) return {};
        return "it is face " + numbers + " now";
    case MatchKind::changed: return "it changed, and is face " + numbers + " now";
    case MatchKind::split: return "it was split into faces " + numbers;
    case MatchKind::merged: return "it was merged into face " + numbers;
    case MatchKind::gone: return "it is gone: " + answer.reason;
    case MatchKind::reshaped: return "it was reshaped into face " + numbers + ": " + answer.reason;
    case MatchKind::unsure: break;
    }
    return "it cannot be told: " + answer.reason;
}
