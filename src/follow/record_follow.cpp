#include "record_follow.hpp"

#include "dataset_models.hpp"
#include "../binding/bound_entries.hpp"
#include "../binding/list_rewrite.hpp"
#include "../binding/recorded_faces.hpp"

#include "../console/error_printer.hpp"
#include "../console/library_messages.hpp"
#include "../intake/list_entries.hpp"
#include "../paths/narrow_form.hpp"
#include "../run_state/run_state.hpp"
#include "../run/worker.hpp"

#include <map>
#include <set>

namespace {

// Whether anything tells what the lists were written for, said at once, before any model is
// read: a record that can be read, or without one, face files of an earlier run.
void checkSomethingBinds(FollowedDataset& dataset, std::ostream& err)
{
    const std::vector<ListFileNow> lists = readListFiles(dataset.root);
    const BoundEntries entries = findBoundEntries(dataset.root, lists);
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
    reportProblems(err, {problem}, dataset.complete);
    dataset.done = true;
}

// Follows one dataset of the group whose model is `model`, sampled once for the whole group.
void followDataset(const FollowRequest& request, FollowedDataset& dataset, SampledModel& sampled,
                   MatchTableOutput& table, RunState* state, std::ostream& out,
                   std::ostream& err)
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
        reportProblems(err,
                       {"the lists or the record of '" + root + "' changed while they were "
                        "followed; follow again"},
                       dataset.complete);
        return;
    }
    if (entries.recorded && describeModelChange(record, model).empty()) {
        printMatchHeader(table, out);
        out << std::flush;
        printNote(err, (table.withDataset ? "'" + root + "': " : std::string()) +
                       "nothing to follow: the model is the one the lists were last run on, "
                       "recorded in '" + recordPath + "'");
        return;
    }
    if (!entries.recorded) {
        printNote(err, "'" + recordPath + "' is missing: the face files of an earlier run "
                       "stand for the faces the lists were written for");
    }
    printNotes(err, describeUnboundEntries(entries, model.faceCount, true));

    // Exactly the entries the check of a run checks: the others stay as they are.
    const BoundLists bound = selectBoundLists(entries, record.modelFaces);

    enterPhase(state, RunPhase::matching);
    FollowOutcome outcome;
    for (int number = 1; number <= record.modelFaces; ++number) {
        FaceMatch unlisted;
        unlisted.oldNumber = number;
        unlisted.kind = MatchKind::unsure;
        unlisted.reason = "no list named it at the last run";
        outcome.matches.push_back(unlisted);
    }
    for (const FaceMatch& answer : followRecordedFaces(root, record, bound.oldNumbers, sampled)) {
        outcome.matches[std::size_t(answer.oldNumber) - 1] = answer;
    }
    outcome.listed = &bound.entries;
    outcome.carried = &bound.paths;
    outcome.kept = &bound.kept;
    outcome.oldRecord = &record;
    outcome.newModel = &model;
    finishFollowing(request, dataset, outcome, table, state, out, err);
}

} // namespace

int followRecords(const FollowRequest& request, std::vector<FollowedDataset>& datasets,
                  RunState* state, std::ostream& out, std::ostream& err)
{
    for (FollowedDataset& dataset : datasets) {
        if (!dataset.done) checkSomethingBinds(dataset, err);
    }

    sendLibraryMessagesToStderr();
    installLibrarySignalHandlers();
    const bool several = datasets.size() > 1;
    MatchTableOutput table{several};
    for (const std::vector<FollowedDataset*>& group : groupByModelFile(datasets)) {
        STEPControl_Reader reader;
        RunModel model;
        const std::string problem =
            readGroupModel(group, true, modelNotePrefix(group, several), model, reader, state,
                           err);
        if (!problem.empty()) {
            reportGroupProblem(group, problem, err);
            continue;
        }
        SampledModel sampled{&model, {}};
        for (FollowedDataset* dataset : group) {
            followDataset(request, *dataset, sampled, table, state, out, err);
        }
    }
    return endFollowing(datasets, state, err);
}
