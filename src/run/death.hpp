#pragma once

#include "run_state.hpp"

#include <string>

/// What ended a worker, in words: "stopped", "killed", "the STEP library crashed" or "crashed".
std::string describeCause(int signal, RunPhase phase);

/// Where the run that `state` describes stood: "while transferring 'm.step'" and the like.
std::string describePlace(const RunState& state);

/// What `files` face files written whole before an ending mean: "no file was written", ...
std::string describeFilesWritten(int files);

/// The one-line account of a worker's death by `signal`, without the command's prefix:
/// "the STEP library crashed (Segmentation fault) while transferring 'm.step'; no file was
/// written".
std::string describeDeath(int signal, const RunState& state);
