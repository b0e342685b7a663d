#pragma once

#include "model_cache.hpp"

#include "../model/face_export.hpp"
#include "../record/record_files.hpp"
#include "../record/record_keeping.hpp"

#include <optional>
#include <string>
#include <vector>

#include <STEPControl_Reader.hxx>
#include <TopoDS_Shape.hxx>

struct DatasetInputs;
struct RunState;

/// A model as a run has it: found in the model cache, or read by the library.
struct ModelRead {
    TopoDS_Shape shape;              ///< the model shape; null when the model came from the cache
    int shapeCount = 0;              ///< the shapes its transfer gave
    std::optional<CacheEntry> entry; ///< its entry, found or made; none without a cache
    std::vector<std::string> notes;  ///< an entry that could not be used, or not be kept
};

/// Whether the run on the dataset at `root`, with the lists `inputs` and the record `reading`,
/// may need the shape of `model`, which the cache does not give: when the record was made for
/// other bytes or by other versions, and the lists are checked by place; and when a face file in
/// data/ that the run does not write is not explained, bytes and all, by the record (or there is
/// no record), and is told by place to hold its face or another.
bool needsModelShape(const RecordReading& reading, const RunModel& model, const std::string& root,
                     const DatasetInputs& inputs);

/// Gets the model at `path` into `model`. With a cache, its bytes are taken in first unless
/// `model` holds them already (takeModelFile); without one, bytes that `model` does not hold
/// are taken in as the library reads them (keepModelFileRead). From the cache, when it holds the model's entry and the shape is not
/// needed: the reader's messages are printed again as it printed them, and no STEP file is read.
/// Otherwise as importStepModel reads it; then, with a cache, the model's entry is left in it.
/// The model's face count and facts are filled in from the entry. `error` and `reason` as for
/// importStepModel; nothing about the cache is ever an error, only a note. `reader` is made
/// only when the STEP file is read, and holds what the library read as long as it lives.
ModelRead readModel(const CacheSettings& cache, const std::string& path, RunModel& model,
                    bool shapeNeeded, std::optional<STEPControl_Reader>& reader, std::string& error,
                    RunState* state, std::string* reason = nullptr);

/// Writes the faces listed in `inputs` as exportFaceFiles does, from the model's cache entry
/// when there is one: the same bytes, which the entry holds as the export made them. Without
/// one, of the shape `read` holds, whose face texts made already `model` holds (takeFaceBytes).
std::vector<std::string> exportModelFaces(const ModelRead& read, RunModel& model,
                                          const DatasetInputs& inputs,
                                          const std::filesystem::path& root,
                                          RunState* state = nullptr, FaceHashes* hashes = nullptr);
