#pragma once

#include "face_mesh.hpp"
#include "panel.hpp"

#include <string>
#include <vector>

#include <gp_Pnt.hxx>

/// The model's edges (collectMeshEdges) as polylines of points in model space.
std::vector<std::vector<gp_Pnt>> edgePolylines(const std::vector<FaceMesh>& meshes,
                                               const std::vector<MeshEdge>& edges);

/// Appends the edges as one thin path, as far as they are in sight in the panel.
void appendEdges(std::string& svg, const Panel& panel,
                 const std::vector<std::vector<gp_Pnt>>& edges);
