#pragma once

#include <vector>

#include <gp_Pnt.hxx>
#include <gp_Trsf.hxx>

/// A point of the old revision and the point of the new one it should become, with a weight.
struct PointPair {
    gp_Pnt from, to;
    double weight = 1;
};

/// The rotation and translation, never a mirror, that carry the `from` points onto their `to`
/// points best in the least-squares sense (Horn's closed form, through a unit quaternion).
gp_Trsf fitRigidMotion(const std::vector<PointPair>& pairs);
