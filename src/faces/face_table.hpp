#pragma once

#include "../intake/face_list.hpp"

#include <string>
#include <vector>

#include <TopoDS_Face.hxx>
#include <TopoDS_Shape.hxx>
#include <gp_Pnt.hxx>
#include <gp_Vec.hxx>

struct DatasetInputs;

/// One face visit as the face table shows it, with the face itself for drawing.
struct FaceRow {
    int number = 0;             ///< the face number, as the face files use it
    TopoDS_Face face;           ///< in the orientation written to the face file
    const char* type = "other"; ///< the surface's kind: plane, cylinder, ... or other
    double area = 0;
    gp_Pnt centre;                        ///< centre of area; may lie outside the face
    bool hasLabelPoint = false;           ///< false when no point inside the face was found
    gp_Pnt labelPoint;                    ///< a point inside the face, far from its boundary
    gp_Vec normal;                        ///< unit normal at labelPoint, outward on a closed solid
    std::vector<gp_Pnt> otherLabelPoints; ///< further points inside the face, best first
    FaceList list = FaceList::none;
    int sameAs = 0; ///< the first number that visits the same face, 0 if none
    bool stale = false; ///< listed, and no longer the face its list was written for
};

/// Meshes every face of `modelShape` finely enough for a picture of the whole model, unless it
/// is meshed that finely already. Returns the deflection used, in the model's units.
double meshModel(const TopoDS_Shape& modelShape);

/// One row per face visit of the meshed `modelShape`, in face-number order. `inputs` gives the
/// lists; null when there are none.
std::vector<FaceRow> measureFaces(const TopoDS_Shape& modelShape, const DatasetInputs* inputs);

/// The rows as tab-separated text: one header line, then one line per row. The last column,
/// stale, says yes for a stale row and - for any other.
std::string formatFaceTable(const std::vector<FaceRow>& rows);
