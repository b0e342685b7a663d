#include "file_status.hpp"

#include <cerrno>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

void take(const struct stat& from, FileStatus& status)
{
    status.regular = S_ISREG(from.st_mode);
    status.link = S_ISLNK(from.st_mode);
    status.pipe = S_ISFIFO(from.st_mode);
    status.directory = S_ISDIR(from.st_mode);
    status.mode = from.st_mode & 07777;
    status.device = from.st_dev;
    status.inode = from.st_ino;
    status.size = std::uint64_t(from.st_size);
    status.modified =
        static_cast<long long>(from.st_mtim.tv_sec) * 1000000000LL + from.st_mtim.tv_nsec;
}

} // namespace

int openToRead(const std::string& name, bool wait)
{
    return ::open(name.c_str(), O_RDONLY | O_CLOEXEC | (wait ? 0 : O_NONBLOCK));
}

int readToEnd(const std::string& name, std::string& bytes, bool wait)
{
    const int fd = openToRead(name, wait);
    if (fd < 0) return errno;
    bytes.clear();
    FileStatus status;
    if (statusOf(fd, status) == 0 && status.regular) bytes.reserve(std::size_t(status.size));
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            const int error = n < 0 ? errno : 0;
            ::close(fd);
            return error;
        }
        bytes.append(buffer, std::size_t(n));
    }
}

void waitOnReads(int fd)
{
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
}

int statusOf(int fd, FileStatus& status)
{
    struct stat from = {};
    if (::fstat(fd, &from) != 0) return errno;
    take(from, status);
    return 0;
}

int statusOf(const std::string& name, FileStatus& status)
{
    struct stat from = {};
    if (::stat(name.c_str(), &from) != 0) return errno;
    take(from, status);
    return 0;
}

int linkStatusOf(const std::string& name, FileStatus& status)
{
    struct stat from = {};
    if (::lstat(name.c_str(), &from) != 0) return errno;
    take(from, status);
    return 0;
}
