#pragma once

#include "../intake/dataset_inputs.hpp"

#include <cstddef>
#include <string>
#include <vector>

/// How a dataset of a batch ended; pending until it is known.
enum class DatasetStatus { pending, ok, failed, stale, crashed, timeout, stopped };

/// One dataset root of a batch's input, and all that is known of it.
struct BatchDataset {
    std::string root;               ///< exactly as given
    DatasetInputs inputs;           ///< what the walk gathered
    std::vector<std::string> lines; ///< its error and note lines, in tarnfold's order, no newlines
    bool walkedWhole = true;        ///< its walk reported no error
    DatasetStatus status = DatasetStatus::pending;
    int files = 0;                  ///< face files written whole
    int modelCache = 0;             ///< how its model came, a ModelCacheUse
};

/// The datasets whose models are one file, read once by one worker.
struct ModelGroup {
    std::string modelPath;            ///< as its first dataset names it: the path the worker reads
    std::vector<std::size_t> members; ///< indices into the batch's datasets, in input order
};
