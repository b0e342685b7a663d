#include "record_keeping.hpp"

#include "../console/error_printer.hpp"
#include "../digest/sha256.hpp"
#include "../intake/list_entries.hpp"
#include "../paths/file_names.hpp"
#include "../paths/file_status.hpp"

#include <algorithm>
#include <cerrno>
#include <map>

#include <unistd.h>

#include <Standard_Version.hxx>

namespace {

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
