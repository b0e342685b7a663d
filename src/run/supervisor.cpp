#include "supervisor.hpp"

#include "death.hpp"
#include "run_state.hpp"
#include "stop_signals.hpp"
#include "temporaries.hpp"

#include "../console/error_printer.hpp"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <new>

#include <poll.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

timespec timeLeft(Clock::time_point until)
{
    const auto left = std::max(until - Clock::now(), Clock::duration::zero());
    const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(left).count();
    return timespec{static_cast<time_t>(ns / 1000000000), static_cast<long>(ns % 1000000000)};
}

} // namespace

int waitForWorker(pid_t worker, const sigset_t& waiting, RunState& state, int& status)
{
    bool timedOut = false;
    return waitForWorker(worker, waiting, state, status, Clock::duration::max(), timedOut);
}

int waitForWorker(pid_t worker, const sigset_t& waiting, RunState& state, int& status,
                  Clock::duration limit, bool& timedOut)
{
    bool asked = false, killed = false;
    timedOut = false;
    Clock::time_point killAt;
    const Clock::time_point start = Clock::now();
    const Clock::time_point deadline =
        limit >= Clock::time_point::max() - start ? Clock::time_point::max() : start + limit;
    for (;;) {
        const pid_t ended = ::waitpid(worker, &status, WNOHANG);
        if (ended == worker) return 0;
        if (ended < 0 && errno != EINTR) return errno;
        // The worker is not yet reaped, so its pid cannot have been reused by anyone else.
        if (const int signal = takeReceivedSignal(); signal != 0) {
            if (!asked) {
                // Asked first, then sent: a transfer that holds the signal sees the request.
                state.stopRequest.store(signal);
                asked = true;
                killAt = Clock::now() + std::chrono::seconds(stopGraceSeconds);
            }
            ::kill(worker, signal);
            continue;
        }
        if (!killed && ((asked && Clock::now() >= killAt) ||
                        (!asked && Clock::now() >= deadline))) {
            ::kill(worker, SIGKILL);
            timedOut = !asked;
            killed = true;
            continue;
        }
        const Clock::time_point wakeAt = asked ? killAt : deadline;
        const timespec wait = timeLeft(wakeAt);
        // Signals are let through here only: never between two steps.
        ::ppoll(nullptr, 0, !killed && wakeAt != Clock::time_point::max() ? &wait : nullptr,
                &waiting);
    }
}

int superviseRun(const WorkerProducts& products, const std::function<int(RunState&)>& work)
{
    void* memory = ::mmap(nullptr, sizeof(RunState), PROT_READ | PROT_WRITE,
                          MAP_SHARED | MAP_ANONYMOUS, -1, 0);
    if (memory == MAP_FAILED) {
        printError("cannot set up a worker: " + systemReason(errno));
        return 1;
    }
    RunState& state = *new (memory) RunState;

    InheritedSignals inherited;
    holdStopSignals(inherited);
    std::cout.flush(); // nothing buffered may be written twice
    std::fflush(nullptr);
    const pid_t supervisor = ::getpid();
    const pid_t worker = ::fork();
    if (worker < 0) {
        printError("cannot start a worker: " + systemReason(errno));
        return 1;
    }
    if (worker == 0) {
        restoreSignalsInWorker(inherited, supervisor);
        std::exit(work(state));
    }

    int status = 0;
    if (const int error = waitForWorker(worker, waitingMask(inherited), state, status)) {
        // Nothing is known of how the worker ended, so nothing may be taken for a success.
        printError("cannot wait for the worker (pid " + std::to_string(worker) +
                   "): " + systemReason(error));
        return 1;
    }
    removeWorkerTemporary(state, worker, products);
    if (!WIFSIGNALED(status)) return WIFEXITED(status) ? WEXITSTATUS(status) : 1;

    // Killed because it did not end when asked: that is the stop it was asked for.
    const int requested = state.stopRequest.load();
    const int signal = WTERMSIG(status) == SIGKILL && requested != 0 ? requested : WTERMSIG(status);
    if (state.progressOnScreen.load()) std::cerr << "\r\033[K"; // the worker's progress line
    printError(describeDeath(signal, state));
    if (isStopSignal(signal)) endBySignal(signal);
    return 1;
}
