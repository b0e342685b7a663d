#pragma once

#include <string>
#include <vector>

struct RunState;

/// The names of the physical groups, as solvers look them up.
constexpr const char* forceGroup = "force";
constexpr const char* restraintGroup = "restraint";
constexpr const char* solidGroup = "solid"; ///< "solid<k>" for solid k when there are several
constexpr const char* shellGroup = "shell";

/// The gmsh entities of each physical group.
struct MeshGroups {
    std::vector<int> force, restraint;    ///< surfaces
    std::vector<std::vector<int>> solids; ///< the volumes of each of the model's solids, in order
    std::vector<int> shell;               ///< surfaces that bound no volume
};

/// Makes the physical groups of gmsh's model, each with a tag of its own across dimensions, so
/// that a reader that mixes dimensions still tells them apart: force 1, restraint 2, the solids
/// 3 on ("solid" for a model of one, else "solid1", "solid2", ... as the model numbers them), then
/// "shell". A group without entities is left out.
void addPhysicalGroups(const MeshGroups& groups);

/// How gmsh is to mesh the model.
struct MeshSettings {
    double size = 0;        ///< largest element size
    int order = 1;          ///< 1 or 2
    std::string format;     ///< MSH version: "2.2" or "4.1"
    int algorithm2D = 6;    ///< gmsh's Mesh.Algorithm: 6 Frontal-Delaunay, 1 MeshAdapt
    int algorithm3D = 1;    ///< gmsh's Mesh.Algorithm3D: 1 Delaunay, 10 HXT
    int elementsPerTurn = 12; ///< on curved faces, whatever the largest size
};

/// Meshes gmsh's model with `settings`: in 3D, which meshes the surfaces of a model without
/// volumes too. An error while gmsh meshes ends the meshing without an exception, which could
/// not cross the parallel loops gmsh meshes in: look for it in gmsh's log.
void generateMesh(const MeshSettings& settings);

/// "" when a file can be made at `temporary`, beside the mesh file `fileName`, which is tried
/// and removed again; otherwise why not. Meshing for minutes is not worth it when the mesh
/// cannot be written.
std::string checkWritableBeside(const std::string& temporary, const std::string& fileName,
                                RunState* state);

/// Writes the mesh of the physical groups to `temporary`, a new file, in the MSH version of
/// `settings`, and checks that gmsh wrote it whole. The file is recorded in `state` and left
/// there for placeMeshFile. Returns "" or why it failed (naming `fileName`, the mesh file it is
/// for); nothing is then left behind.
std::string writeMeshTemporary(const std::string& temporary, const std::string& fileName,
                               const MeshSettings& settings, RunState* state);

/// Renames `temporary` over `fileName`. Returns "" or why it failed; the temporary is then
/// removed.
std::string placeMeshFile(const std::string& temporary, const std::string& fileName,
                          RunState* state);

/// One line a group: its name, the number of its entities and of its elements, e.g.
/// "force: 2 surfaces, 318 triangles".
std::vector<std::string> describeGroups();
