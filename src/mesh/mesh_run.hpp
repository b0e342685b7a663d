#pragma once

#include <string>
#include <vector>

struct MeshOptions;
struct RunState;
struct WorkerProducts;

/// What a run of tarnfold-mesh has to say, for its command to print, and how it ends.
struct MeshReport {
    int status = 0;                   ///< the exit status
    std::vector<std::string> notes;   ///< worth knowing, no error
    std::vector<std::string> errors;  ///< one line each, the last saying that no mesh was written
    std::vector<std::string> summary; ///< the mesh file and its groups, for stdout
};

/// Runs tarnfold-mesh as `options` ask: reads the dataset and its model, checks its lists
/// against the record of the last run, takes the listed faces from the model and meshes it with
/// gmsh, in tries bounded in time, each listed face found among gmsh's surfaces by geometry.
/// The phases and temporaries are recorded in `state`, which must be a supervisor's (see
/// meshProducts): the tries run in processes of their own under it. A stop signal ends the
/// process by that signal.
MeshReport runMesh(const MeshOptions& options, RunState& state);

/// The temporaries that worker `pid` writes beside `meshFile`.
struct MeshTemporaries {
    std::string mesh;     ///< the mesh before it is whole, "<mesh.msh>.tmp<pid>.msh"
    std::string surfaces; ///< gmsh's surfaces, "<mesh.msh>.surfaces.brep.tmp<pid>.brep"
};

/// The names of the temporaries of the mesh file `meshFile` of worker `pid`: ones that end as
/// gmsh wants them to (it tells a format by the ending), and that its supervisor may remove.
MeshTemporaries nameMeshTemporaries(const std::string& meshFile, int pid);

/// What a worker of tarnfold-mesh may leave when it dies, for its supervisor to remove: the
/// temporaries of the mesh file and of gmsh's surfaces, both beside the mesh file.
WorkerProducts meshProducts(const std::string& meshFile);
