#pragma once

#include "batch_arguments.hpp"

/// Runs the batch that `options` describe and returns its exit status: 0 when every dataset is
/// ok, 1 when any is not, 2 when the dataset list or the log cannot be opened. Ends the process
/// by a stop signal that stopped the batch, once every row is printed.
int runBatch(const BatchOptions& options);
