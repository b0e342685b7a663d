// tarnfold <dataset-root>: writes the faces that a dataset's force and restraint lists name to
// <root>/data/face<N>.brep, one BRep file per face.
#include "../cache/cached_model.hpp"
#include "../command_line/cache_options.hpp"
#include "../console/error_printer.hpp"
#include "../console/library_messages.hpp"
#include "../console/progress.hpp"
#include "../follow/list_binding.hpp"
#include "../intake/dataset_inputs.hpp"
#include "../model/face_export.hpp"
#include "../model/step_import.hpp"
#include "../record/record_files.hpp"
#include "../record/record_keeping.hpp"
#include "../run/run_state.hpp"
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
                 "the record of the run to <dataset-root>/data/last-run.tsv. When the model\n"
                 "changed since the last run, a list that is as it was then must still name\n"
                 "the faces it named: otherwise nothing is written (see tarnfold-faces\n"
                 "<dataset-root> --follow, or remove data/last-run.tsv to take the lists as\n"
                 "they stand).\n\n"
                 "Exit status: 0 when every input was read whole and every listed face written,\n"
                 "1 when anything was reported on stderr (stale lists and a crash of the STEP\n"
                 "library included), 2 for a usage error, 128+N when stopped by signal N.\n\n"
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
    const std::filesystem::path root(rootArgument);
    std::cout << std::quoted(root.string()) << std::endl;

    bool complete = true;
    recordText(state.datasetRoot, root.string());
    enterPhase(&state, RunPhase::walking);
    reportProblems(walkDataset(root, stream, inputs), complete);

    stopColouringUnlessTerminal();
    installLibrarySignalHandlers();
    ProgressLine progress;
    startProgressLine(progress, state);
    std::optional<STEPControl_Reader> reader; // made only when the model is read
    std::string importError;
    RunModel model = takeModelFile(inputs.modelPath, &state);
    const RecordReading lastRun = readRunRecord(root.string());
    const bool shapeNeeded = needsModelShape(lastRun, model, root.string());
    const ModelRead read =
        readModel(cache, inputs.modelPath, model, shapeNeeded, reader, importError, &state);
    const TopoDS_Shape& modelShape = read.shape;
    printNotes(read.notes);
    if (!importError.empty()) {
        if (inputs.modelPath.empty()) {
            importError = describeUnnamedModel(root.string());
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
    const std::vector<ListFileNow> lists = readListFiles(root);
    SampledModel sampled{&model, {}};
    const ListBinding binding =
        checkListBinding(root.string(), lastRun, lists, sampled);
    if (!binding.problems.empty()) {
        stopProgressLine(progress);
        printNotes(binding.notes);
        reportProblems(binding.problems, complete);
        return 1;
    }
    std::vector<std::string> exportProblems;
    if (binding.rebound) {
        // The lists name the new model's faces, whatever ends this run: recorded before the face
        // files are written, a run stopped half way is not refused the next time.
        enterPhase(&state, RunPhase::recording);
        exportProblems.push_back(keepRunRecord(root.string(), model, lists,
                                               hashListedFaces(modelShape, lists), &state));
        if (exportProblems.back().empty()) exportProblems.clear();
    }
    FaceHashes hashes;
    std::vector<std::string> written = exportModelFaces(read, inputs, root, &state, &hashes);
    exportProblems.insert(exportProblems.end(), written.begin(), written.end());
    stopProgressLine(progress);
    printNotes(binding.notes);
    enterPhase(&state, RunPhase::recording);
    const std::string recordProblem = keepRunRecord(root.string(), model, lists, hashes, &state);
    if (!recordProblem.empty()) exportProblems.push_back(recordProblem);
    reportProblems(exportProblems, complete);
    enterPhase(&state, RunPhase::finished);
    endWorker(complete ? 0 : 1);
}

} // namespace

int main(int argc, char** argv)
{
    nameCommand(commands::tool);
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

    // Past a file-size limit (ulimit -f) a write then fails with EFBIG and is reported like any
    // failed write, instead of the signal killing the run.
    std::signal(SIGXFSZ, SIG_IGN);
    // The run happens in a worker process, so that whatever the library does to it ends in
    // one line on stderr and a clean data directory.
    const WorkerProducts products{{rootArgument}, recordFilePaths(rootArgument)};
    return superviseRun(products, [&](RunState& state) {
        return runReportingFailures([&] { return run(argv, rootArgument, cache, state); });
    });
}
