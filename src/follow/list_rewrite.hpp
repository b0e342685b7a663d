#pragma once

#include "revision_match.hpp"

#include <cstddef>
#include <filesystem>
#include <set>
#include <string>
#include <utility>
#include <vector>

/// What carrying a dataset's lists to the new revision did, or why it did nothing.
struct ListRewriteReport {
    std::vector<std::string> problems; ///< one line each; when any, no list file was changed
    std::vector<std::string> notes;    ///< one line per list file rewritten, naming its old copy
};

/// Entries that a carry leaves as they are, written for the new revision already: each by its
/// list file, as the walk names it, and the index of its record there.
using KeptEntries = std::set<std::pair<std::string, std::size_t>>;

/// Rewrites the face list files of the dataset at `root` so that they name the faces of the new
/// revision: `matches` holds the answer for each old face number (entry N-1 for face N). Only
/// when every listed face has a certain answer and every entry selects an old face, split and
/// merged faces only when `allowSplitMerge` (a split face's record is repeated for each new
/// face, merged faces' records all name the new face) and reshaped faces only when
/// `allowReshaped`. Nothing but the face numbers changes. `carried` names the list files to
/// carry over, as the walk names them; null for all of them; `kept` entries of theirs that stay
/// as they are, whatever they select. Each changed file is kept first as
/// data/<list>.orig/<name> (or <name>.2, .3, ..., never over an earlier copy), then replaced
/// whole (see applyListChanges).
ListRewriteReport rewriteDatasetLists(const std::filesystem::path& root,
                                      const std::vector<FaceMatch>& matches, bool allowSplitMerge,
                                      bool allowReshaped,
                                      const std::vector<std::string>* carried = nullptr,
                                      const KeptEntries* kept = nullptr);

/// One list file as it is and as it is to be.
struct ListChange {
    std::filesystem::path path;
    std::string before, after;
};

/// Keeps a copy of each list beside its directory, then replaces it, in order. When a step
/// fails, every step taken is undone: each list put back as it was (a symbolic link as the same
/// link, a file with its mode), each copy made removed, and a copies directory made for them
/// removed again.
ListRewriteReport applyListChanges(const std::vector<ListChange>& changes);
