#pragma once

#include <string>
#include <vector>

#include <TopoDS_Face.hxx>
#include <TopoDS_Shape.hxx>

struct DatasetInputs;

/// A face that a dataset's lists name, as the model holds it.
struct ListedFace {
    int number = 0;         ///< its face number in the model
    bool force = false;     ///< named by the force list
    bool restraint = false; ///< named by the restraint list
    TopoDS_Face face;       ///< oriented as its face file would be
};

/// The faces of `modelShape` that `inputs` lists, taken from the model itself (never from a face
/// file), each number once, in increasing order. Returns one message per list entry that selects
/// no face.
std::vector<std::string> takeListedFaces(const TopoDS_Shape& modelShape,
                                         const DatasetInputs& inputs,
                                         std::vector<ListedFace>& faces);
