#include "face_mesh.hpp"

#include <BRep_Tool.hxx>
#include <Poly_PolygonOnTriangulation.hxx>
#include <Poly_Triangulation.hxx>
#include <TopExp.hxx>
#include <TopExp_Explorer.hxx>
#include <TopTools_IndexedMapOfShape.hxx>
#include <TopoDS.hxx>
#include <TopoDS_Edge.hxx>

std::vector<FaceMesh> collectMeshes(const TopoDS_Shape& modelShape,
                                    const std::vector<FaceRow>& rows)
{
    TopTools_IndexedMapOfShape solidFaces;
    for (TopExp_Explorer solid(modelShape, TopAbs_SOLID); solid.More(); solid.Next()) {
        TopExp::MapShapes(solid.Current(), TopAbs_FACE, solidFaces);
    }
    std::vector<FaceMesh> meshes(rows.size());
    for (std::size_t i = 0; i < rows.size(); ++i) {
        if (rows[i].sameAs != 0) continue; // drawn once, under its first number
        TopLoc_Location location;
        const Handle(Poly_Triangulation) mesh = BRep_Tool::Triangulation(rows[i].face, location);
        if (mesh.IsNull()) continue;
        FaceMesh& faceMesh = meshes[i];
        for (int n = 1; n <= mesh->NbNodes(); ++n) {
            faceMesh.nodes.push_back(mesh->Node(n).Transformed(location.Transformation()));
        }
        const bool reversed = rows[i].face.Orientation() == TopAbs_REVERSED;
        for (int t = 1; t <= mesh->NbTriangles(); ++t) {
            int a, b, c;
            mesh->Triangle(t).Get(a, b, c);
            if (reversed) std::swap(b, c);
            faceMesh.triangles.push_back({a - 1, b - 1, c - 1});
        }
        faceMesh.cullBack = solidFaces.Contains(rows[i].face);
    }
    return meshes;
}

std::vector<MeshEdge> collectMeshEdges(const std::vector<FaceRow>& rows)
{
    std::vector<MeshEdge> edges;
    TopTools_IndexedMapOfShape seen;
    for (std::size_t r = 0; r < rows.size(); ++r) {
        const FaceRow& row = rows[r];
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
            MeshEdge& meshEdge = edges.emplace_back();
            meshEdge.row = int(r);
            for (int i = 1; i <= polygon->NbNodes(); ++i) {
                meshEdge.nodes.push_back(polygon->Node(i) - 1);
            }
        }
    }
    return edges;
}
