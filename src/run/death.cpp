#include "death.hpp"

#include "stop_signals.hpp"

#include <cstring>

// A worker on Windows ends with an exit code, which supervisor_windows.cpp tells.
#ifndef _WIN32
std::string describeCause(int signal, RunPhase phase)
{
    if (isStopSignal(signal)) return "stopped";
    if (signal == SIGKILL) return "killed";
    if (phase == RunPhase::reading || phase == RunPhase::transferring) {
        return "the STEP library crashed";
    }
    return "crashed";
}
#endif

std::string describePlace(const RunState& state)
{
    const std::string model = "'" + readText(state.modelPath) + "'";
    switch (static_cast<RunPhase>(state.phase.load())) {
    case RunPhase::starting: return "before the run began";
    case RunPhase::walking:
        return "while walking the dataset '" + readText(state.datasetRoot) + "'";
    case RunPhase::reading: return "while reading " + model;
    case RunPhase::transferring: return "while transferring " + model;
    case RunPhase::writing:
        return "while writing face " + std::to_string(state.faceNumber.load()) + " of " + model;
    case RunPhase::measuring: return "while measuring the faces of " + model;
    case RunPhase::drawing: return "while drawing " + model;
    case RunPhase::matching: return "while matching the faces of two revisions";
    case RunPhase::meshing: return "while meshing " + model;
    case RunPhase::checking:
        return "while checking the lists of '" + readText(state.datasetRoot) +
               "' against the record of the last run";
    case RunPhase::recording:
        return "while keeping the record of the run of '" + readText(state.datasetRoot) + "'";
    case RunPhase::carrying:
        return "while carrying the lists of '" + readText(state.datasetRoot) +
               "' over to the new revision";
    case RunPhase::reporting:
        return "while handing on the results of '" + readText(state.datasetRoot) + "'";
    case RunPhase::caching: return "while keeping " + model + " in the model cache";
    case RunPhase::finished: break;
    }
    return "after the run had ended";
}

std::string describeFilesWritten(int files)
{
    if (files == 0) return "no file was written";
    if (files == 1) return "1 file was written whole before it";
    return std::to_string(files) + " files were written whole before it";
}

#ifndef _WIN32
std::string describeDeath(int signal, const RunState& state)
{
    const auto phase = static_cast<RunPhase>(state.phase.load());
    // A carry is all or nothing, whatever it had written: its count would mislead.
    const std::string after = phase == RunPhase::carrying
                                  ? "the next command on the dataset completes the carry or "
                                    "undoes it"
                                  : describeFilesWritten(state.filesWritten.load());
    return describeCause(signal, phase) + " (" + strsignal(signal) + ") " + describePlace(state) +
           "; " + after;
}
#endif
