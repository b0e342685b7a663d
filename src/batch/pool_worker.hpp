#pragma once

#include "batch_dataset.hpp"
#include "worker_pool.hpp"

#include "../run/stop_signals.hpp"
#include "../run/supervisor.hpp"

#include <chrono>
#include <string>
#include <vector>

#include <sys/types.h>

struct RunState;

/// The clock of the pool's deadlines.
using PoolClock = std::chrono::steady_clock;

/// One running model worker, as the pool sees it.
struct PoolWorker {
    std::size_t group = 0;
    pid_t pid = -1;
    RunState* state = nullptr; ///< shared with the worker
    int outputFd = -1;         ///< its stdout and stderr; -1 once they are closed
    int resultsFd = -1;        ///< its results; -1 once closed
    std::string output, results;
    std::size_t reported = 0;  ///< members of its group with a result, which come in order
    PoolClock::time_point deadline;
    bool timedOut = false;
    bool damaged = false;      ///< it sent bytes that are no result, and was killed for it
    StopRequest stop;          ///< asked to stop, and killed if it has not ended in time
};

/// The pool of model workers of one batch.
struct Pool {
    std::vector<BatchDataset>& datasets;
    const std::vector<ModelGroup>& groups;
    const PoolSettings& settings;
    InheritedSignals inherited;
    struct sigaction inheritedPipe;
    pid_t supervisor;
    std::vector<PoolWorker> running;
};

/// Starts the worker of group `g` and adds it to the running ones; returns "" or why it could
/// not be started.
std::string startWorker(Pool& pool, std::size_t g);

/// Reads what `fd` holds now into `into`; closes it, and sets it to -1, at its end.
void drain(int& fd, std::string& into);

/// How many workers can run at once within the limit of open files (each holds two pipes here),
/// at most `jobs`; at least 1.
int workersWithinFileLimit(int jobs);
