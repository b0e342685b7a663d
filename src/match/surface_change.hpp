#pragma once

#include "face_sampling.hpp"

#include <string>

/// What the change between the surfaces of two faces that take one place among their
/// neighbours makes of the face.
enum class SurfaceChange {
    dimension, ///< a dimension changed: a plane moved along its normal, another radius
    cutAway,   ///< turned further than a changed dimension turns a face: another face was made
    otherWay,  ///< another kind of feature: a face turned to face the other way, a hole a boss
};

/// A plane's normal, or an axis, turned by more than this (in radians: 10 degrees) is a face cut
/// away and another made, not a dimension changed. A changed draft or taper turns a face by a
/// few degrees, about an edge it keeps; a corner cut off turns it by tens. At 10 degrees a load
/// carried onto the new face keeps 98.5% of its part along the normal and gains 17% across it;
/// at 22, 93% and 37%.
constexpr double mostDimensionTurn = 10 * M_PI / 180;

/// Tells what changed between the surface of `before` and that of `after`, two faces on the
/// same kind of surface that take one place among their neighbours, in `text`: "radius 5 -> 6",
/// "offset 2 along the normal", with the area before and after, or "turned by 43.8 degrees".
/// A plane turned by less than mostDimensionTurn is a changed dimension only when it turned
/// about one of its edges: a face cut off by a plane tilted a little keeps none.
SurfaceChange describeSurfaceChange(const SampledFace& before, const SampledFace& after,
                                    double tolerance, std::string& text);
