#include "record_follow.hpp"

#include "bound_entries.hpp"
#include "dataset_models.hpp"
#include "list_rewrite.hpp"
#include "recorded_faces.hpp"

#include "../console/error_printer.hpp"
#include "../console/library_messages.hpp"
#include "../intake/list_entries.hpp"
#include "../run/run_state.hpp"
#include "../run/worker.hpp"

#include <iostream>
#include <map>
#include <set>

namespace {

// Whether anything tells what the lists were written for, said at once, before any model is
// read: a record that can be read, or without one, face files of an earlier run.
void checkSomethingBinds(FollowedDataset& dataset)
{
    const BoundEntries entries = findBoundEntries(dataset.root, readListFiles(dataset.root));
    std::string problem = entries.problem;
    if (!problem.empty()) {
        problem += "; tarnfold-faces " + dataset.root + " --accept binds the lists to the " +
                   "model as it is now and writes it anew";
    } else if (!entries.recorded && entries.bound.empty()) {
        problem = "'" + dataFilePath(dataset.root, recordFileName) + "' does not exist, and no "
                  "listed face has a face file of an earlier run: nothing tells what the lists "
                  "were written for; run tarnfold on the dataset, or name the model they were "
                  "written for with --since OLD.step";
    }
    if (problem.empty()) return;
    reportProblems({problem}, dataset.complete);
    dataset.done = true;
}

// Without a record, a carry took the face files of an earlier run for the old faces, and
// renewed the record: those that no longer hold the face their number names are removed, as a
// run removes its own.
void forgetFollowedFaceFiles(FollowedDataset& dataset, const RunRecord& followed)
{
    const RecordReading renewed = readRunRecord(dataset.root);
    if (!renewed.exists || !renewed.problem.empty()) return; // nothing was carried
    const RemovedFaceFiles removed = removeUntrueFaceFiles(dataset.root, followed, renewed.record);
    const std::string note = describeRemovedFaceFiles(removed, dataset.root);
    if (!note.empty()) printNote(note);
    reportProblems(removed.problems, dataset.complete);
}

// Follows one dataset of the group whose model is `model`, sampled once for the whole group.
void followDataset(const FollowRequest& request, FollowedDataset& dataset, SampledModel& sampled,
                   MatchTableOutput& table, RunState* state)
{
    const std::string& root = dataset.root;
    if (state) recordText(state->datasetRoot, root);
    RunModel& model = *sampled.model;
    // Each dataset's record names the model as its own address.txt does.
    model.path = dataset.inputs.modelPath;
    const std::vector<ListFileNow> lists = readListFiles(root);
    const BoundEntries entries = findBoundEntries(root, lists);
    const RunRecord& record = entries.record;
    const std::string recordPath = dataFilePath(root, recordFileName);
    // Unless the dataset changed since the look before the model was read.
    if (!entries.problem.empty() || (!entries.recorded && entries.bound.empty())) {
        reportProblems({"the lists or the record of '" + root + "' changed while they were "
                        "followed; follow again"},
                       dataset.complete);
        return;
    }
    if (entries.recorded && describeModelChange(record, model).empty()) {
        printMatchHeader(table);
        std::cout << std::flush;
        printNote((table.withDataset ? "'" + root + "': " : std::string()) +
                  "nothing to follow: the model is the one the lists were last run on, recorded "
                  "in '" + recordPath + "'");
        return;
    }
    if (!entries.recorded) {
        printNote("'" + recordPath + "' is missing: the face files of an earlier run stand for "
                  "the faces the lists were written for");
    }
    printNotes(describeUnboundEntries(entries, model.faceCount, true));

    // Exactly the entries the check of a run checks: the others stay as they are.
    std::vector<std::string> carried;
    KeptEntries kept;
    DatasetInputs listed;
    std::set<int> numbers;
    for (const ListEntry& entry : entries.bound) {
        const ListFileNow& list = *entry.list;
        if (carried.empty() || carried.back() != list.path) carried.push_back(list.path);
        std::vector<double>& faces =
            list.kind == DatasetFileKind::restraint ? listed.restraintFaces : listed.forceFaces;
        faces.push_back(entryNumber(entry));
        if (selectsFace(entryNumber(entry), record.modelFaces)) {
            numbers.insert(int(entryNumber(entry)));
        }
    }
    for (const ListEntry& entry : entries.unbound) {
        kept.insert({entry.list->path, entry.index});
    }

    enterPhase(state, RunPhase::matching);
    FollowOutcome outcome;
    for (int number = 1; number <= record.modelFaces; ++number) {
        FaceMatch unlisted;
        unlisted.oldNumber = number;
        unlisted.kind = MatchKind::unsure;
        unlisted.reason = "no list named it at the last run";
        outcome.matches.push_back(unlisted);
    }
    const std::vector<int> wanted(numbers.begin(), numbers.end());
    for (const FaceMatch& answer : followRecordedFaces(root, record, wanted, sampled)) {
        outcome.matches[std::size_t(answer.oldNumber) - 1] = answer;
    }
    outcome.listed = &listed;
    outcome.carried = &carried;
    outcome.kept = &kept;
    outcome.newModel = &model;
    finishFollowing(request, dataset, outcome, table, state);
    if (!entries.recorded && request.rewrite) forgetFollowedFaceFiles(dataset, record);
}

} // namespace

int followRecords(const FollowRequest& request, std::vector<FollowedDataset>& datasets,
                  RunState* state)
{
    for (FollowedDataset& dataset : datasets) {
        if (!dataset.done) checkSomethingBinds(dataset);
    }

    sendLibraryMessagesToStderr();
    installLibrarySignalHandlers();
    const bool several = datasets.size() > 1;
    MatchTableOutput table{several};
    for (const std::vector<FollowedDataset*>& group : groupByModelFile(datasets)) {
        STEPControl_Reader reader;
        RunModel model;
        const std::string problem =
            readGroupModel(group, true, modelNotePrefix(group, several), model, reader, state);
        if (!problem.empty()) {
            reportGroupProblem(group, problem);
            continue;
        }
        SampledModel sampled{&model, {}};
        for (FollowedDataset* dataset : group) {
            followDataset(request, *dataset, sampled, table, state);
        }
    }
    return endFollowing(datasets, state);
}
