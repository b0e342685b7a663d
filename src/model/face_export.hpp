#pragma once

#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include <TopoDS_Face.hxx>
#include <TopoDS_Shape.hxx>

struct DatasetInputs;
struct RunState;

/// The SHA-256 of the face file of each face a run wrote or tried to write, by face number.
using FaceHashes = std::vector<std::pair<int, std::string>>;

/// Writes every face of `modelShape` whose explorer visit number is listed in `inputs` to
/// root + "/data/face<N>.brep", in face-number order, each face once. Returns one message per
/// face file that could not be written and per list entry that selects no face. The face being
/// written, and its temporary file, are recorded in `state`. `hashes`, when given, gets the
/// SHA-256 of each face file's bytes, whether or not the write succeeded.
std::vector<std::string> exportFaceFiles(const TopoDS_Shape& modelShape,
                                         const DatasetInputs& inputs,
                                         const std::filesystem::path& root,
                                         RunState* state = nullptr, FaceHashes* hashes = nullptr);

/// The faces of `modelShape` listed in `inputs`, by explorer visit number; `faceCount` gets the
/// number of faces of the model.
std::map<int, TopoDS_Face> findListedFaces(const TopoDS_Shape& modelShape,
                                           const DatasetInputs& inputs, int& faceCount);

/// Writes the faces listed in `inputs` of a model of `faceCount` faces as exportFaceFiles does,
/// each face's bytes given by bytesOf(face number).
std::vector<std::string> exportFaceBytes(int faceCount,
                                         const std::function<std::string(int)>& bytesOf,
                                         const DatasetInputs& inputs,
                                         const std::filesystem::path& root,
                                         RunState* state = nullptr, FaceHashes* hashes = nullptr);

/// The bytes of the face file of `shape`: its BRep text form, as BRepTools::Write writes a file.
std::string faceFileBytes(const TopoDS_Shape& shape);

/// Writes `shape` in BRep text form to `fileName`, whole or not at all (see writeWholeFile).
std::string writeFaceFile(const TopoDS_Shape& shape, const std::string& fileName,
                          RunState* state = nullptr);
