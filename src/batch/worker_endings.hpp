#pragma once

#include "batch_dataset.hpp"

#include <string>
#include <vector>

struct RunState;

/// How a model's worker ended.
struct WorkerEnding {
    int waitStatus = 0;      ///< as waitpid gave it
    bool timedOut = false;   ///< killed at the --timeout limit
    std::string timeoutText; ///< that limit, as given
};

/// Gives each dataset of `group` still pending its status and the line that says why, after
/// its worker ended as `ending` says, in the place `state` records. A dataset whose work had not
/// begun apart from the shared read is told what tarnfold would have told it: its own model
/// path, no file written. The dataset in progress keeps its count of files. Those after it are
/// told they were not begun. `state` is the dead worker's, no longer shared, and is changed.
void settleUnfinished(std::vector<BatchDataset>& datasets, const ModelGroup& group,
                      const WorkerEnding& ending, RunState& state);

/// Marks the datasets of a group still pending as `status`, with one line of the batch's own
/// that says why: for a worker that never ran, or whose results could not be read.
void settlePending(std::vector<BatchDataset>& datasets, const ModelGroup& group,
                     DatasetStatus status, const std::string& why);
