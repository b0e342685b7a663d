#pragma once

#include "face_table.hpp"
#include "panel.hpp"

#include <string>
#include <vector>

#include <gp_Pnt.hxx>

/// The edges between the faces of `rows`, each once, as polylines on the faces' meshes. Seams,
/// which join a face to itself, and degenerate edges are left out.
std::vector<std::vector<gp_Pnt>> collectEdges(const std::vector<FaceRow>& rows);

/// Appends the edges as one thin path, as far as they are in sight in the panel.
void appendEdges(std::string& svg, const Panel& panel,
                 const std::vector<std::vector<gp_Pnt>>& edges);
