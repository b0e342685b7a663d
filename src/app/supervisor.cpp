#include "supervisor.hpp"

#include "../run/run_state.hpp"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <iterator>
#include <new>

#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// Signals that ask a run to stop: passed on to the worker, and a worker that dies of one of
// them takes the supervisor with it by the same signal, as if it had run alone.
constexpr int stopSignals[] = {SIGTERM, SIGINT, SIGHUP, SIGQUIT};

volatile sig_atomic_t receivedSignal = 0;

void recordSignal(int signal)
{
    receivedSignal = signal;
}

void wakeUp(int) {}

bool isStopSignal(int signal)
{
    return signal == SIGPIPE ||
           std::count(std::begin(stopSignals), std::end(stopSignals), signal) > 0;
}

// What the supervisor needs to put back in the worker before it runs: the caller's signal mask
// and dispositions (a signal ignored by nohup or a background shell stays ignored).
struct Inherited {
    sigset_t mask;
    struct sigaction stop[std::size(stopSignals)];
    struct sigaction child;
};

void installHandlers(Inherited& inherited)
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

void restoreInWorker(const Inherited& inherited, pid_t supervisor)
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

int waitForWorker(pid_t worker, const Inherited& inherited)
{
    sigset_t waiting = inherited.mask;
    for (const int signal : stopSignals) sigdelset(&waiting, signal);
    sigdelset(&waiting, SIGCHLD);
    int status = 0;
    for (;;) {
        const pid_t ended = ::waitpid(worker, &status, WNOHANG);
        if (ended == worker) return status;
        if (ended < 0 && errno != EINTR) return status;
        // The worker is not yet reaped, so its pid cannot have been reused by anyone else.
        if (receivedSignal != 0) {
            ::kill(worker, receivedSignal);
            receivedSignal = 0;
            continue;
        }
        sigsuspend(&waiting);
    }
}

// Ends this process by `signal`, so that the shell sees 128+N as if the worker had run alone.
[[noreturn]] void endBySignal(int signal)
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

std::string describePlace(const RunState& state)
{
    const std::string model = std::string("'") + state.modelPath + "'";
    switch (static_cast<RunPhase>(state.phase.load())) {
    case RunPhase::starting: return "before the run began";
    case RunPhase::walking:
        return std::string("while walking the dataset '") + state.datasetRoot + "'";
    case RunPhase::reading: return "while reading " + model;
    case RunPhase::transferring: return "while transferring " + model;
    case RunPhase::writing:
        return "while writing face " + std::to_string(state.faceNumber.load()) + " of " + model;
    case RunPhase::measuring: return "while measuring the faces of " + model;
    case RunPhase::drawing: return "while drawing " + model;
    case RunPhase::matching: return "while matching the faces of two revisions";
    case RunPhase::finished: break;
    }
    return "after the run had ended";
}

// The one-line account of a worker's death by `signal`, without the command's prefix.
std::string describeDeath(int signal, const RunState& state)
{
    const auto phase = static_cast<RunPhase>(state.phase.load());
    std::string what;
    if (isStopSignal(signal)) {
        what = "stopped";
    } else if (signal == SIGKILL) {
        what = "killed";
    } else if (phase == RunPhase::reading || phase == RunPhase::transferring) {
        what = "the STEP library crashed";
    } else {
        what = "crashed";
    }
    const int files = state.filesWritten.load();
    const std::string written = files == 0   ? "no file was written"
                                : files == 1 ? "1 file was written whole before it"
                                             : std::to_string(files) +
                                                   " files were written whole before it";
    return what + " (" + strsignal(signal) + ") " + describePlace(state) + "; " + written;
}

} // namespace

int superviseRun(const char* commandName, const std::function<int(RunState&)>& work)
{
    void* memory = ::mmap(nullptr, sizeof(RunState), PROT_READ | PROT_WRITE,
                          MAP_SHARED | MAP_ANONYMOUS, -1, 0);
    if (memory == MAP_FAILED) {
        std::cerr << commandName << ": error: cannot set up a worker: " << std::strerror(errno)
                  << '\n';
        return 1;
    }
    RunState& state = *new (memory) RunState;

    Inherited inherited;
    installHandlers(inherited);
    std::cout.flush(); // nothing buffered may be written twice
    std::fflush(nullptr);
    const pid_t supervisor = ::getpid();
    const pid_t worker = ::fork();
    if (worker < 0) {
        std::cerr << commandName << ": error: cannot start a worker: " << std::strerror(errno)
                  << '\n';
        return 1;
    }
    if (worker == 0) {
        restoreInWorker(inherited, supervisor);
        std::exit(work(state));
    }

    const int status = waitForWorker(worker, inherited);
    // The worker removes its own temporaries; one is recorded here only if it could not.
    if (state.temporary[0] != '\0') ::unlink(state.temporary);
    if (!WIFSIGNALED(status)) return WIFEXITED(status) ? WEXITSTATUS(status) : 1;

    const int signal = WTERMSIG(status);
    if (state.progressOnScreen.load()) std::cerr << "\r\033[K"; // the worker's progress line
    std::cerr << commandName << ": error: " << describeDeath(signal, state) << std::endl;
    if (isStopSignal(signal)) endBySignal(signal);
    return 1;
}
