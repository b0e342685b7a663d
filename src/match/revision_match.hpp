#pragma once

#include "face_sampling.hpp"
#include "match_terms.hpp"

#include <string>
#include <vector>

/// What the matching of two revisions may leave out, to measure what each part of it costs.
struct MatchOptions {
    bool followMotion = true; ///< look for the model moved as a whole, and for its symmetries
    bool findReshaped = true; ///< follow faces whose surface changed among unchanged neighbours
    /// The whole old model's bounds, when only some of its faces are at hand, so that the
    /// tolerances are those of the whole model; taken only where the model was not moved.
    Bnd_Box oldModelBounds;
};

/// What became of the old revision's faces, and how the model was moved.
struct RevisionMatch {
    std::vector<FaceMatch> faces; ///< one per face number of the old revision, in order
    std::string motion; ///< the motion through which the faces were matched in words; "" for none
    int rivals = 0;     ///< other motions that fit as well, whose faces' answers are unsure
};

/// Matches every face of the old revision to the faces of the new one, by geometry alone: the
/// surface each lies on, the side it faces, and how much of each covers the other, once the old
/// revision is put where a rigid motion of the whole model puts it, when one does.
RevisionMatch compareRevisions(const std::vector<SampledFace>& oldFaces,
                               const std::vector<SampledFace>& newFaces,
                               const MatchOptions& options = {});

/// compareRevisions' answers alone: one per face number of the old revision, in increasing order.
std::vector<FaceMatch> matchRevisions(const std::vector<SampledFace>& oldFaces,
                                      const std::vector<SampledFace>& newFaces);

/// The notes that tell a reader of the table how the model was moved, and whether it fits the
/// new revision in more than one way: none when it lies where it was, alone.
std::vector<std::string> describeMotionNotes(const RevisionMatch& match);
