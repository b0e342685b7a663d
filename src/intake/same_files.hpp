#pragma once

#include <string>
#include <vector>

/// Which of a list of paths name one file, so that each file is read once.
struct FileGroups {
    std::vector<int> groupOf; ///< per path: its group, numbered from 0 as first seen; -1 when
                              ///< it could not be looked at
    std::vector<int> errors;  ///< per path: the errno of looking at it, 0 when it could be
    int count = 0;            ///< the number of groups
};

/// Groups `paths` by the file each names, as the reader's open would resolve it (relative to
/// the working directory, following links): the same device and inode, of the same size and
/// modification time. Each distinct path is looked at once.
FileGroups groupSameFiles(const std::vector<std::string>& paths);
