#include "faces_run.hpp"

#include "../binding/list_binding.hpp"
#include "../cache/cached_model.hpp"
#include "../command_line/faces_arguments.hpp"
#include "../console/error_printer.hpp"
#include "../console/library_messages.hpp"
#include "../console/progress.hpp"
#include "../faces/face_picture.hpp"
#include "../faces/face_table.hpp"
#include "../follow/follow_revision.hpp"
#include "../follow/list_accept.hpp"
#include "../follow/record_follow.hpp"
#include "../intake/dataset_inputs.hpp"
#include "../intake/dataset_records.hpp"
#include "../intake/list_entries.hpp"
#include "../model/step_import.hpp"
#include "../output/whole_file.hpp"
#include "../paths/narrow_form.hpp"
#include "../record/record_files.hpp"
#include "../record/record_keeping.hpp"
#include "../run/stop_signals.hpp"
#include "../run/supervisor.hpp"
#include "../run/temporaries.hpp"
#include "../run/worker.hpp"
#include "../run_state/run_state.hpp"
#include "../viewer/face_page.hpp"

#include <algorithm>
#include <ostream>
#include <optional>
#include <utility>

namespace {

// The listed faces that are no longer the faces their lists were written for, as tarnfold
// would refuse them, each reported as tarnfold reports it.
std::vector<int> findStaleFaces(const std::string& root, RunModel& model, const TopoDS_Shape& shape,
                                RunState* state, bool& complete, std::ostream& err)
{
    const std::string changed = settleRunModel(model, shape);
    if (!changed.empty()) {
        reportProblems(err, {changed}, complete);
        return {};
    }
    enterPhase(state, RunPhase::checking);
    SampledModel sampled{&model, {}};
    const ListBinding binding = checkListBinding(root, sampled);
    reportProblems(err, binding.problems, complete);
    printNotes(err, binding.notes);
    return binding.staleFaces;
}

// The inputs that the command line names, its notes and problems told as they came.
DatasetInputs takeNamedInputs(const FacesOptions& options, const std::string& root,
                              RunState* state, bool& complete, std::ostream& err)
{
    NamedInputs named = readNamedInputs(options, root, state);
    printNotes(err, named.notes);
    reportProblems(err, named.problems, complete);
    return std::move(named.inputs);
}

// Each dataset named, walked; or the model alone. A dataset that cannot be walked is told and
// left out, and the others are followed.
std::vector<FollowedDataset> walkFollowedDatasets(const FacesOptions& options, RunState* state,
                                                  std::ostream& err)
{
    std::vector<FollowedDataset> datasets;
    const std::vector<std::string> roots =
        options.datasetRoots.empty() ? std::vector<std::string>{""} : options.datasetRoots;
    for (const std::string& root : roots) {
        FollowedDataset& dataset = datasets.emplace_back();
        dataset.root = root;
        try {
            dataset.inputs = takeNamedInputs(options, root, state, dataset.complete, err);
        } catch (...) {
            printError(err, describeCurrentException());
            dataset.complete = false;
            dataset.done = true;
        }
    }
    return datasets;
}

int measureAndDraw(const FacesOptions& options, RunState* state, std::ostream& out,
                   std::ostream& err)
{
    bool complete = true;
    const std::string root = firstDatasetRoot(options);
    const DatasetInputs inputs = takeNamedInputs(options, root, state, complete, err);
    const bool withDataset = options.modelFile.empty();

    // three.js is read before the model, so that a missing package is told at once.
    PageScripts scripts;
    bool pageWanted = !options.htmlFile.empty();
    if (pageWanted) {
        const std::string problem = readPageScripts(threeDirectory, scripts);
        if (!problem.empty()) reportProblems(err, {problem}, complete);
        pageWanted = problem.empty();
    }

    sendLibraryMessagesToStderr();
    installLibrarySignalHandlers();
    ProgressLine progress;
    if (state) startProgressLine(progress, *state);
    std::optional<STEPControl_Reader> reader;
    std::string importError;
    // The model as its record would name it, only for a dataset; its bytes are taken in as the
    // library reads them, or first when a cache needs their digest to look the model up.
    RunModel model = withDataset ? nameModelFile(inputs.modelPath, state) : RunModel();
    const ModelRead read =
        readModel(options.cache, inputs.modelPath, model, true, reader, importError, state);
    const TopoDS_Shape& modelShape = read.shape;
    stopProgressLine(progress);
    printNotes(err, read.notes);
    if (!importError.empty()) {
        if (withDataset && inputs.modelPath.empty()) {
            importError = describeUnnamedModel(root);
        }
        reportProblems(err, {importError}, complete);
        return 1;
    }

    // Not an error: the faces are numbered all the same, but a reader should know that the
    // other shapes have none.
    const std::string note = describeShapeChoice(read.shapeCount);
    if (!note.empty()) printNote(err, note);

    // Before the model is meshed: a face file carries a face's mesh, and tarnfold's faces have
    // none.
    const std::vector<int> staleFaces =
        withDataset ? findStaleFaces(root, model, modelShape, state, complete, err)
                    : std::vector<int>();

    enterPhase(state, RunPhase::measuring);
    const double deflection = meshModel(modelShape);
    std::vector<FaceRow> rows = measureFaces(modelShape, withDataset ? &inputs : nullptr);
    for (FaceRow& row : rows) {
        row.stale = std::binary_search(staleFaces.begin(), staleFaces.end(), row.number);
    }
    out << formatFaceTable(rows) << std::flush;
    if (!out) {
        reportProblems(err, {"cannot write the face table to standard output"}, complete);
    }
    if (withDataset) {
        const int faceCount = int(rows.size());
        for (const auto& [list, name] : {std::pair{&inputs.forceFaces, "force"},
                                         std::pair{&inputs.restraintFaces, "restraint"}}) {
            reportProblems(err, describeUnselectedEntries(*list, name, faceCount), complete);
        }
    }

    const std::string modelName = narrowForm(nativePath(inputs.modelPath).filename());
    if (!options.svgFile.empty()) {
        enterPhase(state, RunPhase::drawing);
        std::vector<View> views = options.views;
        if (views.empty()) {
            views = withDataset ? std::vector<View>{View::iso, View::isoBack}
                                : std::vector<View>{View::iso};
        }
        LabelChoice labels = options.labels;
        if (!options.labelsGiven) labels = withDataset ? LabelChoice::listed : LabelChoice::all;
        const std::string svg =
            drawFacePicture(modelShape, rows, views, labels, modelName, deflection, note);
        // Still "drawing" for the supervisor: "writing" would name a face file.
        const std::string problem = writeWholeFile(options.svgFile, svg, state);
        if (!problem.empty()) reportProblems(err, {problem}, complete);
    }
    if (pageWanted) {
        enterPhase(state, RunPhase::drawing);
        const PageText text{modelName, note,
                            options.views.empty() ? View::iso : options.views[0],
                            describeStaleFaces(staleFaces, root)};
        // Read again for their further numbers, which the walk does not keep.
        const std::vector<DatasetRecord> records =
            withDataset ? readDatasetRecords(nativePath(root)) : std::vector<DatasetRecord>{};
        const std::string problem = writeWholeFile(
            options.htmlFile, buildFacePage(modelShape, rows, records, scripts, text), state);
        if (!problem.empty()) reportProblems(err, {problem}, complete);
    }
    enterPhase(state, RunPhase::finished);
    if (!state) return complete ? 0 : 1;
    endWorker(complete ? 0 : 1);
}

// Runs the command as `options` ask, recording its phases in `state` (may be null). Returns the
// exit status, every problem having been reported on `err`.
int runFaces(const FacesOptions& options, RunState* state, std::ostream& out, std::ostream& err)
{
    return runReportingFailures(err, [&] {
        if (options.sinceFile.empty() && !options.follow && !options.accept) {
            return measureAndDraw(options, state, out, err);
        }
        std::vector<FollowedDataset> datasets = walkFollowedDatasets(options, state, err);
        if (options.accept) return acceptDatasetLists(datasets.front(), state, out, err);
        const FollowRequest request{options.sinceFile, options.rewrite, options.allowSplitMerge,
                                    options.allowReshaped};
        if (options.follow) return followRecords(request, datasets, state, out, err);
        return followRevision(request, datasets, state, out, err);
    });
}

} // namespace

int superviseFaces(const FacesOptions& options, std::ostream& out, std::ostream& err)
{
    // As in tarnfold: past a file-size limit a write fails and is reported, and the run happens
    // in a worker, so that whatever the library does to it ends in one line on stderr.
    ignoreFileSizeSignal();
    WorkerProducts products{{}, {options.svgFile, options.htmlFile}};
    // A carry over, and a binding, renew each dataset's record.
    if (options.rewrite || options.accept) {
        for (const std::string& root : options.datasetRoots) {
            for (const std::string& file : recordFilePaths(root)) products.files.push_back(file);
        }
    }
    return superviseRun(
        products, [&](RunState& state) { return runFaces(options, &state, out, err); }, err);
}
