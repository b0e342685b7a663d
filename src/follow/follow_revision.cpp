#include "follow_revision.hpp"

#include "dataset_models.hpp"
#include "face_sampling.hpp"
#include "list_rewrite.hpp"
#include "match_table.hpp"

#include "../console/error_printer.hpp"
#include "../console/library_messages.hpp"
#include "../console/progress.hpp"
#include "../intake/list_entries.hpp"
#include "../model/step_import.hpp"
#include "../output/table_fields.hpp"
#include "../paths/narrow_form.hpp"
#include "../record/record_keeping.hpp"
#include "../run/run_state.hpp"
#include "../run/worker.hpp"

#include <algorithm>
#include <iostream>
#include <optional>
#include <utility>

namespace {

// Lists that a record binds to another model than `sinceFile` would be carried from the wrong
// revision, a second time, to wrong faces. "" when they may be carried.
std::string checkOldRevision(const std::string& root, const std::string& sinceFile)
{
    const RecordReading reading = readRunRecord(root);
    if (!reading.exists) return {};
    if (!reading.problem.empty()) return reading.problem;
    const RunRecord& record = reading.record;
    const HashedFile old = hashFile(sinceFile);
    if (!old.problem.empty() || old.sha256 == record.modelSha256) return old.problem;
    return "the lists of '" + root + "' were last run on the model '" + record.modelPath +
           "' (SHA-256 " + record.modelSha256.substr(0, 16) + "..., recorded in '" +
           dataFilePath(root, recordFileName) + "'), not on '" + sinceFile +
           "': --since names the revision they were written for; see tarnfold-faces " + root +
           " --follow";
}

// Alone, as ever; among several, the line names the dataset.
std::string describeNothingRewritten(const std::string& root, bool several)
{
    return several ? "no list file of '" + root + "' was rewritten" : "no list file was rewritten";
}

// Reads the old revision, once for every dataset. None when it cannot be read, which is said.
std::optional<std::vector<SampledFace>> readOldRevision(const std::string& path, bool several,
                                                        RunState* state)
{
    ProgressLine progress;
    if (state) startProgressLine(progress, *state);
    STEPControl_Reader reader;
    std::string problem;
    const TopoDS_Shape shape = importStepModel(reader, path, problem, state);
    stopProgressLine(progress);
    if (!problem.empty()) {
        printError(problem);
        return std::nullopt;
    }
    const std::string note = describeShapeChoice(countTransferredShapes(reader));
    if (!note.empty()) {
        printNote((several ? "'" + path + "': " : std::string()) + "the old revision: " + note);
    }
    enterPhase(state, RunPhase::matching);
    return sampleModelFaces(shape);
}

} // namespace

int endFollowing(const std::vector<FollowedDataset>& datasets, RunState* state)
{
    std::vector<std::string> doubtful;
    for (const FollowedDataset& dataset : datasets) {
        if (!dataset.complete) doubtful.push_back("'" + dataset.root + "'");
    }
    if (datasets.size() > 1 && !doubtful.empty()) {
        std::string names;
        for (const std::string& name : doubtful) names += (names.empty() ? "" : ", ") + name;
        printError(std::to_string(doubtful.size()) + " of " + std::to_string(datasets.size()) +
                   " datasets have doubts or problems, told above: " + names);
    }
    const int status = doubtful.empty() ? 0 : 1;
    enterPhase(state, RunPhase::finished);
    if (!state) return status;
    endWorker(status);
}

int followRevision(const FollowRequest& request, std::vector<FollowedDataset>& datasets,
                   RunState* state)
{
    const bool several = datasets.size() > 1;
    bool anyLeft = false;
    for (FollowedDataset& dataset : datasets) {
        if (request.rewrite && !dataset.done) {
            const std::string refusal = checkOldRevision(dataset.root, request.sinceFile);
            if (!refusal.empty()) {
                reportProblems({refusal, describeNothingRewritten(dataset.root, several)},
                               dataset.complete);
                dataset.done = true;
            }
        }
        anyLeft = anyLeft || !dataset.done;
    }
    if (!anyLeft) return endFollowing(datasets, state);

    sendLibraryMessagesToStderr();
    installLibrarySignalHandlers();
    const std::optional<std::vector<SampledFace>> oldFaces =
        readOldRevision(request.sinceFile, several, state);
    if (!oldFaces) {
        for (FollowedDataset& dataset : datasets) dataset.complete = false;
        return endFollowing(datasets, state);
    }

    MatchTableOutput table{several};
    for (const std::vector<FollowedDataset*>& group : groupByModelFile(datasets)) {
        const std::string prefix = modelNotePrefix(group, several);
        STEPControl_Reader reader;
        // Taken in whole only to record the lists carried over as written for it.
        RunModel model;
        const std::string problem =
            readGroupModel(group, request.rewrite, prefix + "the new revision: ", model, reader,
                           state);
        if (!problem.empty()) {
            reportGroupProblem(group, problem);
            continue;
        }
        enterPhase(state, RunPhase::matching);
        const RevisionMatch match = compareRevisions(*oldFaces, sampleModelFaces(model.shape));
        for (const std::string& note : describeMotionNotes(match)) printNote(prefix + note);
        for (FollowedDataset* dataset : group) {
            // Each dataset's record names the model as its own address.txt does.
            model.path = dataset->inputs.modelPath;
            FollowOutcome outcome;
            outcome.matches = match.faces;
            outcome.listed = dataset->root.empty() ? nullptr : &dataset->inputs;
            outcome.newModel = &model;
            finishFollowing(request, *dataset, outcome, table, state);
        }
    }
    return endFollowing(datasets, state);
}

void printMatchHeader(MatchTableOutput& table)
{
    if (table.headerWritten) return;
    std::cout << formatMatchHeader(table.withDataset);
    table.headerWritten = true;
}

void finishFollowing(const FollowRequest& request, FollowedDataset& dataset,
                     const FollowOutcome& outcome, MatchTableOutput& table, RunState* state)
{
    if (state) recordText(state->datasetRoot, dataset.root);
    bool& complete = dataset.complete;
    const std::vector<MatchRow> rows = selectMatchRows(outcome.matches, outcome.listed);
    printMatchHeader(table);
    const std::string field = escapeField(dataset.root);
    std::cout << formatMatchRows(rows, table.withDataset ? &field : nullptr) << std::flush;
    if (!std::cout) {
        reportProblems({"cannot write the table to standard output"}, complete);
    }
    const int oldCount = int(outcome.matches.size());
    if (outcome.listed) {
        for (const auto& [list, name] : {std::pair{&outcome.listed->forceFaces, "force"},
                                         std::pair{&outcome.listed->restraintFaces, "restraint"}}) {
            reportProblems(
                describeUnselectedEntries(*list, name, oldCount, "the old revision"),
                complete);
        }
    }
    const auto uncertain = std::count_if(rows.begin(), rows.end(), [](const MatchRow& row) {
        return !isCertain(row.match.kind);
    });
    if (uncertain > 0) {
        complete = false;
        printNote((table.withDataset ? "'" + dataset.root + "': " : std::string()) +
                  std::to_string(uncertain) + " of " + std::to_string(rows.size()) +
                  (outcome.listed ? " listed" : "") +
                  " old faces have no certain new number (gone or unsure): see the table");
    }

    if (request.rewrite) {
        const ListRewriteReport report =
            rewriteDatasetLists(nativePath(dataset.root), outcome.matches, request.allowSplitMerge,
                                request.allowReshaped, outcome.carried);
        reportProblems(report.problems, complete);
        if (!report.problems.empty()) {
            reportProblems({describeNothingRewritten(dataset.root, table.withDataset)},
                           complete);
        } else {
            printNotes(report.notes);
            // The lists now name faces of the new revision, and the record says so.
            enterPhase(state, RunPhase::recording);
            const std::vector<ListFileNow> lists = readListFiles(nativePath(dataset.root));
            const std::string problem =
                keepRunRecord(dataset.root, *outcome.newModel, lists,
                              hashListedFaces(outcome.newModel->shape, lists), state);
            if (!problem.empty()) reportProblems({problem}, complete);
            enterPhase(state, RunPhase::matching);
        }
    }
}
