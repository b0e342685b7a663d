#include "worker_endings.hpp"

#include "../console/error_printer.hpp"
#include "../run/death.hpp"
#include "../run_state/run_state.hpp"
#include "../run/stop_signals.hpp"
#include "../run/worker.hpp"

#include <cstring>

#include <sys/wait.h>

namespace {

void settle(BatchDataset& dataset, DatasetStatus status, int files, std::string line)
{
    dataset.status = status;
    dataset.files = files;
    dataset.lines.push_back(std::move(line));
}

// The line of a dataset that was being worked on, from its own place in `state`: tarnfold's
// account of a death by a signal, the batch's own for a timeout or an exit.
std::string describeEnding(const WorkerEnding& ending, const RunState& state)
{
    const std::string where =
        describePlace(state) + "; " + describeFilesWritten(state.filesWritten.load());
    if (ending.timedOut) {
        return errorLine(commands::batch, "timed out after " + ending.timeoutText + " s " + where);
    }
    if (WIFSIGNALED(ending.waitStatus)) {
        return errorLine(commands::tool, describeDeath(WTERMSIG(ending.waitStatus), state));
    }
    return errorLine(commands::batch, "its model's worker ended with exit status " +
                                          std::to_string(WEXITSTATUS(ending.waitStatus)) + " " +
                                          where);
}

// The ending in a few words, for the datasets after the one it came in.
std::string describeEndingBriefly(const WorkerEnding& ending, const RunState& state)
{
    if (ending.timedOut) return "timed out after " + ending.timeoutText + " s";
    if (!WIFSIGNALED(ending.waitStatus)) {
        return "exit status " + std::to_string(WEXITSTATUS(ending.waitStatus));
    }
    const int signal = WTERMSIG(ending.waitStatus);
    return describeCause(signal, static_cast<RunPhase>(state.phase.load())) + " (" +
           strsignal(signal) + ")";
}

} // namespace

void settleUnfinished(std::vector<BatchDataset>& datasets, const ModelGroup& group,
                      const WorkerEnding& ending, RunState& state)
{
    std::vector<std::size_t> unfinished;
    for (const std::size_t member : group.members) {
        if (datasets[member].status == DatasetStatus::pending) unfinished.push_back(member);
    }
    if (unfinished.empty()) return;
    const bool signaled = WIFSIGNALED(ending.waitStatus);
    const DatasetStatus status =
        ending.timedOut                                   ? DatasetStatus::timeout
        : signaled && isStopSignal(WTERMSIG(ending.waitStatus)) ? DatasetStatus::stopped
                                                                : DatasetStatus::crashed;
    const int begun = state.datasetsBegun.load();
    if (begun == 0) {
        // Still in the read or the transfer, which every dataset of the group shares.
        for (const std::size_t member : unfinished) {
            const std::string& modelPath = datasets[member].inputs.modelPath;
            recordText(state.modelPath, modelPath);
            settle(datasets[member], status, 0, describeEnding(ending, state));
        }
        return;
    }
    // Results come in the order the datasets are begun: the one begun last is in progress,
    // unless its result came before the end.
    const std::size_t inProgress = group.members[static_cast<std::size_t>(begun) - 1];
    const std::string when =
        datasets[inProgress].status == DatasetStatus::pending ? "on dataset '" : "after dataset '";
    const std::string what = describeEndingBriefly(ending, state);
    for (const std::size_t member : unfinished) {
        if (member == inProgress) {
            settle(datasets[member], status, state.filesWritten.load(),
                   describeEnding(ending, state));
        } else {
            settle(datasets[member], status, 0,
                   errorLine(commands::batch, "not begun: its model's worker ended " + when +
                                                  datasets[inProgress].root + "': " + what));
        }
    }
}

void settlePending(std::vector<BatchDataset>& datasets, const ModelGroup& group,
                     DatasetStatus status, const std::string& why)
{
    for (const std::size_t member : group.members) {
        if (datasets[member].status == DatasetStatus::pending) {
            settle(datasets[member], status, 0, errorLine(commands::batch, why));
        }
    }
}
