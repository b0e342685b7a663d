#include "picture_edges.hpp"

#include "picture_style.hpp"

#include <algorithm>
#include <cmath>

#include <BRep_Tool.hxx>
#include <Poly_PolygonOnTriangulation.hxx>
#include <Poly_Triangulation.hxx>
#include <TopExp_Explorer.hxx>
#include <TopTools_IndexedMapOfShape.hxx>
#include <TopoDS.hxx>
#include <TopoDS_Edge.hxx>

namespace {

constexpr double edgePiece = 3; // pixels: an edge is shown or hidden piece by piece

} // namespace

std::vector<std::vector<gp_Pnt>> collectEdges(const std::vector<FaceRow>& rows)
{
    std::vector<std::vector<gp_Pnt>> edges;
    TopTools_IndexedMapOfShape seen;
    for (const FaceRow& row : rows) {
        if (row.sameAs != 0) continue;
        TopLoc_Location location;
        const Handle(Poly_Triangulation) mesh = BRep_Tool::Triangulation(row.face, location);
        if (mesh.IsNull()) continue;
        for (TopExp_Explorer it(row.face, TopAbs_EDGE); it.More(); it.Next()) {
            const TopoDS_Edge& edge = TopoDS::Edge(it.Current());
            const int count = seen.Extent();
            if (seen.Add(edge) <= count || BRep_Tool::Degenerated(edge) ||
                BRep_Tool::IsClosed(edge, row.face)) {
                continue;
            }
            const Handle(Poly_PolygonOnTriangulation) polygon =
                BRep_Tool::PolygonOnTriangulation(edge, mesh, location);
            if (polygon.IsNull()) continue;
            std::vector<gp_Pnt>& points = edges.emplace_back();
            for (int i = 1; i <= polygon->NbNodes(); ++i) {
                points.push_back(
                    mesh->Node(polygon->Node(i)).Transformed(location.Transformation()));
            }
        }
    }
    return edges;
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
    svg += "<path class=\"edges\" fill=\"none\" stroke=\"#262626\" stroke-width=\"0.7\" "
           "stroke-linejoin=\"round\" stroke-linecap=\"round\" d=\"" +
           path + "\"/>\n";
}
