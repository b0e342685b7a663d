#pragma once

#include <chrono>
#include <functional>
#include <ostream>

struct RunState;
struct WorkerProducts;

/// Runs work(state) in a forked worker process and waits for it, so that nothing the library
/// does to the worker (a stack overflow, an abort, the out-of-memory killer) ends the command
/// without a word. Returns the worker's exit status when it exits. When it dies by a signal:
/// prints one error line of the command on `err` naming the signal and the phase recorded in
/// the state, and removes the temporary file recorded there if it is one of `products`' (and
/// nothing else). A death by a stop signal (SIGTERM, SIGINT, SIGHUP, SIGQUIT, SIGPIPE) ends the
/// supervisor by that same signal; any other returns 1. A stop signal sent to the supervisor is
/// passed on to the worker and asked of it in the state, so that a transfer can end on its own;
/// a worker that has not ended a few seconds later is killed. A wait that fails is one line on
/// `err` and status 1, and a worker still running then is killed. The worker itself never
/// returns from this call: it exits with work's result.
int superviseRun(const WorkerProducts& products, const std::function<int(RunState&)>& work,
                 std::ostream& err);

#ifndef _WIN32
#include <signal.h>
#include <sys/types.h>

/// A fresh RunState in memory that the workers forked from now on share with this process, or
/// null, with errno set, when none could be had. Given back by releaseSharedState.
RunState* makeSharedState();

/// Ends a RunState of makeSharedState and gives its memory back.
void releaseSharedState(RunState* state);

/// A stop asked of a worker: a worker that has not ended stopGraceSeconds after the first
/// request is killed.
struct StopRequest {
    bool asked = false;
    bool killed = false; ///< killed (SIGKILL) by this process
    std::chrono::steady_clock::time_point killAt;
};

/// Asks `worker`, not yet reaped (so that its pid is still its own), to stop by `signal`: the
/// first request is recorded in `state` before the signal is sent, so that a transfer that
/// holds the signal sees it; the grace starts then.
void askWorkerToStop(pid_t worker, RunState& state, int signal, StopRequest& stop);

/// Kills `worker` when it was asked to stop and the grace has passed by `now`; true if it was
/// killed by this call.
bool killAfterGrace(pid_t worker, StopRequest& stop, std::chrono::steady_clock::time_point now);

/// Waits for `worker` to end, with the signals of `waiting` let through meanwhile: a stop
/// signal received is passed on to it and recorded in `state`, and a worker that outlives the
/// request by stopGraceSeconds is killed. Returns 0 once it has ended, still unreaped (see
/// reapWorker), or the errno of a wait that failed.
int waitForWorker(pid_t worker, const sigset_t& waiting, RunState& state);

/// As waitForWorker, and a worker still running `limit` after the call, unasked to stop, is
/// killed (SIGKILL); `timedOut` then says so.
int waitForWorker(pid_t worker, const sigset_t& waiting, RunState& state,
                  std::chrono::steady_clock::duration limit, bool& timedOut);

/// Once `worker` has ended: removes its temporary (removeWorkerTemporary) while its pid is still
/// its own, then reaps it. Returns 0 with the wait status in `status`, or the errno of a wait
/// that failed.
int reapWorker(pid_t worker, const RunState& state, const WorkerProducts& products, int& status);
#endif

/// How long a worker that was asked to stop has to end on its own.
constexpr int stopGraceSeconds = 3;
