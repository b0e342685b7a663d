// tarnfold-faces: prints the table of a model's faces, numbered as tarnfold numbers them, and
// draws the model with the faces of a dataset's lists coloured and numbered.
#include "../console/progress.hpp"
#include "../faces/face_picture.hpp"
#include "../faces/face_table.hpp"
#include "../intake/dataset_inputs.hpp"
#include "../intake/list_entries.hpp"
#include "../model/step_import.hpp"
#include "../output/whole_file.hpp"
#include "../run/run_state.hpp"
#include "supervisor.hpp"
#include "worker.hpp"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <locale>
#include <utility>

#include <unistd.h>

#include <Message.hxx>
#include <Message_Messenger.hxx>
#include <Message_PrinterOStream.hxx>
#include <Standard_Version.hxx>

namespace {

constexpr const char* command = "tarnfold-faces";

constexpr const char* usageText = "usage: tarnfold-faces [options] <dataset-root>\n"
                                  "       tarnfold-faces [options] --model FILE.step\n";

// What the command line asks for.
struct FacesOptions {
    std::string datasetRoot; // "" with --model
    std::string modelFile;   // "" with a dataset
    std::string svgFile;     // "" when no picture is wanted
    std::vector<View> views; // empty: the default for the mode
    LabelChoice labels = LabelChoice::listed;
    bool labelsGiven = false;
};

void printHelp()
{
    std::cout << usageText
              << "\nPrints one tab-separated row per face of the model, numbered as tarnfold\n"
                 "numbers them: face, type, area, centre of area (cx cy cz), a point inside the\n"
                 "face (px py pz), the unit normal there (nx ny nz), the list that names the\n"
                 "face (force, restraint, both or -) and, for a face visited twice, the number\n"
                 "of its first visit (same_as). With a dataset root, the model is the one that\n"
                 "<dataset-root>/data/address.txt names, and its lists are marked.\n\n"
                 "  --svg FILE       also draw the model to FILE (SVG)\n"
                 "  --view NAME      iso, iso-back, front, back, left, right, top, bottom;\n"
                 "                   repeatable, one panel each (default: iso and iso-back with\n"
                 "                   a dataset, iso with --model)\n"
                 "  --labels WHICH   listed (default with a dataset), all (default with\n"
                 "                   --model) or none\n"
                 "  --model FILE     the faces of a STEP model, without a dataset\n"
                 "  -h, --help       show this help\n"
                 "  --version        show the version of tarnfold-faces and of OpenCASCADE\n\n"
                 "The STEP reader's messages go to stderr, so that stdout holds the table alone.\n"
                 "Exit status: 0 when everything was read and written, 1 when anything was\n"
                 "reported on stderr (a crash of the STEP library included), 2 for a usage\n"
                 "error, 128+N when stopped by signal N.\n";
}

// The table owns stdout, so the library's messages (the reader's load check and transfer
// trace) go to stderr, coloured only when that is a terminal.
void sendLibraryMessagesToStderr()
{
    const Handle(Message_Messenger)& messenger = Message::DefaultMessenger();
    Message_Gravity level = Message_Info;
    for (const Handle(Message_Printer)& printer : messenger->Printers()) {
        if (printer->IsKind(STANDARD_TYPE(Message_PrinterOStream))) {
            level = printer->GetTraceLevel();
        }
    }
    messenger->RemovePrinters(STANDARD_TYPE(Message_PrinterOStream));
    // The name "cerr" makes the printer use std::cerr itself.
    const Handle(Message_PrinterOStream) printer = new Message_PrinterOStream("cerr", false, level);
    printer->SetToColorize(::isatty(STDERR_FILENO) ? Standard_True : Standard_False);
    messenger->AddPrinter(printer);
}

int measureAndDraw(const FacesOptions& options, RunState* state)
{
    bool complete = true;
    DatasetInputs inputs;
    const bool withDataset = options.modelFile.empty();
    if (withDataset) {
        enterPhase(state, RunPhase::walking);
        if (state) {
            recordText(state->datasetRoot, sizeof state->datasetRoot, options.datasetRoot.c_str());
        }
        std::ifstream stream;
        stream.imbue(std::locale::classic());
        reportProblems(command, walkDataset(options.datasetRoot, stream, inputs), complete);
    } else {
        inputs.modelPath = options.modelFile;
    }

    sendLibraryMessagesToStderr();
    installLibrarySignalHandlers();
    ProgressLine progress;
    if (state) startProgressLine(progress, *state);
    STEPControl_Reader reader;
    std::string importError;
    const TopoDS_Shape modelShape = importStepModel(reader, inputs.modelPath, importError, state);
    stopProgressLine(progress);
    if (!importError.empty()) {
        if (withDataset && inputs.modelPath.empty()) {
            importError = "no STEP model named: '" + options.datasetRoot +
                          "/data/address.txt' is missing or holds no word";
        }
        reportProblems(command, {importError}, complete);
        return 1;
    }

    enterPhase(state, RunPhase::measuring);
    const double deflection = meshModel(modelShape);
    const std::vector<FaceRow> rows = measureFaces(modelShape, withDataset ? &inputs : nullptr);
    std::cout << formatFaceTable(rows) << std::flush;
    if (!std::cout) {
        reportProblems(command, {"cannot write the face table to standard output"}, complete);
    }
    if (withDataset) {
        const int faceCount = int(rows.size());
        for (const auto& [list, name] : {std::pair{&inputs.forceFaces, "force"},
                                         std::pair{&inputs.restraintFaces, "restraint"}}) {
            reportProblems(command, describeUnselectedEntries(*list, name, faceCount), complete);
        }
    }

    if (!options.svgFile.empty()) {
        enterPhase(state, RunPhase::drawing);
        std::vector<View> views = options.views;
        if (views.empty()) {
            views = withDataset ? std::vector<View>{View::iso, View::isoBack}
                                : std::vector<View>{View::iso};
        }
        LabelChoice labels = options.labels;
        if (!options.labelsGiven) labels = withDataset ? LabelChoice::listed : LabelChoice::all;
        const std::string modelName = std::filesystem::path(inputs.modelPath).filename().string();
        const std::string svg =
            drawFacePicture(modelShape, rows, views, labels, modelName, deflection);
        // Still "drawing" for the supervisor: "writing" would name a face file.
        const std::string problem = writeWholeFile(options.svgFile, svg, state);
        if (!problem.empty()) reportProblems(command, {problem}, complete);
    }
    enterPhase(state, RunPhase::finished);
    if (!state) return complete ? 0 : 1;
    endWorker(complete ? 0 : 1);
}

// Reads the value of an option given as "--name value" or "--name=value".
bool takeValue(const std::string& name, int argc, char** argv, int& i, std::string& value)
{
    const std::string argument = argv[i];
    if (argument == name) {
        if (i + 1 >= argc) throw std::invalid_argument("option " + name + " needs a value");
        value = argv[++i];
        return true;
    }
    if (argument.compare(0, name.size() + 1, name + "=") == 0) {
        value = argument.substr(name.size() + 1);
        return true;
    }
    return false;
}

// Throws std::invalid_argument, worded for the user, for a command line it cannot follow.
FacesOptions parseArguments(int argc, char** argv)
{
    FacesOptions options;
    std::vector<std::string> operands;
    bool optionsEnded = false;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        std::string value;
        if (optionsEnded || argument.empty() || argument[0] != '-' || argument == "-") {
            operands.push_back(argument);
        } else if (argument == "--") {
            optionsEnded = true;
        } else if (takeValue("--svg", argc, argv, i, value)) {
            if (value.empty()) throw std::invalid_argument("--svg needs a file name");
            options.svgFile = value;
        } else if (takeValue("--model", argc, argv, i, value)) {
            if (value.empty()) throw std::invalid_argument("--model needs a file name");
            options.modelFile = value;
        } else if (takeValue("--view", argc, argv, i, value)) {
            View view;
            if (!parseView(value, view)) {
                throw std::invalid_argument("unknown view '" + value +
                                            "' (iso, iso-back, front, "
                                            "back, left, right, top or bottom)");
            }
            options.views.push_back(view);
        } else if (takeValue("--labels", argc, argv, i, value)) {
            if (value == "listed") {
                options.labels = LabelChoice::listed;
            } else if (value == "all") {
                options.labels = LabelChoice::all;
            } else if (value == "none") {
                options.labels = LabelChoice::none;
            } else {
                throw std::invalid_argument("unknown --labels value '" + value +
                                            "' (listed, all or none)");
            }
            options.labelsGiven = true;
        } else {
            throw std::invalid_argument("unknown option '" + argument + "'");
        }
    }
    if (options.modelFile.empty() && operands.size() != 1) {
        throw std::invalid_argument(operands.empty() ? "no dataset root given"
                                                     : "more than one dataset root given");
    }
    if (!options.modelFile.empty() && !operands.empty()) {
        throw std::invalid_argument("a dataset root and --model given; give one of them");
    }
    if (!operands.empty()) options.datasetRoot = operands.front();
    return options;
}

// Runs the command as `options` ask, recording its phases in `state` (may be null). Returns the
// exit status, every problem having been reported on stderr.
int runFaces(const FacesOptions& options, RunState* state)
{
    return runReportingFailures("tarnfold-faces", [&] { return measureAndDraw(options, state); });
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::cerr << usageText;
        return 2;
    }
    for (int i = 1; i < argc && std::strcmp(argv[i], "--") != 0; ++i) {
        if (std::strcmp(argv[i], "-h") == 0 || std::strcmp(argv[i], "--help") == 0) {
            printHelp();
            return 0;
        }
        if (std::strcmp(argv[i], "--version") == 0) {
            std::cout << "tarnfold-faces " TARNFOLD_VERSION " (OpenCASCADE " OCC_VERSION_COMPLETE
                         ")\n";
            return 0;
        }
    }
    FacesOptions options;
    try {
        options = parseArguments(argc, argv);
    } catch (const std::invalid_argument& e) {
        std::cerr << "tarnfold-faces: error: " << e.what() << "; see tarnfold-faces --help\n";
        return 2;
    }
    // As in tarnfold: past a file-size limit a write fails and is reported, and the run happens
    // in a worker, so that whatever the library does to it ends in one line on stderr.
    std::signal(SIGXFSZ, SIG_IGN);
    return superviseRun("tarnfold-faces",
                        [&options](RunState& state) { return runFaces(options, &state); });
}
