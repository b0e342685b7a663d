#include "supervisor.hpp"

#include "death.hpp"
#include "stop_signals.hpp"
#include "temporaries.hpp"

#include "../console/error_printer.hpp"
#include "../run_state/run_state.hpp"

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

void askWorkerToStop(pid_t worker, RunState& state, int signal, StopRequest& stop)
{
    if (!stop.asked) {
        state.stopRequest.store(signal);
        stop.asked = true;
        stop.killAt = Clock::now() + std::chrono::seconds(stopGraceSeconds);
    }
    ::kill(worker, signal);
}

bool killAfterGrace(pid_t worker, StopRequest& stop, Clock::time_point now)
{
    if (!stop.asked || stop.killed || now < stop.killAt) return false;
    ::kill(worker, SIGKILL);
    stop.killed = true;
    return true;
}

int waitForWorker(pid_t worker, const sigset_t& waiting, RunState& state)
{
    bool timedOut = false;
    return waitForWorker(worker, waiting, state, Clock::duration::max(), timedOut);
}

int waitForWorker(pid_t worker, const sigset_t& waiting, RunState& state, Clock::duration limit,
                  bool& timedOut)
{
    StopRequest stop;
    timedOut = false;
    const Clock::time_point start = Clock::now();
    const Clock::time_point deadline =
        limit >= Clock::time_point::max() - start ? Clock::time_point::max() : start + limit;
    for (;;) {
        // Not reaped (WNOWAIT): until then its pid cannot be anyone else's, for the removal of
        // its temporary as for the signals below.
        siginfo_t ended = {};
        if (::waitid(P_PID, worker, &ended, WEXITED | WNOHANG | WNOWAIT) == 0) {
            if (ended.si_pid == worker) return 0;
        } else if (errno != EINTR) {
            return errno;
        }
        if (const int signal = takeReceivedSignal(); signal != 0) {
            askWorkerToStop(worker, state, signal, stop);
            continue;
        }
        const Clock::time_point now = Clock::now();
        if (killAfterGrace(worker, stop, now)) continue;
        if (!stop.asked && !stop.killed && now >= deadline) {
            ::kill(worker, SIGKILL);
            timedOut = true;
            stop.killed = true;
            continue;
        }
        const Clock::time_point wakeAt = stop.asked ? stop.killAt : deadline;
        const timespec wait = timeLeft(wakeAt);
        // Signals are let through here only: never between two steps. A wait that fails would
        // fail again at once, for ever.
        if (::ppoll(nullptr, 0,
                    !stop.killed && wakeAt != Clock::time_point::max() ? &wait : nullptr,
                    &waiting) < 0 &&
            errno != EINTR) {
            return errno;
        }
    }
}

int reapWorker(pid_t worker, const RunState& state, const WorkerProducts& products, int& status)
{
    siginfo_t ended = {};
    int waited;
    while ((waited = ::waitid(P_PID, worker, &ended, WEXITED | WNOWAIT)) < 0 && errno == EINTR) {}
    if (waited < 0) return errno;
    removeWorkerTemporary(state, worker, products);
    while ((waited = ::waitpid(worker, &status, 0)) < 0 && errno == EINTR) {}
    return waited < 0 ? errno : 0;
}

RunState* makeSharedState()
{
    void* memory = ::mmap(nullptr, sizeof(RunState), PROT_READ | PROT_WRITE,
                          MAP_SHARED | MAP_ANONYMOUS, -1, 0);
    return memory == MAP_FAILED ? nullptr : new (memory) RunState;
}

void releaseSharedState(RunState* state)
{
    state->~RunState();
    ::munmap(state, sizeof(RunState));
}

int superviseRun(const WorkerProducts& products, const std::function<int(RunState&)>& work,
                 std::ostream& err)
{
    RunState* shared = makeSharedState();
    if (!shared) {
        printError(err, "cannot set up a worker: " + systemReason(errno));
        return 1;
    }
    RunState& state = *shared;

    InheritedSignals inherited;
    holdStopSignals(inherited);
    std::cout.flush(); // nothing buffered may be written twice
    std::fflush(nullptr);
    const pid_t supervisor = ::getpid();
    const pid_t worker = ::fork();
    if (worker < 0) {
        printError(err, "cannot start a worker: " + systemReason(errno));
        return 1;
    }
    if (worker == 0) {
        restoreSignalsInWorker(inherited, supervisor);
        std::exit(work(state));
    }

    int status = 0;
    int error = waitForWorker(worker, waitingMask(inherited), state);
    std::string killed;
    if (error == 0) {
        error = reapWorker(worker, state, products, status);
    } else if (siginfo_t ended = {};
               ::waitid(P_PID, worker, &ended, WEXITED | WNOHANG | WNOWAIT) == 0) {
        // Still a child of this process: not left to run unwatched.
        if (ended.si_pid != worker && ::kill(worker, SIGKILL) == 0) killed = "; it was killed";
        reapWorker(worker, state, products, status);
    }
    if (error != 0) {
        // Nothing is known of how the worker ended, so nothing may be taken for a success.
        printError(err, "cannot wait for the worker (pid " + std::to_string(worker) +
                        "): " + systemReason(error) + killed);
        return 1;
    }
    if (!WIFSIGNALED(status)) return WIFEXITED(status) ? WEXITSTATUS(status) : 1;

    // Killed because it did not end when asked: that is the stop it was asked for.
    const int requested = state.stopRequest.load();
    const int signal = WTERMSIG(status) == SIGKILL && requested != 0 ? requested : WTERMSIG(status);
    if (state.progressOnScreen.load()) err << "\r\033[K"; // the worker's progress line
    printError(err, describeDeath(signal, state));
    if (isStopSignal(signal)) endBySignal(signal);
    return 1;
}
