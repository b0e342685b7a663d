#pragma once

#include "face_table.hpp"
#include "panel.hpp"

#include <string>
#include <vector>

#include <TopoDS_Shape.hxx>

/// Draws the meshed `modelShape` as a self-contained SVG document: one shaded panel per view,
/// listed faces in their list's colour, a tag with the number of each face that `labels`
/// selects, and a legend naming `modelName` and the views, with `note` when it is not empty.
/// `rows` are the model's face table; `deflection` is the mesh's, in model units.
std::string drawFacePicture(const TopoDS_Shape& modelShape, const std::vector<FaceRow>& rows,
                            const std::vector<View>& views, LabelChoice labels,
                            const std::string& modelName, double deflection,
                            const std::string& note = "");
