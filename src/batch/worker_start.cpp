#include "pool_worker.hpp"

#include "model_worker.hpp"

#include "../console/error_printer.hpp"
#include "../run_state/run_state.hpp"
#include "../run/supervisor.hpp"
#include "../run/worker.hpp"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <iostream>

#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

std::string startWorker(Pool& pool, std::size_t g)
{
    RunState* state = makeSharedState();
    if (!state) return "cannot set up a worker: " + systemReason(errno);
    int output[2], results[2];
    if (::pipe2(output, O_CLOEXEC) != 0) {
        const int error = errno;
        releaseSharedState(state);
        return "cannot set up a worker: " + systemReason(error);
    }
    if (::pipe2(results, O_CLOEXEC) != 0) {
        const int error = errno;
        for (const int fd : output) ::close(fd);
        releaseSharedState(state);
        return "cannot set up a worker: " + systemReason(error);
    }
    PoolWorker worker;
    worker.group = g;
    worker.state = state;
    std::cout.flush(); // nothing buffered may be written twice
    std::cerr.flush();
    std::fflush(nullptr);
    worker.pid = ::fork();
    if (worker.pid == 0) {
        restoreSignalsInWorker(pool.inherited, pool.supervisor);
        sigaction(SIGPIPE, &pool.inheritedPipe, nullptr);
        for (const PoolWorker& other : pool.running) {
            ::close(other.outputFd);
            ::close(other.resultsFd);
        }
        ::close(output[0]);
        ::close(results[0]);
        ::dup2(output[1], STDOUT_FILENO);
        ::dup2(output[1], STDERR_FILENO);
        ::close(output[1]);
        // Whatever escapes the worker's loop must end the worker here, never run on into the
        // supervisor's code that follows the fork.
        try {
            runModelWorker(pool.groups[g], pool.datasets, pool.settings.cache, *worker.state,
                           results[1]);
        } catch (...) {
            // Its stderr is the pipe whose bytes the pool passes on as the worker's messages.
            const std::string line = errorLine(describeCurrentException()) + '\n';
            [[maybe_unused]] const ssize_t n = ::write(STDERR_FILENO, line.data(), line.size());
        }
        endWorker(1);
    }
    const int forkError = errno;
    ::close(output[1]);
    ::close(results[1]);
    if (worker.pid < 0) {
        ::close(output[0]);
        ::close(results[0]);
        releaseSharedState(state);
        return "cannot start a worker: " + systemReason(forkError);
    }
    worker.outputFd = output[0];
    worker.resultsFd = results[0];
    for (const int fd : {worker.outputFd, worker.resultsFd}) {
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
    }
    const auto limit = std::chrono::duration<double>(pool.settings.timeoutSeconds);
    worker.deadline = PoolClock::now() + std::chrono::duration_cast<PoolClock::duration>(limit);
    pool.running.push_back(std::move(worker));
    return {};
}

void drain(int& fd, std::string& into)
{
    char buffer[65536];
    while (fd >= 0) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n > 0) {
            into.append(buffer, static_cast<std::size_t>(n));
        } else if (n == 0 || (errno != EINTR && errno != EAGAIN)) {
            ::close(fd);
            fd = -1;
        } else if (errno == EAGAIN) {
            return;
        }
    }
}

int workersWithinFileLimit(int jobs)
{
    struct rlimit limit = {};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) return jobs;
    std::error_code error;
    long open = 0;
    for (std::filesystem::directory_iterator fd("/proc/self/fd", error), end; !error && fd != end;
         fd.increment(error)) {
        ++open;
    }
    if (error || open == 0) open = 3;
    // Each worker keeps two pipes' read ends here, and the one being started its four ends for a
    // moment; one more for whatever the pool opens meanwhile.
    const long room = (static_cast<long>(limit.rlim_cur) - open - 3) / 2;
    return static_cast<int>(std::max(1L, std::min<long>(jobs, room)));
}
