#pragma once

#include "face_overlap.hpp"
#include "face_sampling.hpp"
#include "match_terms.hpp"

#include <vector>

/// How a face of the old revision and one of the new relate, as their samples show it.
struct FaceLink {
    int oldFace = 0, newFace = 0;
    Placement oldOnNew, newOnOld;
    bool doubtful = false;   ///< their surfaces coincide in part only, or could not be compared
    bool sameBounds = false; ///< one surface, one side, the same bounds: the same face
    bool failed = false;     ///< the library failed to compare them
    double tolerance = 0;    ///< the distance within which points of the two count as one
};


/// Whether neither face lies for the most part on the other: the new one may merely touch where
/// the old one was.
bool isWeak(const FaceLink& link);

/// Whether some of one lies on the other facing the other way.
bool isReversed(const FaceLink& link);

/// Whether they only lie on each other facing opposite ways, as two parts in contact do: then
/// they are two faces, and the link does not tie them.
bool facesAway(const FaceLink& link);

/// Every pair of an old and a new face whose surfaces may coincide where they overlap, found
/// through an index over the new faces' boxes.
std::vector<FaceLink> linkFaces(const std::vector<SampledFace>& oldFaces,
                                const std::vector<SampledFace>& newFaces,
                                const MatchTolerance& tolerance);
