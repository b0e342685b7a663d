#include "stop_signals.hpp"

#include "../run_state/run_state.hpp"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <iostream>

#include <sys/prctl.h>
#include <sys/resource.h>
#include <unistd.h>

namespace {

volatile sig_atomic_t receivedSignal = 0;

void recordSignal(int signal)
{
    receivedSignal = signal;
}

void wakeUp(int) {}

} // namespace

void holdStopSignals(InheritedSignals& inherited)
{
    sigset_t blocked;
    sigemptyset(&blocked);
    for (const int signal : stopSignals) sigaddset(&blocked, signal);
    sigaddset(&blocked, SIGCHLD);
    // Blocked from before the fork until the wait, so that no signal falls between the two.
    sigprocmask(SIG_BLOCK, &blocked, &inherited.mask);

    struct sigaction action = {};
    sigemptyset(&action.sa_mask);
    action.sa_handler = recordSignal;
    for (std::size_t i = 0; i < std::size(stopSignals); ++i) {
        sigaction(stopSignals[i], nullptr, &inherited.stop[i]);
        if (inherited.stop[i].sa_handler != SIG_IGN) sigaction(stopSignals[i], &action, nullptr);
    }
    // A handler, not SIG_IGN, which would reap the worker on its own and lose its status.
    action.sa_handler = wakeUp;
    action.sa_flags = SA_NOCLDSTOP;
    sigaction(SIGCHLD, &action, &inherited.child);
}

sigset_t waitingMask(const InheritedSignals& inherited)
{
    sigset_t waiting = inherited.mask;
    for (const int signal : stopSignals) sigdelset(&waiting, signal);
    sigdelset(&waiting, SIGCHLD);
    return waiting;
}

int takeReceivedSignal()
{
    const int signal = receivedSignal;
    receivedSignal = 0;
    return signal;
}

void restoreSignalsInWorker(const InheritedSignals& inherited, pid_t supervisor)
{
    for (std::size_t i = 0; i < std::size(stopSignals); ++i) {
        sigaction(stopSignals[i], &inherited.stop[i], nullptr);
    }
    sigaction(SIGCHLD, &inherited.child, nullptr);
    // A worker whose supervisor is killed outright must not run on alone. The supervisor may
    // have died before the request was made, so look again after making it.
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (::getppid() != supervisor) ::_exit(1);
    sigprocmask(SIG_SETMASK, &inherited.mask, nullptr);
}

void runAnsweringStops(const RunState* state, const std::function<void()>& work)
{
    if (!state) {
        work();
        return;
    }
    sigset_t stops, before;
    sigemptyset(&stops);
    for (const int signal : stopSignals) sigaddset(&stops, signal);
    sigprocmask(SIG_BLOCK, &stops, &before);
    struct Release {
        const sigset_t& mask;
        ~Release() { sigprocmask(SIG_SETMASK, &mask, nullptr); }
    };
    {
        const Release release{before};
        work();
        // What the library printed up to the stop reaches the log: the last entity it worked on
        // is there to be found.
        std::cout.flush();
        std::fflush(nullptr);
    } // a stop signal held meanwhile ends the process here
    if (const int signal = state->stopRequest.load()) endBySignal(signal);
}

void keepingStopHandlers(const std::function<void()>& install)
{
    struct sigaction before[std::size(stopSignals)];
    for (std::size_t i = 0; i < std::size(stopSignals); ++i) {
        sigaction(stopSignals[i], nullptr, &before[i]);
    }
    install();
    for (std::size_t i = 0; i < std::size(stopSignals); ++i) {
        sigaction(stopSignals[i], &before[i], nullptr);
    }
}

void ignoreFileSizeSignal()
{
    std::signal(SIGXFSZ, SIG_IGN);
}

bool isStopSignal(int signal)
{
    return signal == SIGPIPE ||
           std::count(std::begin(stopSignals), std::end(stopSignals), signal) > 0;
}

void endBySignal(int signal)
{
    if (signal == SIGQUIT) {
        const struct rlimit noCore = {0, 0}; // the worker's core, if any, is the one that counts
        setrlimit(RLIMIT_CORE, &noCore);
    }
    std::signal(signal, SIG_DFL);
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, signal);
    sigprocmask(SIG_UNBLOCK, &set, nullptr);
    ::raise(signal);
    std::_Exit(128 + signal);
}
