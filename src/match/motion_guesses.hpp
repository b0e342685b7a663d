#pragma once

#include "motion_fit.hpp"
#include "rigid_fit.hpp"

#include <vector>

#include <gp_Trsf.hxx>

/// Motions that may carry the old revision onto the new one, not yet weighed, the identity
/// first: each that carries some three old faces of the rarest form, spread wide, onto new faces
/// of the same form at the same distances from one another (fewer when none is left to the
/// others, with corners to fix a turn about a line), and the shifts that many faces of a rare
/// form share with a look-alike.
std::vector<gp_Trsf> guessMotions(const MotionFaces& faces);

/// The point pairs that tie old face `o` to new face `n`: their centres, and for a face that
/// mostly faces one way, the points a lever's length out along their mean normals.
void addFacePairs(const MotionFaces& faces, int o, int n, std::vector<PointPair>& pairs);
