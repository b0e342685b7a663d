#pragma once

#include "face_sampling.hpp"

#include <memory>

#include <BRepAdaptor_Surface.hxx>
#include <BRepTopAdaptor_FClass2d.hxx>
#include <ShapeAnalysis_Surface.hxx>

/// What it takes to tell where a point lies against one face: its surface, a projector for
/// surfaces without a closed form, and a classifier of its parameter domain. Made once per face.
struct FaceGauge {
    BRepAdaptor_Surface surface;
    Handle(ShapeAnalysis_Surface) projector; ///< null for planes, cylinders, cones, spheres, tori
    std::shared_ptr<const BRepTopAdaptor_FClass2d> classifier; ///< the face's own
    Bnd_Box reach; ///< the face's bounds enlarged by the largest tolerance it is compared with
    bool reversed = false;
};

/// Prepares `face` for placing points on it, with `tolerance` as the largest distance at which
/// a point still counts as lying on it.
FaceGauge gaugeFace(const SampledFace& face, double tolerance);

/// How the samples of one face lie against another face: shares of the face's sample weight,
/// from 0 to 1.
struct Placement {
    double inside = 0;   ///< on the other face, facing the same way
    double reversed = 0; ///< on the other face, facing the other way
    double boundary = 0; ///< on the other face's boundary, within the tolerance
    double off = 0;      ///< over the other face, but off its surface
    double outside = 0;  ///< on the other face's surface, outside its bounds
};

/// Whether any sample lay on the other face, its bounds included.
bool liesOn(const Placement& placement);

/// Where the samples of `from` lie against the face that `onto` gauges: all of them, or with a
/// `stride`, every stride-th.
Placement placeSamples(const SampledFace& from, const FaceGauge& onto, double tolerance,
                       std::size_t stride = 1);

/// Whether the surfaces of two faces can coincide anywhere, by their kinds and parameters alone:
/// false for two planes, cylinders, cones, spheres or tori of other parameters, and for two such
/// surfaces of different kinds. Surfaces of other kinds are left to the samples.
bool surfacesMayCoincide(const SampledFace& a, const SampledFace& b, double tolerance);

/// Whether two faces that lie on one surface, facing the same way, have the same bounds: the
/// same corners, the middle of every boundary edge of each on the other's boundary, and the same
/// area within what `tolerance` along their boundaries allows.
bool haveSameBounds(const SampledFace& a, const SampledFace& b, double tolerance);
