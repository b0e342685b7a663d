#include "same_files.hpp"

#include <cerrno>
#include <map>
#include <tuple>

#include <sys/stat.h>

namespace {

// What makes two model paths one file to read: the same inode, unchanged in between.
using FileIdentity = std::tuple<dev_t, ino_t, off_t, time_t, long>;

struct Looked {
    int error = 0;
    FileIdentity identity;
};

Looked lookAt(const std::string& path)
{
    Looked looked;
    struct stat status = {};
    if (::stat(path.c_str(), &status) != 0) {
        looked.error = errno;
        return looked;
    }
    looked.identity = {status.st_dev, status.st_ino, status.st_size, status.st_mtim.tv_sec,
                       status.st_mtim.tv_nsec};
    return looked;
}

} // namespace

FileGroups groupSameFiles(const std::vector<std::string>& paths)
{
    FileGroups groups;
    // Each path once, so that the datasets that name it stay together even if it changes.
    std::map<std::string, Looked> lookedAt;
    std::map<FileIdentity, int> groupOf;
    for (const std::string& path : paths) {
        auto looked = lookedAt.find(path);
        if (looked == lookedAt.end()) looked = lookedAt.emplace(path, lookAt(path)).first;
        groups.errors.push_back(looked->second.error);
        if (looked->second.error != 0) {
            groups.groupOf.push_back(-1);
            continue;
        }
        const auto [group, isNew] = groupOf.emplace(looked->second.identity, groups.count);
        if (isNew) ++groups.count;
        groups.groupOf.push_back(group->second);
    }
    return groups;
}
