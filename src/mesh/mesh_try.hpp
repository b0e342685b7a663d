#pragma once

#include "listed_faces.hpp"
#include "mesh_output.hpp"
#include "solid_match.hpp"

#include <string>
#include <vector>

#include <TopoDS_Shape.hxx>

struct RunState;

/// What every try at meshing a dataset's model is handed.
struct MeshJob {
    TopoDS_Shape shape;             ///< the model
    std::vector<ListedFace> faces;  ///< its listed faces
    std::vector<ModelSolid> solids; ///< its solids; none for a model of shells
    double diagonal = 1;            ///< of the model's bounding box
    MeshSettings settings;          ///< as asked for
    std::string meshFile;           ///< the mesh file asked for
    std::string temporary;          ///< where a try writes the mesh
    std::string scratch;            ///< where gmsh writes its surfaces for them to be read back
};

/// One way of meshing, as gmsh users try again when a mesh fails.
struct MeshTry {
    const char* words;   ///< what it does, as notes name it: "healed", ...
    bool heal = false;   ///< heal the model first (see healGmshModel)
    int algorithm2D = 6; ///< gmsh's Mesh.Algorithm
    int algorithm3D = 1; ///< gmsh's Mesh.Algorithm3D
    int elementsPerTurn = 12; ///< on curved faces
    double coarser = 1;  ///< the largest element size multiplied by this
};

/// The tries, in order, for a model with solids or for one of shells alone: as imported,
/// healed, healed with another algorithm, healed with finer elements on curved faces (whose
/// chords then keep clear of a face close by), healed and twice as coarse.
std::vector<MeshTry> listMeshTries(bool solids);

/// What became of a try.
struct TryOutcome {
    bool meshed = false;              ///< the mesh is in the job's temporary
    std::string reason;               ///< why not, in gmsh's words where it gave them
    std::vector<std::string> notes;   ///< how the listed faces were found, gmsh's warnings
    std::vector<std::string> summary; ///< one line a group (see describeGroups)
};

/// Meshes the job's model in gmsh as `attempt` says, in this process: the model handed to gmsh,
/// healed if asked, its volumes fragmented into one conformal model, each volume found among the
/// model's solids and each listed face among gmsh's surfaces by geometry, the groups made, the
/// mesh generated and written to the job's temporary. Anything that fails, gmsh's exceptions
/// included, is the outcome's reason; nothing is then left behind. Temporaries are recorded in
/// `state`.
TryOutcome runMeshTry(const MeshJob& job, const MeshTry& attempt, RunState* state);
