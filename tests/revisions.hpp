#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include <BRepPrimAPI_MakeBox.hxx>
#include <BRepTools_History.hxx>
#include <TopTools_ListOfShape.hxx>
#include <TopoDS_Face.hxx>
#include <TopoDS_Shape.hxx>
#include <gp_Vec.hxx>

/// Two revisions of a model and what the modelling history says became of each old face.
struct Revision {
    TopoDS_Shape before, after;
    Handle(BRepTools_History) history; ///< null: `after` holds the very faces of `before`
};

/// What became of one old face, as the history says: the kind of the answer and the new numbers.
struct Truth {
    std::string kind;
    std::vector<int> numbers;
};

/// What became of each face of `revision.before`, in face-number order, as its history says.
std::vector<Truth> truthOf(const Revision& revision);

/// Face numbers as the table of two revisions writes them: "3,5", or "-" for none.
std::string joined(const std::vector<int>& numbers);

/// The faces of `shape` in the order tarnfold numbers them: entry N-1 is face N.
std::vector<TopoDS_Face> numberedFaces(const TopoDS_Shape& shape);

/// Writes the revisions to dir/old.step and dir/new.step, and checks that reading them back
/// numbers the faces as the shapes in memory do, so that the history's numbers hold for them.
void writeRevisions(const Revision& revision, const std::filesystem::path& dir);

/// A box of 100 x 60 x 20 at the origin.
TopoDS_Shape box();

/// An upright cylinder standing on (x, y, z).
TopoDS_Shape cylinder(double x, double y, double z, double radius, double height);

/// `before` changed by an algorithm that answers for its faces as OCCT's modelling API does.
template <typename Algorithm>
Revision byAlgorithm(const TopoDS_Shape& before, Algorithm& algorithm)
{
    TopTools_ListOfShape arguments;
    arguments.Append(before);
    return {before, algorithm.Shape(), new BRepTools_History(arguments, algorithm)};
}

/// `tool` cut out of `before`.
Revision cut(const TopoDS_Shape& before, const TopoDS_Shape& tool);

/// `tool` fused onto `before`.
Revision fuse(const TopoDS_Shape& before, const TopoDS_Shape& tool);

/// The same solid, its faces put into the shell in the opposite order.
Revision reordered(const TopoDS_Shape& before);

/// The box's upright edge at the origin rounded.
Revision filleted(const TopoDS_Shape& before);

/// `before` moved by `shift`.
Revision moved(const TopoDS_Shape& before, const gp_Vec& shift);

/// Two boxes fused side by side, then the faces that share a plane made one.
Revision unified();

/// The box with two equal holes, one the mirror image of the other.
TopoDS_Shape twoHoles();

/// A bar with four equal holes in a row, 20 apart.
TopoDS_Shape holesInARow();
