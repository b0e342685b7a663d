#pragma once

struct MeshOptions;
struct RunState;

/// Runs tarnfold-mesh as `options` ask: reads the dataset, its model and its face files, finds
/// each listed face among gmsh's surfaces, and meshes the model into the mesh file. Its phases
/// are recorded in `state` (may be null). Returns the exit status, every problem having been
/// reported on stderr; a worker (non-null state) ends the process itself instead.
int runMesh(const MeshOptions& options, RunState* state);
