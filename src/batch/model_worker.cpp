#include "model_worker.hpp"

#include "result_frames.hpp"

#include "../cache/cached_model.hpp"
#include "../console/error_printer.hpp"
#include "../console/library_messages.hpp"
#include "../binding/dataset_faces.hpp"
#include "../model/step_import.hpp"
#include "../record/record_keeping.hpp"
#include "../run_state/run_state.hpp"
#include "../run/worker.hpp"

#include <cerrno>
#include <optional>

#include <unistd.h>

namespace {

// A whole result or none: the supervisor keeps what came before a death, and only that.
void sendResult(int fd, const DatasetResult& result)
{
    const std::string bytes = encodeResult(result);
    std::size_t sent = 0;
    while (sent < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + sent, bytes.size() - sent);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) endWorker(1); // the supervisor is gone: nobody to tell
        sent += static_cast<std::size_t>(n);
    }
}

// From here on a death is this dataset's, told as tarnfold would tell it for this dataset: its
// own spelling of the model path, its own count of files. Until its first face write it stands
// where tarnfold stands between the transfer and the export.
void beginDataset(RunState& state, const BatchDataset& dataset, int begun)
{
    recordText(state.modelPath, dataset.inputs.modelPath);
    recordText(state.datasetRoot, dataset.root);
    state.faceNumber.store(0);
    state.filesWritten.store(0);
    enterPhase(&state, RunPhase::transferring);
    state.datasetsBegun.store(begun);
}

// What tarnfold does for the dataset once the model is read: its lists checked against the
// record of its last run, its face files written, its record kept. Notes go into `result`.
std::vector<std::string> writeDataset(const BatchDataset& dataset, const ModelRead& read,
                                      RunModel& model, SampledModel& sampled, RunState& state,
                                      DatasetResult& result)
{
    enterPhase(&state, RunPhase::checking);
    // The model came from the cache because no dataset asked for its shape when the worker
    // began; one that does now was changed meanwhile, by another run.
    if (model.shape.IsNull() &&
        needsModelShape(readRunRecord(dataset.root), model, dataset.root, dataset.inputs)) {
        return {"the record or the face files of '" + dataset.root +
                "' changed while the batch ran; run again"};
    }
    ListBinding binding = checkListBinding(dataset.root, sampled);
    for (const std::string& note : binding.notes) {
        result.lines.push_back(noteLine(commands::tool, note));
    }
    if (!binding.problems.empty()) {
        result.stale = true;
        return std::move(binding.problems);
    }
    DatasetWrite write = writeDatasetFaces(
        dataset.root, binding, sampled,
        [&](FaceHashes& hashes) {
            return exportModelFaces(read, model, dataset.inputs, dataset.root, &state, &hashes);
        },
        &state);
    for (const std::string& note : write.notes) {
        result.lines.push_back(noteLine(commands::tool, note));
    }
    return std::move(write.problems);
}

} // namespace

void runModelWorker(const ModelGroup& group, const std::vector<BatchDataset>& datasets,
                    const CacheSettings& cache, RunState& state, int resultsFd)
{
    stopColouringUnlessTerminal();
    installLibrarySignalHandlers();
    std::optional<STEPControl_Reader> reader; // made only when the model is read
    std::string importError, reason;
    bool thrown = false;
    ModelRead read;
    // The model's bytes are hashed once for all its datasets (as the library reads them, without
    // a cache), its faces sampled once if needed, and what the records take from it derived once.
    const bool cached = !cache.directory.empty();
    RunModel model = cached ? takeModelFile(group.modelPath, &state)
                            : nameModelFile(group.modelPath, &state);
    SampledModel sampled{&model, {}};
    std::string unsettled;
    try {
        bool shapeNeeded = false; // only a cache entry may stand for the shape
        for (const std::size_t index : group.members) {
            if (!cached) break;
            const std::string& root = datasets[index].root;
            shapeNeeded = shapeNeeded || needsModelShape(readRunRecord(root), model, root,
                                                         datasets[index].inputs);
        }
        read = readModel(cache, group.modelPath, model, shapeNeeded, reader, importError, &state,
                         &reason);
        if (importError.empty()) unsettled = settleRunModel(model, read.shape);
        if (importError.empty() && unsettled.empty() && !model.facts) {
            model.facts = deriveModelFacts(model.shape);
        }
    } catch (...) {
        importError = describeCurrentException();
        thrown = true;
    }

    int begun = 0;
    for (const std::size_t index : group.members) {
        const BatchDataset& dataset = datasets[index];
        beginDataset(state, dataset, ++begun);
        DatasetResult result;
        result.dataset = index;
        // The model was read once, for the first dataset: tarnfold would say this for it alone.
        if (begun == 1) {
            for (const std::string& note : read.notes) {
                result.lines.push_back(noteLine(commands::tool, note));
            }
        }
        std::vector<std::string> problems;
        if (!importError.empty()) {
            // The same file under another name: tarnfold would name it as this dataset does.
            const bool renamed = !thrown && dataset.inputs.modelPath != group.modelPath;
            problems = {renamed ? describeUnreadableModel(dataset.inputs.modelPath, reason)
                                : importError};
        } else if (!unsettled.empty()) {
            problems = {unsettled};
        } else {
            // As tarnfold notes it, before the export's lines.
            const std::string note = describeShapeChoice(read.shapeCount);
            if (!note.empty()) result.lines.push_back(noteLine(commands::tool, note));
            try {
                model.path = dataset.inputs.modelPath; // as its record names it
                problems = writeDataset(dataset, read, model, sampled, state, result);
            } catch (...) {
                problems.push_back(describeCurrentException());
            }
        }
        result.files = state.filesWritten.load();
        for (const std::string& problem : problems) {
            result.lines.push_back(errorLine(commands::tool, problem));
        }
        result.errors += problems.size();
        // Its files and record are whole by now: a death from here on is no death mid-write.
        enterPhase(&state, RunPhase::reporting);
        sendResult(resultsFd, result);
    }
    enterPhase(&state, RunPhase::finished);
    endWorker(0);
}
