#include "worker_pool.hpp"

#include "pool_worker.hpp"
#include "result_frames.hpp"
#include "worker_endings.hpp"

#include "../console/error_printer.hpp"
#include "../record/record_files.hpp"
#include "../run_state/run_state.hpp"
#include "../run/stop_signals.hpp"
#include "../run/supervisor.hpp"
#include "../run/temporaries.hpp"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <stdexcept>

#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// A worker whose results cannot be read is not trusted with the rest of its group.
void dropDamagedWorker(PoolWorker& worker)
{
    ::kill(worker.pid, SIGKILL);
    worker.damaged = true;
    worker.results.clear();
}

void takeResults(Pool& pool, PoolWorker& worker)
{
    const ModelGroup& group = pool.groups[worker.group];
    DatasetResult result;
    for (;;) {
        try {
            if (worker.damaged || !takeResult(worker.results, result)) return;
        } catch (const std::runtime_error&) {
            dropDamagedWorker(worker);
            return;
        }
        // The datasets of its group, in order, each once: anything else is no result.
        if (worker.reported == group.members.size() ||
            result.dataset != group.members[worker.reported]) {
            dropDamagedWorker(worker);
            return;
        }
        ++worker.reported;
        BatchDataset& dataset = pool.datasets[result.dataset];
        dataset.files = result.files;
        // The walk's lines came first: any error among them means it is not whole.
        const bool whole = dataset.walkedWhole && result.errors == 0;
        dataset.lines.insert(dataset.lines.end(), result.lines.begin(), result.lines.end());
        dataset.status = result.stale ? DatasetStatus::stale
                         : whole      ? DatasetStatus::ok
                                      : DatasetStatus::failed;
    }
}

// The worker has closed both pipes, so it has ended or is about to: reap it and settle its group.
void finishWorker(Pool& pool, PoolWorker& worker)
{
    const ModelGroup& group = pool.groups[worker.group];
    WorkerEnding ending;
    ending.timedOut = worker.timedOut;
    ending.timeoutText = pool.settings.timeoutText;
    WorkerProducts products;
    for (const std::size_t member : group.members) {
        const std::string& root = pool.datasets[member].root;
        products.datasetRoots.push_back(root);
        for (const std::string& file : recordFilePaths(root)) products.files.push_back(file);
    }
    if (const int error = reapWorker(worker.pid, *worker.state, products, ending.waitStatus)) {
        // Nothing is known of how it ended, nor whether it still writes: its files stay.
        settlePending(pool.datasets, group, DatasetStatus::failed,
                      "cannot wait for its model's worker: " + systemReason(error));
    }
    if (worker.damaged) {
        settlePending(pool.datasets, group, DatasetStatus::crashed,
                      "its model's worker sent a result that cannot be read");
    }
    // Killed because it did not end when asked: it ended by the stop it was asked for. A death's
    // wait status is its signal.
    if (worker.stop.killed && WIFSIGNALED(ending.waitStatus) &&
        WTERMSIG(ending.waitStatus) == SIGKILL) {
        ending.waitStatus = worker.state->stopRequest.load();
    }
    settleUnfinished(pool.datasets, group, ending, *worker.state);
    for (const std::size_t member : group.members) {
        pool.datasets[member].modelCache = worker.state->modelCache.load();
    }
    printModelMessages(*pool.settings.messages, group, worker.output);
    releaseSharedState(worker.state);
}

// How long ppoll may sleep: until the nearest deadline or grace, or for ever when there is none.
bool nearestDeadline(const Pool& pool, timespec& wait)
{
    auto nearest = PoolClock::time_point::max();
    for (const PoolWorker& worker : pool.running) {
        if (pool.settings.timeoutSeconds > 0 && !worker.timedOut) {
            nearest = std::min(nearest, worker.deadline);
        }
        if (worker.stop.asked && !worker.stop.killed) {
            nearest = std::min(nearest, worker.stop.killAt);
        }
    }
    if (nearest == PoolClock::time_point::max()) return false;
    const auto left = std::max(nearest - PoolClock::now(), PoolClock::duration::zero());
    const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(left).count();
    // One millisecond more, so that the deadline has passed when ppoll returns.
    wait.tv_sec = static_cast<time_t>(ns / 1000000000);
    wait.tv_nsec = static_cast<long>(ns % 1000000000) + 1000000;
    if (wait.tv_nsec >= 1000000000) {
        wait.tv_sec += 1;
        wait.tv_nsec -= 1000000000;
    }
    return true;
}

// Waits for output, a deadline or a signal; returns 0, or the errno of a wait that failed.
int waitForWorkers(Pool& pool, const sigset_t& waiting)
{
    std::vector<pollfd> fds;
    for (const PoolWorker& worker : pool.running) {
        for (const int fd : {worker.outputFd, worker.resultsFd}) {
            if (fd >= 0) fds.push_back(pollfd{fd, POLLIN, 0});
        }
    }
    timespec wait = {};
    const bool limited = nearestDeadline(pool, wait);
    // Stop signals and SIGCHLD are let through here only: never between two steps.
    const int ready = ::ppoll(fds.data(), fds.size(), limited ? &wait : nullptr, &waiting);
    return ready < 0 && errno != EINTR ? errno : 0;
}

// The pool cannot wait for its workers any more: each is killed and reaped, and every dataset
// not done says why. Going round again would only fail again, at full speed.
void abandonWorkers(Pool& pool, std::size_t next, int error)
{
    const std::string why = "the batch cannot wait for its model workers: " + systemReason(error);
    for (PoolWorker& worker : pool.running) {
        ::kill(worker.pid, SIGKILL);
        for (int& fd : {std::ref(worker.outputFd), std::ref(worker.resultsFd)}) {
            if (fd >= 0) ::close(fd);
            fd = -1;
        }
        settlePending(pool.datasets, pool.groups[worker.group], DatasetStatus::failed,
                      "its model's worker was killed: " + why);
        finishWorker(pool, worker);
    }
    pool.running.clear();
    for (; next < pool.groups.size(); ++next) {
        settlePending(pool.datasets, pool.groups[next], DatasetStatus::failed, "not begun: " + why);
    }
}

} // namespace

int runModelWorkers(std::vector<BatchDataset>& datasets, const std::vector<ModelGroup>& groups,
                    const PoolSettings& settings, BatchTable& table)
{
    Pool pool{datasets, groups, settings, {}, {}, ::getpid(), {}};
    // A table nobody reads any more is a stop (see below), not a death of the supervisor that
    // would leave its workers' temporaries behind.
    struct sigaction ignore = {};
    ignore.sa_handler = SIG_IGN;
    sigaction(SIGPIPE, &ignore, &pool.inheritedPipe);
    holdStopSignals(pool.inherited);
    const sigset_t waiting = waitingMask(pool.inherited);
    // Near the limit of open files whole groups would fail to start: fewer at once instead.
    const int jobs = workersWithinFileLimit(settings.jobs);
    if (jobs < settings.jobs && groups.size() > static_cast<std::size_t>(jobs)) {
        const std::string note = "--jobs " + std::to_string(settings.jobs) +
                                 " is more than the limit of open files allows: " +
                                 std::to_string(jobs) + " model workers at once";
        *table.lines << noteLine(commandName(), note) << '\n';
    }

    int stopSignal = 0;
    const auto stop = [&](int signal) {
        if (stopSignal == 0) stopSignal = signal;
        for (PoolWorker& worker : pool.running) {
            askWorkerToStop(worker.pid, *worker.state, signal, worker.stop);
        }
    };
    std::size_t next = 0;
    for (;;) {
        while (stopSignal == 0 && next < groups.size() &&
               static_cast<int>(pool.running.size()) < jobs) {
            const std::string problem = startWorker(pool, next);
            if (!problem.empty()) {
                settlePending(datasets, groups[next], DatasetStatus::failed, problem);
            }
            ++next;
        }
        printKnownRows(table, datasets);
        if (stopSignal == 0 && table.writeError == EPIPE) stop(SIGPIPE);
        if (pool.running.empty()) break;

        if (const int error = waitForWorkers(pool, waiting); error != 0) {
            abandonWorkers(pool, next, error);
            next = groups.size();
            continue;
        }
        if (const int signal = takeReceivedSignal(); signal != 0) stop(signal);
        const PoolClock::time_point now = PoolClock::now();
        for (PoolWorker& worker : pool.running) {
            drain(worker.outputFd, worker.output);
            drain(worker.resultsFd, worker.results);
            takeResults(pool, worker);
            if (settings.timeoutSeconds > 0 && !worker.timedOut && now >= worker.deadline) {
                worker.timedOut = true;
                askWorkerToStop(worker.pid, *worker.state, SIGTERM, worker.stop);
            }
            killAfterGrace(worker.pid, worker.stop, now);
        }
        // The rows its results made known come before a finished worker's messages, whether its
        // results and its end were seen in one wake or in two: a fast worker must not reorder
        // stderr.
        printKnownRows(table, datasets);
        for (auto worker = pool.running.begin(); worker != pool.running.end();) {
            if (worker->outputFd >= 0 || worker->resultsFd >= 0) {
                ++worker;
                continue;
            }
            finishWorker(pool, *worker);
            worker = pool.running.erase(worker);
        }
    }
    if (stopSignal != 0) {
        for (; next < groups.size(); ++next) {
            settlePending(datasets, groups[next], DatasetStatus::stopped,
                          std::string("not begun: the batch was stopped (") +
                              strsignal(stopSignal) + ")");
        }
    }
    printKnownRows(table, datasets);
    return stopSignal;
}
