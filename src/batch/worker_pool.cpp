#include "worker_pool.hpp"

#include "model_worker.hpp"
#include "result_frames.hpp"
#include "worker_endings.hpp"

#include "../output/whole_file.hpp"
#include "../run/run_state.hpp"
#include "../run/stop_signals.hpp"
#include "../run/worker.hpp"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <new>
#include <stdexcept>

#include <fcntl.h>
#include <poll.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

struct Worker {
    std::size_t group = 0;
    pid_t pid = -1;
    RunState* state = nullptr; ///< shared with the worker
    int outputFd = -1;         ///< its stdout and stderr; -1 once they are closed
    int resultsFd = -1;        ///< its results; -1 once closed
    std::string output, results;
    std::size_t reported = 0; ///< members of its group with a result, which come in order
    Clock::time_point deadline;
    bool timedOut = false;
    bool damaged = false;     ///< it sent bytes that are no result, and was killed for it
};

struct Pool {
    std::vector<BatchDataset>& datasets;
    const std::vector<ModelGroup>& groups;
    const PoolSettings& settings;
    InheritedSignals inherited;
    struct sigaction inheritedPipe;
    pid_t supervisor;
    std::vector<Worker> running;
};

// Starts the worker of group `g`; returns "" or why it could not be started.
std::string startWorker(Pool& pool, std::size_t g)
{
    void* memory = ::mmap(nullptr, sizeof(RunState), PROT_READ | PROT_WRITE,
                          MAP_SHARED | MAP_ANONYMOUS, -1, 0);
    if (memory == MAP_FAILED) return "cannot set up a worker: " + systemReason(errno);
    int output[2], results[2];
    if (::pipe2(output, O_CLOEXEC) != 0) {
        const int error = errno;
        ::munmap(memory, sizeof(RunState));
        return "cannot set up a worker: " + systemReason(error);
    }
    if (::pipe2(results, O_CLOEXEC) != 0) {
        const int error = errno;
        for (const int fd : output) ::close(fd);
        ::munmap(memory, sizeof(RunState));
        return "cannot set up a worker: " + systemReason(error);
    }
    Worker worker;
    worker.group = g;
    worker.state = new (memory) RunState;
    std::cout.flush(); // nothing buffered may be written twice
    std::cerr.flush();
    std::fflush(nullptr);
    worker.pid = ::fork();
    if (worker.pid == 0) {
        restoreSignalsInWorker(pool.inherited, pool.supervisor);
        sigaction(SIGPIPE, &pool.inheritedPipe, nullptr);
        for (const Worker& other : pool.running) {
            ::close(other.outputFd);
            ::close(other.resultsFd);
        }
        ::close(output[0]);
        ::close(results[0]);
        ::dup2(output[1], STDOUT_FILENO);
        ::dup2(output[1], STDERR_FILENO);
        ::close(output[1]);
        // Whatever escapes the worker's loop must end the worker here, never run on into the
        // supervisor's code that follows the fork.
        try {
            runModelWorker(pool.groups[g], pool.datasets, *worker.state, results[1]);
        } catch (...) {
            std::cerr << errorLine(batchName, describeCurrentException()) << '\n';
        }
        endWorker(1);
    }
    const int forkError = errno;
    ::close(output[1]);
    ::close(results[1]);
    if (worker.pid < 0) {
        ::close(output[0]);
        ::close(results[0]);
        ::munmap(memory, sizeof(RunState));
        return "cannot start a worker: " + systemReason(forkError);
    }
    worker.outputFd = output[0];
    worker.resultsFd = results[0];
    for (const int fd : {worker.outputFd, worker.resultsFd}) {
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
    }
    const auto limit = std::chrono::duration<double>(pool.settings.timeoutSeconds);
    worker.deadline = Clock::now() + std::chrono::duration_cast<Clock::duration>(limit);
    pool.running.push_back(std::move(worker));
    return {};
}

// Reads what `fd` holds now into `into`; closes it, and sets it to -1, at its end.
void drain(int& fd, std::string& into)
{
    char buffer[65536];
    while (fd >= 0) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n > 0) {
            into.append(buffer, static_cast<std::size_t>(n));
        } else if (n == 0 || (errno != EINTR && errno != EAGAIN)) {
            ::close(fd);
            fd = -1;
        } else if (errno == EAGAIN) {
            return;
        }
    }
}

// A worker whose results cannot be read is not trusted with the rest of its group.
void dropDamagedWorker(Worker& worker)
{
    ::kill(worker.pid, SIGKILL);
    worker.damaged = true;
    worker.results.clear();
}

void takeResults(Pool& pool, Worker& worker)
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
        // The walk's lines came first, all of them errors: any error means it is not whole.
        const bool whole = dataset.lines.empty() && result.errors == 0;
        dataset.lines.insert(dataset.lines.end(), result.lines.begin(), result.lines.end());
        dataset.status = result.stale ? DatasetStatus::stale
                         : whole      ? DatasetStatus::ok
                                      : DatasetStatus::failed;
    }
}

// The worker has closed both pipes, so it has ended or is about to: reap it and settle its group.
void finishWorker(Pool& pool, Worker& worker)
{
    WorkerEnding ending;
    ending.timedOut = worker.timedOut;
    ending.timeoutText = pool.settings.timeoutText;
    while (::waitpid(worker.pid, &ending.waitStatus, 0) < 0 && errno == EINTR) {}
    // The worker removes its own temporaries; one is recorded here only if it could not.
    if (worker.state->temporary[0] != '\0') ::unlink(worker.state->temporary);
    if (worker.damaged) {
        settlePending(pool.datasets, pool.groups[worker.group], DatasetStatus::crashed,
                        "its model's worker sent a result that cannot be read");
    }
    settleUnfinished(pool.datasets, pool.groups[worker.group], ending, *worker.state);
    printModelMessages(*pool.settings.messages, pool.groups[worker.group], worker.output);
    worker.state->~RunState();
    ::munmap(worker.state, sizeof(RunState));
}

// How long ppoll may sleep: until the nearest deadline, or for ever without a limit.
bool nearestDeadline(const Pool& pool, timespec& wait)
{
    if (pool.settings.timeoutSeconds <= 0) return false;
    auto nearest = Clock::time_point::max();
    for (const Worker& worker : pool.running) {
        if (!worker.timedOut) nearest = std::min(nearest, worker.deadline);
    }
    if (nearest == Clock::time_point::max()) return false;
    const auto left = std::max(nearest - Clock::now(), Clock::duration::zero());
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

void waitForWorkers(Pool& pool, const sigset_t& waiting)
{
    std::vector<pollfd> fds;
    for (const Worker& worker : pool.running) {
        for (const int fd : {worker.outputFd, worker.resultsFd}) {
            if (fd >= 0) fds.push_back(pollfd{fd, POLLIN, 0});
        }
    }
    timespec wait = {};
    const bool limited = nearestDeadline(pool, wait);
    // Stop signals and SIGCHLD are let through here only: never between two steps.
    ::ppoll(fds.data(), fds.size(), limited ? &wait : nullptr, &waiting);
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

    int stopSignal = 0;
    const auto stop = [&](int signal) {
        if (stopSignal == 0) stopSignal = signal;
        // Not yet reaped, so no pid here can have been reused by anyone else.
        for (const Worker& worker : pool.running) ::kill(worker.pid, signal);
    };
    std::size_t next = 0;
    for (;;) {
        while (stopSignal == 0 && next < groups.size() &&
               static_cast<int>(pool.running.size()) < settings.jobs) {
            const std::string problem = startWorker(pool, next);
            if (!problem.empty()) {
                settlePending(datasets, groups[next], DatasetStatus::failed, problem);
            }
            ++next;
        }
        printKnownRows(table, datasets);
        if (stopSignal == 0 && table.writeError == EPIPE) stop(SIGPIPE);
        if (pool.running.empty()) break;

        waitForWorkers(pool, waiting);
        if (const int signal = takeReceivedSignal(); signal != 0) stop(signal);
        const Clock::time_point now = Clock::now();
        for (Worker& worker : pool.running) {
            drain(worker.outputFd, worker.output);
            drain(worker.resultsFd, worker.results);
            takeResults(pool, worker);
            if (settings.timeoutSeconds > 0 && !worker.timedOut && now >= worker.deadline) {
                ::kill(worker.pid, SIGKILL);
                worker.timedOut = true;
            }
        }
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
