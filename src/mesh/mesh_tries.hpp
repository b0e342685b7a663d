#pragma once

#include "mesh_try.hpp"

#include "../run/stop_signals.hpp"

#include <string>
#include <vector>

struct RunState;

/// How long the tries may take.
struct TryLimits {
    double seconds = 60;     ///< each try
    std::string secondsText; ///< that limit as given, for the lines that name it
};

/// What came of the tries at meshing a model.
struct TriesOutcome {
    bool meshed = false;              ///< the mesh is in the job's temporary, recorded in state
    std::vector<std::string> notes;   ///< the try's notes, and which try gave the mesh
    std::string error;                ///< why no try gave a mesh, with gmsh's reason
    std::vector<std::string> summary; ///< one line a group of the mesh
};

/// Meshes the job's model in one try after another (see listMeshTries) until one gives a mesh,
/// each in a worker process of its own that is killed when it has run for the limit, so that
/// neither a loop nor a crash inside gmsh ends the run: a crash is that try's reason. The tries
/// together take at most twice the limit; after a try that ran out of time, only the coarser
/// one is tried. The stop signals must be held (holdStopSignals, which gave `inherited`): one
/// received meanwhile is passed on to the try, whose temporaries are removed, and ends this
/// process by that signal.
TriesOutcome meshInTries(const MeshJob& job, const TryLimits& limits,
                         const InheritedSignals& inherited, RunState* state);
