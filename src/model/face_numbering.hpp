#pragma once

#include <TopExp_Explorer.hxx>
#include <TopoDS.hxx>
#include <TopoDS_Face.hxx>
#include <TopoDS_Shape.hxx>

/// Calls visit(faceNumber, face) for every face visit of `modelShape`, numbered from 1 in the
/// face explorer's order (a face that occurs twice is visited twice). Each face carries the
/// model's orientation composed onto it, as it is written to a face file. Returns the number of
/// visits. The one definition of a face number: every command numbers faces through it.
template <typename Visit>
int visitFaces(const TopoDS_Shape& modelShape, Visit&& visit)
{
    const TopAbs_Orientation modelOrientation = modelShape.Orientation();
    int faceNumber = 0;
    for (TopExp_Explorer explorer(modelShape, TopAbs_FACE, TopAbs_SHAPE); explorer.More();
         explorer.Next()) {
        // On top of what the explorer reports, so that a reversed model gives reversed faces.
        visit(++faceNumber, TopoDS::Face(explorer.Current().Composed(modelOrientation)));
    }
    return faceNumber;
}
