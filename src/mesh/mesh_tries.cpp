#include "mesh_tries.hpp"

#include "../run_state/run_state.hpp"
#include "../run/supervisor.hpp"
#include "../run/temporaries.hpp"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <new>
#include <sstream>

#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

// What a try's worker hands back: its outcome as lines, stored whole before its length is.
struct TryReport {
    static constexpr std::size_t capacity = (1 << 20) - 64;
    std::atomic<std::size_t> length{0};
    char text[capacity];
};

// The outcome as lines of a kind letter and a text: M for meshed, R reason, N note, S summary.
// The reason and the summary come first, so that only notes are lost to a full report.
void storeOutcome(const TryOutcome& outcome, TryReport& report)
{
    std::string text = outcome.meshed ? "M\n" : "";
    const auto add = [&text](char kind, std::string line) {
        std::replace(line.begin(), line.end(), '\n', ' ');
        const std::string entry = kind + line + '\n';
        if (text.size() + entry.size() <= TryReport::capacity) text += entry;
    };
    if (!outcome.reason.empty()) add('R', outcome.reason);
    for (const std::string& line : outcome.summary) add('S', line);
    for (const std::string& line : outcome.notes) add('N', line);
    std::memcpy(report.text, text.data(), text.size());
    report.length.store(text.size(), std::memory_order_release);
}

TryOutcome loadOutcome(const TryReport& report)
{
    TryOutcome outcome;
    const std::size_t length =
        std::min(report.length.load(std::memory_order_acquire), TryReport::capacity);
    std::istringstream lines(std::string(report.text, length));
    for (std::string line; std::getline(lines, line);) {
        if (line.empty()) continue;
        const std::string text = line.substr(1);
        if (line[0] == 'M') outcome.meshed = true;
        if (line[0] == 'R') outcome.reason = text;
        if (line[0] == 'S') outcome.summary.push_back(text);
        if (line[0] == 'N') outcome.notes.push_back(text);
    }
    return outcome;
}

std::string describeTry(std::size_t index, const MeshTry& attempt)
{
    return "try " + std::to_string(index + 1) + " (" + attempt.words + ")";
}

// Runs one try in a worker of its own for at most `limit`; its outcome, or why there is none.
TryOutcome runTryApart(const MeshJob& job, const MeshTry& attempt, Clock::duration limit,
                       const TryLimits& limits, const InheritedSignals& inherited,
                       RunState& state, TryReport& report, bool& timedOut)
{
    timedOut = false;
    report.length.store(0);
    std::cout.flush(); // nothing buffered may be written twice
    std::fflush(nullptr);
    const pid_t parent = ::getpid();
    const pid_t worker = ::fork();
    TryOutcome failed;
    if (worker < 0) {
        failed.reason = "cannot start a worker for it: " + std::string(std::strerror(errno));
        return failed;
    }
    if (worker == 0) {
        restoreSignalsInWorker(inherited, parent);
        storeOutcome(runMeshTry(job, attempt, &state), report);
        std::cout.flush();
        std::fflush(nullptr);
        std::_Exit(0);
    }
    int status = 0;
    int error = waitForWorker(worker, waitingMask(inherited), state, limit, timedOut);
    if (error == 0) error = reapWorker(worker, state, WorkerProducts{}, status);
    if (error != 0) {
        failed.reason = "cannot wait for its worker: " + std::string(std::strerror(error));
        ::kill(worker, SIGKILL);
        ::waitpid(worker, &status, 0);
        return failed;
    }
    // The try's temporaries are named for this process: whatever it left is removed here.
    ::unlink(job.scratch.c_str());
    if (const int stop = state.stopRequest.load()) {
        ::unlink(job.temporary.c_str());
        recordTemporary(&state, "");
        endBySignal(stop);
    }
    if (WIFEXITED(status) && WEXITSTATUS(status) == 0) return loadOutcome(report);
    if (timedOut) {
        failed.reason = "ran out of its " + limits.secondsText + " s";
    } else if (WIFSIGNALED(status)) {
        failed.reason = std::string("gmsh crashed (") + strsignal(WTERMSIG(status)) + ")";
    } else {
        failed.reason = "its worker ended with status " + std::to_string(WEXITSTATUS(status));
    }
    return failed;
}

} // namespace

TriesOutcome meshInTries(const MeshJob& job, const TryLimits& limits,
                         const InheritedSignals& inherited, RunState* state)
{
    RunState own;
    RunState& shared = state ? *state : own;
    void* memory = ::mmap(nullptr, sizeof(TryReport), PROT_READ | PROT_WRITE,
                          MAP_SHARED | MAP_ANONYMOUS, -1, 0);
    TriesOutcome result;
    if (memory == MAP_FAILED) {
        result.error = "cannot set up a worker for gmsh: " + std::string(std::strerror(errno));
        return result;
    }
    TryReport& report = *new (memory) TryReport;

    const auto each = std::chrono::duration_cast<Clock::duration>(
        std::chrono::duration<double>(std::min(limits.seconds, 1e9)));
    Clock::duration left = 2 * each;
    const std::vector<MeshTry> tries = listMeshTries(!job.solids.empty());
    std::vector<std::string> failures;
    for (std::size_t i = 0; i < tries.size() && left > Clock::duration::zero(); ++i) {
        const Clock::time_point start = Clock::now();
        bool timedOut = false;
        TryOutcome outcome =
            runTryApart(job, tries[i], std::min(each, left), limits, inherited, shared, report,
                        timedOut);
        left -= Clock::now() - start;
        if (outcome.meshed) {
            result.meshed = true;
            result.notes = std::move(outcome.notes);
            result.summary = std::move(outcome.summary);
            if (i > 0) {
                std::string note = "meshed on " + describeTry(i, tries[i]);
                for (const std::string& failure : failures) note += "; " + failure;
                result.notes.insert(result.notes.begin(), note);
            }
            break;
        }
        ::unlink(job.temporary.c_str());
        recordTemporary(state, "");
        failures.push_back(describeTry(i, tries[i]) + ": " + outcome.reason);
        // More time or another algorithm would not mend a try that ran out of time.
        if (timedOut) i = std::max(i, tries.size() - 2);
    }
    ::munmap(memory, sizeof(TryReport));
    if (!result.meshed) {
        for (const std::string& failure : failures) {
            result.error += (result.error.empty() ? "" : "; ") + failure;
        }
    }
    return result;
}
