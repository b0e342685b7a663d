#include "mesh_run.hpp"

#include "listed_faces.hpp"
#include "mesh_output.hpp"
#include "mesh_tries.hpp"

#include "../cache/cached_model.hpp"
#include "../command_line/mesh_arguments.hpp"
#include "../console/library_messages.hpp"
#include "../console/progress.hpp"
#include "../binding/list_binding.hpp"
#include "../binding/list_carry.hpp"
#include "../intake/dataset_inputs.hpp"
#include "../model/step_import.hpp"
#include "../record/record_keeping.hpp"
#include "../run_state/run_state.hpp"
#include "../run/temporaries.hpp"
#include "../run/worker.hpp"

#include <cmath>
#include <locale>
#include <optional>
#include <stdexcept>

#include <BRepBndLib.hxx>
#include <Bnd_Box.hxx>

#include <unistd.h>

namespace {

// gmsh's surfaces are read back through a BRep file of this name's temporary.
std::string surfacesTarget(const std::string& meshFile)
{
    return meshFile + ".surfaces.brep";
}

double diagonalOf(const TopoDS_Shape& shape)
{
    Bnd_Box box;
    BRepBndLib::Add(shape, box, Standard_False);
    return box.IsVoid() ? 1 : std::sqrt(box.SquareExtent());
}

// Ends the report with its errors, the last of them saying that nothing was written.
MeshReport& refuse(MeshReport& report, std::vector<std::string> errors)
{
    if (!errors.empty()) errors.back() += "; no mesh was written";
    report.errors.insert(report.errors.end(), errors.begin(), errors.end());
    report.status = 1;
    return report;
}

// The tries and the mesh file, once the dataset is read and its faces bound.
MeshReport& meshModel(const MeshOptions& options, const std::string& model, MeshJob& job,
                      RunState& state, MeshReport& report)
{
    enterPhase(&state, RunPhase::meshing);
    job.solids = measureSolids(job.shape);
    job.diagonal = diagonalOf(job.shape);
    job.settings = {options.size > 0 ? options.size : job.diagonal / 20, options.order,
                    options.format};
    job.meshFile = options.meshFile;
    const MeshTemporaries temporaries = nameMeshTemporaries(options.meshFile, ::getpid());
    job.temporary = temporaries.mesh;
    job.scratch = temporaries.surfaces;

    if (std::string problem = checkWritableBeside(job.temporary, job.meshFile, &state);
        !problem.empty()) {
        return refuse(report, {problem});
    }
    // Held from here to the end of the worker: a stop is answered between two steps, never
    // after the mesh file has been half placed.
    InheritedSignals inherited;
    holdStopSignals(inherited);
    TriesOutcome tries =
        meshInTries(job, {options.tryTimeout, options.tryTimeoutText}, inherited, &state);
    report.notes.insert(report.notes.end(), tries.notes.begin(), tries.notes.end());
    if (!tries.meshed) return refuse(report, {"gmsh could not mesh " + model + ": " + tries.error});
    const int received = takeReceivedSignal();
    if (const int stop = received != 0 ? received : state.stopRequest.load()) {
        ::unlink(job.temporary.c_str());
        recordTemporary(&state, "");
        endBySignal(stop);
    }
    if (std::string problem = placeMeshFile(job.temporary, options.meshFile, &state);
        !problem.empty()) {
        return refuse(report, {problem});
    }
    if (job.solids.empty()) {
        report.notes.push_back("the model " + model +
                               " holds no solid: the mesh is a surface mesh, its surfaces the "
                               "physical surface shell");
    }
    report.summary.push_back(options.meshFile + ": the mesh of " + model);
    for (const std::string& line : tries.summary) report.summary.push_back("  " + line);
    return report;
}

} // namespace

MeshReport runMesh(const MeshOptions& options, RunState& state)
{
    MeshReport report;
    std::ifstream stream;
    stream.imbue(std::locale::classic());
    DatasetInputs inputs;
    recordText(state.datasetRoot, options.datasetRoot);
    enterPhase(&state, RunPhase::walking);
    std::vector<std::string> problems;
    try {
        report.notes = settleInterruptedCarry(options.datasetRoot);
    } catch (const std::runtime_error& e) {
        return refuse(report, {e.what()});
    }
    std::vector<std::string> walked = walkDataset(options.datasetRoot, stream, inputs);
    problems.insert(problems.end(), walked.begin(), walked.end());

    stopColouringUnlessTerminal();
    installLibrarySignalHandlers();
    ProgressLine progress;
    startProgressLine(progress, state);
    std::optional<STEPControl_Reader> reader;
    std::string importError;
    RunModel runModel = nameModelFile(inputs.modelPath, &state); // its bytes read once, below
    MeshJob job;
    // Meshing takes the shape: the cache only keeps the model read for tarnfold to find.
    const ModelRead read =
        readModel(options.cache, inputs.modelPath, runModel, true, reader, importError, &state);
    job.shape = read.shape;
    stopProgressLine(progress);
    report.notes.insert(report.notes.end(), read.notes.begin(), read.notes.end());
    if (!importError.empty()) {
        if (inputs.modelPath.empty()) importError = describeUnnamedModel(options.datasetRoot);
        problems.push_back(importError);
        return refuse(report, problems);
    }
    const std::string model = "'" + inputs.modelPath + "'";
    if (const std::string note = describeShapeChoice(read.shapeCount); !note.empty()) {
        report.notes.push_back(note);
    }
    // A list that no longer names the faces it was written for is refused as tarnfold refuses it.
    enterPhase(&state, RunPhase::checking);
    // Leaves the record as it is: a mesh is no run of tarnfold's.
    if (std::string changed = settleRunModel(runModel, job.shape); !changed.empty()) {
        problems.push_back(std::move(changed));
        return refuse(report, problems);
    }
    SampledModel sampled{&runModel, {}};
    const ListBinding binding = checkListBinding(options.datasetRoot, sampled);
    report.notes.insert(report.notes.end(), binding.notes.begin(), binding.notes.end());
    problems.insert(problems.end(), binding.problems.begin(), binding.problems.end());
    if (!binding.problems.empty()) return refuse(report, problems);

    std::vector<std::string> unselected = takeListedFaces(job.shape, inputs, job.faces);
    problems.insert(problems.end(), unselected.begin(), unselected.end());
    if (job.faces.empty() && problems.empty()) {
        problems.push_back("the dataset lists no face: no group to mesh");
    }
    if (!problems.empty()) return refuse(report, problems);
    return meshModel(options, model, job, state, report);
}

MeshTemporaries nameMeshTemporaries(const std::string& meshFile, int pid)
{
    return {endingTemporaryName(meshFile, pid), endingTemporaryName(surfacesTarget(meshFile), pid)};
}

WorkerProducts meshProducts(const std::string& meshFile)
{
    return {{}, {meshFile, surfacesTarget(meshFile)}};
}
