#include "follow_revision.hpp"

#include "../console/error_printer.hpp"
#include "../console/library_messages.hpp"
#include "../console/progress.hpp"
#include "face_sampling.hpp"
#include "list_rewrite.hpp"
#include "match_table.hpp"

#include "../intake/dataset_inputs.hpp"
#include "../intake/list_entries.hpp"
#include "../model/step_import.hpp"
#include "../record/record_keeping.hpp"
#include "../run/run_state.hpp"
#include "../run/worker.hpp"

#include <algorithm>
#include <iostream>
#include <locale>
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

} // namespace

int endFollowing(bool complete, RunState* state)
{
    enterPhase(state, RunPhase::finished);
    if (!state) return complete ? 0 : 1;
    endWorker(complete ? 0 : 1);
}

int followRevision(const FollowRequest& request, const DatasetInputs& inputs, bool complete,
                   RunState* state)
{
    const bool withDataset = !request.datasetRoot.empty();
    if (request.rewrite) {
        const std::string refusal = checkOldRevision(request.datasetRoot, request.sinceFile);
        if (!refusal.empty()) {
            reportProblems({refusal, "no list file was rewritten"}, complete);
            return endFollowing(false, state);
        }
    }

    sendLibraryMessagesToStderr();
    installLibrarySignalHandlers();
    ProgressLine progress;
    if (state) startProgressLine(progress, *state);
    STEPControl_Reader oldReader, newReader;
    std::string oldError, newError;
    const TopoDS_Shape oldShape = importStepModel(oldReader, request.sinceFile, oldError, state);
    // Taken in only to record the lists carried over as written for it.
    RunModel newModel = request.rewrite ? takeModelFile(inputs.modelPath, state) : RunModel();
    TopoDS_Shape newShape;
    if (oldError.empty()) newShape = importStepModel(newReader, inputs.modelPath, newError, state);
    stopProgressLine(progress);
    if (withDataset && inputs.modelPath.empty() && oldError.empty()) {
        newError = describeUnnamedModel(request.datasetRoot);
    }
    if (!oldError.empty() || !newError.empty()) {
        reportProblems({oldError.empty() ? newError : oldError}, complete);
        return 1;
    }
    if (request.rewrite) {
        const std::string changed = settleRunModel(newModel, newShape);
        if (!changed.empty()) {
            reportProblems({changed}, complete);
            return 1;
        }
    }

    // Each revision is numbered by its last shape only; a reader should know when others exist.
    for (const auto& [reader, which] : {std::pair{&oldReader, "the old revision"},
                                        std::pair{&newReader, "the new revision"}}) {
        const std::string note = describeShapeChoice(countTransferredShapes(*reader));
        if (!note.empty()) printNotes({std::string(which) + ": " + note});
    }

    enterPhase(state, RunPhase::matching);
    const std::vector<SampledFace> oldFaces = sampleModelFaces(oldShape);
    const RevisionMatch match = compareRevisions(oldFaces, sampleModelFaces(newShape));
    for (const std::string& note : describeMotionNotes(match)) printNote(note);
    FollowOutcome outcome;
    outcome.matches = match.faces;
    outcome.listed = withDataset ? &inputs : nullptr;
    outcome.newModel = &newModel;
    return finishFollowing(request, outcome, complete, state);
}

int finishFollowing(const FollowRequest& request, const FollowOutcome& outcome, bool complete,
                    RunState* state)
{
    const std::vector<MatchRow> rows = selectMatchRows(outcome.matches, outcome.listed);
    std::cout << formatMatchTable(rows) << std::flush;
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
        printNotes({std::to_string(uncertain) + " of " + std::to_string(rows.size()) +
                              (outcome.listed ? " listed" : "") +
                              " old faces have no certain new number (gone or unsure): see the "
                              "table"});
    }

    if (request.rewrite) {
        const ListRewriteReport report = rewriteDatasetLists(
            request.datasetRoot, outcome.matches, request.allowSplitMerge, request.allowReshaped,
            outcome.carried);
        reportProblems(report.problems, complete);
        if (!report.problems.empty()) {
            reportProblems({"no list file was rewritten"}, complete);
        } else {
            printNotes(report.notes);
            // The lists now name faces of the new revision, and the record says so.
            enterPhase(state, RunPhase::recording);
            const std::vector<ListFileNow> lists = readListFiles(request.datasetRoot);
            const std::string problem =
                keepRunRecord(request.datasetRoot, *outcome.newModel, lists,
                              hashListedFaces(outcome.newModel->shape, lists), state);
            if (!problem.empty()) reportProblems({problem}, complete);
        }
    }
    return endFollowing(complete, state);
}
