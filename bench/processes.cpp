// Processes and their figures: running a command and measuring it, and the statistics and
// number formats the report uses.
#include "bench.hpp"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iomanip>
#include <iostream>
#include <sstream>

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

double msSince(Clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

double median(std::vector<double> values)
{
    values.erase(std::remove_if(values.begin(), values.end(), [](double v) { return std::isnan(v); }),
                 values.end());
    if (values.empty()) return NAN;
    std::sort(values.begin(), values.end());
    const std::size_t middle = values.size() / 2;
    return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

std::vector<double> fieldOf(const std::vector<ProcessFigures>& runs, double ProcessFigures::*field)
{
    std::vector<double> values;
    for (const ProcessFigures& run : runs) values.push_back(run.*field);
    return values;
}

std::vector<double> pairedRatios(const std::vector<ProcessFigures>& runs,
                                 const std::vector<ProcessFigures>& baseline,
                                 double ProcessFigures::*field)
{
    std::vector<double> ratios;
    for (std::size_t i = 0; i < std::min(runs.size(), baseline.size()); ++i) {
        ratios.push_back(runs[i].*field / baseline[i].*field);
    }
    return ratios;
}

std::string formatFixed(double value, int digits)
{
    if (std::isnan(value)) return "-";
    std::ostringstream text;
    text << std::fixed << std::setprecision(digits) << value;
    return text.str();
}

std::string formatMs(double ms)
{
    return formatFixed(ms, ms < 10 ? 2 : ms < 1000 ? 1 : 0);
}

std::string formatSpread(const std::vector<double>& values, int digits)
{
    std::vector<double> known;
    for (const double value : values) {
        if (!std::isnan(value)) known.push_back(value);
    }
    if (known.size() < 2) return formatFixed(median(known), digits);
    const auto [low, high] = std::minmax_element(known.begin(), known.end());
    return formatFixed(median(known), digits) + " (" + formatFixed(*low, digits) + "-" +
           formatFixed(*high, digits) + ")";
}

namespace {

// Pointers into `arguments`, which must outlive them.
std::vector<char*> argumentVector(const std::vector<std::string>& arguments)
{
    std::vector<char*> argv;
    for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    return argv;
}

double rusageMs(const timeval& time)
{
    return static_cast<double>(time.tv_sec) * 1000 + static_cast<double>(time.tv_usec) / 1000;
}

// GNU time writes "Command exited with non-zero status N" before the figures then.
double readPeakRssMiB(const fs::path& file)
{
    std::ifstream in(file);
    std::string line, last;
    while (std::getline(in, line)) {
        if (!line.empty()) last = line;
    }
    if (last.empty() || !std::isdigit(static_cast<unsigned char>(last[0]))) return NAN;
    return std::stod(last) / 1024;
}

} // namespace

// The child's peak RSS cannot come from our own wait4: Linux carries a process's high-water mark
// across exec, so a child spawned from this (large) process would report at least our size.
// GNU time runs the command from a small process of its own and reports the command's
// ru_maxrss; its %M is in KiB. CPU times do come from wait4, which counts the children that GNU
// time reaped, in microseconds rather than its %U's hundredths. posix_spawn rather than fork, so
// that copying our page tables stays out of the wall time, measured around spawn..wait for every
// command alike.
ProcessFigures runProcess(const std::vector<std::string>& command, const fs::path& scratch,
                          const fs::path& errorFile)
{
    static const bool haveTime = ::access("/usr/bin/time", X_OK) == 0;
    std::vector<std::string> arguments;
    if (haveTime) arguments = {"/usr/bin/time", "-f", "%M", "-o", scratch.string()};
    arguments.insert(arguments.end(), command.begin(), command.end());
    std::vector<char*> argv = argumentVector(arguments);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    if (errorFile.empty()) {
        posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    } else {
        posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, errorFile.c_str(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0644);
    }

    ProcessFigures figures;
    const Clock::time_point start = Clock::now();
    pid_t pid = 0;
    const int spawnError = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawnError != 0) {
        std::cerr << "tarnfold_bench: cannot run " << arguments[0] << ": "
                  << std::strerror(spawnError) << '\n';
        return figures;
    }
    int status = 0;
    rusage usage{};
    if (::wait4(pid, &status, 0, &usage) < 0) return figures;
    figures.wallMs = msSince(start);
    figures.exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    figures.systemMs = rusageMs(usage.ru_stime);
    figures.cpuMs = rusageMs(usage.ru_utime) + figures.systemMs;
    if (haveTime) {
        figures.peakRssMiB = readPeakRssMiB(scratch);
        fs::remove(scratch);
    }
    return figures;
}

// With LD_TRACE_LOADED_OBJECTS set, the dynamic linker lists what it would load and exits
// before main: what ldd prints, without depending on ldd.
std::vector<std::string> loadedAllocators(const std::string& executable)
{
    int pipeEnds[2];
    if (::pipe2(pipeEnds, O_CLOEXEC) != 0) return {};
    std::vector<std::string> environment;
    for (char** entry = environ; *entry != nullptr; ++entry) environment.emplace_back(*entry);
    environment.emplace_back("LD_TRACE_LOADED_OBJECTS=1");
    std::vector<char*> envp = argumentVector(environment);
    const std::vector<std::string> arguments = {executable};
    std::vector<char*> argv = argumentVector(arguments);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], STDOUT_FILENO);
    pid_t pid = 0;
    const int spawnError = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    ::close(pipeEnds[1]);
    std::string listing;
    char buffer[4096];
    for (ssize_t n; spawnError == 0 && (n = ::read(pipeEnds[0], buffer, sizeof buffer)) > 0;) {
        listing.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(pipeEnds[0]);
    if (spawnError == 0) ::waitpid(pid, nullptr, 0);

    std::vector<std::string> found;
    std::istringstream lines(listing);
    std::string library;
    // Lines read "libx.so.N => /path/libx.so.N (address)": the same name comes twice.
    while (lines >> library) {
        const std::string name = fs::path(library).filename().string();
        for (const char* allocator : {"libmimalloc", "libjemalloc", "libtcmalloc"}) {
            if (name.rfind(allocator, 0) == 0 &&
                std::find(found.begin(), found.end(), name) == found.end()) {
                found.push_back(name);
            }
        }
    }
    return found;
}

// The library prints its load check and transfer trace on std::cout. While timing, fd 1 points
// at /dev/null, for the tool's phases and the floor's alike, so both pay the same for output.
int silenceStdout()
{
    std::cout.flush();
    std::fflush(stdout);
    const int saved = ::dup(STDOUT_FILENO);
    const int devNull = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
    ::dup2(devNull, STDOUT_FILENO);
    ::close(devNull);
    return saved;
}

void restoreStdout(int saved)
{
    std::cout.flush();
    std::fflush(stdout);
    ::dup2(saved, STDOUT_FILENO);
    ::close(saved);
}
