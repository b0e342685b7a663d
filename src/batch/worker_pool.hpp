#pragma once

#include "batch_dataset.hpp"
#include "batch_table.hpp"

#include "../cache/model_cache.hpp"

#include <ostream>
#include <string>
#include <vector>

/// How the model workers are run.
struct PoolSettings {
    int jobs = 1;                      ///< workers at once
    double timeoutSeconds = 0;         ///< limit of each worker; 0 for none
    std::string timeoutText;           ///< that limit as given
    std::ostream* messages = nullptr;  ///< where each worker's output goes, whole, when it ends
    CacheSettings cache;               ///< the model cache the workers read models through
};

/// Runs one worker process per model group, at most `jobs` at once, each under the discipline
/// of tarnfold's supervisor: stop signals blocked but where the pool waits, each worker's output
/// gathered through a pipe of its own, its death told and its temporary removed. Fills in every
/// dataset of the groups and prints rows as they become known; its own notes go to the
/// table's lines. A stop signal is passed on to every running worker, and no further worker
/// starts. Returns that signal, 0 if none came.
int runModelWorkers(std::vector<BatchDataset>& datasets, const std::vector<ModelGroup>& groups,
                    const PoolSettings& settings, BatchTable& table);
