#include "whole_file.hpp"

#include "../console/error_printer.hpp"
#include "../run_state/run_state.hpp"
#include "../run/temporaries.hpp"

#include <cerrno>
#include <cstdio>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

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

enum class Existing { none, same, other };

// A regular file at the name that already holds exactly `bytes` is left in place and only made
// to read as written now: a batch run again writes the same faces, and replacing them costs a
// new inode each. The name is opened without following a link and without waiting on a FIFO,
// and no more than one byte past the expected size is read.
Existing touchIfSame(const std::string& fileName, const std::string& bytes)
{
    const int fd = ::open(fileName.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return errno == ENOENT ? Existing::none : Existing::other;
    struct stat status = {};
    bool same = ::fstat(fd, &status) == 0 && S_ISREG(status.st_mode) &&
                static_cast<std::size_t>(status.st_size) == bytes.size();
    if (same) {
        std::string held(bytes.size() + 1, '\0');
        std::size_t got = 0;
        for (ssize_t n = 1; n > 0 && got < held.size(); got += static_cast<std::size_t>(n)) {
            n = ::read(fd, held.data() + got, held.size() - got);
            if (n < 0) n = 0;
        }
        same = got == bytes.size() && held.compare(0, got, bytes) == 0 &&
               ::futimens(fd, nullptr) == 0;
    }
    ::close(fd);
    return same ? Existing::same : Existing::other;
}

std::string directoryOf(const std::string& fileName)
{
    const std::size_t slash = fileName.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : fileName.substr(0, slash);
}

// What became of a file written without a name and then linked in under its own.
enum class Nameless { linked, taken, unavailable, failed };

// Writes `bytes` into a file with no name beside `fileName`, then links it in under that name:
// it appears whole or not at all, and nothing is left behind even when the process is killed
// outright. `taken` when the name exists (link never replaces), `unavailable` where the file
// system has no nameless files or there is no /proc to name one by; `reason` is errno when
// `failed`.
Nameless linkNamelessFile(const std::string& fileName, const std::string& bytes, int& reason)
{
    const int fd = ::open(directoryOf(fileName).c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
    if (fd < 0) return Nameless::unavailable;
    if (!writeAll(fd, bytes)) {
        reason = errno;
        ::close(fd);
        return Nameless::failed;
    }
    const std::string self = "/proc/self/fd/" + std::to_string(fd);
    const bool linked =
        ::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, fileName.c_str(), AT_SYMLINK_FOLLOW) == 0;
    reason = errno;
    ::close(fd);
    if (linked) return Nameless::linked;
    if (reason == EEXIST) return Nameless::taken;
    return reason == ENOENT ? Nameless::unavailable : Nameless::failed;
}

// A free name gets a nameless file linked in. Returns false, with `error` empty, where the file
// system or the moment does not allow it (a name that appeared meanwhile), so that the caller
// takes the named-temporary way; `error` is set when the write itself failed.
bool linkNewFile(const std::string& fileName, const std::string& bytes, std::string& error)
{
    int reason = 0;
    switch (linkNamelessFile(fileName, bytes, reason)) {
    case Nameless::linked: return true;
    case Nameless::failed:
        error = "cannot write '" + fileName + "': " + systemReason(reason);
        return true;
    case Nameless::taken:
    case Nameless::unavailable: break;
    }
    return false;
}

// Creates a new file beside `fileName` that nobody else can have planted: O_EXCL refuses an
// existing name, a symbolic link included. The mode follows the umask, as a plain create does.
// The name is recorded before the create, so that it is known whenever the file may exist.
int createTemporaryFile(const std::string& fileName, std::string& temporary, std::string& error,
                        RunState* state)
{
    for (int attempt = 0; attempt < temporaryAttempts; ++attempt) {
        temporary = temporaryName(fileName, ::getpid(), attempt);
        recordTemporary(state, temporary);
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

std::string replaceThroughTemporary(const std::string& fileName, const std::string& bytes,
                                    RunState* state)
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
        return {};
    }
    if (reason == 0) reason = errno;

    std::remove(temporary.c_str());
    recordTemporary(state, "");
    return "cannot write '" + fileName + "': " + systemReason(reason);
}

} // namespace

std::string writeWholeFile(const std::string& fileName, const std::string& bytes, RunState* state)
{
    std::string error;
    switch (touchIfSame(fileName, bytes)) {
    case Existing::same:
        break;
    case Existing::none:
        if (linkNewFile(fileName, bytes, error)) break;
        [[fallthrough]];
    case Existing::other:
        error = replaceThroughTemporary(fileName, bytes, state);
        break;
    }
    if (error.empty() && state) state->filesWritten.fetch_add(1, std::memory_order_relaxed);
    return error;
}

NewFile writeNewFile(const std::string& fileName, const std::string& bytes, std::string& error)
{
    const auto failed = [&](int reason) {
        error = "cannot write '" + fileName + "': " + systemReason(reason);
        return NewFile::failed;
    };
    int linkReason = 0;
    switch (linkNamelessFile(fileName, bytes, linkReason)) {
    case Nameless::linked: return NewFile::written;
    case Nameless::taken: return NewFile::taken;
    case Nameless::failed: return failed(linkReason);
    case Nameless::unavailable: break;
    }
    // Where nameless files are not to be had: created under its own name, which O_EXCL refuses
    // when taken, and removed again if it could not be written whole.
    const int fd = ::open(fileName.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) return errno == EEXIST ? NewFile::taken : failed(errno);
    int reason = writeAll(fd, bytes) ? 0 : errno;
    if (::close(fd) != 0 && reason == 0) reason = errno;
    if (reason == 0) return NewFile::written;
    ::unlink(fileName.c_str());
    return failed(reason);
}
