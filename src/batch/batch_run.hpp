#pragma once

#include "batch_arguments.hpp"

#include <ostream>

/// Runs the batch that `options` describe and returns its exit status: 0 when every dataset is
/// ok, 1 when any is not, 2 when the dataset list or the log cannot be opened. Ends the process
/// by a stop signal that stopped the batch, once every row is printed. The table (or the
/// groups, or the cache's figures) goes to `out`; the workers' lines and the batch's own
/// errors and notes go to `err`.
int runBatch(const BatchOptions& options, std::ostream& out, std::ostream& err);
