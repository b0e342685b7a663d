#pragma once

#include <csignal>
#include <cstddef>
#include <functional>
#include <iterator>

struct RunState;

// Windows has neither these signals nor a mask: a worker there is a process of its own, which
// Ctrl-C and Ctrl-Break reach through the console (supervisor_windows.cpp).
#ifndef _WIN32
#include <sys/types.h>

/// Signals that ask a run to stop: passed on to the workers, and a worker that dies of one of
/// them takes its supervisor with it by the same signal, as if it had run alone.
constexpr int stopSignals[] = {SIGTERM, SIGINT, SIGHUP, SIGQUIT};

/// What a supervisor must put back in each worker before it runs: the caller's signal mask and
/// dispositions (a signal ignored by nohup or a background shell stays ignored).
struct InheritedSignals {
    sigset_t mask;
    struct sigaction stop[std::size(stopSignals)];
    struct sigaction child;
};

/// Blocks the stop signals and SIGCHLD and installs handlers that only record them, so that a
/// supervisor sees them only where it waits (sigsuspend or ppoll with waitingMask). Call before
/// the first fork.
void holdStopSignals(InheritedSignals& inherited);

/// The mask to wait with: the caller's, with the stop signals and SIGCHLD let through.
sigset_t waitingMask(const InheritedSignals& inherited);

/// The stop signal received since the last call, 0 if none; clears it.
int takeReceivedSignal();

/// In a freshly forked worker: puts back what `inherited` holds, and makes the worker die with
/// its supervisor (ends at once if `supervisor` is already gone).
void restoreSignalsInWorker(const InheritedSignals& inherited, pid_t supervisor);
#endif

#ifdef _WIN32
/// In a worker: Ctrl-C and Ctrl-Break end it at once, as they end any console program, except
/// inside runAnsweringStops, where they are asked of the work through `state`.
void answerConsoleStops(RunState& state);
#endif

/// Runs `install`, which installs handlers of its own (the library's), and puts back what answered
/// the stop signals before, so that a stop keeps its meaning.
void keepingStopHandlers(const std::function<void()>& install);

/// A write past a file-size limit (ulimit -f) then fails with EFBIG and is reported like any
/// failed write, instead of the signal killing the run. Nothing where there is no such limit.
void ignoreFileSizeSignal();

/// In a supervised worker (`state` not null): runs `work` with the stop signals held, so that a
/// stop is answered by the work itself (a transfer whose progress asks the state), then flushes
/// the output and ends the process by the stop that was asked for meanwhile, if one was. Without
/// a state, just runs `work`.
void runAnsweringStops(const RunState* state, const std::function<void()>& work);

/// Whether `signal` asks a run to stop (SIGPIPE included: nobody reads the run's output).
bool isStopSignal(int signal);

/// Ends this process by `signal`, so that the shell sees 128+N as if the worker had run alone.
[[noreturn]] void endBySignal(int signal);
