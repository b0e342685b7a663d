#pragma once

#include "face_sampling.hpp"
#include "match_terms.hpp"

#include <vector>

/// Matches every face of the old revision to the faces of the new one, by geometry alone: the
/// surface each lies on, the side it faces, and how much of each covers the other. One answer
/// per face number of the old revision, in increasing order.
std::vector<FaceMatch> matchRevisions(const std::vector<SampledFace>& oldFaces,
                                      const std::vector<SampledFace>& newFaces);
