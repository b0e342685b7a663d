#include "whole_file.hpp"

#include "../run/run_state.hpp"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include <fcntl.h>
#include <unistd.h>

namespace {

// Creates a new file beside `fileName` that nobody else can have planted: O_EXCL refuses an
// existing name, a symbolic link included. The mode follows the umask, as a plain create does.
// The name is recorded before the create, so that it is known whenever the file may exist.
int createTemporaryFile(const std::string& fileName, std::string& temporary, std::string& error,
                        RunState* state)
{
    const std::string stem = fileName + ".tmp" + std::to_string(::getpid());
    for (int attempt = 0; attempt < 100; ++attempt) {
        temporary = stem + (attempt == 0 ? "" : "." + std::to_string(attempt));
        recordTemporary(state, temporary.c_str());
        const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0) return fd;
        recordTemporary(state, "");
        if (errno != EEXIST) {
            error = systemReason(errno);
            return -1;
        }
    }
    error = "no free temporary name";
    return -1;
}

bool writeAll(int fd, const std::string& bytes)
{
    std::size_t written = 0;
    while (written < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + written, bytes.size() - written);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        written += static_cast<std::size_t>(n);
    }
    return true;
}

} // namespace

std::string systemReason(int error)
{
    return error != 0 ? std::strerror(error) : "reason unknown";
}

std::string writeWholeFile(const std::string& fileName, const std::string& bytes, RunState* state)
{
    std::string temporary, error;
    const int fd = createTemporaryFile(fileName, temporary, error, state);
    if (fd < 0) return "cannot create a file beside '" + fileName + "': " + error;
    // Written through the descriptor that created the file: no name is opened twice, and no
    // file is truncated, which on ext4 forces it to disk at close.
    int reason = writeAll(fd, bytes) ? 0 : errno;
    if (::close(fd) != 0 && reason == 0) reason = errno;
    if (reason == 0 && std::rename(temporary.c_str(), fileName.c_str()) == 0) {
        recordTemporary(state, "");
        if (state) state->filesWritten.fetch_add(1, std::memory_order_relaxed);
        return {};
    }
    if (reason == 0) reason = errno;

    std::remove(temporary.c_str());
    recordTemporary(state, "");
    return "cannot write '" + fileName + "': " + systemReason(reason);
}
