#pragma once

#include <functional>

struct RunState;

/// Runs work(state) in a forked worker process and waits for it, so that nothing the library
/// does to the worker (a stack overflow, an abort, the out-of-memory killer) ends the command
/// without a word. Returns the worker's exit status when it exits. When it dies by a signal:
/// prints one error line of the command naming the signal and the phase recorded in the
/// state, and removes the temporary file recorded there. A death by a stop signal (SIGTERM,
/// SIGINT, SIGHUP, SIGQUIT, SIGPIPE) ends the supervisor by that same signal; any other returns 1.
/// Stop signals sent to the supervisor are passed on to the worker. The worker itself never
/// returns from this call: it exits with work's result.
int superviseRun(const std::function<int(RunState&)>& work);
