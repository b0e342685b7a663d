#include "file_names.hpp"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <thread>

#include <dirent.h>
#include <fcntl.h>
#include <sched.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

int removeFile(const std::string& name)
{
    return ::unlink(name.c_str()) == 0 ? 0 : errno;
}

int renameFile(const std::string& from, const std::string& to)
{
    return std::rename(from.c_str(), to.c_str()) == 0 ? 0 : errno;
}

int makeDirectory(const std::string& name)
{
    return ::mkdir(name.c_str(), 0777) == 0 ? 0 : errno;
}

int removeDirectory(const std::string& name)
{
    return ::rmdir(name.c_str()) == 0 ? 0 : errno;
}

int giveMode(const std::string& name, unsigned mode)
{
    return ::chmod(name.c_str(), mode & 07777) == 0 ? 0 : errno;
}

int touchFile(const std::string& name)
{
    return ::utimensat(AT_FDCWD, name.c_str(), nullptr, 0) == 0 ? 0 : errno;
}

std::vector<std::string> listDirectory(const std::string& directory)
{
    std::vector<std::string> names;
    DIR* listing = ::opendir(directory.c_str());
    if (!listing) return names;
    while (const struct dirent* item = ::readdir(listing)) {
        const std::string name = item->d_name;
        if (name != "." && name != "..") names.push_back(name);
    }
    ::closedir(listing);
    return names;
}

unsigned usableProcessors()
{
    cpu_set_t set;
    if (::sched_getaffinity(0, sizeof set, &set) == 0)
        return unsigned(std::max(1, CPU_COUNT(&set)));
    return std::max(1u, std::thread::hardware_concurrency());
}

DirectoryLock::~DirectoryLock()
{
    if (handle >= 0) ::close(int(handle));
}

bool lockDirectory(const std::string& directory, DirectoryLock& lock)
{
    const int fd = ::open(directory.empty() ? "." : directory.c_str(),
                          O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    lock.handle = fd;
    if (fd < 0) return true;
    return ::flock(fd, LOCK_EX | LOCK_NB) == 0 || errno != EWOULDBLOCK;
}
