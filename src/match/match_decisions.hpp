#pragma once

#include "face_links.hpp"

#include <vector>

/// One answer per old face (entry i for oldFaces[i]): faces that overlap, directly or through others, are decided together, and only a
/// group of one old face and its pieces, of merged faces and their one new face, or of one face
/// and one face, with nothing doubtful among their links, gets a certain answer.
std::vector<FaceAnswer> decideMatches(const std::vector<SampledFace>& oldFaces,
                                     const std::vector<SampledFace>& newFaces,
                                     const std::vector<FaceLink>& links,
                                     const MatchTolerance& tolerance);
