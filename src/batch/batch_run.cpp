#include "batch_run.hpp"

#include "batch_table.hpp"
#include "model_groups.hpp"
#include "worker_pool.hpp"

#include "../console/error_printer.hpp"
#include "../run_state/run_state.hpp"
#include "../run/stop_signals.hpp"
#include "../run/worker.hpp"

#include <algorithm>
#include <cerrno>
#include <fstream>
#include <ostream>

namespace {

// What the model cache gave this batch, and what it holds now.
std::string describeCacheUse(const BatchOptions& options, const std::vector<BatchDataset>& datasets,
                             const std::vector<ModelGroup>& groups)
{
    int found = 0, kept = 0, models = 0;
    for (const ModelGroup& group : groups) {
        const int use = datasets[group.members.front()].modelCache;
        if (use == 0) continue; // not read: a model that cannot be looked at, or none
        ++models;
        if (use == static_cast<int>(ModelCacheUse::found)) ++found;
        if (use == static_cast<int>(ModelCacheUse::kept)) ++kept;
    }
    const CacheUsage usage = measureCache(options.cache.directory);
    return "model cache '" + options.cache.directory + "': " + std::to_string(found) + " of " +
           std::to_string(models) + (models == 1 ? " model" : " models") + " found in it, " +
           std::to_string(kept) + " kept; " + describeCacheHolding(options.cache, usage);
}

} // namespace

int runBatch(const BatchOptions& options, std::ostream& out, std::ostream& err)
{
    if (options.roots.empty() && options.listFile.empty()) {
        // --cache-stats alone.
        out << "model cache '" << options.cache.directory << "': "
            << describeCacheHolding(options.cache, measureCache(options.cache.directory)) << "\n";
        return out.flush() ? 0 : 1;
    }
    std::vector<std::string> roots = options.roots;
    if (!options.listFile.empty()) {
        const std::string problem = readDatasetList(options.listFile, roots);
        if (!problem.empty()) {
            err << errorLine(problem) << '\n';
            return 2;
        }
    }
    std::ofstream log;
    if (!options.logFile.empty() && !options.listGroups) {
        errno = 0;
        log.open(options.logFile, std::ios::binary | std::ios::trunc);
        if (!log) {
            err << errorLine("cannot write log '" + options.logFile + "': " + systemReason(errno))
                << '\n';
            return 2;
        }
    }
    if (!options.listGroups) out << tableHeader() << std::flush;

    // Every dataset is walked before any model is read, so that they can be grouped by model.
    std::vector<BatchDataset> datasets;
    datasets.reserve(roots.size());
    for (const std::string& root : roots) datasets.push_back(walkBatchDataset(root));
    const std::vector<ModelGroup> groups = groupByModel(datasets);
    if (options.listGroups) {
        printGroups(datasets, groups, out);
        return out.flush() ? 0 : 1;
    }

    BatchTable table;
    table.rows = &out;
    table.lines = &err;
    PoolSettings settings;
    settings.jobs = options.jobs;
    settings.timeoutSeconds = options.timeoutSeconds;
    settings.timeoutText = options.timeoutText;
    settings.messages = log.is_open() ? static_cast<std::ostream*>(&log) : &err;
    settings.cache = options.cache;
    const int stopSignal = runModelWorkers(datasets, groups, settings, table);
    if (stopSignal != 0) endBySignal(stopSignal);
    if (options.cacheStats) {
        err << commandName() << ": " << describeCacheUse(options, datasets, groups) << '\n';
    }
    if (table.writeError != 0) {
        err << errorLine("cannot write the table to standard output: " +
                         systemReason(table.writeError))
            << '\n';
        return 1;
    }
    const bool allOk = std::all_of(datasets.begin(), datasets.end(), [](const BatchDataset& d) {
        return d.status == DatasetStatus::ok;
    });
    return allOk ? 0 : 1;
}
