#pragma once

#include "list_binding.hpp"

#include "../intake/dataset_inputs.hpp"

#include <functional>
#include <string>
#include <vector>

struct RunState;

/// What writing a dataset's faces did.
struct DatasetWrite {
    std::vector<std::string> problems; ///< one line each
    std::vector<std::string> notes;
};

/// Writes the face files of the faces a dataset lists, with the hashes of their bytes; returns one
/// line per problem. The export from the shape, or from the model's cache entry.
using FaceFileWriter = std::function<std::vector<std::string>(FaceHashes& hashes)>;

/// What tarnfold does once `binding` let the lists of the dataset at `root` through: writes
/// each listed face to its face file through `writeFaces`, keeps the record of the run (also before the face
/// files when the lists were bound anew, so that a run stopped half way is not refused the next
/// time), removes the face files of the last run that no list names now, and names each face
/// file that this run did not write and that holds another face than its number's. The face
/// being written and the phases are recorded in `state`.
DatasetWrite writeDatasetFaces(const std::string& root, const ListBinding& binding,
                               SampledModel& model,
                               const FaceFileWriter& writeFaces, RunState* state);

/// One line per face file data/face<N>.brep of the dataset at `root` whose number is not in
/// `listed` (increasing) and that does not hold face N of the model: neither its bytes nor, by
/// place, its face. No run wrote it for this model, and it is left as it is.
std::vector<std::string> checkUnlistedFaceFiles(const std::string& root,
                                                const std::vector<int>& listed,
                                                SampledModel& model);
