#pragma once

#include "recorded_faces.hpp"

#include "../record/record_files.hpp"

#include <string>
#include <vector>

/// Whether a dataset's lists still name the faces they were written for.
struct ListBinding {
    std::vector<ListFileNow> lists; ///< the dataset's face list files, as the check read them
    /// One line per entry that no longer names the face it was written for, or cannot be told
    /// to, with its list file and line; when any, no face file may be written.
    std::vector<std::string> problems;
    std::vector<int> staleFaces; ///< the numbers those entries select now, each once, increasing
    std::vector<std::string> notes; ///< the model changed and the listed faces did not, ...
    /// The lists were checked against another model, or face files of an earlier run, and name
    /// the model at hand now: to be recorded before any face file is written.
    bool rebound = false;
};

/// The check of a run: whether the lists of the dataset at `root` still name, in the model at
/// hand, the faces they were written for. Each bound entry (see findBoundEntries) must select
/// the face it selected then, when the model is not the one recorded (other bytes, or other
/// versions of the tools that number its faces) or when no record but face files of an earlier
/// run tell: the face whose face file would have the recorded bytes, or that the matching of two
/// revisions finds the same face under the same number. Entries that are not bound are taken
/// as written for the model at hand, each named in a note. A record that cannot be read is a
/// problem of its own. tarnfold, tarnfold-batch and the table of tarnfold-faces all check so.
ListBinding checkListBinding(const std::string& root, SampledModel& model);

/// What the page of the dataset at `root` says of its stale faces: "" for none.
std::string describeStaleFaces(const std::vector<int>& faces, const std::string& root);
