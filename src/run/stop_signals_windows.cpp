// Stops on Windows. Ctrl-C and Ctrl-Break reach every process of the console, the supervisor
// and its worker alike (supervisor_windows.cpp). A worker ends at once, as any console program
// does, except in a part that answers the stop itself (a transfer, through the run state).
#include "stop_signals.hpp"

#include "../run_state/run_state.hpp"

#include <atomic>
#include <cstdio>
#include <iostream>

#include <windows.h>

namespace {

RunState* workerState = nullptr;
std::atomic<bool> answering{false};

BOOL WINAPI answerConsoleStop(DWORD event)
{
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT) return FALSE;
    workerState->stopRequest.store(event == CTRL_C_EVENT ? SIGINT : SIGBREAK);
    if (answering.load()) return TRUE;
    // At once and without a word, as the console's own handler ends a program; the supervisor
    // removes what the worker leaves behind.
    TerminateProcess(GetCurrentProcess(), STATUS_CONTROL_C_EXIT);
    return TRUE;
}

} // namespace

void answerConsoleStops(RunState& state)
{
    workerState = &state;
    SetConsoleCtrlHandler(answerConsoleStop, TRUE);
}

void keepingStopHandlers(const std::function<void()>& install)
{
    install();
    // The library's handler only beeps and raises a flag that nothing asks after; handlers run
    // latest first, so the worker's own goes in again after it.
    if (workerState) {
        SetConsoleCtrlHandler(answerConsoleStop, FALSE);
        SetConsoleCtrlHandler(answerConsoleStop, TRUE);
    }
}

void ignoreFileSizeSignal() {}

void runAnsweringStops(const RunState* state, const std::function<void()>& work)
{
    if (!state) {
        work();
        return;
    }
    answering.store(true);
    work();
    answering.store(false);
    // What the library printed up to the stop reaches the log.
    std::cout.flush();
    std::fflush(nullptr);
    if (const int signal = state->stopRequest.load()) endBySignal(signal);
}

bool isStopSignal(int signal)
{
    return signal == SIGINT || signal == SIGBREAK || signal == SIGTERM;
}

void endBySignal(int)
{
    // As a console program that Ctrl-C ended: cmd.exe shows -1073741510.
    std::cout.flush();
    std::cerr.flush();
    std::fflush(nullptr);
    TerminateProcess(GetCurrentProcess(), STATUS_CONTROL_C_EXIT);
    ExitProcess(STATUS_CONTROL_C_EXIT);
}
