// tarnfold <dataset-root>: writes the faces that a dataset's force and restraint lists name to
// <root>/data/face<N>.brep, one BRep file per face.
#include "../cache/cached_model.hpp"
#include "../command_line/cache_options.hpp"
#include "../console/error_printer.hpp"
#include "../console/library_messages.hpp"
#include "../console/progress.hpp"
#include "../binding/dataset_faces.hpp"
#include "../binding/list_carry.hpp"
#include "../intake/dataset_inputs.hpp"
#include "../model/step_import.hpp"
#include "../paths/narrow_arguments.hpp"
#include "../paths/narrow_form.hpp"
#include "../record/record_files.hpp"
#include "../record/record_keeping.hpp"
#include "../run_state/run_state.hpp"
#include "../run/stop_signals.hpp"
#include "../run/supervisor.hpp"
#include "../run/temporaries.hpp"
#include "../run/worker.hpp"

#include <csignal>
#include <cstring>
#include <iomanip>
#include <iostream>
#include <locale>
#include <optional>
#include <stdexcept>

#include <Standard_Version.hxx>

namespace {

constexpr const char* usageLine =
    "usage: tarnfold [--cache DIR] [--cache-size SIZE] <dataset-root>";

void printHelp()
{
    std::cout << usageLine << "\n\n"
              << "Reads <dataset-root>/data: the face numbers listed in the files of force/ and\n"
                 "restraint/, and the STEP model named by address.txt. Writes each listed face\n"
                 "of the model to <dataset-root>/data/face<N>.brep in BRep text format, and\n"
                 "the record of the run to <dataset-root>/data/last-run.tsv, and removes the\n"
                 "face files its last run wrote for faces no list names now.\n\n"
                 "Lists are bound entry by entry: when the model changed since the last run,\n"
                 "each entry whose face number the record holds for its kind of list must\n"
                 "still select that face, whatever else in its file changed; otherwise\n"
                 "nothing is written. Without a record, the face files of an earlier run in\n"
                 "data/ tell what the lists were written for. Other entries are taken as\n"
                 "written for the model as it is now, with a note. To carry the lists over,\n"
                 "see tarnfold-faces <dataset-root> --follow; to bind lists rewritten by hand\n"
                 "to the model as it is now, tarnfold-faces <dataset-root> --accept.\n\n"
                 "Exit status: 0 when every input was read whole and every listed face written,\n"
                 "1 when anything was reported on stderr (stale lists, a face file in data/ that\n"
                 "it did not write and that holds another face than its number's, and a crash\n"
                 "of the STEP library included), 2 for a usage error, 128+N when stopped by\n"
                 "signal N.\n\n"
                 "With a model cache, a model read once is kept in it: what the STEP reader\n"
                 "printed, the bytes of every face file and what the record takes from the\n"
                 "model, keyed by the SHA-256 of the STEP file, the versions of OpenCASCADE and\n"
                 "tarnfold and the reader settings. A run that finds its model there reads no\n"
                 "STEP file, and prints, writes and exits byte for byte as without it.\n\n"
              << cacheOptionsHelp
              << "  -h, --help         show this help\n"
                 "  --version          show the version of tarnfold and of OpenCASCADE\n"
                 "A dataset root of one of these names can be given as ./--help.\n";
}

// The whole run, in the worker. A run that gets as far as the export ends the process itself.
int run(char** argv, const char* rootArgument, const CacheSettings& cache, RunState& state)
{
    std::cout << argv[0] << std::endl;
    std::ifstream stream;
    stream.imbue(std::locale::classic());
    DatasetInputs inputs;
    const std::filesystem::path root = nativePath(rootArgument);
    const std::string rootText = narrowForm(root); // the argument as given, on every platform
    std::cout << std::quoted(rootText) << std::endl;

    bool complete = true;
    recordText(state.datasetRoot, rootText);
    enterPhase(&state, RunPhase::walking);
    printNotes(settleInterruptedCarry(rootText));
    reportProblems(walkDataset(root, stream, inputs), complete);

    stopColouringUnlessTerminal();
    installLibrarySignalHandlers();
    ProgressLine progress;
    startProgressLine(progress, state);
    std::optional<STEPControl_Reader> reader; // made only when the model is read
    std::string importError;
    RunModel model = takeModelFile(inputs.modelPath, &state);
    const bool shapeNeeded = needsModelShape(readRunRecord(rootText), model, rootText, inputs);
    const ModelRead read =
        readModel(cache, inputs.modelPath, model, shapeNeeded, reader, importError, &state);
    const TopoDS_Shape& modelShape = read.shape;
    printNotes(read.notes);
    if (!importError.empty()) {
        if (inputs.modelPath.empty()) {
            importError = describeUnnamedModel(rootText);
        }
        reportProblems({importError}, complete);
        return 1;
    }
    // Not an error: the faces are numbered all the same, but a reader should know that the
    // other shapes have none.
    const std::string note = describeShapeChoice(read.shapeCount);
    if (!note.empty()) printNote(note);
    // No face file is written for lists that no longer name the faces they were written for.
    if (const std::string changed = settleRunModel(model, modelShape); !changed.empty()) {
        stopProgressLine(progress);
        reportProblems({changed}, complete);
        return 1;
    }
    enterPhase(&state, RunPhase::checking);
    SampledModel sampled{&model, {}};
    const ListBinding binding = checkListBinding(rootText, sampled);
    if (!binding.problems.empty()) {
        stopProgressLine(progress);
        printNotes(binding.notes);
        reportProblems(binding.problems, complete);
        return 1;
    }
    const DatasetWrite write = writeDatasetFaces(
        rootText, binding, sampled,
        [&](FaceHashes& hashes) { return exportModelFaces(read, inputs, root, &state, &hashes); },
        &state);
    stopProgressLine(progress);
    printNotes(binding.notes);
    printNotes(write.notes);
    reportProblems(write.problems, complete);
    enterPhase(&state, RunPhase::finished);
    endWorker(complete ? 0 : 1);
}

} // namespace

int main(int argc, char** argv)
{
    nameCommand(commands::tool);
    // The arguments exactly as typed: a root whose characters the narrow file-name encoding
    // lacks ends the run here, before anything is read or written.
    if (const std::string problem = takeNarrowArguments(argc, argv); !problem.empty()) {
        printError(problem);
        return 1;
    }
    // The cache's options may stand before or after the dataset root; any other argument after
    // the root is ignored, as it always was.
    CacheSettings cache = cacheFromEnvironment();
    const char* rootArgument = nullptr;
    try {
        for (int i = 1; i < argc; ++i) {
            if (!takeCacheOption(argc, argv, i, cache) && !rootArgument) rootArgument = argv[i];
        }
    } catch (const std::invalid_argument& e) {
        printError(std::string(e.what()) + "; see " + commandName() + " --help");
        return 2;
    }
    if (!rootArgument) {
        std::cerr << usageLine << '\n';
        return 2;
    }
    if (std::strcmp(rootArgument, "-h") == 0 || std::strcmp(rootArgument, "--help") == 0) {
        printHelp();
        return 0;
    }
    if (std::strcmp(rootArgument, "--version") == 0) {
        std::cout << commandName() << " " TARNFOLD_VERSION " (OpenCASCADE " OCC_VERSION_COMPLETE
                     ")\n";
        return 0;
    }

    ignoreFileSizeSignal();
    // The run happens in a worker process, so that whatever the library does to it ends in
    // one line on stderr and a clean data directory.
    const WorkerProducts products{{rootArgument}, recordFilePaths(rootArgument)};
    return superviseRun(products, [&](RunState& state) {
        return runReportingFailures([&] { return run(argv, rootArgument, cache, state); });
    });
}
