#pragma once

#include "revision_match.hpp"

#include <filesystem>
#include <string>
#include <vector>

/// What carrying a dataset's lists to the new revision did, or why it did nothing.
struct ListRewriteReport {
    std::vector<std::string> problems; ///< one line each; when any, no list file was changed
    std::vector<std::string> notes;    ///< one line per list file rewritten, naming its old copy
};

/// Rewrites the face list files of the dataset at `root` so that they name the faces of the new
/// revision: `matches` holds the answer for each old face number (entry N-1 for face N). Only
/// when every listed face has a certain answer, and split and merged faces only when
/// `allowSplitMerge`: a split face's record is repeated for each new face, merged faces' records
/// all name the new face; reshaped faces only when `allowReshaped`. Nothing but the face numbers changes; an entry that selects no old
/// face stays. Each changed file is kept first as data/<list>.orig/<name> (or <name>.2, .3, ...,
/// never over an earlier copy), then replaced whole. When one fails, those already replaced are
/// put back.
ListRewriteReport rewriteDatasetLists(const std::filesystem::path& root,
                                      const std::vector<FaceMatch>& matches, bool allowSplitMerge,
                                      bool allowReshaped = false);
