#include "list_accept.hpp"

#include "dataset_models.hpp"
#include "../binding/bound_entries.hpp"

#include "../console/error_printer.hpp"
#include "../console/library_messages.hpp"
#include "../intake/list_entries.hpp"
#include "../output/table_fields.hpp"
#include "../record/record_keeping.hpp"
#include "../run_state/run_state.hpp"
#include "../run/worker.hpp"

#include <algorithm>
#include <map>
#include <set>
#include <tuple>

namespace {

// What each entry that selects a face was bound to before: one table row each, in reading order.
std::string formatAcceptedRows(const BoundEntries& entries, const FaceHashes& hashes,
                               int faceCount)
{
    const std::map<int, std::string> now(hashes.begin(), hashes.end());
    std::set<std::pair<const ListFileNow*, std::size_t>> bound;
    for (const ListEntry& entry : entries.bound) bound.insert({entry.list, entry.index});
    std::vector<ListEntry> all = entries.bound;
    all.insert(all.end(), entries.unbound.begin(), entries.unbound.end());
    // By list name, as the record names them, not in the order a directory happens to list.
    std::sort(all.begin(), all.end(), [](const ListEntry& a, const ListEntry& b) {
        return std::tie(a.list->name, a.index) < std::tie(b.list->name, b.index);
    });
    std::string text = "list\tline\tface\tbefore\n";
    for (const ListEntry& entry : all) {
        if (!selectsFace(entryNumber(entry), faceCount)) continue;
        const int number = int(entryNumber(entry));
        std::string before = "none";
        if (!entries.problem.empty()) {
            before = "-";
        } else if (bound.count({entry.list, entry.index})) {
            const RecordedFace* face = findRecordedFace(entries.record, number);
            const auto hash = now.find(number);
            before = face && hash != now.end() && face->sha256 == hash->second ? "same" : "other";
        }
        text += escapeField(entry.list->name) + "\t" +
                std::to_string(entry.list->records[entry.index].line) + "\t" +
                std::to_string(number) + "\t" + before + "\n";
    }
    return text;
}

} // namespace

int acceptDatasetLists(FollowedDataset& dataset, RunState* state, std::ostream& out,
                       std::ostream& err)
{
    const auto finish = [&] { return endFollowing({dataset}, state, err); };
    if (dataset.done) return finish();
    sendLibraryMessagesToStderr();
    installLibrarySignalHandlers();
    const std::string& root = dataset.root;
    STEPControl_Reader reader;
    RunModel model;
    std::string problem = readGroupModel({&dataset}, true, "", model, reader, state, err);
    if (problem.empty() && !model.file.regular) {
        problem = "the model '" + model.path + "' is not a regular file: no record can name " +
                  "its bytes, and so none can bind the lists to it";
    }
    if (!problem.empty()) {
        reportProblems(err, {problem}, dataset.complete);
        return finish();
    }
    enterPhase(state, RunPhase::checking);
    const std::vector<ListFileNow> lists = readListFiles(root);
    const BoundEntries entries = findBoundEntries(root, lists);
    const FaceHashes hashes = hashListedFaces(model, lists);
    out << formatAcceptedRows(entries, hashes, model.faceCount) << std::flush;
    if (!out) reportProblems(err, {"cannot write the table to standard output"}, dataset.complete);
    for (const auto& [list, name] : {std::pair{&dataset.inputs.forceFaces, "force"},
                                     std::pair{&dataset.inputs.restraintFaces, "restraint"}}) {
        reportProblems(err, describeUnselectedEntries(*list, name, model.faceCount),
                       dataset.complete);
    }
    if (!entries.problem.empty()) printNote(err, entries.problem + "; it is written anew");

    enterPhase(state, RunPhase::recording);
    RemovedFaceFiles removed;
    problem = keepRunRecord(root, model, lists, hashes, state, &removed);
    if (!problem.empty()) {
        reportProblems(err, {problem}, dataset.complete);
        return finish();
    }
    const std::string note = describeRemovedFaceFiles(removed, root);
    if (!note.empty()) printNote(err, note);
    reportProblems(err, removed.problems, dataset.complete);
    printNote(err, "the " + std::to_string(hashes.size()) +
                   (hashes.size() == 1 ? " face the lists name is" : " faces the lists name are") +
                   " bound to the model '" + model.path + "' as it is now, recorded in '" +
                   dataFilePath(root, recordFileName) + "'; tarnfold " + root +
                   " writes their face files");
    return finish();
}
