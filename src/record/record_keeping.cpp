#include "record_keeping.hpp"

#include "../console/error_printer.hpp"
#include "../digest/sha256.hpp"
#include "../intake/list_entries.hpp"
#include "../model/face_numbering.hpp"
#include "../paths/file_names.hpp"
#include "../paths/file_status.hpp"
#include "../run_state/run_state.hpp"

#include <algorithm>
#include <cerrno>
#include <map>

#include <unistd.h>

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

RunRecord makeRunRecord(const RunModel& model, const std::vector<ListFileNow>& lists,
                        const FaceHashes& hashes, const std::string& outlineSha256)
{
    std::optional<ModelFacts> derived;
    const ModelFacts& facts =
        model.facts ? *model.facts : derived.emplace(deriveModelFacts(model.shape));
    return recordRun(model, lists, hashes, facts.firstVisits, outlineSha256);
}

std::vector<UntrueFaceFile> findUntrueFaceFiles(const std::string& root, const RunRecord& before,
                                                const RunRecord& after)
{
    std::vector<UntrueFaceFile> untrue;
    for (const RecordedFace& face : before.faces) {
        const RecordedFace* now = findRecordedFace(after, face.number);
        if (now && now->file == face.file && now->sha256 == face.sha256) continue;
        const std::string path = dataFilePath(root, face.file);
        FileStatus status;
        std::string bytes, problem;
        // Only what a run wrote: the export never leaves a link at a face file's name.
        if (linkStatusOf(path, status) != 0 || !status.regular ||
            readRegularFile(path, bytes, problem) != FileReading::read ||
            sha256Hex(bytes) != face.sha256) {
            continue;
        }
        untrue.push_back({path, std::move(bytes), now != nullptr});
    }
    return untrue;
}

RemovedFaceFiles countRemovedFaceFiles(const std::vector<UntrueFaceFile>& files)
{
    RemovedFaceFiles removed;
    for (const UntrueFaceFile& file : files) ++(file.listed ? removed.changed : removed.unlisted);
    return removed;
}

RemovedFaceFiles removeUntrueFaceFiles(const std::string& root, const RunRecord& before,
                                       const RunRecord& after)
{
    std::vector<UntrueFaceFile> removed;
    std::vector<std::string> problems;
    for (UntrueFaceFile& file : findUntrueFaceFiles(root, before, after)) {
        const int error = removeFile(file.path);
        if (error == 0) {
            removed.push_back(std::move(file));
            continue;
        }
        problems.push_back("cannot remove '" + file.path + "', which the last run wrote and " +
                           "which no longer holds a listed face of the model: " +
                           systemReason(error));
    }
    RemovedFaceFiles counted = countRemovedFaceFiles(removed);
    counted.problems = std::move(problems);
    return counted;
}

std::string describeRemovedFaceFiles(const RemovedFaceFiles& removed, const std::string& root)
{
    std::string note;
    if (removed.unlisted > 0) {
        note = std::to_string(removed.unlisted) +
               (removed.unlisted == 1 ? " face file" : " face files") +
               " that a run wrote for faces no list names now";
    }
    if (removed.changed > 0) {
        const bool one = removed.changed == 1;
        const std::string count = std::to_string(removed.changed);
        note += (note.empty() ? count + (one ? " face file" : " face files") : ", and " + count) +
                (one ? " whose number names another face now" : " whose numbers name other faces "
                                                                "now") +
                " (tarnfold " + root + " writes " + (one ? "it" : "them") + " anew)";
    }
    return note.empty() ? note : "removed " + note;
}

std::string composeRunRecord(const std::string& root, const RunModel& model,
                             const std::vector<ListFileNow>& lists, const FaceHashes& hashes,
                             RecordTexts& texts, RunRecord* made)
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
    texts.outline = facts.outline;
    const RunRecord record = recordRun(model, lists, hashes, facts.firstVisits, facts.outlineSha256);
    texts.record = formatRunRecord(record);
    if (made) *made = record;
    return {};
}

std::string keepRunRecord(const std::string& root, const RunModel& model,
                          const std::vector<ListFileNow>& lists, const FaceHashes& hashes,
                          RunState* state, RemovedFaceFiles* removed)
{
    RecordTexts texts;
    RunRecord record;
    const std::string composed = composeRunRecord(root, model, lists, hashes, texts, &record);
    if (!composed.empty() || texts.record.empty()) return composed;
    // Before the record that would no longer name them: a run stopped in between leaves the
    // old record, which names them as missing, never a file that no record explains.
    const RecordReading last = readRunRecord(root);
    RemovedFaceFiles untrue;
    if (last.exists && last.problem.empty()) untrue = removeUntrueFaceFiles(root, last.record, record);
    if (removed) *removed = untrue;
    const std::string problem = writeRunRecord(root, texts.record, texts.outline, state);
    if (problem.empty() && !removed && !untrue.problems.empty()) return untrue.problems.front();
    return problem;
}
