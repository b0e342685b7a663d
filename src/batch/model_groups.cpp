#include "model_groups.hpp"

#include "batch_table.hpp"

#include "../console/error_printer.hpp"
#include "../binding/list_carry.hpp"
#include "../intake/same_files.hpp"
#include "../model/step_import.hpp"
#include "../run/worker.hpp"

#include <filesystem>
#include <fstream>
#include <locale>

BatchDataset walkBatchDataset(const std::string& root)
{
    BatchDataset dataset;
    dataset.root = root;
    std::ifstream stream;
    stream.imbue(std::locale::classic());
    try {
        for (const std::string& note : settleInterruptedCarry(root)) {
            dataset.lines.push_back(noteLine(commands::tool, note));
        }
        for (const std::string& problem : walkDataset(root, stream, dataset.inputs)) {
            dataset.lines.push_back(errorLine(commands::tool, problem));
            dataset.walkedWhole = false;
        }
    } catch (...) {
        // tarnfold ends here with this one line: what the walk had found so far is not used.
        dataset.lines = {errorLine(commands::tool, describeCurrentException())};
        dataset.inputs = DatasetInputs();
        dataset.status = DatasetStatus::failed;
        return dataset;
    }
    if (dataset.inputs.modelPath.empty()) {
        dataset.lines.push_back(errorLine(commands::tool, describeUnnamedModel(root)));
        dataset.status = DatasetStatus::failed;
    }
    return dataset;
}

std::vector<ModelGroup> groupByModel(std::vector<BatchDataset>& datasets)
{
    std::vector<std::size_t> pending;
    std::vector<std::string> paths;
    for (std::size_t i = 0; i < datasets.size(); ++i) {
        if (datasets[i].status != DatasetStatus::pending) continue;
        pending.push_back(i);
        paths.push_back(datasets[i].inputs.modelPath);
    }
    const FileGroups same = groupSameFiles(paths);
    std::vector<ModelGroup> groups(std::size_t(same.count));
    for (std::size_t k = 0; k < pending.size(); ++k) {
        BatchDataset& dataset = datasets[pending[k]];
        const std::string& path = dataset.inputs.modelPath;
        if (const int error = same.errors[k]; error != 0) {
            const std::string reason = describeOpenFailure(path, error);
            dataset.lines.push_back(
                errorLine(commands::tool, describeUnreadableModel(path, reason)));
            dataset.status = DatasetStatus::failed;
            continue;
        }
        ModelGroup& group = groups[std::size_t(same.groupOf[k])];
        if (group.members.empty()) group.modelPath = path;
        group.members.push_back(pending[k]);
    }
    return groups;
}

void printGroups(const std::vector<BatchDataset>& datasets, const std::vector<ModelGroup>& groups,
                 std::ostream& out)
{
    std::vector<std::size_t> groupOf(datasets.size(), groups.size());
    for (std::size_t g = 0; g < groups.size(); ++g) {
        for (const std::size_t member : groups[g].members) groupOf[member] = g;
    }
    // Numbered as they first appear; a dataset without a group is a group of its own.
    std::vector<std::vector<std::size_t>> numbered;
    std::vector<bool> seen(groups.size(), false);
    for (std::size_t i = 0; i < datasets.size(); ++i) {
        const std::size_t g = groupOf[i];
        if (g == groups.size()) {
            numbered.push_back({i});
        } else if (!seen[g]) {
            seen[g] = true;
            numbered.push_back(groups[g].members);
        }
    }
    out << "group\tdataset\tmodel\n";
    for (std::size_t n = 0; n < numbered.size(); ++n) {
        for (const std::size_t i : numbered[n]) {
            out << n + 1 << '\t' << escapeField(datasets[i].root) << '\t'
                << modelField(datasets[i]) << '\n';
        }
    }
}
