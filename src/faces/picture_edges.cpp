#include "picture_edges.hpp"

#include "picture_style.hpp"

#include <algorithm>
#include <cmath>

namespace {

constexpr double edgePiece = 3; // pixels: an edge is shown or hidden piece by piece

} // namespace

std::vector<std::vector<gp_Pnt>> edgePolylines(const std::vector<FaceMesh>& meshes,
                                               const std::vector<MeshEdge>& edges)
{
    std::vector<std::vector<gp_Pnt>> polylines;
    polylines.reserve(edges.size());
    for (const MeshEdge& edge : edges) {
        std::vector<gp_Pnt>& points = polylines.emplace_back();
        for (const int node : edge.nodes) points.push_back(meshes[edge.row].nodes[node]);
    }
    return polylines;
}

void appendEdges(std::string& svg, const Panel& panel,
                 const std::vector<std::vector<gp_Pnt>>& edges)
{
    std::string path;
    for (const std::vector<gp_Pnt>& edge : edges) {
        bool drawing = false;
        for (std::size_t i = 1; i < edge.size(); ++i) {
            const gp_XYZ a = projectPoint(panel, edge[i - 1]), b = projectPoint(panel, edge[i]);
            const int pieces =
                std::max(1, int(std::ceil(std::hypot(b.X() - a.X(), b.Y() - a.Y()) / edgePiece)));
            for (int k = 0; k < pieces; ++k) {
                const double s = double(k) / pieces, e = double(k + 1) / pieces;
                const gp_Pnt middle(edge[i - 1].XYZ() +
                                    (edge[i].XYZ() - edge[i - 1].XYZ()) * ((s + e) / 2));
                if (!isInSight(panel, middle)) {
                    drawing = false;
                    continue;
                }
                if (!drawing) {
                    appendPoint(path, 'M', a.X() + (b.X() - a.X()) * s,
                                a.Y() + (b.Y() - a.Y()) * s);
                }
                appendPoint(path, 'L', a.X() + (b.X() - a.X()) * e, a.Y() + (b.Y() - a.Y()) * e);
                drawing = true;
            }
        }
    }
    if (path.empty()) return;
    svg += "<path class=\"edges\" fill=\"none\" stroke=\"";
    appendColour(svg, edgeColour);
    svg += "\" stroke-width=\"0.7\" stroke-linejoin=\"round\" stroke-linecap=\"round\" d=\"" +
           path + "\"/>\n";
}
