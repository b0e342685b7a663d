#include "follow_revision.hpp"

#include "dataset_models.hpp"
#include "../match/face_sampling.hpp"
#include "../binding/list_rewrite.hpp"
#include "../match/match_table.hpp"

#include "../console/error_printer.hpp"
#include "../console/library_messages.hpp"
#include "../console/progress.hpp"
#include "../digest/sha256.hpp"
#include "../intake/list_entries.hpp"
#include "../intake/list_records.hpp"
#include "../model/step_import.hpp"
#include "../output/table_fields.hpp"
#include "../paths/narrow_form.hpp"
#include "../record/record_keeping.hpp"
#include "../run_state/run_state.hpp"
#include "../run/stop_signals.hpp"
#include "../run/worker.hpp"

#include <algorithm>
#include <limits>
#include <map>
#include <optional>
#include <utility>

namespace {

// Lists that a record binds to another model than the old revision, whose bytes are `old`,
// would be carried from the wrong revision, a second time, to wrong faces. "" when they may be
// carried.
std::string checkOldRevision(const std::string& root, const RecordReading& reading,
                             const HashedFile& old, const std::string& sinceFile)
{
    if (!reading.problem.empty()) return reading.problem;
    const RunRecord& record = reading.record;
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
                                                        RunState* state, std::ostream& err)
{
    ProgressLine progress;
    if (state) startProgressLine(progress, *state);
    STEPControl_Reader reader;
    std::string problem;
    const TopoDS_Shape shape = importStepModel(reader, path, problem, state);
    stopProgressLine(progress);
    if (!problem.empty()) {
        printError(err, problem);
        return std::nullopt;
    }
    const std::string note = describeShapeChoice(countTransferredShapes(reader));
    if (!note.empty()) {
        printNote(err,
                  (several ? "'" + path + "': " : std::string()) + "the old revision: " + note);
    }
    enterPhase(state, RunPhase::matching);
    return sampleModelFaces(shape);
}

// The record of the lists as they are to be once `changes` are made, as tarnfold would keep it
// for `model`, as files to write with them. Returns "" or why there can be none.
std::string renewRecord(const std::string& root, RunModel& model,
                        const std::vector<ListChange>& changes, std::vector<SetFile>& files,
                        RunRecord& renewed)
{
    // Without a record of the new revision, the lists would be carried again.
    if (!model.file.regular) {
        return "the new revision '" + model.path + "' is not a regular file: the lists carried "
               "over could not be recorded as written for it";
    }
    std::vector<ListFileNow> lists = readListFiles(root);
    for (ListFileNow& list : lists) {
        for (const ListChange& change : changes) {
            if (change.path.string() != list.path) continue;
            list.sha256 = sha256Hex(change.after);
            list.records = findListRecords(change.after, recordLength(list.kind));
        }
    }
    RecordTexts texts;
    const std::string problem =
        composeRunRecord(root, model, lists, hashListedFaces(model, lists), texts, &renewed);
    files = {{dataFilePath(root, outlineFileName), texts.outline, std::nullopt},
             {dataFilePath(root, recordFileName), texts.record, std::nullopt}};
    return problem;
}

// Carries the dataset's lists over, and renews its record with them, in one step that a stop
// does not cut: a stop asked meanwhile ends the worker once the step is done.
void carryLists(const FollowRequest& request, FollowedDataset& dataset,
                const FollowOutcome& outcome, bool several, RunState* state, std::ostream& err)
{
    std::vector<ListChange> changes;
    std::vector<std::string> problems =
        planListChanges(dataset.root, outcome.matches, request.allowSplitMerge,
                        request.allowReshaped, outcome.carried, outcome.kept, changes);
    std::vector<SetFile> record;
    RunRecord renewed;
    if (problems.empty()) {
        enterPhase(state, RunPhase::recording);
        const std::string problem =
            renewRecord(dataset.root, *outcome.newModel, changes, record, renewed);
        if (!problem.empty()) problems.push_back(problem);
    }
    // The old revision's face files that the carried lists make untrue go with the carry, all
    // or none: until the record is renewed, they are what the lists were written for.
    std::vector<UntrueFaceFile> untrue;
    if (problems.empty() && outcome.oldRecord) {
        untrue = findUntrueFaceFiles(dataset.root, *outcome.oldRecord, renewed);
        for (const UntrueFaceFile& file : untrue) {
            record.insert(record.begin(), {file.path, std::nullopt, file.bytes});
        }
    }
    if (problems.empty()) {
        runAnsweringStops(state, [&] {
            enterPhase(state, RunPhase::carrying);
            const ListRewriteReport report = applyListChanges(dataset.root, changes, record);
            problems = report.problems;
            printNotes(err, report.notes);
        });
    }
    enterPhase(state, RunPhase::matching);
    if (problems.empty()) {
        const std::string note =
            describeRemovedFaceFiles(countRemovedFaceFiles(untrue), dataset.root);
        if (!note.empty()) printNote(err, note);
    }
    if (problems.empty()) return;
    problems.push_back(describeNothingRewritten(dataset.root, several));
    reportProblems(err, problems, dataset.complete);
}

} // namespace

int endFollowing(const std::vector<FollowedDataset>& datasets, RunState* state,
                 std::ostream& err)
{
    std::vector<std::string> doubtful;
    for (const FollowedDataset& dataset : datasets) {
        if (!dataset.complete) doubtful.push_back("'" + dataset.root + "'");
    }
    if (datasets.size() > 1 && !doubtful.empty()) {
        std::string names;
        for (const std::string& name : doubtful) names += (names.empty() ? "" : ", ") + name;
        printError(err, std::to_string(doubtful.size()) + " of " + std::to_string(datasets.size()) +
                        " datasets have doubts or problems, told above: " + names);
    }
    const int status = doubtful.empty() ? 0 : 1;
    enterPhase(state, RunPhase::finished);
    if (!state) return status;
    endWorker(status);
}

int followRevision(const FollowRequest& request, std::vector<FollowedDataset>& datasets,
                   RunState* state, std::ostream& out, std::ostream& err)
{
    const bool several = datasets.size() > 1;
    bool anyLeft = false;
    std::optional<HashedFile> old; // read once, for the first record
    // The lists that a record binds to the old revision; a dataset without is followed whole.
    std::map<const FollowedDataset*, BoundLists> bound;
    std::map<const FollowedDataset*, RunRecord> records;
    for (FollowedDataset& dataset : datasets) {
        if (!dataset.done && !dataset.root.empty()) {
            const RecordReading reading = readRunRecord(dataset.root);
            if (reading.exists && !old) old = hashFile(request.sinceFile);
            const std::string refusal =
                reading.exists ? checkOldRevision(dataset.root, reading, *old, request.sinceFile)
                               : std::string();
            if (request.rewrite && !refusal.empty()) {
                reportProblems(err, {refusal, describeNothingRewritten(dataset.root, several)},
                                    dataset.complete);
                dataset.done = true;
            } else if (refusal.empty() && reading.exists) {
                // The entries point into the lists, which live as long as they do.
                const std::vector<ListFileNow> lists = readListFiles(dataset.root);
                const BoundEntries entries = findBoundEntries(dataset.root, lists);
                printNotes(err, describeUnboundEntries(entries, std::numeric_limits<int>::max(),
                                                       true));
                bound.emplace(&dataset, selectBoundLists(entries, entries.record.modelFaces));
                records.emplace(&dataset, entries.record);
            }
        }
        anyLeft = anyLeft || !dataset.done;
    }
    if (!anyLeft) return endFollowing(datasets, state, err);

    sendLibraryMessagesToStderr();
    installLibrarySignalHandlers();
    const std::optional<std::vector<SampledFace>> oldFaces =
        readOldRevision(request.sinceFile, several, state, err);
    if (!oldFaces) {
        for (FollowedDataset& dataset : datasets) dataset.complete = false;
        return endFollowing(datasets, state, err);
    }

    MatchTableOutput table{several};
    for (const std::vector<FollowedDataset*>& group : groupByModelFile(datasets)) {
        const std::string prefix = modelNotePrefix(group, several);
        STEPControl_Reader reader;
        // Taken in whole only to record the lists carried over as written for it.
        RunModel model;
        const std::string problem =
            readGroupModel(group, request.rewrite, prefix + "the new revision: ", model, reader,
                           state, err);
        if (!problem.empty()) {
            reportGroupProblem(group, problem, err);
            continue;
        }
        enterPhase(state, RunPhase::matching);
        const RevisionMatch match = compareRevisions(*oldFaces, sampleModelFaces(model.shape));
        for (const std::string& note : describeMotionNotes(match)) printNote(err, prefix + note);
        for (FollowedDataset* dataset : group) {
            // Each dataset's record names the model as its own address.txt does.
            model.path = dataset->inputs.modelPath;
            FollowOutcome outcome;
            outcome.matches = match.faces;
            outcome.listed = dataset->root.empty() ? nullptr : &dataset->inputs;
            if (const auto lists = bound.find(dataset); lists != bound.end()) {
                outcome.listed = &lists->second.entries;
                outcome.carried = &lists->second.paths;
                outcome.kept = &lists->second.kept;
                outcome.oldRecord = &records.at(dataset);
            }
            outcome.newModel = &model;
            finishFollowing(request, *dataset, outcome, table, state, out, err);
        }
    }
    return endFollowing(datasets, state, err);
}

void printMatchHeader(MatchTableOutput& table, std::ostream& out)
{
    if (table.headerWritten) return;
    out << formatMatchHeader(table.withDataset);
    table.headerWritten = true;
}

void finishFollowing(const FollowRequest& request, FollowedDataset& dataset,
                     const FollowOutcome& outcome, MatchTableOutput& table, RunState* state,
                     std::ostream& out, std::ostream& err)
{
    if (state) recordText(state->datasetRoot, dataset.root);
    bool& complete = dataset.complete;
    const std::vector<MatchRow> rows = selectMatchRows(outcome.matches, outcome.listed);
    printMatchHeader(table, out);
    const std::string field = escapeField(dataset.root);
    out << formatMatchRows(rows, table.withDataset ? &field : nullptr) << std::flush;
    if (!out) {
        reportProblems(err, {"cannot write the table to standard output"}, complete);
    }
    const int oldCount = int(outcome.matches.size());
    if (outcome.listed) {
        for (const auto& [list, name] : {std::pair{&outcome.listed->forceFaces, "force"},
                                         std::pair{&outcome.listed->restraintFaces, "restraint"}}) {
            reportProblems(
                err, describeUnselectedEntries(*list, name, oldCount, "the old revision"),
                complete);
        }
    }
    const auto uncertain = std::count_if(rows.begin(), rows.end(), [](const MatchRow& row) {
        return !isCertain(row.match.kind);
    });
    if (uncertain > 0) {
        complete = false;
        printNote(err, (table.withDataset ? "'" + dataset.root + "': " : std::string()) +
                       std::to_string(uncertain) + " of " + std::to_string(rows.size()) +
                       (outcome.listed ? " listed" : "") +
                       " old faces have no certain new number (gone or unsure): see the table");
    }

    if (request.rewrite) carryLists(request, dataset, outcome, table.withDataset, state, err);
}
