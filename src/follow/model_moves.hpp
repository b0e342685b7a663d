#pragma once

#include "face_sampling.hpp"
#include "match_terms.hpp"

#include <vector>

/// Turns every certain answer into an unsure one when the new revision looks like the old one
/// moved, or replaced, rather than revised: when less than half of the old faces' area is found
/// in place, or when more faces reappear shifted by one same distance than stay where they were.
/// Matching by place is then no longer sound: after a move, a face can land where another was.
/// `answers` holds one answer per entry of `oldFaces`.
void doubtMovedModel(const std::vector<SampledFace>& oldFaces,
                     const std::vector<SampledFace>& newFaces, const MatchTolerance& tolerance,
                     std::vector<FaceAnswer>& answers);
