#include "model_groups.hpp"

#include "batch_table.hpp"

#include "../console/error_printer.hpp"
#include "../model/step_import.hpp"
#include "../run/worker.hpp"

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <locale>
#include <map>
#include <tuple>

#include <sys/stat.h>

BatchDataset walkBatchDataset(const std::string& root)
{
    BatchDataset dataset;
    dataset.root = root;
    std::ifstream stream;
    stream.imbue(std::locale::classic());
    try {
        for (const std::string& problem : walkDataset(root, stream, dataset.inputs)) {
            dataset.lines.push_back(errorLine(commands::tool, problem));
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

namespace {

// What makes two model paths one file to read: the same inode, unchanged in between.
using FileIdentity = std::tuple<dev_t, ino_t, off_t, time_t, long>;

struct Looked {
    int error = 0;
    FileIdentity identity;
};

// stat, as the reader's open would resolve the path: relative to the working directory,
// following links.
Looked lookAt(const std::string& path)
{
    Looked looked;
    struct stat status = {};
    if (::stat(path.c_str(), &status) != 0) {
        looked.error = errno;
        return looked;
    }
    looked.identity = {status.st_dev, status.st_ino, status.st_size, status.st_mtim.tv_sec,
                       status.st_mtim.tv_nsec};
    return looked;
}

} // namespace

std::vector<ModelGroup> groupByModel(std::vector<BatchDataset>& datasets)
{
    std::vector<ModelGroup> groups;
    std::map<std::string, Looked> lookedAt; // each path once, so that its datasets stay together
    std::map<FileIdentity, std::size_t> groupOf;
    for (std::size_t i = 0; i < datasets.size(); ++i) {
        BatchDataset& dataset = datasets[i];
        if (dataset.status != DatasetStatus::pending) continue;
        const std::string& path = dataset.inputs.modelPath;
        auto looked = lookedAt.find(path);
        if (looked == lookedAt.end()) looked = lookedAt.emplace(path, lookAt(path)).first;
        if (const int error = looked->second.error; error != 0) {
            const std::string reason = describeOpenFailure(path, error);
            dataset.lines.push_back(
                errorLine(commands::tool, describeUnreadableModel(path, reason)));
            dataset.status = DatasetStatus::failed;
            continue;
        }
        const auto [group, isNew] = groupOf.emplace(looked->second.identity, groups.size());
        if (isNew) groups.push_back(ModelGroup{path, {}});
        groups[group->second].members.push_back(i);
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
