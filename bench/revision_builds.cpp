// Models built step by step, with the faces that each role (a face of the first shape, the
// faces of a tool, the blend of an edge) became, as the modelling algorithms record it.
#include "revision_pairs.hpp"

#include <algorithm>
#include <cmath>

#include <BRepAdaptor_Curve.hxx>
#include <BRepAlgoAPI_Cut.hxx>
#include <BRepAlgoAPI_Fuse.hxx>
#include <BRepFilletAPI_MakeFillet.hxx>
#include <BRepPrimAPI_MakeBox.hxx>
#include <TopExp_Explorer.hxx>
#include <TopoDS.hxx>

namespace {

// The faces among `shapes` as the next step made them: removed, modified or kept.
std::vector<TopoDS_Shape> carry(const std::vector<TopoDS_Shape>& shapes,
                                const Handle(BRepTools_History) & history)
{
    std::vector<TopoDS_Shape> carried;
    for (const TopoDS_Shape& shape : shapes) {
        if (history->IsRemoved(shape)) continue;
        const TopTools_ListOfShape& images = history->Modified(shape);
        if (images.IsEmpty()) {
            carried.push_back(shape);
            continue;
        }
        for (const TopoDS_Shape& image : images) {
            if (image.ShapeType() == TopAbs_FACE) carried.push_back(image);
        }
    }
    return carried;
}

Build combine(const Build& build, const TopoDS_Shape& tool, const TopoDS_Shape& shape,
              const Handle(BRepTools_History) & history)
{
    Build next{shape, {}};
    for (const std::vector<TopoDS_Shape>& role : build.roles) {
        next.roles.push_back(carry(role, history));
    }
    for (const TopoDS_Face& face : numberedFaces(tool)) {
        next.roles.push_back(carry({face}, history));
    }
    return next;
}

} // namespace

Build startBuild(const TopoDS_Shape& shape)
{
    Build build{shape, {}};
    for (const TopoDS_Face& face : numberedFaces(shape)) build.roles.push_back({face});
    return build;
}

Build cutFrom(const Build& build, const TopoDS_Shape& tool)
{
    BRepAlgoAPI_Cut algorithm(build.shape, tool);
    return combine(build, tool, algorithm.Shape(), algorithm.History());
}

Build fuseOnto(const Build& build, const TopoDS_Shape& tool)
{
    BRepAlgoAPI_Fuse algorithm(build.shape, tool);
    return combine(build, tool, algorithm.Shape(), algorithm.History());
}

Build roundEdges(const Build& build, const std::function<bool(const gp_Pnt&)>& pick, double radius)
{
    BRepFilletAPI_MakeFillet fillet(build.shape);
    std::vector<TopoDS_Shape> edges;
    for (TopExp_Explorer it(build.shape, TopAbs_EDGE); it.More(); it.Next()) {
        const BRepAdaptor_Curve curve(TopoDS::Edge(it.Current()));
        if (!pick(curve.Value((curve.FirstParameter() + curve.LastParameter()) / 2))) continue;
        if (std::any_of(edges.begin(), edges.end(),
                        [&](const TopoDS_Shape& e) { return e.IsSame(it.Current()); })) {
            continue;
        }
        edges.push_back(it.Current());
        fillet.Add(radius, TopoDS::Edge(it.Current()));
    }
    // The history of a blend is there only once it is built.
    Build next{fillet.Shape(), {}};
    TopTools_ListOfShape arguments;
    arguments.Append(build.shape);
    Handle(BRepTools_History) history = new BRepTools_History(arguments, fillet);
    for (const std::vector<TopoDS_Shape>& role : build.roles) {
        next.roles.push_back(carry(role, history));
    }
    std::vector<TopoDS_Shape> blend;
    for (const TopoDS_Shape& edge : edges) {
        for (const TopoDS_Shape& face : history->Generated(edge)) {
            if (face.ShapeType() == TopAbs_FACE) blend.push_back(face);
        }
    }
    next.roles.push_back(blend);
    return next;
}

Build plateBuild(double thickness)
{
    return cutFrom(startBuild(BRepPrimAPI_MakeBox(100, 60, thickness).Shape()),
                   cylinder(30, 30, -1, 6, thickness + 2));
}

Build holeBuild(double radius)
{
    return cutFrom(startBuild(box()), cylinder(30, 30, -1, radius, 22));
}

Build filletBuild(double radius)
{
    return roundEdges(
        startBuild(box()), [](const gp_Pnt& p) { return p.X() < 1e-6 && p.Y() < 1e-6; }, radius);
}

Build bossBuild(double height)
{
    return fuseOnto(startBuild(box()), cylinder(50, 30, 20, 8, height));
}

Build slotBuild(double width)
{
    return cutFrom(startBuild(box()),
                   BRepPrimAPI_MakeBox(gp_Pnt(-1, 30 - width / 2, 14), 102, width, 7).Shape());
}

Build twoHolesBuild(double radius)
{
    return cutFrom(cutFrom(startBuild(box()), cylinder(30, 30, -1, 6, 22)),
                   cylinder(70, 30, -1, radius, 22));
}

Build bevelBuild(double degrees)
{
    const double angle = degrees * M_PI / 180;
    return cutFrom(startBuild(box()),
                   beyondPlane(gp_Pnt(95, 0, 0), gp_Dir(std::cos(angle), 0, std::sin(angle))));
}
