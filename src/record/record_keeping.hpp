#pragma once

#include "record_files.hpp"

#include "../model/face_export.hpp"

#include <optional>
#include <string>
#include <vector>

#include <TopoDS_Shape.hxx>

struct RunState;

/// The model a run has read, as the record of the run and the check of its lists take it.
struct RunModel {
    std::string path;  ///< as address.txt gives it
    HashedFile file;   ///< its bytes, taken in before the library read them
    TopoDS_Shape shape;
    int faceCount = 0;
    std::optional<ModelOutline> wholeOutline; ///< every face and vertex; made when first needed
};

/// Takes in the model file at `path` before the library reads it, so that the record names the
/// bytes the faces come from. Part of reading the model, as `state` records it.
RunModel takeModelFile(const std::string& path, RunState* state = nullptr);

/// Completes `model` with the shape the library read from it. Returns "" or, when the file is
/// no longer the one taken in (it was replaced while it was read), why no record can be kept.
std::string settleRunModel(RunModel& model, const TopoDS_Shape& shape);

/// The outline of every face and vertex of the model, made once.
const ModelOutline& wholeOutlineOf(RunModel& model);

/// The hashes of the face files that the lists' faces would have, made from the model without
/// writing them.
FaceHashes hashListedFaces(const TopoDS_Shape& shape, const std::vector<ListFileNow>& lists);

/// Writes the record of a run of `lists` on `model` into the dataset at `root`, with the hashes
/// of its face files. Returns "" or one line that says why it could not. A model that is not a
/// regular file (a pipe) leaves no record: its bytes cannot be named.
std::string keepRunRecord(const std::string& root, const RunModel& model,
                          const std::vector<ListFileNow>& lists, const FaceHashes& hashes,
                          RunState* state);

/// The two files of a record, as keepRunRecord writes them.
struct RecordTexts {
    std::string outline; ///< data/last-run-model.tsv
    std::string record;  ///< data/last-run.tsv
};

/// What keepRunRecord would write, without writing it. Returns "" or why no record can be kept;
/// `texts` is left empty for a model that is not a regular file.
std::string composeRunRecord(const std::string& root, const RunModel& model,
                             const std::vector<ListFileNow>& lists, const FaceHashes& hashes,
                             RecordTexts& texts);

/// The record that keepRunRecord writes, with the outline's SHA-256 given.
RunRecord makeRunRecord(const RunModel& model, const std::vector<ListFileNow>& lists,
                        const FaceHashes& hashes, const std::string& outlineSha256);

/// The faces that the lists select in a model of `faceCount` faces, each once, increasing,
/// with the lists of either kind that name them.
std::vector<std::pair<int, FaceList>> listedFaces(const std::vector<ListFileNow>& lists,
                                                  int faceCount);

/// "" when `record` was made for the very model at hand: the same bytes, numbered by the same
/// versions of tarnfold and OpenCASCADE. Otherwise what changed since, such as "the model
/// changed since the last run".
std::string describeModelChange(const RunRecord& record, const RunModel& model);

/// The version of OpenCASCADE that records name.
const char* libraryVersion();

/// The version of tarnfold that records name.
const char* toolVersion();
