#pragma once

#include "face_sampling.hpp"
#include "match_terms.hpp"

#include <vector>

/// For each face, the faces that share a boundary edge with it (seams and the face itself
/// aside), by index, in increasing order.
std::vector<std::vector<int>> findNeighbours(const std::vector<SampledFace>& faces);

/// Follows old faces that are gone because their surface changed (a hole widened, a plate made
/// thicker) while their place among their neighbours did not: every neighbour of the old face
/// has one certain new face, and exactly one new face that no old face became, on the same kind
/// of surface, has exactly those new faces as its neighbours. Such a face is reshaped into it,
/// the reason naming what changed, unless its surface turned further than a changed dimension
/// turns it: then it was cut away, and stays gone. Where several new faces, or several old
/// faces, could take one place, the faces concerned are unsure. `oldFaces` as the model holds them, `placed` where the
/// motion between the revisions puts them; `answers` holds one answer per old face.
void findReshapedFaces(const std::vector<SampledFace>& oldFaces,
                       const std::vector<SampledFace>& placed,
                       const std::vector<SampledFace>& newFaces, double tolerance,
                       std::vector<FaceAnswer>& answers);
