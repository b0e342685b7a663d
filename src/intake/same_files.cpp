#include "same_files.hpp"

#include "../paths/file_status.hpp"

#include <map>
#include <tuple>

namespace {

// What makes two model paths one file to read: the same inode, unchanged in between.
using FileIdentity = std::tuple<std::uint64_t, std::uint64_t, std::uint64_t, long long>;

struct Looked {
    int error = 0;
    FileIdentity identity;
};

Looked lookAt(const std::string& path)
{
    Looked looked;
    FileStatus status;
    looked.error = statusOf(path, status);
    if (looked.error != 0) return looked;
    looked.identity = {status.device, status.inode, status.size, status.modified};
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
