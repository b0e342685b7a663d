#pragma once

#include "bound_entries.hpp"
#include "list_carry.hpp"
#include "../match/revision_match.hpp"

#include "../intake/dataset_inputs.hpp"

#include <cstddef>
#include <filesystem>
#include <set>
#include <string>
#include <utility>
#include <vector>

/// Entries that a carry leaves as they are, written for the new revision already: each by its
/// list file, as the walk names it, and the index of its record there.
using KeptEntries = std::set<std::pair<std::string, std::size_t>>;

/// Works out how the face list files of the dataset at `root` change so that they name the
/// faces of the new revision: `matches` holds the answer for each old face number (entry N-1
/// for face N). Only when every listed face has a certain answer and every entry selects an old
/// face, split and merged faces only when `allowSplitMerge` (a split face's record is repeated
/// for each new face, merged faces' records all name the new face) and reshaped faces only when
/// `allowReshaped`. Nothing but the face numbers changes. `carried` names the list files to
/// carry over, as the walk names them, null for all of them; `kept` entries of theirs that stay
/// as they are, whatever they select. Returns the problems, one line each; when there are any,
/// `changes` is not to be applied (see applyListChanges).
std::vector<std::string> planListChanges(const std::filesystem::path& root,
                                         const std::vector<FaceMatch>& matches,
                                         bool allowSplitMerge, bool allowReshaped,
                                         const std::vector<std::string>* carried,
                                         const KeptEntries* kept,
                                         std::vector<ListChange>& changes);

/// The entries of a dataset that a carry from its last run's revision may change: exactly those
/// that the check of a run checks (see findBoundEntries).
struct BoundLists {
    std::vector<std::string> paths; ///< the lists that hold them, as the walk names them
    DatasetInputs entries;          ///< the bound entries, each kind in its list
    KeptEntries kept;               ///< the other entries of those lists, left as they are
    std::vector<int> oldNumbers;    ///< the faces of `faceCount` they select, each once, increasing
};

/// Sorts `entries` into what a carry changes and what it keeps; `faceCount` is the number of
/// faces of the revision they were bound to.
BoundLists selectBoundLists(const BoundEntries& entries, int faceCount);
