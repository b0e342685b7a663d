#pragma once

#include "face_sampling.hpp"

#include <string>

/// Tells what changed between the surface of `before` and that of `after`, two faces on the
/// same kind of surface that take one place among their neighbours: "radius 5 -> 6", "offset
/// 2 along the normal", with the area before and after. Returns false, with `text` saying why,
/// when the change turns the face into another kind of feature: a face turned to face the other
/// way, a hole that became a boss.
bool describeSurfaceChange(const SampledFace& before, const SampledFace& after, double tolerance,
                           std::string& text);
