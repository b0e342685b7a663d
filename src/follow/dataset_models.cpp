#include "dataset_models.hpp"

#include "../console/error_printer.hpp"
#include "../console/progress.hpp"
#include "../intake/same_files.hpp"
#include "../model/step_import.hpp"
#include "../record/record_keeping.hpp"
#include "../run_state/run_state.hpp"

std::vector<std::vector<FollowedDataset*>> groupByModelFile(std::vector<FollowedDataset>& datasets)
{
    std::vector<FollowedDataset*> pending;
    std::vector<std::string> paths;
    for (FollowedDataset& dataset : datasets) {
        if (dataset.done) continue;
        pending.push_back(&dataset);
        paths.push_back(dataset.inputs.modelPath);
    }
    const FileGroups same = groupSameFiles(paths);
    std::vector<std::vector<FollowedDataset*>> groups;
    std::vector<std::size_t> placed(std::size_t(same.count), SIZE_MAX);
    for (std::size_t k = 0; k < pending.size(); ++k) {
        const int group = same.groupOf[k];
        if (group < 0) {
            groups.push_back({pending[k]});
            continue;
        }
        std::size_t& at = placed[std::size_t(group)];
        if (at == SIZE_MAX) {
            at = groups.size();
            groups.emplace_back();
        }
        groups[at].push_back(pending[k]);
    }
    return groups;
}

std::string readGroupModel(const std::vector<FollowedDataset*>& group, bool takeFile,
                           const std::string& notePrefix, RunModel& model,
                           STEPControl_Reader& reader, RunState* state, std::ostream& err)
{
    const FollowedDataset& first = *group.front();
    const std::string& path = first.inputs.modelPath;
    if (state) recordText(state->datasetRoot, first.root);
    ProgressLine progress;
    if (state) startProgressLine(progress, *state);
    if (takeFile) model = nameModelFile(path, state);
    std::string problem;
    ModelFileRead bytes; // the digest of the bytes as the library takes them in: one reading
    const TopoDS_Shape shape = importStepModel(reader, path, problem, state, nullptr, &bytes);
    if (takeFile) keepModelFileRead(model, bytes);
    stopProgressLine(progress);
    if (!first.root.empty() && path.empty()) return describeUnnamedModel(first.root);
    if (!problem.empty()) return problem;
    if (takeFile) {
        problem = settleRunModel(model, shape);
        if (!problem.empty()) return problem;
    } else {
        model.path = path;
        model.shape = shape;
    }
    const std::string note = describeShapeChoice(countTransferredShapes(reader));
    if (!note.empty()) printNote(err, notePrefix + note);
    return {};
}

void reportGroupProblem(const std::vector<FollowedDataset*>& group, const std::string& problem,
                        std::ostream& err)
{
    bool complete = true;
    reportProblems(err, {problem}, complete);
    for (FollowedDataset* dataset : group) {
        dataset->complete = false;
        dataset->done = true;
    }
}

std::string modelNotePrefix(const std::vector<FollowedDataset*>& group, bool several)
{
    return several ? "'" + group.front()->inputs.modelPath + "': " : std::string();
}
