#pragma once

#include "revision_match.hpp"

#include "../faces/face_table.hpp"

#include <string>
#include <vector>

struct DatasetInputs;

/// One row of the table of two revisions: an old face's answer and the lists that name it.
struct MatchRow {
    FaceMatch match;
    FaceList list = FaceList::none;
};

/// Rows for `matches` (one per old face number, in order): every one when `inputs` is null,
/// otherwise those of the faces that its lists name, with the lists marked.
std::vector<MatchRow> selectMatchRows(const std::vector<FaceMatch>& matches,
                                      const DatasetInputs* inputs);

/// The header line of the table of two revisions: old, new, match, list, kept, reason, after a
/// dataset column when `withDataset`.
std::string formatMatchHeader(bool withDataset);

/// The rows as tab-separated text, one line per row, each beginning with the field `dataset` when it is not null.
std::string formatMatchRows(const std::vector<MatchRow>& rows, const std::string* dataset);
