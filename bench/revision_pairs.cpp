// Revisions of a model made with OCCT's modelling algorithms, which record what became of
// every face.
#include "revision_pairs.hpp"

#include <BRepAlgoAPI_Cut.hxx>
#include <BRepAlgoAPI_Fuse.hxx>
#include <BRepBuilderAPI_MakeFace.hxx>
#include <BRepBuilderAPI_Transform.hxx>
#include <BRepFilletAPI_MakeFillet.hxx>
#include <BRepGProp.hxx>
#include <BRepPrimAPI_MakeBox.hxx>
#include <BRepBuilderAPI_MakePolygon.hxx>
#include <BRepPrimAPI_MakeCylinder.hxx>
#include <BRepPrimAPI_MakePrism.hxx>
#include <BRepTools.hxx>
#include <BRep_Builder.hxx>
#include <BRep_Tool.hxx>
#include <GProp_GProps.hxx>
#include <Geom_Plane.hxx>
#include <ShapeUpgrade_UnifySameDomain.hxx>
#include <TopExp_Explorer.hxx>
#include <TopoDS.hxx>
#include <TopoDS_Shell.hxx>
#include <TopoDS_Solid.hxx>
#include <TopoDS_Wire.hxx>

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

TopoDS_Shape box()
{
    return BRepPrimAPI_MakeBox(100, 60, 20).Shape();
}

TopoDS_Shape cylinder(double x, double y, double z, double radius, double height)
{
    return BRepPrimAPI_MakeCylinder(gp_Ax2(gp_Pnt(x, y, z), gp::DZ()), radius, height).Shape();
}

Revision cut(const TopoDS_Shape& before, const TopoDS_Shape& tool)
{
    BRepAlgoAPI_Cut algorithm(before, tool);
    return {before, algorithm.Shape(), algorithm.History(), {}, {}};
}

Revision fuse(const TopoDS_Shape& before, const TopoDS_Shape& tool)
{
    BRepAlgoAPI_Fuse algorithm(before, tool);
    return {before, algorithm.Shape(), algorithm.History(), {}, {}};
}

Revision then(const Revision& first, const Revision& second)
{
    Handle(BRepTools_History) history = new BRepTools_History;
    history->Merge(first.history);
    history->Merge(second.history);
    return {first.before, second.after, history, second.motion.Multiplied(first.motion), {}};
}

Revision reordered(const TopoDS_Shape& before)
{
    BRep_Builder builder;
    TopoDS_Shell shell;
    builder.MakeShell(shell);
    const std::vector<TopoDS_Face> faces = numberedFaces(before);
    for (auto face = faces.rbegin(); face != faces.rend(); ++face) builder.Add(shell, *face);
    shell.Closed(Standard_True);
    TopoDS_Solid solid;
    builder.MakeSolid(solid);
    builder.Add(solid, shell);
    return {before, solid, nullptr, {}, {}};
}

Revision filleted(const TopoDS_Shape& before)
{
    BRepFilletAPI_MakeFillet fillet(before);
    for (TopExp_Explorer edges(before, TopAbs_EDGE); edges.More(); edges.Next()) {
        GProp_GProps props;
        BRepGProp::LinearProperties(edges.Current(), props);
        const gp_Pnt middle = props.CentreOfMass();
        // The upright edge at the origin.
        if (middle.X() < 1e-6 && middle.Y() < 1e-6) fillet.Add(8, TopoDS::Edge(edges.Current()));
    }
    return byAlgorithm(before, fillet);
}

Revision moved(const TopoDS_Shape& before, const gp_Trsf& motion)
{
    BRepBuilderAPI_Transform transform(before, motion, Standard_True);
    Revision revision = byAlgorithm(before, transform);
    revision.motion = motion;
    return revision;
}

Revision moved(const TopoDS_Shape& before, const gp_Vec& shift)
{
    gp_Trsf motion;
    motion.SetTranslation(shift);
    return moved(before, motion);
}

// Each face on a plane whose origin is its own corner turned a little, its axes turned about
// the normal: the same face, parametrized anew.
Revision reframed(const TopoDS_Shape& before)
{
    BRep_Builder builder;
    TopoDS_Shell shell;
    builder.MakeShell(shell);
    Handle(BRepTools_History) history = new BRepTools_History;
    for (const TopoDS_Face& face : numberedFaces(before)) {
        const Handle(Geom_Plane) plane = Handle(Geom_Plane)::DownCast(BRep_Tool::Surface(face));
        if (plane.IsNull()) return {before, before, nullptr, {}, {}};
        gp_Ax3 axes = plane->Position();
        axes.SetLocation(axes.Location().Translated(gp_Vec(axes.XDirection()) * 13.7 +
                                                    gp_Vec(axes.YDirection()) * -4.1));
        axes.Rotate(axes.Axis(), 0.7);
        // The wires as the plane's own side sees them, whichever side the face is.
        const TopoDS_Face forward = TopoDS::Face(face.Oriented(TopAbs_FORWARD));
        const TopoDS_Wire outer = BRepTools::OuterWire(forward);
        BRepBuilderAPI_MakeFace make(gp_Pln(axes), outer);
        for (TopExp_Explorer wires(forward, TopAbs_WIRE); wires.More(); wires.Next()) {
            if (!wires.Current().IsSame(outer)) make.Add(TopoDS::Wire(wires.Current()));
        }
        TopoDS_Face made = make.Face();
        made.Orientation(face.Orientation());
        builder.Add(shell, made);
        history->AddModified(face, made);
    }
    shell.Closed(Standard_True);
    TopoDS_Solid solid;
    builder.MakeSolid(solid);
    builder.Add(solid, shell);
    return {before, solid, history, {}, {}};
}

// Fused side by side, the boxes keep their faces apart on the planes they share.
Revision unified()
{
    const TopoDS_Shape before =
        BRepAlgoAPI_Fuse(BRepPrimAPI_MakeBox(50, 60, 20).Shape(),
                         BRepPrimAPI_MakeBox(gp_Pnt(50, 0, 0), 50, 60, 20).Shape())
            .Shape();
    ShapeUpgrade_UnifySameDomain unify(before);
    unify.Build();
    return {before, unify.Shape(), unify.History(), {}, {}};
}

TopoDS_Shape twoHoles()
{
    return cut(cut(box(), cylinder(30, 30, -1, 6, 22)).after, cylinder(70, 30, -1, 6, 22)).after;
}

TopoDS_Shape holesInARow()
{
    TopoDS_Shape shape = BRepPrimAPI_MakeBox(100, 20, 10).Shape();
    for (const double x : {20, 40, 60, 80}) shape = cut(shape, cylinder(x, 10, -1, 4, 12)).after;
    return shape;
}

TopoDS_Shape bracket()
{
    return bracketBuild(4, 6).shape;
}

Build bracketBuild(double holeRadius, double filletRadius)
{
    const TopoDS_Shape upright = BRepPrimAPI_MakeBox(8, 40, 50).Shape();
    Build build = fuseOnto(startBuild(BRepPrimAPI_MakeBox(60, 40, 8).Shape()), upright);
    build = roundEdges(
        build,
        [](const gp_Pnt& p) { return std::abs(p.X() - 8) < 1e-6 && std::abs(p.Z() - 8) < 1e-6; },
        filletRadius);
    build = cutFrom(build, cylinder(40, 14, -1, holeRadius, 10));
    const gp_Ax2 across(gp_Pnt(-1, 20, 32), gp::DX());
    return cutFrom(build, BRepPrimAPI_MakeCylinder(across, 6, 10).Shape());
}

TopoDS_Shape bolt()
{
    BRepBuilderAPI_MakePolygon hexagon;
    for (int k = 0; k < 6; ++k) {
        hexagon.Add(gp_Pnt(10 * std::cos(k * M_PI / 3), 10 * std::sin(k * M_PI / 3), 0));
    }
    hexagon.Close();
    const TopoDS_Shape head =
        BRepPrimAPI_MakePrism(BRepBuilderAPI_MakeFace(hexagon.Wire()).Face(), gp_Vec(0, 0, 7))
            .Shape();
    return fuse(head, cylinder(0, 0, 7, 5, 40)).after;
}

TopoDS_Shape flange()
{
    TopoDS_Shape shape = cut(cylinder(0, 0, 0, 40, 12), cylinder(0, 0, -1, 10, 14)).after;
    for (int k = 0; k < 6; ++k) {
        const double angle = k * M_PI / 3;
        shape = cut(shape, cylinder(28 * std::cos(angle), 28 * std::sin(angle), -1, 4, 14)).after;
    }
    return shape;
}

TopoDS_Shape channelBracket()
{
    TopoDS_Shape shape = BRepPrimAPI_MakeBox(80, 40, 6).Shape();
    for (const double x : {0.0, 74.0}) {
        shape = fuse(shape, BRepPrimAPI_MakeBox(gp_Pnt(x, 0, 0), 6, 40, 30).Shape()).after;
    }
    for (const double x : {25.0, 55.0}) shape = cut(shape, cylinder(x, 20, -1, 4, 8)).after;
    const gp_Ax2 across(gp_Pnt(-1, 20, 20), gp::DX());
    return cut(shape, BRepPrimAPI_MakeCylinder(across, 5, 82).Shape()).after;
}

TopoDS_Shape beyondPlane(const gp_Pnt& point, const gp_Dir& normal)
{
    constexpr double side = 2000;
    const gp_Ax2 axes(point, normal);
    const gp_Pnt corner = point.Translated(gp_Vec(axes.XDirection()) * (-side / 2) +
                                           gp_Vec(axes.YDirection()) * (-side / 2));
    return BRepPrimAPI_MakeBox(gp_Ax2(corner, normal, axes.XDirection()), side, side, side)
        .Shape();
}

std::string roundReals(const std::string& text, int digits)
{
    std::string out;
    bool quoted = false;
    for (std::size_t i = 0; i < text.size();) {
        const char c = text[i];
        if (c == '\'') quoted = !quoted;
        const bool starts = !quoted && (std::isdigit(static_cast<unsigned char>(c)) || c == '-') &&
                            (i == 0 || std::strchr("(,= ", text[i - 1]));
        std::size_t end = i;
        if (starts) {
            end = i + 1;
            while (end < text.size() && std::strchr("0123456789.E+-", text[end])) ++end;
        }
        const std::string token = text.substr(i, end - i);
        if (starts && token.find('.') != std::string::npos) {
            char rounded[64];
            std::snprintf(rounded, sizeof rounded, "%.*E", digits - 1,
                          std::strtod(token.c_str(), nullptr));
            out += rounded;
            i = end;
        } else {
            out += c;
            ++i;
        }
    }
    return out;
}
