#pragma once

#include <cstdint>
#include <string>
#include <vector>

// What is done to a name on disk, by its narrow form; on Windows through the wide path (see
// narrow_form.hpp). Each returns 0 or the errno value of the failure.

/// Removes the file or link `name`.
int removeFile(const std::string& name);

/// Renames `from` to `to`, replacing a file that stands there.
int renameFile(const std::string& from, const std::string& to);

/// Makes the directory `name` (mode 0777 before the umask where there are modes).
int makeDirectory(const std::string& name);

/// Removes the directory `name` if it is empty.
int removeDirectory(const std::string& name);

/// Gives `name` the permission bits `mode`; nothing to give where there are none (Windows).
int giveMode(const std::string& name, unsigned mode);

/// Gives `name` the time of now as its modification time.
int touchFile(const std::string& name);

/// The names in `directory`, "." and ".." left out, in the order the system lists them; a name
/// without a narrow form is left out too, as no narrow name reaches it. Empty when it cannot be
/// listed.
std::vector<std::string> listDirectory(const std::string& directory);

/// The processors this process may run on: a batch job is often given fewer than the machine
/// has.
unsigned usableProcessors();

/// A lock on a directory, held by one process at a time, until it is destroyed.
struct DirectoryLock {
    std::intptr_t handle = -1;
    DirectoryLock() = default;
    DirectoryLock(const DirectoryLock&) = delete;
    DirectoryLock& operator=(const DirectoryLock&) = delete;
    ~DirectoryLock();
};

/// Takes the lock on `directory` ("" for the current one) into `lock`. False when another
/// process holds it; where locks cannot be had (some network file systems), true without one.
bool lockDirectory(const std::string& directory, DirectoryLock& lock);
