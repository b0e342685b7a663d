#include "record_keeping.hpp"

#include "sha256.hpp"

#include "../intake/list_entries.hpp"
#include "../model/face_numbering.hpp"
#include "../run/run_state.hpp"

#include <algorithm>
#include <map>

#include <Standard_Version.hxx>
#include <TopTools_DataMapOfShapeInteger.hxx>

namespace {

// At most this many faces and vertices of a model go into its outline: enough to tell a moved
// model from a revised one, few enough that the outline of a model of 50,000 faces stays about
// a tenth of a megabyte.
constexpr std::size_t outlineSampleSize = 1024;

// Every number of each listed face, in the orientation it is listed in.
std::map<int, std::vector<int>> findVisits(const std::vector<int>& firstVisits,
                                           const std::vector<int>& numbers)
{
    std::map<int, std::vector<int>> byFirst; // the visits of each listed face's group
    for (const int number : numbers) {
        if (number >= 1 && std::size_t(number) <= firstVisits.size()) {
            byFirst[firstVisits[std::size_t(number) - 1]];
        }
    }
    for (std::size_t i = 0; i < firstVisits.size(); ++i) {
        const auto group = byFirst.find(firstVisits[i]);
        if (group != byFirst.end()) group->second.push_back(int(i) + 1);
    }
    std::map<int, std::vector<int>> found;
    for (const int number : numbers) {
        if (number >= 1 && std::size_t(number) <= firstVisits.size()) {
            found[number] = byFirst[firstVisits[std::size_t(number) - 1]];
        }
    }
    return found;
}

// The record of a run of `lists` on `model`, its faces' visits grouped as `firstVisits` says.
RunRecord recordRun(const RunModel& model, const std::vector<ListFileNow>& lists,
                    const FaceHashes& hashes, const std::vector<int>& firstVisits,
                    const std::string& outlineSha256)
{
    RunRecord record;
    record.toolVersion = toolVersion();
    record.libraryVersion = libraryVersion();
    record.modelPath = model.path;
    record.modelSize = model.file.size;
    record.modelSha256 = model.file.sha256;
    record.modelFaces = model.faceCount;
    record.outlineSha256 = outlineSha256;
    for (const ListFileNow& list : lists) {
        if (list.read) record.lists.push_back({list.name, list.sha256});
    }
    std::sort(record.lists.begin(), record.lists.end(),
              [](const RecordedList& a, const RecordedList& b) { return a.name < b.name; });
    const std::vector<std::pair<int, FaceList>> listed = listedFaces(lists, model.faceCount);
    std::vector<int> numbers;
    for (const auto& [number, list] : listed) numbers.push_back(number);
    std::map<int, std::vector<int>> visits = findVisits(firstVisits, numbers);
    for (const auto& [number, list] : listed) {
        const auto hash = std::lower_bound(
            hashes.begin(), hashes.end(), number,
            [](const std::pair<int, std::string>& h, int n) { return h.first < n; });
        if (hash == hashes.end() || hash->first != number) continue;
        record.faces.push_back({number, list, visits[number],
                                "face" + std::to_string(number) + ".brep", hash->second});
    }
    return record;
}

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

const char* libraryVersion()
{
    return OCC_VERSION_COMPLETE;
}

const char* toolVersion()
{
    return TARNFOLD_VERSION;
}

std::string describeModelChange(const RunRecord& record, const RunModel& model)
{
    if (!model.file.regular) {
        return "the model is not a regular file, and cannot be told to be the one of the last run";
    }
    // Other versions may number the same bytes otherwise.
    if (record.modelSha256 != model.file.sha256) return "the model changed since the last run";
    if (record.libraryVersion != libraryVersion()) {
        return "OpenCASCADE changed since the last run (" + record.libraryVersion + " then, " +
               libraryVersion() + " now)";
    }
    if (record.toolVersion != toolVersion()) {
        return "tarnfold changed since the last run (" + record.toolVersion + " then, " +
               toolVersion() + " now)";
    }
    return {};
}

RunModel takeModelFile(const std::string& path, RunState* state)
{
    if (state) recordText(state->modelPath, path);
    enterPhase(state, RunPhase::reading);
    RunModel model;
    model.path = path;
    model.file = hashFile(path);
    return model;
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

FaceHashes hashListedFaces(const TopoDS_Shape& shape, const std::vector<ListFileNow>& lists)
{
    const int faceCount = visitFaces(shape, [](int, const TopoDS_Face&) {});
    const std::vector<std::pair<int, FaceList>> listed = listedFaces(lists, faceCount);
    FaceHashes hashes;
    auto next = listed.begin();
    visitFaces(shape, [&](int number, const TopoDS_Face& face) {
        if (next == listed.end() || next->first != number) return;
        ++next;
        hashes.emplace_back(number, sha256Hex(faceFileBytes(face)));
    });
    return hashes;
}

RunRecord makeRunRecord(const RunModel& model, const std::vector<ListFileNow>& lists,
                        const FaceHashes& hashes, const std::string& outlineSha256)
{
    std::optional<ModelFacts> derived;
    const ModelFacts& facts =
        model.facts ? *model.facts : derived.emplace(deriveModelFacts(model.shape));
    return recordRun(model, lists, hashes, facts.firstVisits, outlineSha256);
}

std::string keepRunRecord(const std::string& root, const RunModel& model,
                          const std::vector<ListFileNow>& lists, const FaceHashes& hashes,
                          RunState* state)
{
    if (!model.file.regular) return {};
    // The faces written came from the lists as the walk read them; the record names the lists
    // as read again here. Should the two disagree, a list changed in between.
    const std::vector<std::pair<int, FaceList>> listed = listedFaces(lists, model.faceCount);
    bool agree = listed.size() == hashes.size();
    for (std::size_t i = 0; agree && i < listed.size(); ++i) {
        agree = listed[i].first == hashes[i].first;
    }
    if (!agree) {
        return "the lists of '" + root +
               "' changed while they were read: no record of this run was kept; run again";
    }
    std::optional<ModelFacts> derived;
    const ModelFacts& facts =
        model.facts ? *model.facts : derived.emplace(deriveModelFacts(model.shape));
    return writeRunRecord(root,
                          recordRun(model, lists, hashes, facts.firstVisits, facts.outlineSha256),
                          facts.outline, state);
}
