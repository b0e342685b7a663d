#include "mesh_run.hpp"

#include "gmsh_model.hpp"
#include "listed_faces.hpp"
#include "mesh_output.hpp"
#include "surface_match.hpp"

#include "../cache/cached_model.hpp"
#include "../command_line/mesh_arguments.hpp"
#include "../console/error_printer.hpp"
#include "../console/library_messages.hpp"
#include "../console/progress.hpp"
#include "../follow/list_carry.hpp"
#include "../intake/dataset_inputs.hpp"
#include "../model/face_numbering.hpp"
#include "../model/step_import.hpp"
#include "../run/run_state.hpp"
#include "../run/worker.hpp"

#include <cmath>
#include <iostream>
#include <locale>
#include <optional>

#include <BRepBndLib.hxx>
#include <Bnd_Box.hxx>

namespace {

void printNotes(const std::vector<std::string>& notes)
{
    for (const std::string& note : notes) printNote("gmsh: " + note);
}

double diagonalOf(const TopoDS_Shape& shape)
{
    Bnd_Box box;
    BRepBndLib::Add(shape, box, Standard_False);
    return box.IsVoid() ? 1 : std::sqrt(box.SquareExtent());
}

// Everything after the dataset is read; returns the exit status.
int meshDataset(const MeshOptions& options, const DatasetInputs& inputs,
                const TopoDS_Shape& modelShape, bool complete, RunState* state)
{
    const std::string model = "'" + inputs.modelPath + "'";
    const int faceCount = visitFaces(modelShape, [](int, const TopoDS_Face&) {});
    std::vector<ListedFace> faces;
    reportProblems(readListedFaces(options.datasetRoot, inputs, faceCount, faces),
                   complete);
    if (faces.empty() && complete) {
        reportProblems({"the dataset lists no face: no group to mesh"}, complete);
    }
    if (!complete) {
        reportProblems({"no mesh was written"}, complete);
        return 1;
    }

    enterPhase(state, RunPhase::meshing);
    MeshSettings settings{options.size, options.order, options.format};
    if (settings.size <= 0) settings.size = diagonalOf(modelShape) / 20;
    try {
        startGmsh();
        if (const std::string problem = checkGmshOpenCascade(); !problem.empty()) {
            reportProblems({problem + "; no mesh was written"}, complete);
            return 1;
        }
        const std::vector<int> volumes = importIntoGmsh(modelShape);
        if (volumes.empty()) {
            reportProblems({"the model " + model + " holds no solid to mesh; no mesh "
                                     "was written"}, complete);
            return 1;
        }
        std::string error;
        const std::vector<GmshSurface> surfaces = readGmshSurfaces(error, state);
        if (!error.empty()) {
            reportProblems({error + "; no mesh was written"}, complete);
            return 1;
        }
        const std::vector<SurfaceMatch> matches = matchSurfaces(faces, surfaces);
        for (std::size_t i = 0; i < faces.size(); ++i) {
            if (matches[i].tag != 0) continue;
            reportProblems({"face " + std::to_string(faces[i].number) + " ('" +
                                     faces[i].file + "'): " + matches[i].problem}, complete);
        }
        if (!complete) {
            reportProblems({"no mesh was written"}, complete);
            return 1;
        }
        addPhysicalGroups(faces, matches, volumes);
        generateMesh(settings);
        printNotes(takeGmshWarnings());
        const std::string problem = writeMeshFile(options.meshFile, settings, state);
        if (!problem.empty()) {
            reportProblems({problem}, complete);
            return 1;
        }
        std::cout << options.meshFile << ": the mesh of " << model << '\n';
        for (const std::string& line : describeGroups()) std::cout << "  " << line << '\n';
        std::cout << std::flush;
    } catch (const std::string& message) {
        printNotes(takeGmshWarnings());
        reportProblems({"gmsh could not mesh " + model + ": " + message +
                                 "; no mesh was written"}, complete);
        return 1;
    }
    return 0;
}

} // namespace

int runMesh(const MeshOptions& options, RunState* state)
{
    const int status = runReportingFailures([&] {
        bool complete = true;
        std::ifstream stream;
        stream.imbue(std::locale::classic());
        DatasetInputs inputs;
        if (state) {
            recordText(state->datasetRoot, options.datasetRoot);
        }
        enterPhase(state, RunPhase::walking);
        for (const std::string& note : settleInterruptedCarry(options.datasetRoot)) printNote(note);
        reportProblems(walkDataset(options.datasetRoot, stream, inputs), complete);

        stopColouringUnlessTerminal();
        installLibrarySignalHandlers();
        ProgressLine progress;
        if (state) startProgressLine(progress, *state);
        std::optional<STEPControl_Reader> reader;
        std::string importError;
        RunModel model;
        const ModelRead read =
            readModel(options.cache, inputs.modelPath, model, true, reader, importError, state);
        const TopoDS_Shape& modelShape = read.shape;
        stopProgressLine(progress);
        ::printNotes(read.notes);
        if (!importError.empty()) {
            if (inputs.modelPath.empty()) importError = describeUnnamedModel(options.datasetRoot);
            reportProblems({importError, "no mesh was written"}, complete);
            return 1;
        }
        return meshDataset(options, inputs, modelShape, complete, state);
    });
    enterPhase(state, RunPhase::finished);
    if (!state) return status;
    endWorker(status);
}
