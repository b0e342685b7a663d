#include "dataset_run.hpp"

#include "../binding/dataset_faces.hpp"
#include "../binding/list_carry.hpp"
#include "../cache/cached_model.hpp"
#include "../command_line/tool_arguments.hpp"
#include "../console/error_printer.hpp"
#include "../console/library_messages.hpp"
#include "../console/progress.hpp"
#include "../intake/dataset_inputs.hpp"
#include "../model/step_import.hpp"
#include "../paths/narrow_form.hpp"
#include "../record/record_files.hpp"
#include "../record/record_keeping.hpp"
#include "../run/stop_signals.hpp"
#include "../run/supervisor.hpp"
#include "../run/temporaries.hpp"
#include "../run/worker.hpp"
#include "../run_state/run_state.hpp"

#include <iomanip>
#include <ostream>
#include <locale>
#include <optional>

namespace {

// The whole run, in the worker. A run that gets as far as the export ends the process itself.
int run(const char* programName, const std::string& rootArgument, const CacheSettings& cache,
        RunState& state, std::ostream& out, std::ostream& err)
{
    out << programName << std::endl;
    std::ifstream stream;
    stream.imbue(std::locale::classic());
    DatasetInputs inputs;
    const std::filesystem::path root = nativePath(rootArgument);
    const std::string rootText = narrowForm(root); // the argument as given, on every platform
    out << std::quoted(rootText) << std::endl;

    bool complete = true;
    recordText(state.datasetRoot, rootText);
    enterPhase(&state, RunPhase::walking);
    printNotes(err, settleInterruptedCarry(rootText));
    reportProblems(err, walkDataset(root, stream, inputs), complete);

    stopColouringUnlessTerminal();
    installLibrarySignalHandlers();
    ProgressLine progress;
    startProgressLine(progress, state);
    std::optional<STEPControl_Reader> reader; // made only when the model is read
    std::string importError;
    // A cache entry is found by the model's digest, before any read; without a cache the digest
    // is taken as the library reads the file, which is read once.
    const bool cached = !cache.directory.empty();
    RunModel model = cached ? takeModelFile(inputs.modelPath, &state)
                            : nameModelFile(inputs.modelPath, &state);
    const bool shapeNeeded =
        cached && needsModelShape(readRunRecord(rootText), model, rootText, inputs);
    const ModelRead read =
        readModel(cache, inputs.modelPath, model, shapeNeeded, reader, importError, &state);
    const TopoDS_Shape& modelShape = read.shape;
    printNotes(err, read.notes);
    if (!importError.empty()) {
        if (inputs.modelPath.empty()) {
            importError = describeUnnamedModel(rootText);
        }
        reportProblems(err, {importError}, complete);
        return 1;
    }
    // Not an error: the faces are numbered all the same, but a reader should know that the
    // other shapes have none.
    const std::string note = describeShapeChoice(read.shapeCount);
    if (!note.empty()) printNote(err, note);
    // No face file is written for lists that no longer name the faces they were written for.
    if (const std::string changed = settleRunModel(model, modelShape); !changed.empty()) {
        stopProgressLine(progress);
        reportProblems(err, {changed}, complete);
        return 1;
    }
    enterPhase(&state, RunPhase::checking);
    SampledModel sampled{&model, {}};
    const ListBinding binding = checkListBinding(rootText, sampled);
    if (!binding.problems.empty()) {
        stopProgressLine(progress);
        printNotes(err, binding.notes);
        reportProblems(err, binding.problems, complete);
        return 1;
    }
    const DatasetWrite write = writeDatasetFaces(
        rootText, binding, sampled,
        [&](FaceHashes& hashes) {
            return exportModelFaces(read, model, inputs, root, &state, &hashes);
        },
        &state);
    stopProgressLine(progress);
    printNotes(err, binding.notes);
    printNotes(err, write.notes);
    reportProblems(err, write.problems, complete);
    enterPhase(&state, RunPhase::finished);
    endWorker(complete ? 0 : 1);
}

} // namespace

int superviseDatasetRun(const ToolArguments& arguments, const char* programName,
                        std::ostream& out, std::ostream& err)
{
    ignoreFileSizeSignal();
    const WorkerProducts products{{arguments.root}, recordFilePaths(arguments.root)};
    return superviseRun(
        products,
        [&](RunState& state) {
            return runReportingFailures(err, [&] {
                return run(programName, arguments.root, arguments.cache, state, out, err);
            });
        },
        err);
}
