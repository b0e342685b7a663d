#include "label_points.hpp"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <unordered_map>

#include <BRepTools.hxx>
#include <BRepTopAdaptor_FClass2d.hxx>
#include <BRep_Tool.hxx>
#include <Poly_Triangulation.hxx>
#include <Precision.hxx>
#include <TopLoc_Location.hxx>

namespace {

struct Candidate {
    gp_Pnt2d uv;
    gp_Pnt point;
    double clearance;
};

// Above this many triangles the centroids alone are candidates enough, and the work stays
// proportional to the mesh.
constexpr int fineSamplingLimit = 2000;

std::uint64_t sideKey(int a, int b)
{
    return (std::uint64_t(std::min(a, b)) << 32) | std::uint64_t(std::max(a, b));
}

double squaredDistanceToSegment(const gp_Pnt& p, const gp_Pnt& a, const gp_Pnt& b)
{
    const gp_Vec ab(a, b), ap(a, p);
    const double length2 = ab.SquareMagnitude();
    const double t = length2 > 0 ? std::clamp(ap.Dot(ab) / length2, 0.0, 1.0) : 0.0;
    return p.SquareDistance(a.Translated(t * ab));
}

// The point at barycentric weights (wa, wb, wc) of triangle (a, b, c), in 3D and in (u, v).
Candidate blend(const Poly_Triangulation& mesh, const std::vector<gp_Pnt>& nodes, int a, int b,
                int c, double wa, double wb, double wc)
{
    const gp_XY uv = wa * mesh.UVNode(a).XY() + wb * mesh.UVNode(b).XY() + wc * mesh.UVNode(c).XY();
    const gp_XYZ point =
        wa * nodes[a - 1].XYZ() + wb * nodes[b - 1].XYZ() + wc * nodes[c - 1].XYZ();
    return {gp_Pnt2d(uv), gp_Pnt(point), 0};
}

std::vector<Candidate> sampleMesh(const Poly_Triangulation& mesh, const std::vector<gp_Pnt>& nodes,
                                  const std::unordered_map<std::uint64_t, int>& sideUses)
{
    std::vector<Candidate> candidates;
    const bool fine = mesh.NbTriangles() <= fineSamplingLimit;
    for (int t = 1; t <= mesh.NbTriangles(); ++t) {
        int a, b, c;
        mesh.Triangle(t).Get(a, b, c);
        candidates.push_back(blend(mesh, nodes, a, b, c, 1 / 3.0, 1 / 3.0, 1 / 3.0));
        if (!fine) continue;
        // Towards each corner too: a coarse mesh of a plane has few triangles, and its best
        // point may lie well away from their centroids.
        candidates.push_back(blend(mesh, nodes, a, b, c, 4 / 6.0, 1 / 6.0, 1 / 6.0));
        candidates.push_back(blend(mesh, nodes, a, b, c, 1 / 6.0, 4 / 6.0, 1 / 6.0));
        candidates.push_back(blend(mesh, nodes, a, b, c, 1 / 6.0, 1 / 6.0, 4 / 6.0));
        // The middle of each inner side, once: the centre of a rectangle lies on its diagonal.
        const int corners[3] = {a, b, c};
        for (int i = 0; i < 3; ++i) {
            const int p = corners[i], q = corners[(i + 1) % 3];
            if (p < q && sideUses.at(sideKey(p, q)) > 1) {
                candidates.push_back(blend(mesh, nodes, p, q, p, 0.5, 0.5, 0));
            }
        }
    }
    return candidates;
}

// Without a mesh: points of a grid over the face's parameter range that fall inside it.
std::vector<gp_Pnt2d> sampleParameterGrid(const TopoDS_Face& face, std::size_t maxCount)
{
    double u1, u2, v1, v2;
    BRepTools::UVBounds(face, u1, u2, v1, v2);
    if (Precision::IsInfinite(u1) || Precision::IsInfinite(u2) || Precision::IsInfinite(v1) ||
        Precision::IsInfinite(v2)) {
        return {};
    }
    const BRepTopAdaptor_FClass2d classifier(face, Precision::PConfusion());
    std::vector<gp_Pnt2d> inside;
    constexpr int steps = 12;
    for (int i = 1; i < steps && inside.size() < maxCount; ++i) {
        for (int j = 1; j < steps && inside.size() < maxCount; ++j) {
            const gp_Pnt2d uv(u1 + (u2 - u1) * i / steps, v1 + (v2 - v1) * j / steps);
            if (classifier.Perform(uv) == TopAbs_IN) inside.push_back(uv);
        }
    }
    return inside;
}

} // namespace

std::vector<gp_Pnt2d> findLabelPoints(const TopoDS_Face& face, std::size_t maxCount)
{
    TopLoc_Location location;
    const Handle(Poly_Triangulation) mesh = BRep_Tool::Triangulation(face, location);
    if (mesh.IsNull() || !mesh->HasUVNodes() || mesh->NbTriangles() == 0) {
        return sampleParameterGrid(face, maxCount);
    }

    std::vector<gp_Pnt> nodes;
    nodes.reserve(mesh->NbNodes());
    for (int i = 1; i <= mesh->NbNodes(); ++i) {
        nodes.push_back(mesh->Node(i).Transformed(location.Transformation()));
    }

    // The face's boundary, as the mesh sees it: the sides that belong to one triangle only.
    std::unordered_map<std::uint64_t, int> sideUses;
    for (int t = 1; t <= mesh->NbTriangles(); ++t) {
        int a, b, c;
        mesh->Triangle(t).Get(a, b, c);
        ++sideUses[sideKey(a, b)];
        ++sideUses[sideKey(b, c)];
        ++sideUses[sideKey(c, a)];
    }
    std::vector<std::pair<int, int>> boundary;
    for (const auto& [key, uses] : sideUses) {
        if (uses == 1) boundary.emplace_back(int(key >> 32), int(key & 0xffffffffu));
    }

    std::vector<Candidate> candidates = sampleMesh(*mesh, nodes, sideUses);
    for (Candidate& candidate : candidates) {
        double nearest = std::numeric_limits<double>::max();
        for (const auto& [a, b] : boundary) {
            nearest = std::min(
                nearest, squaredDistanceToSegment(candidate.point, nodes[a - 1], nodes[b - 1]));
        }
        candidate.clearance = std::sqrt(nearest);
    }
    // stable: equal clearances (a closed sphere has no boundary) keep the mesh's order.
    std::stable_sort(
        candidates.begin(), candidates.end(),
        [](const Candidate& x, const Candidate& y) { return x.clearance > y.clearance; });

    // Alternatives keep apart by their clearance, but by no more than a fraction of the
    // face's size, so that a face without boundary (a whole sphere) still offers several.
    double extent = 0;
    for (const gp_Pnt& node : nodes) extent = std::max(extent, node.Distance(nodes.front()));
    const double maxSpacing = extent / 2;
    std::vector<gp_Pnt2d> chosen;
    std::vector<gp_Pnt> chosenPoints;
    for (const Candidate& candidate : candidates) {
        if (chosen.size() == maxCount) break;
        const bool apart =
            std::all_of(chosenPoints.begin(), chosenPoints.end(), [&](const gp_Pnt& p) {
                return p.Distance(candidate.point) > std::min(candidate.clearance, maxSpacing);
            });
        if (!apart) continue;
        chosen.push_back(candidate.uv);
        chosenPoints.push_back(candidate.point);
    }
    return chosen;
}
