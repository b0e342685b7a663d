#pragma once

#include "../run_state/run_state.hpp"

#include <string>

// A worker on Windows ends with an exit code, which supervisor_windows.cpp tells.
#ifndef _WIN32
/// What ended a worker, in words: "stopped", "killed", "the STEP library crashed" or "crashed".
std::string describeCause(int signal, RunPhase phase);
#endif

/// Where the run that `state` describes stood: "while transferring 'm.step'" and the like.
std::string describePlace(const RunState& state);

/// What `files` face files written whole before an ending mean: "no file was written", ...
std::string describeFilesWritten(int files);

#ifndef _WIN32
/// The one-line account of a worker's death by `signal`, without the command's prefix:
/// "the STEP library crashed (Segmentation fault) while transferring 'm.step'; no file was
/// written".
std::string describeDeath(int signal, const RunState& state);
#endif
