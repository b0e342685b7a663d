#include "record_follow.hpp"

#include "dataset_models.hpp"
#include "recorded_faces.hpp"

#include "../console/error_printer.hpp"
#include "../console/library_messages.hpp"
#include "../intake/list_entries.hpp"
#include "../paths/narrow_form.hpp"
#include "../run/run_state.hpp"
#include "../run/worker.hpp"

#include <iostream>
#include <map>
#include <optional>
#include <set>

namespace {

// The record of the dataset's last run; none when there is none to follow from, which is said.
std::optional<RunRecord> findRecord(FollowedDataset& dataset)
{
    const RecordReading reading = readRunRecord(dataset.root);
    if (reading.exists && reading.problem.empty()) return reading.record;
    const std::string path = dataFilePath(dataset.root, recordFileName);
    reportProblems({reading.exists ? reading.problem
                                   : "'" + path + "' does not exist: no run of tarnfold has "
                                     "recorded what the lists were written for; run tarnfold on "
                                     "the dataset, or name the model they were written for with "
                                     "--since OLD.step"},
                   dataset.complete);
    dataset.done = true;
    return std::nullopt;
}

// Follows one dataset of the group whose model is `model`, sampled once for the whole group.
void followDataset(const FollowRequest& request, FollowedDataset& dataset, const RunRecord& record,
                   SampledModel& sampled, MatchTableOutput& table, RunState* state)
{
    const std::string& root = dataset.root;
    if (state) recordText(state->datasetRoot, root);
    RunModel& model = *sampled.model;
    // Each dataset's record names the model as its own address.txt does.
    model.path = dataset.inputs.modelPath;
    const std::vector<ListFileNow> lists = readListFiles(nativePath(root));
    if (describeModelChange(record, model).empty()) {
        printMatchHeader(table);
        std::cout << std::flush;
        printNote((table.withDataset ? "'" + root + "': " : std::string()) +
                  "nothing to follow: the model is the one the lists were last run on, recorded "
                  "in '" + dataFilePath(root, recordFileName) + "'");
        return;
    }

    // Only the lists that are as they were at the last run were written for that model.
    std::vector<std::string> carried;
    DatasetInputs listed;
    std::set<int> numbers;
    for (const ListFileNow& list : lists) {
        const RecordedList* recorded = findRecordedList(record, list.name);
        if (!list.read) continue;
        if (!recorded || recorded->sha256 != list.sha256) {
            printNote("'" + list.path + "' changed since the last run: it is taken as written "
                      "for the model as it is now, and not followed");
            continue;
        }
        carried.push_back(list.path);
        std::vector<double>& entries =
            list.kind == DatasetFileKind::restraint ? listed.restraintFaces : listed.forceFaces;
        for (const ListRecord& entry : list.records) {
            entries.push_back(entry.faceNumber);
            if (selectsFace(entry.faceNumber, record.modelFaces)) {
                numbers.insert(int(entry.faceNumber));
            }
        }
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
    const RecordedOutline outline = readRecordedOutline(root, record);
    for (const FaceMatch& answer : followRecordedFaces(root, record, outline, wanted, sampled)) {
        outcome.matches[std::size_t(answer.oldNumber) - 1] = answer;
    }
    outcome.listed = &listed;
    outcome.carried = &carried;
    outcome.newModel = &model;
    finishFollowing(request, dataset, outcome, table, state);
}

} // namespace

int followRecords(const FollowRequest& request, std::vector<FollowedDataset>& datasets,
                  RunState* state)
{
    std::map<const FollowedDataset*, RunRecord> records;
    for (FollowedDataset& dataset : datasets) {
        if (dataset.done) continue;
        if (std::optional<RunRecord> record = findRecord(dataset)) {
            records.emplace(&dataset, std::move(*record));
        }
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
            followDataset(request, *dataset, records.at(dataset), sampled, table, state);
        }
    }
    return endFollowing(datasets, state);
}
