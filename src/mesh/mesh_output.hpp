#pragma once

#include "listed_faces.hpp"
#include "surface_match.hpp"

#include <string>
#include <vector>

struct RunState;

/// The names of the physical groups, as solvers look them up.
constexpr const char* forceGroup = "force";
constexpr const char* restraintGroup = "restraint";
constexpr const char* solidGroup = "solid";

/// Makes the physical groups of gmsh's model: "force" and "restraint" of the surfaces matched to
/// the faces of each list (a group whose list names no face is left out), "solid" of `volumes`.
void addPhysicalGroups(const std::vector<ListedFace>& faces,
                       const std::vector<SurfaceMatch>& matches, const std::vector<int>& volumes);

/// How gmsh is to mesh the model.
struct MeshSettings {
    double size = 0;     ///< largest element size
    int order = 1;       ///< 1 or 2
    std::string format;  ///< MSH version: "2.2" or "4.1"
};

/// Meshes gmsh's model in 3D with `settings`.
void generateMesh(const MeshSettings& settings);

/// Writes the mesh of the physical groups to `fileName` in the MSH version of `settings`: to a
/// temporary file beside it, recorded in `state`, renamed over it once gmsh has written it
/// whole. Returns "" or why it failed; nothing is then left behind.
std::string writeMeshFile(const std::string& fileName, const MeshSettings& settings,
                          RunState* state);

/// One line a group: its name, the number of its entities and of its elements, e.g.
/// "force: 2 surfaces, 318 triangles".
std::vector<std::string> describeGroups();
