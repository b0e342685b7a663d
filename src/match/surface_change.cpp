#include "surface_change.hpp"

#include "match_terms.hpp"

#include <algorithm>
#include <cmath>

#include <BRepAdaptor_Curve.hxx>
#include <BRepAdaptor_Surface.hxx>
#include <BRep_Tool.hxx>
#include <Standard_Failure.hxx>
#include <TopExp_Explorer.hxx>
#include <TopoDS.hxx>
#include <TopoDS_Edge.hxx>
#include <gp_Lin.hxx>

namespace {

constexpr double degrees = 180 / M_PI;
// Axes and normals closer than this are taken as not turned.
constexpr double leastAngle = 1e-7;

gp_Pnt nearestOnAxis(const gp_Ax1& axis, const gp_Pnt& point)
{
    const gp_Vec along(axis.Direction());
    return axis.Location().Translated(along * gp_Vec(axis.Location(), point).Dot(along));
}

// +1 when the face faces away from `from` (a boss, a ball), -1 when it faces it (a hole, a
// hollow), 0 when its middle sample cannot tell.
int facingFrom(const SampledFace& face, const gp_Pnt& from)
{
    if (face.samples.empty()) return 0;
    const FaceSample& middle = face.samples[face.samples.size() / 2];
    const double dot = gp_Vec(from, middle.point).Dot(gp_Vec(middle.normal));
    return dot > 0 ? 1 : dot < 0 ? -1 : 0;
}

// The angle between two axes, whichever way each points.
double axisAngle(const gp_Dir& a, const gp_Dir& b)
{
    return std::acos(std::min(1.0, std::abs(a.Dot(b))));
}

void addChange(std::vector<std::string>& changes, const char* what, double before, double after,
               double tolerance, const char* unit = "")
{
    if (std::abs(before - after) <= tolerance) return;
    changes.push_back(std::string(what) + " " + formatNumber(before) + unit + " -> " +
                      formatNumber(after) + unit);
}

// Adds how the axis moved and turned; returns the angle it turned by.
double addAxisChanges(std::vector<std::string>& changes, const gp_Ax1& before,
                      const gp_Ax1& after, const gp_Pnt& near, double tolerance)
{
    const double moved = gp_Lin(after).Distance(nearestOnAxis(before, near));
    if (moved > tolerance) changes.push_back("axis moved by " + formatNumber(moved));
    const double angle = axisAngle(before.Direction(), after.Direction());
    if (angle > leastAngle) {
        changes.push_back("axis turned by " + formatNumber(angle * degrees) + " degrees");
    }
    return angle;
}

// Whether an edge of `face` lies on `plane` from end to end: the line about which a draft or
// an angle that changed turned the face.
bool keepsAnEdgeOn(const TopoDS_Face& face, const gp_Pln& plane, double tolerance)
{
    try {
        for (TopExp_Explorer edges(face, TopAbs_EDGE); edges.More(); edges.Next()) {
            const TopoDS_Edge& edge = TopoDS::Edge(edges.Current());
            if (BRep_Tool::Degenerated(edge)) continue;
            const BRepAdaptor_Curve curve(edge);
            const double first = curve.FirstParameter(), last = curve.LastParameter();
            bool on = true;
            for (int i = 0; i <= 4 && on; ++i) {
                on = plane.Distance(curve.Value(first + (last - first) * i / 4)) <= tolerance;
            }
            if (on) return true;
        }
    } catch (const Standard_Failure&) {
        // An edge that cannot be measured keeps nothing that can be told.
    }
    return false;
}

} // namespace

SurfaceChange describeSurfaceChange(const SampledFace& before, const SampledFace& after,
                                    double tolerance, std::string& text)
{
    const BRepAdaptor_Surface a(before.face, Standard_False), b(after.face, Standard_False);
    const double t = tolerance + before.tolerance + after.tolerance;
    std::vector<std::string> changes;
    double turn = 0;     // of the normal or the axis
    bool hinged = true;  // turned, if at all, about an edge it kept
    switch (a.GetType()) {
    case GeomAbs_Plane: {
        const gp_Vec na = averageNormal(before), nb = averageNormal(after);
        if (na.Magnitude() <= 0 || nb.Magnitude() <= 0 || na.Dot(nb) <= 0) {
            text = "it faces the other way";
            return SurfaceChange::otherWay;
        }
        const double angle = turn = na.Angle(nb);
        if (angle > leastAngle) {
            changes.push_back("turned by " + formatNumber(angle * degrees) + " degrees");
        }
        // A turn that moves the face's far points by more than the tolerance is one.
        const double reach = before.box.IsVoid() ? 0 : std::sqrt(before.box.SquareExtent()) / 2;
        if (angle * reach > t) hinged = keepsAnEdgeOn(before.face, b.Plane(), t);
        // How far the new plane lies from the old face's centre, along the old normal.
        const gp_Vec ua = na.Normalized(), ub = nb.Normalized();
        const double offset = gp_Vec(before.centre, b.Plane().Location()).Dot(ub) / ua.Dot(ub);
        if (std::abs(offset) > t) {
            changes.push_back("offset " + formatNumber(offset) + " along the normal");
        }
        break;
    }
    case GeomAbs_Cylinder: {
        const gp_Cylinder ca = a.Cylinder(), cb = b.Cylinder();
        if (facingFrom(before, nearestOnAxis(ca.Axis(), before.centre)) *
                facingFrom(after, nearestOnAxis(cb.Axis(), after.centre)) <
            0) {
            text = "one faces its axis and the other away from it";
            return SurfaceChange::otherWay;
        }
        addChange(changes, "radius", ca.Radius(), cb.Radius(), t);
        turn = addAxisChanges(changes, ca.Axis(), cb.Axis(), before.centre, t);
        break;
    }
    case GeomAbs_Cone: {
        const gp_Cone ca = a.Cone(), cb = b.Cone();
        addChange(changes, "half-angle", std::abs(ca.SemiAngle()) * degrees,
                  std::abs(cb.SemiAngle()) * degrees, leastAngle * degrees, " degrees");
        const double apex = ca.Apex().Distance(cb.Apex());
        if (apex > t) changes.push_back("apex moved by " + formatNumber(apex));
        turn = addAxisChanges(changes, ca.Axis(), cb.Axis(), before.centre, t);
        break;
    }
    case GeomAbs_Sphere: {
        const gp_Sphere sa = a.Sphere(), sb = b.Sphere();
        if (facingFrom(before, sa.Location()) * facingFrom(after, sb.Location()) < 0) {
            text = "one faces its centre and the other away from it";
            return SurfaceChange::otherWay;
        }
        addChange(changes, "radius", sa.Radius(), sb.Radius(), t);
        const double moved = sa.Location().Distance(sb.Location());
        if (moved > t) changes.push_back("centre moved by " + formatNumber(moved));
        break;
    }
    case GeomAbs_Torus: {
        const gp_Torus ta = a.Torus(), tb = b.Torus();
        addChange(changes, "major radius", ta.MajorRadius(), tb.MajorRadius(), t);
        addChange(changes, "minor radius", ta.MinorRadius(), tb.MinorRadius(), t);
        const double moved = ta.Location().Distance(tb.Location());
        if (moved > t) changes.push_back("centre moved by " + formatNumber(moved));
        const double angle = turn = axisAngle(ta.Axis().Direction(), tb.Axis().Direction());
        if (angle > leastAngle) {
            changes.push_back("axis turned by " + formatNumber(angle * degrees) + " degrees");
        }
        break;
    }
    default: {
        changes.push_back("its surface changed shape");
        // A face of a free form that stays much the same way round has a mean normal to turn.
        const gp_Vec na = averageNormal(before), nb = averageNormal(after);
        if (na.Magnitude() > 0.5 && nb.Magnitude() > 0.5) turn = na.Angle(nb);
        break;
    }
    }
    if (turn > mostDimensionTurn || !hinged) {
        text = std::string(a.GetType() == GeomAbs_Plane ? "" : "its axis ") + "turned by " +
               formatNumber(turn * degrees) + " degrees" +
               (hinged ? "" : " about none of its edges");
        return SurfaceChange::cutAway;
    }
    if (changes.empty()) {
        changes.push_back("moved along its surface by " +
                          formatNumber(before.centre.Distance(after.centre)));
    }
    changes.push_back("area " + formatNumber(before.area) + " -> " + formatNumber(after.area));
    text.clear();
    for (const std::string& change : changes) text += (text.empty() ? "" : ", ") + change;
    return SurfaceChange::dimension;
}
