#pragma once

#include "face_table.hpp"
#include "panel.hpp"

#include <string>
#include <vector>

/// Appends to `svg` a tag with the number of every face that `labels` selects and that is in
/// sight in the panel, each at a point inside its face, moved aside on a leader line where
/// tags would overlap. Sets tagged[i] for every row i that got a tag.
void appendTags(std::string& svg, const Panel& panel, const std::vector<FaceRow>& rows,
                LabelChoice labels, std::vector<bool>& tagged);

/// Whether `labels` selects the face of `row` for a tag.
bool isLabelled(const FaceRow& row, LabelChoice labels);
