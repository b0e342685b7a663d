#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include <TopoDS_Shape.hxx>

struct DatasetInputs;

/// Writes every face of `modelShape` whose explorer visit number is listed in `inputs` to
/// root + "/data/face<N>.brep", in face-number order, each face once. Returns one message per
/// face file that could not be written and per list entry that selects no face.
std::vector<std::string> exportFaceFiles(const TopoDS_Shape& modelShape,
                                         const DatasetInputs& inputs,
                                         const std::filesystem::path& root);

/// Writes `shape` in BRep text form to a temporary file beside `fileName`, then renames it over
/// `fileName`, so that a reader never sees a partial file. Returns "" or why it failed; on
/// failure nothing is left behind and an older file of that name is untouched.
std::string writeFaceFile(const TopoDS_Shape& shape, const std::string& fileName);
