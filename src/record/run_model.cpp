#include "run_model.hpp"

#include "../digest/sha256.hpp"
#include "../intake/list_entries.hpp"
#include "../model/face_numbering.hpp"
#include "../run_state/run_state.hpp"

#include <map>

#include <TopTools_DataMapOfShapeInteger.hxx>

namespace {

// At most this many faces and vertices of a model go into its outline: enough to tell a moved
// model from a revised one, few enough that the outline of a model of 50,000 faces stays about
// a tenth of a megabyte.
constexpr std::size_t outlineSampleSize = 1024;

} // namespace

ModelFacts deriveModelFacts(const TopoDS_Shape& shape)
{
    ModelFacts facts;
    facts.outline = formatOutline(outlineModel(shape, outlineSampleSize));
    facts.outlineSha256 = sha256Hex(facts.outline);
    // Visits of one face in one orientation, as the matching of two revisions groups them.
    std::vector<TopoDS_Face> faces; // the first visit of each group
    std::vector<int> firsts;
    TopTools_DataMapOfShapeInteger seen; // keyed by IsSame; the value is the first group
    visitFaces(shape, [&](int number, const TopoDS_Face& face) {
        std::size_t group = faces.size();
        if (const Standard_Integer* first = seen.Seek(face)) {
            for (std::size_t g = std::size_t(*first); g < faces.size(); ++g) {
                if (faces[g].IsEqual(face)) {
                    group = g;
                    break;
                }
            }
        } else {
            seen.Bind(face, int(faces.size()));
        }
        if (group == faces.size()) {
            faces.push_back(face);
            firsts.push_back(number);
        }
        facts.firstVisits.push_back(firsts[group]);
    });
    return facts;
}

RunModel nameModelFile(const std::string& path, RunState* state)
{
    if (state) recordText(state->modelPath, path);
    enterPhase(state, RunPhase::reading);
    RunModel model;
    model.path = path;
    return model;
}

RunModel takeModelFile(const std::string& path, RunState* state)
{
    RunModel model = nameModelFile(path, state);
    model.file = hashFile(path);
    return model;
}

void keepModelFileRead(RunModel& model, const ModelFileRead& read)
{
    HashedFile& file = model.file;
    file = HashedFile();
    // A pipe's bytes are the reader's alone, as when they are taken in first.
    file.regular = read.opened.regular;
    if (!file.regular) return;
    file.device = read.opened.device;
    file.inode = read.opened.inode;
    file.modified = read.opened.modified;
    file.size = read.size;
    file.sha256 = read.sha256;
    if (file.sha256.empty()) file.problem = "cannot read '" + model.path + "' to its end";
}

std::string settleRunModel(RunModel& model, const TopoDS_Shape& shape)
{
    if (shape.IsNull()) return {};
    model.shape = shape;
    model.faceCount = visitFaces(shape, [](int, const TopoDS_Face&) {});
    if (!model.file.regular) return {};
    if (!model.file.problem.empty()) return model.file.problem;
    if (!isUnchanged(model.path, model.file)) {
        return "the STEP model '" + model.path +
               "' changed while it was read: no face file was written; run again";
    }
    return {};
}

const ModelOutline& wholeOutlineOf(RunModel& model)
{
    if (!model.wholeOutline) model.wholeOutline = outlineModel(model.shape, 0);
    return *model.wholeOutline;
}

std::vector<std::pair<int, FaceList>> listedFaces(const std::vector<ListFileNow>& lists,
                                                  int faceCount)
{
    std::map<int, FaceList> found;
    for (const ListFileNow& list : lists) {
        const FaceList kind =
            list.kind == DatasetFileKind::restraint ? FaceList::restraint : FaceList::force;
        for (const ListRecord& record : list.records) {
            if (!selectsFace(record.faceNumber, faceCount)) continue;
            FaceList& listed = found.emplace(int(record.faceNumber), kind).first->second;
            if (listed != kind) listed = FaceList::both;
        }
    }
    return {found.begin(), found.end()};
}

const FaceText& faceTextOf(RunModel& model, int number, const TopoDS_Face& face)
{
    FaceText& text = model.faceTexts[number];
    if (text.sha256.empty() || text.bytes.empty()) {
        text.bytes = faceFileBytes(face);
        text.sha256 = sha256Hex(text.bytes);
    }
    return text;
}

std::string takeFaceBytes(RunModel& model, int number, const TopoDS_Face& face)
{
    const auto made = model.faceTexts.find(number);
    if (made == model.faceTexts.end() || made->second.bytes.empty()) return faceFileBytes(face);
    // Written once, they need not stay in memory.
    return std::move(made->second.bytes);
}

FaceHashes hashListedFaces(RunModel& model, const std::vector<ListFileNow>& lists)
{
    const int faceCount = visitFaces(model.shape, [](int, const TopoDS_Face&) {});
    const std::vector<std::pair<int, FaceList>> listed = listedFaces(lists, faceCount);
    FaceHashes hashes;
    auto next = listed.begin();
    visitFaces(model.shape, [&](int number, const TopoDS_Face& face) {
        if (next == listed.end() || next->first != number) return;
        ++next;
        hashes.emplace_back(number, faceTextOf(model, number, face).sha256);
    });
    return hashes;
}
