#pragma once

#include <cstdint>
#include <string>

// Files opened by their narrow names, which on Windows go through the wide path (see
// narrow_form.hpp), so that every platform opens the file its user named.

/// Which file a name stands for, and whether it changed since.
struct FileStatus {
    bool regular = false;    ///< a regular file, not a directory, pipe or device
    bool link = false;       ///< a symbolic link (a reparse point on Windows), not followed
    bool pipe = false;       ///< a named pipe
    bool directory = false;  ///< a directory
    unsigned mode = 0;       ///< the permission bits (07777); 0 where there are none (Windows)
    std::uint64_t device = 0; ///< with the inode, which file it is
    std::uint64_t inode = 0;
    std::uint64_t size = 0;
    long long modified = 0; ///< in nanoseconds
};

/// Opens the file named `name` to read its bytes, not inherited by child processes. `wait`
/// false: a FIFO is opened without waiting for a writer. -1, with errno set, when it cannot.
int openToRead(const std::string& name, bool wait = true);

/// Reads the file named `name` to its end into `bytes`, through one descriptor that
/// openToRead(name, wait) opens. 0, or the errno value that stopped it.
int readToEnd(const std::string& name, std::string& bytes, bool wait = true);

/// Makes reads of `fd`, opened without waiting, wait for their bytes again.
void waitOnReads(int fd);

/// The status of open file `fd`; 0, or the errno value of the failure.
int statusOf(int fd, FileStatus& status);

/// The status of the file named `name`, a link followed; 0, or the errno value of the failure.
int statusOf(const std::string& name, FileStatus& status);

/// The status of the name `name` itself: a symbolic link is not followed, and is told by
/// `link`; 0, or the errno value of the failure.
int linkStatusOf(const std::string& name, FileStatus& status);
