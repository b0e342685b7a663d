#include "face_overlap.hpp"

#include <algorithm>
#include <cmath>

#include <BRepAdaptor_Curve.hxx>
#include <BRep_Tool.hxx>
#include <ElSLib.hxx>
#include <Extrema_ExtPC.hxx>
#include <TopExp_Explorer.hxx>
#include <TopoDS.hxx>
#include <gp_Lin.hxx>
#include <gp_Pnt2d.hxx>

namespace {

// Normals of two coinciding surfaces agree within what their tolerances allow; across a
// crossing of two surfaces they do not.
constexpr double parallelCosine = 0.985; // 10 degrees

// The parameters of the point of the surface nearest to `point` (for a cone, near enough when
// the point lies within a tolerance of it).
gp_Pnt2d projectPoint(const FaceGauge& gauge, const gp_Pnt& point)
{
    double u = 0, v = 0;
    switch (gauge.surface.GetType()) {
    case GeomAbs_Plane: ElSLib::Parameters(gauge.surface.Plane(), point, u, v); break;
    case GeomAbs_Cylinder: ElSLib::Parameters(gauge.surface.Cylinder(), point, u, v); break;
    case GeomAbs_Cone: ElSLib::Parameters(gauge.surface.Cone(), point, u, v); break;
    case GeomAbs_Sphere: ElSLib::Parameters(gauge.surface.Sphere(), point, u, v); break;
    case GeomAbs_Torus: ElSLib::Parameters(gauge.surface.Torus(), point, u, v); break;
    default: return gauge.projector->ValueOfUV(point, Precision::Confusion());
    }
    return gp_Pnt2d(u, v);
}

// Axes are parallel when, over the length of the faces, they part by no more than the tolerance.
bool parallelAxes(const gp_Dir& a, const gp_Dir& b, double length, double tolerance)
{
    return gp_Vec(a).Crossed(gp_Vec(b)).Magnitude() * length <= tolerance;
}

// The point of the axis nearest to `point`.
gp_Pnt nearestOnAxis(const gp_Ax1& axis, const gp_Pnt& point)
{
    const gp_Vec along(axis.Direction());
    return axis.Location().Translated(along * gp_Vec(axis.Location(), point).Dot(along));
}

// Whether two axes are the same line, near the faces around `near`.
bool sameAxis(const gp_Ax1& a, const gp_Ax1& b, const gp_Pnt& near, double length,
              double tolerance)
{
    return parallelAxes(a.Direction(), b.Direction(), length, tolerance) &&
           gp_Lin(b).Distance(nearestOnAxis(a, near)) <= tolerance;
}

// A loose test: it only rules out surfaces that are plainly apart, and leaves the decision to
// the samples.
bool sameElementarySurface(const SampledFace& a, const SampledFace& b, double length,
                           double tolerance)
{
    const BRepAdaptor_Surface sa(a.face, Standard_False), sb(b.face, Standard_False);
    const double loose = 10 * tolerance;
    switch (sa.GetType()) {
    case GeomAbs_Plane:
        // A plane face's centre of area lies in its plane.
        return parallelAxes(sa.Plane().Axis().Direction(), sb.Plane().Axis().Direction(), length,
                            loose) &&
               sb.Plane().Distance(a.centre) <= loose && sa.Plane().Distance(b.centre) <= loose;
    case GeomAbs_Cylinder:
        return std::abs(sa.Cylinder().Radius() - sb.Cylinder().Radius()) <= loose &&
               sameAxis(sa.Cylinder().Axis(), sb.Cylinder().Axis(), a.centre, length, loose);
    case GeomAbs_Cone:
        return std::abs(std::abs(sa.Cone().SemiAngle()) - std::abs(sb.Cone().SemiAngle())) *
                       length <=
                   loose &&
               sameAxis(sa.Cone().Axis(), sb.Cone().Axis(), a.centre, length, loose);
    case GeomAbs_Sphere:
        return std::abs(sa.Sphere().Radius() - sb.Sphere().Radius()) <= loose &&
               sa.Sphere().Location().Distance(sb.Sphere().Location()) <= loose;
    case GeomAbs_Torus:
        return std::abs(sa.Torus().MajorRadius() - sb.Torus().MajorRadius()) <= loose &&
               std::abs(sa.Torus().MinorRadius() - sb.Torus().MinorRadius()) <= loose &&
               sa.Torus().Location().Distance(sb.Torus().Location()) <= loose &&
               parallelAxes(sa.Torus().Axis().Direction(), sb.Torus().Axis().Direction(),
                            length, loose);
    default: return true;
    }
}

double boxDiagonal(const Bnd_Box& box)
{
    return box.IsVoid() ? 0 : std::sqrt(box.SquareExtent());
}

// The distance from `point` to the nearest boundary edge of `face` (seams aside), as far as it
// matters: the search stops at the first edge within `enough`.
double distanceToBoundary(const gp_Pnt& point, const TopoDS_Face& face, double enough)
{
    double nearest = Precision::Infinite();
    for (TopExp_Explorer edges(face, TopAbs_EDGE); edges.More(); edges.Next()) {
        const TopoDS_Edge& edge = TopoDS::Edge(edges.Current());
        if (BRep_Tool::Degenerated(edge) || BRep_Tool::IsClosed(edge, face)) continue;
        const BRepAdaptor_Curve curve(edge);
        nearest = std::min({nearest, point.Distance(curve.Value(curve.FirstParameter())),
                            point.Distance(curve.Value(curve.LastParameter()))});
        const Extrema_ExtPC extrema(point, curve);
        if (extrema.IsDone()) {
            for (int i = 1; i <= extrema.NbExt(); ++i) {
                nearest = std::min(nearest, std::sqrt(extrema.SquareDistance(i)));
            }
        }
        if (nearest <= enough) break;
    }
    return nearest;
}

bool pointsMatch(const std::vector<gp_Pnt>& these, const std::vector<gp_Pnt>& those,
                 double tolerance)
{
    return std::all_of(these.begin(), these.end(), [&](const gp_Pnt& p) {
        return std::any_of(those.begin(), those.end(),
                           [&](const gp_Pnt& q) { return p.Distance(q) <= tolerance; });
    });
}

} // namespace

FaceGauge gaugeFace(const SampledFace& face, double tolerance)
{
    FaceGauge gauge;
    gauge.surface.Initialize(face.face, Standard_False);
    if (isFreeForm(gauge.surface.GetType())) {
        gauge.projector = new ShapeAnalysis_Surface(BRep_Tool::Surface(face.face));
    }
    gauge.classifier = face.classifier;
    gauge.reach = face.box;
    gauge.reach.Enlarge(tolerance);
    gauge.reversed = face.face.Orientation() == TopAbs_REVERSED;
    return gauge;
}

bool liesOn(const Placement& placement)
{
    return placement.inside + placement.reversed + placement.boundary > 0;
}

Placement placeSamples(const SampledFace& from, const FaceGauge& onto, double tolerance,
                       std::size_t stride)
{
    // Where each sample falls on the other surface, and whether it lies on it there.
    struct Projected {
        double weight;
        gp_Pnt2d uv;
        double facing; ///< cosine of the angle between the two faces' normals
        bool on;
    };
    std::vector<Projected> projected;
    double total = 0;
    bool anyOn = false;
    for (std::size_t i = 0; i < from.samples.size(); i += stride) {
        const FaceSample& sample = from.samples[i];
        total += sample.weight;
        if (onto.reach.IsOut(sample.point)) continue;
        const gp_Pnt2d uv = projectPoint(onto, sample.point);
        gp_Pnt point;
        gp_Vec alongU, alongV;
        onto.surface.D1(uv.X(), uv.Y(), point, alongU, alongV);
        const gp_Vec normal = alongU.Crossed(alongV);
        const double scale = normal.Magnitude();
        const double cosine = scale > 1e-12 ? normal.Dot(gp_Vec(sample.normal)) / scale : 0;
        const double facing = onto.reversed ? -cosine : cosine;
        const bool on =
            point.Distance(sample.point) <= tolerance && std::abs(facing) >= parallelCosine;
        anyOn = anyOn || on;
        projected.push_back({sample.weight, uv, facing, on});
    }
    Placement placement;
    // Classifying a point against the other face's bounds is what costs, near its edges most:
    // samples that come nowhere near the other surface tell of no overlap wherever they fall.
    if (!anyOn || total <= 0) return placement;
    for (const Projected& p : projected) {
        const TopAbs_State state = onto.classifier->Perform(p.uv);
        if (state == TopAbs_OUT) {
            if (p.on) placement.outside += p.weight;
        } else if (state == TopAbs_ON) {
            if (p.on) placement.boundary += p.weight;
        } else if (!p.on) {
            placement.off += p.weight;
        } else if (p.facing > 0) {
            placement.inside += p.weight;
        } else {
            placement.reversed += p.weight;
        }
    }
    for (double* share : {&placement.inside, &placement.reversed, &placement.boundary,
                          &placement.off, &placement.outside}) {
        *share /= total;
    }
    return placement;
}

bool surfacesMayCoincide(const SampledFace& a, const SampledFace& b, double tolerance)
{
    if (a.samples.empty() || b.samples.empty()) return true; // nothing to rule it out by
    if (isFreeForm(a.type) || isFreeForm(b.type)) return true;
    if (a.type != b.type) return false;
    const double length = std::max(boxDiagonal(a.box), boxDiagonal(b.box));
    return sameElementarySurface(a, b, length, tolerance);
}

bool haveSameBounds(const SampledFace& a, const SampledFace& b, double tolerance)
{
    // A boundary moved by the tolerance changes the area by about that much per unit of length.
    const double areaTolerance =
        tolerance * (a.perimeter + b.perimeter) + 1e-6 * std::max(a.area, b.area);
    if (std::abs(a.area - b.area) > areaTolerance) return false;
    if (a.vertices.size() != b.vertices.size() || a.edgeMiddles.size() != b.edgeMiddles.size()) {
        return false;
    }
    if (!pointsMatch(a.vertices, b.vertices, tolerance) ||
        !pointsMatch(b.vertices, a.vertices, tolerance)) {
        return false;
    }
    for (const auto& [these, face] : {std::pair{&a.edgeMiddles, &b.face},
                                      std::pair{&b.edgeMiddles, &a.face}}) {
        for (const gp_Pnt& middle : *these) {
            if (distanceToBoundary(middle, *face, tolerance) > tolerance) return false;
        }
    }
    return true;
}
