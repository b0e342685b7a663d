#include "supervisor.hpp"

#include "death.hpp"
#include "run_state.hpp"
#include "stop_signals.hpp"
#include "worker.hpp"

#include "../console/error_printer.hpp"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <new>

#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

int waitForWorker(pid_t worker, const InheritedSignals& inherited)
{
    const sigset_t waiting = waitingMask(inherited);
    int status = 0;
    for (;;) {
        const pid_t ended = ::waitpid(worker, &status, WNOHANG);
        if (ended == worker) return status;
        if (ended < 0 && errno != EINTR) return status;
        // The worker is not yet reaped, so its pid cannot have been reused by anyone else.
        if (const int signal = takeReceivedSignal(); signal != 0) {
            ::kill(worker, signal);
            continue;
        }
        sigsuspend(&waiting);
    }
}

} // namespace

int superviseRun(const std::function<int(RunState&)>& work)
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

    const int status = waitForWorker(worker, inherited);
    // The worker removes its own temporaries; one is recorded here only if it could not.
    if (state.temporary[0] != '\0') ::unlink(state.temporary);
    if (!WIFSIGNALED(status)) return WIFEXITED(status) ? WEXITSTATUS(status) : 1;

    const int signal = WTERMSIG(status);
    if (state.progressOnScreen.load()) std::cerr << "\r\033[K"; // the worker's progress line
    printError(describeDeath(signal, state));
    if (isStopSignal(signal)) endBySignal(signal);
    return 1;
}
