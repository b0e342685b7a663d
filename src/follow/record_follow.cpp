#include "record_follow.hpp"

#include "match_table.hpp"
#include "recorded_faces.hpp"

#include "../console/error_printer.hpp"
#include "../console/library_messages.hpp"
#include "../console/progress.hpp"
#include "../intake/dataset_inputs.hpp"
#include "../intake/list_entries.hpp"
#include "../model/step_import.hpp"
#include "../run/run_state.hpp"
#include "../run/worker.hpp"

#include <iostream>
#include <set>

namespace {

} // namespace

int followRecord(const FollowRequest& request, const DatasetInputs& inputs, bool complete,
                 RunState* state)
{
    const std::string& root = request.datasetRoot;
    const std::string recordPath = dataFilePath(root, recordFileName);
    const RecordReading reading = readRunRecord(root);
    if (!reading.exists || !reading.problem.empty()) {
        reportProblems({reading.exists ? reading.problem
                                       : "'" + recordPath + "' does not exist: no run of tarnfold "
                                         "has recorded what the lists were written for; run "
                                         "tarnfold on the dataset, or name the model they were "
                                         "written for with --since OLD.step"},
                       complete);
        return endFollowing(false, state);
    }
    const RunRecord& record = reading.record;

    sendLibraryMessagesToStderr();
    installLibrarySignalHandlers();
    ProgressLine progress;
    if (state) startProgressLine(progress, *state);
    STEPControl_Reader reader;
    std::string importError;
    RunModel model = takeModelFile(inputs.modelPath, state);
    const TopoDS_Shape shape = importStepModel(reader, inputs.modelPath, importError, state);
    stopProgressLine(progress);
    if (inputs.modelPath.empty()) importError = describeUnnamedModel(root);
    if (importError.empty()) importError = settleRunModel(model, shape);
    if (!importError.empty()) {
        reportProblems({importError}, complete);
        return endFollowing(false, state);
    }
    const std::string note = describeShapeChoice(countTransferredShapes(reader));
    if (!note.empty()) printNotes({note});

    const std::vector<ListFileNow> lists = readListFiles(root);
    if (describeModelChange(record, model).empty()) {
        std::cout << formatMatchTable({}) << std::flush;
        printNotes({"nothing to follow: the model is the one the lists were last run "
                              "on, recorded in '" + recordPath + "'"});
        return endFollowing(complete, state);
    }

    // Only the lists that are as they were at the last run were written for that model.
    std::vector<std::string> carried;
    DatasetInputs listed;
    std::set<int> numbers;
    for (const ListFileNow& list : lists) {
        const RecordedList* recorded = findRecordedList(record, list.name);
        if (!list.read) continue;
        if (!recorded || recorded->sha256 != list.sha256) {
            printNotes({"'" + list.path + "' changed since the last run: it is taken as "
                                  "written for the model as it is now, and not followed"});
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
    SampledModel sampled{&model, {}};
    const std::vector<int> wanted(numbers.begin(), numbers.end());
    const RecordedOutline outline = readRecordedOutline(root, record);
    for (const FaceMatch& answer : followRecordedFaces(root, record, outline, wanted, sampled)) {
        outcome.matches[std::size_t(answer.oldNumber) - 1] = answer;
    }
    outcome.listed = &listed;
    outcome.carried = &carried;
    outcome.newModel = &model;
    return finishFollowing(request, outcome, complete, state);
}
