#pragma once

// Revisions of a model made with OCCT's modelling algorithms, and what became of each face as
// those algorithms record it: the test suite checks the matching of two revisions against this
// truth, and the since benchmark counts with it.

#include <functional>
#include <string>
#include <vector>

#include <BRepTools_History.hxx>
#include <TopTools_ListOfShape.hxx>
#include <TopoDS_Edge.hxx>
#include <TopoDS_Face.hxx>
#include <TopoDS_Shape.hxx>
#include <gp_Dir.hxx>
#include <gp_Pnt.hxx>
#include <gp_Trsf.hxx>
#include <gp_Vec.hxx>

/// What became of one old face: "same", "changed", "reshaped", "split", "merged" or "gone",
/// and the numbers of its new faces.
struct Truth {
    std::string kind;
    std::vector<int> numbers;
};

/// Two revisions of a model and what the modelling history says became of each old face.
struct Revision {
    TopoDS_Shape before, after;
    Handle(BRepTools_History) history; ///< null: `after` holds the very faces of `before`
    gp_Trsf motion;                    ///< how `after` was moved as a whole, if it was
    std::vector<Truth> truth;          ///< when not empty, the truth itself (see rebuilt)
};

/// A model built step by step, and for each role (a face of its first shape, the k-th face of
/// a tool, the faces an edge was blended into) the faces of the model it became. Two builds by
/// the same steps with other sizes have the same roles.
struct Build {
    TopoDS_Shape shape;
    std::vector<std::vector<TopoDS_Shape>> roles;
};

/// The faces of `shape` in the order tarnfold numbers them: entry N-1 is face N.
std::vector<TopoDS_Face> numberedFaces(const TopoDS_Shape& shape);

/// What became of each face of `revision.before`, face by face in number order.
std::vector<Truth> truthOf(const Revision& revision);

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
    return {before, algorithm.Shape(), new BRepTools_History(arguments, algorithm), {}, {}};
}

/// `tool` cut out of `before`.
Revision cut(const TopoDS_Shape& before, const TopoDS_Shape& tool);

/// `tool` fused onto `before`.
Revision fuse(const TopoDS_Shape& before, const TopoDS_Shape& tool);

/// `second` done to what `first` made: one history from the first's before to the second's after.
Revision then(const Revision& first, const Revision& second);

/// The same solid, its faces put into the shell in the opposite order.
Revision reordered(const TopoDS_Shape& before);

/// The box's upright edge at the origin rounded.
Revision filleted(const TopoDS_Shape& before);

/// `before` moved by `motion`.
Revision moved(const TopoDS_Shape& before, const gp_Trsf& motion);

/// `before` shifted by `shift`.
Revision moved(const TopoDS_Shape& before, const gp_Vec& shift);

/// The same planar solid, each face made anew on a plane of another origin and axes, as another
/// CAD system might write it: its points stay, its surfaces' parameters do not.
Revision reframed(const TopoDS_Shape& before);

/// Two boxes fused side by side, then the faces that share a plane made one.
Revision unified();

/// The box with two equal holes, one the mirror image of the other.
TopoDS_Shape twoHoles();

/// A bar with four equal holes in a row, 20 apart.
TopoDS_Shape holesInARow();

/// A bracket: a base plate with a bolt hole, an upright fused on it with a hole of its own, the
/// inner corner rounded.
TopoDS_Shape bracket();

/// A hex bolt along the z axis: a head of six equal sides, a round shank.
TopoDS_Shape bolt();

/// A round flange about the z axis: a bore, and six equal holes on a circle about it.
TopoDS_Shape flange();

/// A U-shaped bracket, the same turned half a turn about its upright middle: a base with two
/// equal holes between two equal uprights, each with a hole across.
TopoDS_Shape channelBracket();

/// The space beyond the plane through `point` facing `normal`, as a box large enough to cut
/// any part here with: a cut by it removes what lies on the normal's side.
TopoDS_Shape beyondPlane(const gp_Pnt& point, const gp_Dir& normal);

/// STEP text with every real number cut to `digits` significant digits, as an exporter that
/// writes fewer digits would write the same geometry. Quoted text is left alone.
std::string roundReals(const std::string& text, int digits);

/// The bracket with a bolt hole of this radius and its inner corner rounded with this radius.
Build bracketBuild(double holeRadius, double filletRadius);

/// A build that starts from `shape`: each of its faces a role.
Build startBuild(const TopoDS_Shape& shape);

/// `tool` cut out of the build; the tool's faces are roles of their own.
Build cutFrom(const Build& build, const TopoDS_Shape& tool);

/// `tool` fused onto the build; the tool's faces are roles of their own.
Build fuseOnto(const Build& build, const TopoDS_Shape& tool);

/// The edges of the build that `pick` chooses (by their middle) rounded with `radius`; the
/// faces of the blend are a role of their own.
Build roundEdges(const Build& build, const std::function<bool(const gp_Pnt&)>& pick,
                 double radius);

/// A plate of 100 x 60 and this thickness with a hole through it.
Build plateBuild(double thickness);

/// The box with a hole of this radius through it.
Build holeBuild(double radius);

/// The box with its upright edge at the origin rounded with this radius.
Build filletBuild(double radius);

/// The box with a boss of this height on its top.
Build bossBuild(double height);

/// The box with a slot of this width across its top.
Build slotBuild(double width);

/// The box with two holes, the first of radius 6, the second of this radius.
Build twoHolesBuild(double radius);

/// The box with its end at x = 100 bevelled: cut away beyond a plane through (95, 0, 0) that
/// is tilted this many degrees upward from that end.
Build bevelBuild(double degrees);

/// Two builds by the same steps as revisions: each old face's truth is the new faces of the
/// same roles, `reshaped` where its surface is no longer the same.
Revision rebuilt(const Build& before, const Build& after);
