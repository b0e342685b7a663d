#pragma once

#include "record_files.hpp"

#include "../model/face_export.hpp"
#include "../model/step_import.hpp"

#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include <TopoDS_Face.hxx>
#include <TopoDS_Shape.hxx>

struct RunState;

/// What the record of a run takes from the model's shape, the same for every dataset of the
/// model: derived once for all of them, and kept in the model cache.
struct ModelFacts {
    std::string outline;       ///< the text of the outline file beside the record
    std::string outlineSha256; ///< of that text
    /// For each face number from 1, the first number of the same face in the same orientation.
    std::vector<int> firstVisits;
};

/// The facts of the model `shape`.
ModelFacts deriveModelFacts(const TopoDS_Shape& shape);

/// The bytes of a face's file, and their SHA-256.
struct FaceText {
    std::string bytes;
    std::string sha256;
};

/// The model a run has read, as the record of the run and the check of its lists take it.
struct RunModel {
    std::string path;  ///< as address.txt gives it
    HashedFile file;   ///< its bytes, taken in before the library read them or as it did
    TopoDS_Shape shape; ///< null when the model came from the model cache
    int faceCount = 0;
    std::optional<ModelOutline> wholeOutline; ///< every face and vertex; made when first needed
    std::optional<ModelFacts> facts; ///< derived from the shape for each record when not given
    /// The face files of faces the check of the lists and the record needed, by face number:
    /// their BRep text is made once, and the export takes it from here.
    std::map<int, FaceText> faceTexts;
};

/// The face file of face `number` of `model`, which is `face`: made the first time, kept after.
const FaceText& faceTextOf(RunModel& model, int number, const TopoDS_Face& face);

/// The bytes of the face file of face `number`, `face`: taken out of `model` when made before,
/// its digest left there, or made now.
std::string takeFaceBytes(RunModel& model, int number, const TopoDS_Face& face);

/// Takes in the model file at `path` before the library reads it, so that the record names the
/// bytes the faces come from. Part of reading the model, as `state` records it.
RunModel takeModelFile(const std::string& path, RunState* state = nullptr);

/// Names the model file at `path` for a run that takes its bytes in only as the library reads
/// them (keepModelFileRead): the file is read once. Part of reading the model, as `state` records.
RunModel nameModelFile(const std::string& path, RunState* state = nullptr);

/// Takes into `model` which file the library read and the digest of the bytes it read.
void keepModelFileRead(RunModel& model, const ModelFileRead& read);

/// Completes `model` with the shape the library read from it. Returns "" or, when the file is
/// no longer the one taken in (it was replaced while it was read), why no record can be kept.
/// A null shape, for a model that came from the model cache, leaves the model as it is.
std::string settleRunModel(RunModel& model, const TopoDS_Shape& shape);

/// The outline of every face and vertex of the model, made once.
const ModelOutline& wholeOutlineOf(RunModel& model);

/// The hashes of the face files that the lists' faces would have, made from the model without
/// writing them.
FaceHashes hashListedFaces(RunModel& model, const std::vector<ListFileNow>& lists);

/// The faces that the lists select in a model of `faceCount` faces, each once, increasing,
/// with the lists of either kind that name them.
std::vector<std::pair<int, FaceList>> listedFaces(const std::vector<ListFileNow>& lists,
                                                  int faceCount);
