#pragma once

#include "batch_dataset.hpp"

#include "../cache/model_cache.hpp"

#include <vector>

struct RunState;

/// The work of one model's worker process: reads the group's model once, as tarnfold reads it
/// (through `cache`, as tarnfold does), then writes the face files of each of its datasets with tarnfold's own export, recording in
/// `state` which dataset and face it is at, and writes each dataset's result to `resultsFd` as
/// soon as that dataset is done. Never returns: the process ends when the last result is out.
[[noreturn]] void runModelWorker(const ModelGroup& group, const std::vector<BatchDataset>& datasets,
                                 const CacheSettings& cache, RunState& state, int resultsFd);
