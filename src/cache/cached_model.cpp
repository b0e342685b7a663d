#include "cached_model.hpp"

#include "../console/library_messages.hpp"
#include "../digest/sha256.hpp"
#include "../intake/dataset_inputs.hpp"
#include "../intake/list_entries.hpp"
#include "../model/step_import.hpp"
#include "../run_state/run_state.hpp"

#include <algorithm>
#include <filesystem>
#include <iostream>
#include <map>

namespace {

void recordUse(RunState* state, ModelCacheUse use)
{
    if (state) state->modelCache.store(static_cast<int>(use));
}

// Reads the model as without a cache, gathering what the reader prints, and leaves its entry
// in the cache. Sets `problem` to why the cache did not keep it.
TopoDS_Shape readAndKeep(const CacheSettings& cache, const std::string& key,
                         const std::string& path, RunModel& model, STEPControl_Reader& reader,
                         std::string& error, RunState* state, std::string* reason,
                         std::string& problem, ModelRead& read)
{
    recordUse(state, ModelCacheUse::read);
    LibraryCapture capture;
    startLibraryCapture(capture);
    const TopoDS_Shape shape = importStepModel(reader, path, error, state, reason);
    // Only what the library's printers printed can be printed again; and the model must still
    // be the bytes the key names.
    const bool replayable = finishLibraryCapture(capture);
    if (!error.empty() || !replayable || !isUnchanged(path, model.file)) return shape;

    enterPhase(state, RunPhase::caching);
    model.facts = deriveModelFacts(shape);
    CacheEntry entry;
    // The faces' files take about three times the bytes of the STEP file.
    const std::size_t expected = 4 * model.file.size + model.facts->outline.size() + (1 << 20);
    if (!makeCacheEntry(key, path, shape, countTransferredShapes(reader), capture.messages,
                        *model.facts, expected, entry)) {
        return shape;
    }
    problem = keepCacheEntry(cache, key, entry.text);
    recordUse(state, problem.empty() ? ModelCacheUse::kept : ModelCacheUse::read);
    read.entry = std::move(entry);
    return shape;
}

} // namespace

bool needsModelShape(const RecordReading& reading, const RunModel& model, const std::string& root,
                     const DatasetInputs& inputs)
{
    // Refused before any face is looked at.
    if (reading.exists && !reading.problem.empty()) return false;
    if (reading.exists && !describeModelChange(reading.record, model).empty()) return true;
    // A face file that the run does not write, and that no record explains as it stands, is
    // told by place to hold its face or another: that takes the shape. Without a record, the
    // face files of an earlier run stand for it, and are told so too.
    const std::vector<int> listed =
        listedFaceNumbers({&inputs.forceFaces, &inputs.restraintFaces});
    for (const int number : findFaceFileNumbers(root)) {
        if (!reading.exists) return true;
        if (std::binary_search(listed.begin(), listed.end(), number)) continue;
        const RecordedFace* face = findRecordedFace(reading.record, number);
        std::string bytes, problem;
        if (!face || readRegularFile(dataFilePath(root, face->file), bytes, problem) !=
                         FileReading::read ||
            sha256Hex(bytes) != face->sha256) {
            return true;
        }
    }
    return false;
}

ModelRead readModel(const CacheSettings& cache, const std::string& path, RunModel& model,
                    bool shapeNeeded, std::optional<STEPControl_Reader>& reader, std::string& error,
                    RunState* state, std::string* reason)
{
    ModelRead read;
    const bool taken = !model.file.sha256.empty() && model.path == path;
    if (!cache.directory.empty() && !taken) model = takeModelFile(path, state);
    // A model whose bytes cannot be named (a pipe, a file that cannot be read) has no entry.
    if (cache.directory.empty() || model.file.sha256.empty() || !model.file.problem.empty()) {
        ModelFileRead bytes;
        read.shape = importStepModel(reader.emplace(), path, error, state, reason, &bytes);
        read.shapeCount = countTransferredShapes(*reader);
        // Bytes not taken in before are named by the reader's one reading of them.
        if (!taken && model.path == path) keepModelFileRead(model, bytes);
        return read;
    }

    const std::string key = cacheEntryKey(model.file.sha256);
    CacheLookup lookup = findCacheEntry(cache, key);
    // The same bytes under another path: the messages may name the path it was read by, and
    // are printed again only where none that would be printed does.
    const bool replayable = lookup.entry && (lookup.entry->modelPath == path ||
                                             !wouldPrintText(lookup.entry->messages,
                                                             lookup.entry->modelPath));
    if (lookup.entry && replayable && !shapeNeeded) {
        std::cout.flush();
        replayLibraryMessages(lookup.entry->messages);
        model.faceCount = countCachedFaces(*lookup.entry);
        model.facts = lookup.entry->facts;
        read.shapeCount = lookup.entry->shapeCount;
        read.entry = std::move(lookup.entry);
        recordUse(state, ModelCacheUse::found);
        return read;
    }
    if (lookup.entry) {
        // Found, but the geometry is needed, or its messages name another path: the model is
        // read as without a cache, and the entry stays as it is.
        read.shape = importStepModel(reader.emplace(), path, error, state, reason);
        read.shapeCount = countTransferredShapes(*reader);
        recordUse(state, ModelCacheUse::read);
        return read;
    }

    std::string problem;
    read.shape =
        readAndKeep(cache, key, path, model, reader.emplace(), error, state, reason, problem, read);
    read.shapeCount = countTransferredShapes(*reader);
    const std::string entryPath = cacheEntryPath(cache, key);
    if (!lookup.problem.empty()) {
        std::string note = "the model cache entry '" + entryPath + "' " + lookup.problem + ": '" +
                           path + "' was read instead";
        if (read.entry && problem.empty()) note += ", and the entry replaced";
        if (read.entry && !problem.empty()) note += "; the entry could not be replaced: " + problem;
        read.notes.push_back(note);
    } else if (read.entry && !problem.empty()) {
        read.notes.push_back("'" + path + "' is not kept in the model cache '" + cache.directory +
                             "': " + problem);
    }
    return read;
}

std::vector<std::string> exportModelFaces(const ModelRead& read, RunModel& model,
                                          const DatasetInputs& inputs,
                                          const std::filesystem::path& root, RunState* state,
                                          FaceHashes* hashes)
{
    if (!read.entry) {
        // A face whose text the check of the lists or the record made already is not made again.
        int faceCount = 0;
        const std::map<int, TopoDS_Face> faces = findListedFaces(read.shape, inputs, faceCount);
        return exportFaceBytes(
            faceCount,
            [&](int number) { return takeFaceBytes(model, number, faces.at(number)); }, inputs,
            root, state, hashes);
    }
    const CacheEntry& entry = *read.entry;
    return exportFaceBytes(
        countCachedFaces(entry), [&](int number) { return cachedFaceBytes(entry, number); }, inputs,
        root, state, hashes);
}
