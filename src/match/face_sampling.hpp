#pragma once

#include <array>
#include <memory>
#include <vector>

#include <BRepTopAdaptor_FClass2d.hxx>

#include <Bnd_Box.hxx>
#include <GeomAbs_SurfaceType.hxx>
#include <TopoDS_Face.hxx>
#include <TopoDS_Shape.hxx>
#include <gp_Dir.hxx>
#include <gp_Pnt.hxx>
#include <gp_Pnt2d.hxx>
#include <gp_Vec.hxx>

/// A point inside a face, with the face's outward normal there and the share of the face's area
/// it stands for.
struct FaceSample {
    gp_Pnt point;
    gp_Dir normal; ///< in the face's own orientation, as its face file carries it
    double weight = 0;
};

/// One face of a model as the matching of two revisions sees it. A face that the explorer visits
/// more than once, in the same orientation, is one sampled face with several visits.
struct SampledFace {
    TopoDS_Face face;        ///< in the orientation written to the face file
    std::vector<int> visits; ///< its face numbers, in increasing order
    GeomAbs_SurfaceType type = GeomAbs_OtherSurface;
    double area = 0;
    gp_Pnt centre;            ///< centre of area
    double perimeter = 0;     ///< length of its boundary, seams left out
    double tolerance = 0;     ///< the largest tolerance of the face and of its edges
    Bnd_Box box;              ///< bounds, not yet enlarged by any tolerance
    std::vector<FaceSample> samples;   ///< points inside it, spread over its area
    /// Where on its surface its first sample and its middle one lie: whether another surface is
    /// this one moved, parameters and all, shows there.
    std::array<gp_Pnt2d, 2> probes;
    std::vector<gp_Pnt> vertices;      ///< ends of its boundary edges (closed ones, seams aside)
    std::vector<gp_Pnt> edgeMiddles;   ///< the middle of each boundary edge (seams aside)
    /// Tells points of its parameter domain inside from outside; made once, as it is costly.
    std::shared_ptr<const BRepTopAdaptor_FClass2d> classifier;
};

/// Whether a surface of this kind has no closed form: anything but a plane, cylinder, cone,
/// sphere or torus.
bool isFreeForm(GeomAbs_SurfaceType type);

/// The faces of `modelShape`, numbered as the face export numbers them, each sampled for
/// matching: one entry per distinct face, in order of its first visit.
std::vector<SampledFace> sampleModelFaces(const TopoDS_Shape& modelShape);

/// The face's normal averaged over its samples by their weights: of length one for a flat face,
/// nought for a whole cylinder; nought for a face without samples.
gp_Vec averageNormal(const SampledFace& face);

/// How far the explorer numbered: the largest face number among `faces`, 0 for none.
int countVisits(const std::vector<SampledFace>& faces);
