#pragma once

#include "face_table.hpp"

#include <array>
#include <vector>

#include <TopoDS_Shape.hxx>
#include <gp_Pnt.hxx>

/// A face's triangles in model space, each wound so that its normal points out of the face.
struct FaceMesh {
    std::vector<gp_Pnt> nodes;
    std::vector<std::array<int, 3>> triangles; ///< indices into nodes
    bool cullBack = false; ///< true for a face of a solid: its back is never seen
};

/// One mesh per row of the meshed `modelShape`, in row order. A face visited again (same_as)
/// and a face without a mesh get an empty one: each face is drawn once, under its first number.
std::vector<FaceMesh> collectMeshes(const TopoDS_Shape& modelShape,
                                    const std::vector<FaceRow>& rows);

/// An edge of the model as a polyline through nodes of one face's mesh.
struct MeshEdge {
    int row = 0;            ///< index of the row whose mesh holds the nodes
    std::vector<int> nodes; ///< indices into that mesh's nodes, in order along the edge
};

/// The edges between the faces of `rows`, each once, on the faces' meshes. Seams, which join
/// a face to itself, and degenerate edges are left out.
std::vector<MeshEdge> collectMeshEdges(const std::vector<FaceRow>& rows);
