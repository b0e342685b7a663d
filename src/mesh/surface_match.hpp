#pragma once

#include "gmsh_surfaces.hpp"
#include "listed_faces.hpp"

#include <string>
#include <vector>

/// The gmsh surfaces found for a listed face.
struct SurfaceMatch {
    std::vector<int> tags; ///< the surfaces that make up the face, increasing; none when unfound
    std::string note;      ///< how the healing changed it (split, merged); "" for one surface
    std::string problem;   ///< why no surfaces make it up; "" when found
};

/// For each listed face, the gmsh surfaces that make it up, found by geometry with the revision
/// matcher's own test of sameness: on the same surface, with the same bounds or each wholly on
/// the other (gmsh may have put a vertex on an edge), facing either way (a fragment keeps one of
/// the two sides of a shared face). Exactly one surface must coincide with the face; or surfaces
/// that each lie wholly on it cover it together (the healing split it); or one surface covers
/// it and other listed faces of the same groups, and nothing else (the healing merged them).
/// Otherwise the face gets a problem that says which surfaces hold parts of it. One answer per
/// face, in the order of `faces`.
std::vector<SurfaceMatch> matchSurfaces(const std::vector<ListedFace>& faces,
                                        const std::vector<GmshSurface>& surfaces);
