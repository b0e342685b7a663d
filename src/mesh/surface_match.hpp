#pragma once

#include "gmsh_model.hpp"
#include "listed_faces.hpp"

#include <string>
#include <vector>

/// The gmsh surface found for a listed face.
struct SurfaceMatch {
    int tag = 0;         ///< the one surface that coincides with the face; 0 when there is none
    std::string problem; ///< why there is none: no surface, several, or a face split by gmsh
};

/// For each listed face, the one gmsh surface that coincides with it, found by geometry with the
/// revision matcher's own test of sameness: on the same surface, facing the same way, with the
/// same bounds or each wholly on the other (gmsh may have put a vertex on an edge). A face that no surface, or more than one, coincides with gets a problem that says
/// which surfaces hold parts of it. One answer per face, in the order of `faces`.
std::vector<SurfaceMatch> matchSurfaces(const std::vector<ListedFace>& faces,
                                        const std::vector<GmshSurface>& surfaces);
