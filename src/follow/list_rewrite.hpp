#pragma once

#include "list_carry.hpp"
#include "revision_match.hpp"

#include "../intake/dataset_inputs.hpp"

#include <filesystem>
#include <string>
#include <vector>

struct ListFileNow;
struct RunRecord;

/// Works out how the face list files of the dataset at `root` change so that they name the
/// faces of the new revision: `matches` holds the answer for each old face number (entry N-1
/// for face N). Only when every listed face has a certain answer and every entry selects an old
/// face, split and merged faces only when `allowSplitMerge` (a split face's record is repeated
/// for each new face, merged faces' records all name the new face) and reshaped faces only when
/// `allowReshaped`. Nothing but the face numbers changes. `carried` names the list files to
/// carry over, as the walk names them; null for all of them. Returns the problems, one line
/// each; when there are any, `changes` is not to be applied (see applyListChanges).
std::vector<std::string> planListChanges(const std::filesystem::path& root,
                                         const std::vector<FaceMatch>& matches,
                                         bool allowSplitMerge, bool allowReshaped,
                                         const std::vector<std::string>* carried,
                                         std::vector<ListChange>& changes);

/// The lists of a dataset that a record binds, which a carry from the record's revision may
/// change.
struct BoundLists {
    std::vector<std::string> paths; ///< as the walk names them
    DatasetInputs entries;          ///< their entries, each kind in its list
    std::vector<std::string> notes; ///< one for each list left alone, which changed since
};

/// The lists that are as `record` has them: written for its model. A list that changed since
/// was written for the model as it is now, and is left alone, with a note.
BoundLists selectBoundLists(const RunRecord& record, const std::vector<ListFileNow>& lists);
