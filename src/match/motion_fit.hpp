#pragma once

// Whether the faces of the old revision, moved as a whole by some rigid motion, lie exactly on
// faces of the new one: the measure by which the search for a moved model weighs a motion.

#include "face_overlap.hpp"
#include "face_sampling.hpp"

#include <array>
#include <optional>
#include <unordered_map>
#include <vector>

#include <gp_Trsf.hxx>
#include <gp_Vec.hxx>

/// A face whose mean normal is at least this long mostly faces one way; a shorter one (a whole
/// cylinder's) is what its samples leave over, and tells no direction.
constexpr double facesOneWay = 0.3;

/// A cell of a grid of points, three cell numbers.
using PointCell = std::array<long long, 3>;

/// The cell of a grid `cell` wide that holds `point`, its numbers rounded; false when it lies too
/// far out for the grid to number its cells.
bool findCell(const gp_Pnt& point, double cell, PointCell& key);

/// Hashes a cell of a grid of points.
struct PointCellHash {
    std::size_t operator()(const PointCell& cell) const;
};

/// What the search for a motion knows of both revisions' faces, made once.
struct MotionFaces {
    const std::vector<SampledFace>* oldFaces = nullptr;
    const std::vector<SampledFace>* newFaces = nullptr;
    std::vector<gp_Vec> oldNormals, newNormals; ///< each face's area-weighted mean normal
    double tolerance = 0;  ///< how far a moved point may lie from where it is found
    double size = 0;       ///< the diagonal of the box around both revisions
    double cell = 0;       ///< the width of a cell of the grid of new face centres
    std::unordered_map<PointCell, std::vector<int>, PointCellHash> newCentres;
    std::vector<std::optional<FaceGauge>> newGauges; ///< made when first needed
    std::vector<char> ungauged; ///< 1 for a new face that the library could not gauge
};

/// Prepares the faces of both revisions for weighing motions; `tolerance` is the distance
/// within which two points count as one.
MotionFaces prepareMotionFaces(const std::vector<SampledFace>& oldFaces,
                               const std::vector<SampledFace>& newFaces, double tolerance);

/// Whether new face `n` could be old face `o` moved, by what a motion leaves unchanged: the
/// kind of surface, the number of corners and edges, the area, the length of the boundary and
/// how much the face's normals agree among themselves.
bool mayBeMovedCopy(const MotionFaces& faces, int o, int n);

/// Whether old face `o`, moved by `motion`, lies where new face `n` lies: the same centre,
/// corners and mean normal; with `placeSamples`, a few of its samples lie inside face `n` too.
bool fitsMoved(MotionFaces& faces, int o, int n, const gp_Trsf& motion, bool placeSamples);

/// Whether the surface of new face `n` is old face `o`'s surface moved by `motion`, parameters
/// and all: its points at the parameters of the old face's probes are those samples moved. A part turned onto itself leaves its points in place but not its parameters.
bool keepsParameters(MotionFaces& faces, int o, int n, const gp_Trsf& motion);

/// How well a motion explains the new revision.
struct MotionScore {
    double fitted = 0;       ///< area of the old faces that, moved so, lie on a new face
    double framed = 0;       ///< of that, the area whose surfaces keep their parameters
    std::vector<int> images; ///< for each old face, the new face it lies on so, or -1
    /// Faces of either revision that the motion leaves unexplained: the old faces that lie on
    /// no new face, the new faces that no old face lies on (weighed over every old face only).
    int misfits = 0;
};

/// Weighs `motion` over the old faces that `which` lists (all of them when empty).
MotionScore scoreMotion(MotionFaces& faces, const gp_Trsf& motion, bool placeSamples,
                        const std::vector<int>& which = {});
