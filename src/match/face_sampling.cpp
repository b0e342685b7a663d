#include "face_sampling.hpp"

#include "../model/face_numbering.hpp"

#include <algorithm>
#include <cmath>

#include <BRepAdaptor_Curve.hxx>
#include <BRepAdaptor_Surface.hxx>
#include <BRepBndLib.hxx>
#include <BRepGProp.hxx>
#include <BRepTools.hxx>
#include <BRepTopAdaptor_FClass2d.hxx>
#include <Bnd_Box2d.hxx>
#include <Geom2d_Curve.hxx>
#include <Precision.hxx>
#include <Standard_Failure.hxx>
#include <BRep_Tool.hxx>
#include <GCPnts_AbscissaPoint.hxx>
#include <GProp_GProps.hxx>
#include <TopTools_DataMapOfShapeInteger.hxx>
#include <TopoDS.hxx>
#include <TopoDS_Edge.hxx>
#include <gp_Pnt2d.hxx>

namespace {

// The parameter box of the face, from points along its edges' curves on the surface: close
// enough to lay a grid over, and much cheaper than the exact box of every curve.
bool findParameterBox(const TopoDS_Face& face, double& u0, double& u1, double& v0, double& v1)
{
    constexpr int steps = 16;
    Bnd_Box2d box;
    for (TopExp_Explorer edges(face, TopAbs_EDGE); edges.More(); edges.Next()) {
        const TopoDS_Edge& edge = TopoDS::Edge(edges.Current());
        double first = 0, last = 0;
        const Handle(Geom2d_Curve) curve = BRep_Tool::CurveOnSurface(edge, face, first, last);
        if (curve.IsNull() || Precision::IsInfinite(first) || Precision::IsInfinite(last)) {
            BRepTools::UVBounds(face, u0, u1, v0, v1);
            return u1 > u0 && v1 > v0;
        }
        for (int i = 0; i <= steps; ++i) box.Add(curve->Value(first + (last - first) * i / steps));
    }
    if (box.IsVoid()) return false;
    box.Get(u0, v0, u1, v1);
    // Between the points a curve may bulge out a little.
    const double marginU = (u1 - u0) * 0.02, marginV = (v1 - v0) * 0.02;
    u0 -= marginU;
    u1 += marginU;
    v0 -= marginV;
    v1 += marginV;
    return u1 > u0 && v1 > v0;
}

// Enough points that a piece of a face of a few percent of its area is seen, few enough that a
// model of thousands of faces is sampled in a second or two.
constexpr int targetSamples = 96;
constexpr int fewestSamples = 12;

// The length in space of the line from (u0, v0) to (u1, v1) of the surface, measured on a few
// points: a guide for how to share the grid between the two directions.
double lengthAlong(const BRepAdaptor_Surface& surface, double u0, double v0, double u1, double v1)
{
    constexpr int steps = 8;
    double length = 0;
    gp_Pnt previous = surface.Value(u0, v0);
    for (int i = 1; i <= steps; ++i) {
        const double s = double(i) / steps;
        const gp_Pnt point = surface.Value(u0 + (u1 - u0) * s, v0 + (v1 - v0) * s);
        length += previous.Distance(point);
        previous = point;
    }
    return length;
}

// Points at the middles of a grid of cells over the face's parameter box, those inside the face
// kept, the grid made finer until a narrow face has enough of them.
void samplePoints(SampledFace& sampled)
{
    const TopoDS_Face& face = sampled.face;
    const BRepAdaptor_Surface surface(face, Standard_False);
    const double tolerance = std::max(BRep_Tool::Tolerance(face), 1e-7);
    sampled.classifier = std::make_shared<const BRepTopAdaptor_FClass2d>(
        face, std::min(surface.UResolution(tolerance), surface.VResolution(tolerance)));
    double u0 = 0, u1 = 0, v0 = 0, v1 = 0;
    if (!findParameterBox(face, u0, u1, v0, v1)) return;
    const double lengthU = lengthAlong(surface, u0, (v0 + v1) / 2, u1, (v0 + v1) / 2);
    const double lengthV = lengthAlong(surface, (u0 + u1) / 2, v0, (u0 + u1) / 2, v1);
    const double ratio = lengthV > 0 ? std::clamp(lengthU / lengthV, 1e-3, 1e3) : 1e3;
    int nu = std::clamp(int(std::lround(std::sqrt(targetSamples * ratio))), 2, targetSamples);
    int nv = std::clamp(int(std::lround(double(targetSamples) / nu)), 2, targetSamples);

    const BRepTopAdaptor_FClass2d& classifier = *sampled.classifier;
    const bool reversed = face.Orientation() == TopAbs_REVERSED;
    std::vector<gp_Pnt2d> parameters;
    for (int refinement = 0; refinement < 3; ++refinement) {
        sampled.samples.clear();
        parameters.clear();
        const double du = (u1 - u0) / nu, dv = (v1 - v0) / nv;
        for (int i = 0; i < nu; ++i) {
            for (int j = 0; j < nv; ++j) {
                const double u = u0 + (i + 0.5) * du, v = v0 + (j + 0.5) * dv;
                if (classifier.Perform(gp_Pnt2d(u, v), Standard_False) != TopAbs_IN) continue;
                gp_Pnt point;
                gp_Vec alongU, alongV;
                surface.D1(u, v, point, alongU, alongV);
                const gp_Vec normal = alongU.Crossed(alongV);
                const double areaScale = normal.Magnitude();
                if (areaScale < 1e-12) continue; // a pole: no normal to compare
                FaceSample sample;
                sample.point = point;
                sample.normal = reversed ? gp_Dir(normal.Reversed()) : gp_Dir(normal);
                sample.weight = areaScale * du * dv;
                sampled.samples.push_back(sample);
                parameters.emplace_back(u, v);
            }
        }
        if (int(sampled.samples.size()) >= fewestSamples) break;
        nu *= 2;
        nv *= 2;
    }
    if (!parameters.empty())
        sampled.probes = {parameters.front(), parameters[parameters.size() / 2]};
}

// The edges that bound the face in space: a seam joins the face to itself, and a degenerate
// edge (a cone's apex) is a point.
void sampleBoundary(SampledFace& sampled)
{
    double tolerance = BRep_Tool::Tolerance(sampled.face);
    for (TopExp_Explorer edges(sampled.face, TopAbs_EDGE); edges.More(); edges.Next()) {
        const TopoDS_Edge& edge = TopoDS::Edge(edges.Current());
        tolerance = std::max(tolerance, BRep_Tool::Tolerance(edge));
        if (BRep_Tool::Degenerated(edge) || BRep_Tool::IsClosed(edge, sampled.face)) continue;
        const BRepAdaptor_Curve curve(edge);
        const double first = curve.FirstParameter(), last = curve.LastParameter();
        sampled.edgeMiddles.push_back(curve.Value((first + last) / 2));
        sampled.perimeter += GCPnts_AbscissaPoint::Length(curve);
        const gp_Pnt start = curve.Value(first), end = curve.Value(last);
        // A closed edge (a whole circle) starts wherever its maker chose; only its points count.
        if (start.Distance(end) > BRep_Tool::Tolerance(edge)) {
            sampled.vertices.push_back(start);
            sampled.vertices.push_back(end);
        }
    }
    sampled.tolerance = tolerance;
}

// Bounds as tight as the library gives them: a free-form face is often a small piece of a large
// surface, whose poles would bound it loosely and make it a candidate for many faces it is
// nowhere near. Failing that, its edges' ends bound it.
void boundFace(SampledFace& sampled)
{
    const TopoDS_Face& face = sampled.face;
    try {
        if (isFreeForm(sampled.type)) {
            BRepBndLib::AddOptimal(face, sampled.box, Standard_False, Standard_False);
        } else {
            BRepBndLib::Add(face, sampled.box, Standard_False);
        }
    } catch (const Standard_Failure&) {
        sampled.box.SetVoid();
        for (const gp_Pnt& vertex : sampled.vertices) sampled.box.Add(vertex);
    }
}

} // namespace

bool isFreeForm(GeomAbs_SurfaceType type)
{
    return type != GeomAbs_Plane && type != GeomAbs_Cylinder && type != GeomAbs_Cone &&
           type != GeomAbs_Sphere && type != GeomAbs_Torus;
}

std::vector<SampledFace> sampleModelFaces(const TopoDS_Shape& modelShape)
{
    std::vector<SampledFace> faces;
    // Visits of one face share an entry only in the same orientation: in the other, the face
    // file carries the other side.
    TopTools_DataMapOfShapeInteger seen; // keyed by IsSame; the value indexes `faces`
    visitFaces(modelShape, [&](int faceNumber, const TopoDS_Face& face) {
        if (const Standard_Integer* index = seen.Seek(face)) {
            for (int i = *index; i < int(faces.size()); ++i) {
                if (faces[i].face.IsEqual(face)) {
                    faces[i].visits.push_back(faceNumber);
                    return;
                }
            }
        } else {
            seen.Bind(face, int(faces.size()));
        }
        SampledFace sampled;
        sampled.face = face;
        sampled.visits.push_back(faceNumber);
        // A face the library cannot measure is kept without samples: nothing it might have
        // become can then be ruled out, and its answer is unsure rather than wrong.
        try {
            sampled.type = BRepAdaptor_Surface(face, Standard_False).GetType();
            GProp_GProps props;
            BRepGProp::SurfaceProperties(face, props);
            sampled.area = props.Mass();
            sampled.centre = props.CentreOfMass();
            sampleBoundary(sampled);
            samplePoints(sampled);
        } catch (const Standard_Failure&) {
            sampled.samples.clear();
            sampled.classifier.reset();
        }
        boundFace(sampled);
        faces.push_back(std::move(sampled));
    });
    // Without any bounds a face would be a candidate for none: it is given the whole model's.
    Bnd_Box model;
    for (const SampledFace& face : faces) model.Add(face.box);
    for (SampledFace& face : faces) {
        if (face.box.IsVoid()) face.box = model;
    }
    return faces;
}

int countVisits(const std::vector<SampledFace>& faces)
{
    int last = 0;
    for (const SampledFace& face : faces) last = std::max(last, face.visits.back());
    return last;
}

gp_Vec averageNormal(const SampledFace& face)
{
    gp_Vec sum;
    double total = 0;
    for (const FaceSample& sample : face.samples) {
        sum += gp_Vec(sample.normal) * sample.weight;
        total += sample.weight;
    }
    return total > 0 ? sum / total : sum;
}
