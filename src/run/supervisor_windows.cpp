// The worker on Windows is this same program started again with CreateProcessW, on the same
// command line, sharing the run state through an inherited file mapping that its environment
// names. There is no fork, and a guard inside one process survives neither a stack overflow
// nor a heap the library has broken; a process of its own does: however the worker ends, the
// supervisor tells it in one line and removes its temporary.
#include "supervisor.hpp"

#include "death.hpp"
#include "stop_signals.hpp"
#include "temporaries.hpp"

#include "../console/error_printer.hpp"
#include "../run_state/run_state.hpp"
#include "../paths/windows_errors.hpp"

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <iostream>
#include <new>
#include <vector>

#include <windows.h>

namespace {

constexpr const wchar_t* stateVariable = L"TARNFOLD_WORKER_STATE";
constexpr std::uint64_t sharedMark = 0x646c6f666e726174ULL; // "tarnfold"

// What the mapping holds. The mark and the supervisor's id keep a stray variable of that name
// from being taken for a supervisor's.
struct SharedRun {
    std::uint64_t mark = 0;
    DWORD supervisor = 0;
    RunState state;
};

HANDLE stopEvent = nullptr;
std::atomic<int> stopReceived{0};

BOOL WINAPI recordConsoleStop(DWORD event)
{
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT) return FALSE;
    stopReceived.store(event == CTRL_C_EVENT ? SIGINT : SIGBREAK);
    SetEvent(stopEvent);
    return TRUE;
}

// The run this process works on for its supervisor; null when it is nobody's worker.
SharedRun* findSharedRun()
{
    wchar_t text[64];
    const DWORD length = GetEnvironmentVariableW(stateVariable, text, 64);
    if (length == 0 || length >= 64) return nullptr;
    SetEnvironmentVariableW(stateVariable, nullptr); // what the worker starts is no worker
    unsigned long long handle = 0;
    unsigned long supervisor = 0;
    if (std::swscanf(text, L"%llu:%lu", &handle, &supervisor) != 2) return nullptr;
    void* view = MapViewOfFile(reinterpret_cast<HANDLE>(std::uintptr_t(handle)),
                               FILE_MAP_ALL_ACCESS, 0, 0, sizeof(SharedRun));
    auto* shared = static_cast<SharedRun*>(view);
    if (shared && (shared->mark != sharedMark || shared->supervisor != supervisor)) {
        UnmapViewOfFile(view);
        return nullptr;
    }
    return shared;
}

// What an exit code that none of the commands gives says of the worker's end.
std::string describeExitCode(DWORD code)
{
    const char* what = nullptr;
    switch (code) {
    case 3: what = "aborted"; break;
    case STATUS_ACCESS_VIOLATION: what = "access violation"; break;
    case STATUS_STACK_OVERFLOW: what = "stack overflow"; break;
    case STATUS_NO_MEMORY: what = "out of memory"; break;
    case STATUS_ILLEGAL_INSTRUCTION: what = "illegal instruction"; break;
    case STATUS_INTEGER_DIVIDE_BY_ZERO: what = "integer division by zero"; break;
    case 0xC0000374: what = "heap corruption"; break;
    case 0xC0000409: what = "fail-fast exit"; break;
    }
    char hex[16];
    std::snprintf(hex, sizeof hex, "0x%08lX", static_cast<unsigned long>(code));
    return what ? std::string(what) + ", " + hex : std::string("exit code ") + hex;
}

std::string describeEnd(DWORD code, const RunState& state)
{
    const auto phase = static_cast<RunPhase>(state.phase.load());
    const char* cause = phase == RunPhase::reading || phase == RunPhase::transferring
                            ? "the STEP library crashed"
                            : "crashed";
    return std::string(cause) + " (" + describeExitCode(code) + ") " + describePlace(state) +
           "; " + describeFilesWritten(state.filesWritten.load());
}

std::string describeStop(int signal, const RunState& state)
{
    return std::string("stopped (") + (signal == SIGBREAK ? "Ctrl-Break" : "Ctrl-C") + ") " +
           describePlace(state) + "; " + describeFilesWritten(state.filesWritten.load());
}

// Starts the worker, suspended until it is in a job that ends it with this process, as a
// Linux worker dies with its supervisor. 0 or the system's error.
DWORD startWorker(HANDLE mapping, PROCESS_INFORMATION& process)
{
    wchar_t variable[64];
    std::swprintf(variable, 64, L"%llu:%lu",
                  static_cast<unsigned long long>(reinterpret_cast<std::uintptr_t>(mapping)),
                  GetCurrentProcessId());
    std::vector<wchar_t> program(32768);
    GetModuleFileNameW(nullptr, program.data(), DWORD(program.size()));
    std::wstring commandLine = GetCommandLineW();
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    SetEnvironmentVariableW(stateVariable, variable);
    const BOOL started = CreateProcessW(program.data(), commandLine.data(), nullptr, nullptr, TRUE,
                                       CREATE_SUSPENDED, nullptr, nullptr, &startup, &process);
    const DWORD error = started ? 0 : GetLastError();
    SetEnvironmentVariableW(stateVariable, nullptr);
    if (!started) return error;
    if (const HANDLE job = CreateJobObjectW(nullptr, nullptr)) {
        JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits = {};
        limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
        SetInformationJobObject(job, JobObjectExtendedLimitInformation, &limits, sizeof limits);
        AssignProcessToJobObject(job, process.hProcess); // the handle stays open for good
    }
    ResumeThread(process.hThread);
    CloseHandle(process.hThread);
    return 0;
}

// Waits for the worker; a stop received meanwhile is asked of it in the state, and a worker
// that outlives the request by stopGraceSeconds is ended. 0 or the system's error.
DWORD waitForWorker(HANDLE worker, RunState& state, bool& killed)
{
    bool asked = false;
    ULONGLONG killAt = 0;
    for (;;) {
        const HANDLE waits[] = {worker, stopEvent};
        const ULONGLONG now = GetTickCount64();
        const DWORD timeout =
            asked && !killed ? DWORD(killAt > now ? killAt - now : 0) : INFINITE;
        const DWORD woke = WaitForMultipleObjects(2, waits, FALSE, timeout);
        if (woke == WAIT_OBJECT_0) return 0;
        if (woke == WAIT_OBJECT_0 + 1) {
            ResetEvent(stopEvent);
            if (!asked) {
                state.stopRequest.store(stopReceived.load());
                asked = true;
                killAt = GetTickCount64() + stopGraceSeconds * 1000ULL;
            }
            continue;
        }
        if (woke == WAIT_TIMEOUT) {
            TerminateProcess(worker, STATUS_CONTROL_C_EXIT);
            killed = true;
            continue;
        }
        return GetLastError();
    }
}

} // namespace

int superviseRun(const WorkerProducts& products, const std::function<int(RunState&)>& work,
                 std::ostream& err)
{
    if (SharedRun* shared = findSharedRun()) {
        // A crash is the supervisor's to tell: no dialog, no debugger, nothing waits on a user.
        SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
        answerConsoleStops(shared->state);
        std::exit(work(shared->state));
    }

    SECURITY_ATTRIBUTES inherited = {sizeof inherited, nullptr, TRUE};
    const HANDLE mapping = CreateFileMappingW(INVALID_HANDLE_VALUE, &inherited, PAGE_READWRITE, 0,
                                              sizeof(SharedRun), nullptr);
    void* view = mapping ? MapViewOfFile(mapping, FILE_MAP_ALL_ACCESS, 0, 0, sizeof(SharedRun))
                         : nullptr;
    if (!view) {
        printError(err, "cannot set up a worker: " + describeWindowsError(GetLastError()));
        return 1;
    }
    SharedRun& shared = *new (view) SharedRun;
    shared.mark = sharedMark;
    shared.supervisor = GetCurrentProcessId();
    RunState& state = shared.state;

    // Before the worker starts, so that no stop falls between the two.
    stopEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    SetConsoleCtrlHandler(recordConsoleStop, TRUE);
    std::cout.flush(); // nothing buffered may be written twice
    std::fflush(nullptr);
    PROCESS_INFORMATION process = {};
    if (const DWORD error = startWorker(mapping, process)) {
        printError(err, "cannot start a worker: " + describeWindowsError(error));
        return 1;
    }
    bool killed = false;
    if (const DWORD error = waitForWorker(process.hProcess, state, killed)) {
        // Nothing is known of how the worker ended, so nothing may be taken for a success.
        printError(err, "cannot wait for the worker (pid " + std::to_string(process.dwProcessId) +
                        "): " + describeWindowsError(error));
        return 1;
    }
    DWORD code = 1;
    GetExitCodeProcess(process.hProcess, &code);
    removeWorkerTemporary(state, pid_t(process.dwProcessId), products);
    if (code <= 2) return int(code); // the commands' own statuses

    if (state.progressOnScreen.load()) err << "\r\033[K"; // the worker's progress line
    const int stop = state.stopRequest.load();
    if (code == STATUS_CONTROL_C_EXIT || (killed && stop != 0)) {
        printError(err, describeStop(stop != 0 ? stop : SIGINT, state));
        endBySignal(stop != 0 ? stop : SIGINT);
    }
    printError(err, describeEnd(code, state));
    return 1;
}
