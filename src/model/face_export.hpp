#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include <TopoDS_Shape.hxx>

struct DatasetInputs;
struct RunState;

/// Writes every face of `modelShape` whose explorer visit number is listed in `inputs` to
/// root + "/data/face<N>.brep", in face-number order, each face once. Returns one message per
/// face file that could not be written and per list entry that selects no face. The face being
/// written, and its temporary file, are recorded in `state`.
std::vector<std::string> exportFaceFiles(const TopoDS_Shape& modelShape,
                                         const DatasetInputs& inputs,
                                         const std::filesystem::path& root,
                                         RunState* state = nullptr);

/// Writes `shape` in BRep text form to `fileName`, whole or not at all (see writeWholeFile).
std::string writeFaceFile(const TopoDS_Shape& shape, const std::string& fileName,
                          RunState* state = nullptr);
