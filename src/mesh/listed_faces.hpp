#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include <TopoDS_Face.hxx>

struct DatasetInputs;

/// A face that a dataset's lists name, as its face file holds it.
struct ListedFace {
    int number = 0;         ///< its face number in the model
    bool force = false;     ///< named by the force list
    bool restraint = false; ///< named by the restraint list
    std::string file;       ///< the face file it was read from
    TopoDS_Face face;
};

/// Reads root/data/face<N>.brep for every face N from 1 to `faceCount` that `inputs` lists, in
/// increasing order. Returns one message per face file that cannot be read or holds no single
/// face, and per list entry that selects no face.
std::vector<std::string> readListedFaces(const std::filesystem::path& root,
                                         const DatasetInputs& inputs, int faceCount,
                                         std::vector<ListedFace>& faces);
