#pragma once

#include <filesystem>
#include <string>
#include <vector>

/// strace, which the tests that kill a process at a chosen system call run it under.
constexpr const char* straceBinary = "/usr/bin/strace";

/// One system call of an strace log: its name, which of the calls of that name it is (from 1),
/// and the last path it names ("" for none).
struct TracedCall {
    std::string name;
    int ordinal = 0;
    std::string path;
};

/// The calls of an strace log written with -o, in order; the lines that are no call (a signal, an
/// exit) are left out. Each call's ordinal counts the calls of its name across the whole log:
/// what strace's when= counts, where one process makes all the calls of that name.
std::vector<TracedCall> readTracedCalls(const std::filesystem::path& log);

/// What strace's -e inject= takes to kill the process outright as it enters `call`.
std::string killEntering(const TracedCall& call);
