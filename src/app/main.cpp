// tarnfold <dataset-root>: writes the faces that a dataset's force and restraint lists name to
// <root>/data/face<N>.brep, one BRep file per face.
#include "../console/error_printer.hpp"
#include "../console/library_messages.hpp"
#include "../console/progress.hpp"
#include "../follow/list_binding.hpp"
#include "../intake/dataset_inputs.hpp"
#include "../model/face_export.hpp"
#include "../model/step_import.hpp"
#include "../paths/narrow_arguments.hpp"
#include "../paths/narrow_form.hpp"
#include "../record/record_files.hpp"
#include "../record/record_keeping.hpp"
#include "../run/run_state.hpp"
#include "../run/stop_signals.hpp"
#include "../run/supervisor.hpp"
#include "../run/temporaries.hpp"
#include "../run/worker.hpp"

#include <csignal>
#include <cstring>
#include <iomanip>
#include <iostream>
#include <locale>

#include <Standard_Version.hxx>

namespace {

constexpr const char* usageLine = "usage: tarnfold <dataset-root>";

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
                 "  -h, --help     show this help\n"
                 "  --version      show the version of tarnfold and of OpenCASCADE\n"
                 "A dataset root of one of these names can be given as ./--help.\n";
}

// The whole run, in the worker. A run that gets as far as the export ends the process itself.
int run(char** argv, RunState& state)
{
    std::cout << argv[0] << std::endl;
    std::ifstream stream;
    stream.imbue(std::locale::classic());
    DatasetInputs inputs;
    const std::filesystem::path root = nativePath(argv[1]);
    const std::string rootText = narrowForm(root); // the argument as given, on every platform
    std::cout << std::quoted(rootText) << std::endl;

    bool complete = true;
    recordText(state.datasetRoot, rootText);
    enterPhase(&state, RunPhase::walking);
    reportProblems(walkDataset(root, stream, inputs), complete);

    stopColouringUnlessTerminal();
    installLibrarySignalHandlers();
    ProgressLine progress;
    startProgressLine(progress, state);
    STEPControl_Reader reader;
    std::string importError;
    RunModel model = takeModelFile(inputs.modelPath, &state);
    const TopoDS_Shape modelShape = importStepModel(reader, inputs.modelPath, importError, &state);
    if (!importError.empty()) {
        if (inputs.modelPath.empty()) {
            importError = describeUnnamedModel(rootText);
        }
        reportProblems({importError}, complete);
        return 1;
    }
    // Not an error: the faces are numbered all the same, but a reader should know that the
    // other shapes have none.
    const std::string note = describeShapeChoice(countTransferredShapes(reader));
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
        checkListBinding(rootText, readRunRecord(rootText), lists, sampled);
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
        exportProblems.push_back(keepRunRecord(rootText, model, lists,
                                               hashListedFaces(modelShape, lists), &state));
        if (exportProblems.back().empty()) exportProblems.clear();
    }
    FaceHashes hashes;
    std::vector<std::string> written = exportFaceFiles(modelShape, inputs, root, &state, &hashes);
    exportProblems.insert(exportProblems.end(), written.begin(), written.end());
    stopProgressLine(progress);
    printNotes(binding.notes);
    enterPhase(&state, RunPhase::recording);
    const std::string recordProblem = keepRunRecord(rootText, model, lists, hashes, &state);
    if (!recordProblem.empty()) exportProblems.push_back(recordProblem);
    reportProblems(exportProblems, complete);
    enterPhase(&state, RunPhase::finished);
    endWorker(complete ? 0 : 1);
}

} // namespace

int main(int argc, char** argv)
{
    nameCommand(commands::tool);
    if (argc < 2) {
        std::cerr << usageLine << '\n';
        return 2;
    }
    // The root exactly as typed: one whose characters the narrow file-name encoding lacks ends
    // the run here, before anything is read or written.
    if (const std::string problem = takeNarrowArguments(argc, argv); !problem.empty()) {
        printError(problem);
        return 1;
    }
    if (std::strcmp(argv[1], "-h") == 0 || std::strcmp(argv[1], "--help") == 0) {
        printHelp();
        return 0;
    }
    if (std::strcmp(argv[1], "--version") == 0) {
        std::cout << commandName() << " " TARNFOLD_VERSION " (OpenCASCADE " OCC_VERSION_COMPLETE
                     ")\n";
        return 0;
    }

    ignoreFileSizeSignal();
    // The run happens in a worker process, so that whatever the library does to it ends in
    // one line on stderr and a clean data directory.
    const WorkerProducts products{{argv[1]}, recordFilePaths(argv[1])};
    return superviseRun(products, [argv](RunState& state) {
        return runReportingFailures([&] { return run(argv, state); });
    });
}
