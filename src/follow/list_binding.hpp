#pragma once

#include "recorded_faces.hpp"

#include "../record/record_files.hpp"

#include <string>
#include <vector>

/// Whether a dataset's lists still name the faces they were written for.
struct ListBinding {
    /// One line per entry that no longer names the face it was written for, or cannot be told
    /// to, with its list file and line; when any, no face file may be written.
    std::vector<std::string> problems;
    std::vector<int> staleFaces; ///< the numbers those entries select now, each once, increasing
    std::vector<std::string> notes; ///< the model changed and the listed faces did not, ...
    bool rebound = false; ///< the model is not the recorded one, and the lists name it now
};

/// Checks the lists of the dataset at `root` against the record of its last run, when the model
/// at hand is not the one recorded (other bytes, or other versions of the tools that number its
/// faces). Each entry of a list file that is byte for byte the recorded one must select the
/// face it selected then: the face whose face file would have the recorded bytes, or that the
/// matching of two revisions finds the same face under the same number. A list file that
/// changed since counts as written for the model at hand.
ListBinding checkListBinding(const std::string& root, const RecordReading& reading,
                             const std::vector<ListFileNow>& lists, SampledModel& model);

/// What the page of the dataset at `root` says of its stale faces: "" for none.
std::string describeStaleFaces(const std::vector<int>& faces, const std::string& root);
