// The pairs of revisions that the since benchmark follows the faces of, made in memory.
#include "since_pairs.hpp"

#include <cmath>
#include <tuple>

#include <BRepBndLib.hxx>
#include <BRepPrimAPI_MakeBox.hxx>
#include <BRepPrimAPI_MakeCylinder.hxx>
#include <Bnd_Box.hxx>
#include <TopLoc_Location.hxx>

namespace {

// The motions the parts are moved by: a shift, a quarter turn about an upright axis, a slight
// turn, a turn far away, and a turn about an oblique axis with a shift, as a part placed
// elsewhere in an assembly is (the last is the one drilled after).
std::vector<std::pair<std::string, gp_Trsf>> motions()
{
    gp_Trsf shift, quarter, slight, far, oblique;
    shift.SetTranslation(gp_Vec(17.5, -6, 3));
    quarter.SetRotation(gp_Ax1(gp_Pnt(10, 5, 0), gp::DZ()), M_PI / 2);
    slight.SetRotation(gp_Ax1(gp_Pnt(0, 0, 0), gp_Dir(2, -1, 1)), 0.01);
    far.SetRotation(gp_Ax1(gp_Pnt(0, 0, 0), gp_Dir(0, 1, 1)), 2.5);
    far.SetTranslationPart(gp_Vec(5000, 1200, -300));
    oblique.SetRotation(gp_Ax1(gp_Pnt(3, -2, 1), gp_Dir(1, 2, 3)), 0.7);
    oblique.SetTranslationPart(gp_Vec(120.5, -40, 7));
    return {{"shifted", shift},
            {"turned", quarter},
            {"turned slightly", slight},
            {"turned far away", far},
            {"turned and shifted", oblique}};
}

// A hole through the part's bounds, off their middle, along the part's own third axis.
TopoDS_Shape drillThrough(const TopoDS_Shape& part, const gp_Trsf& motion)
{
    Bnd_Box box;
    BRepBndLib::Add(part, box);
    double x0, y0, z0, x1, y1, z1;
    box.Get(x0, y0, z0, x1, y1, z1);
    const gp_Ax2 axis(gp_Pnt(x0 + 0.3 * (x1 - x0), y0 + 0.6 * (y1 - y0), z0 - 1), gp::DZ());
    const double radius = 0.05 * std::min(x1 - x0, y1 - y0);
    return BRepPrimAPI_MakeCylinder(axis, radius, z1 - z0 + 2)
        .Shape()
        .Moved(TopLoc_Location(motion));
}

void addMoved(std::vector<RevisionPair>& pairs, const std::string& part, const TopoDS_Shape& shape,
              bool framedAnew)
{
    for (const auto& [how, motion] : motions()) {
        const Revision first = moved(shape, motion);
        if (framedAnew) {
            pairs.push_back(
                {"moved, framed anew", part + ", " + how, then(first, reframed(first.after))});
            continue;
        }
        pairs.push_back({"moved", part + ", " + how, first});
    }
    if (framedAnew) return;
    const Revision turned = moved(shape, motions().back().second);
    pairs.push_back({"moved", part + ", moved and drilled",
                     then(turned, cut(turned.after, drillThrough(shape, turned.motion)))});
}

// An end or a corner cut away by a plane tilted from the face it removes whole, so that the
// cutting face has that face's neighbours: the box's end bevelled about either of its other
// axes, a long thin bar's end nearly along its length, a chamfered corner cut again; and
// symmetric parts moved, then cut.
void addCuts(std::vector<RevisionPair>& pairs)
{
    const std::string group = "end or corner cut away";
    const auto degrees = [](double d) { return d * M_PI / 180; };
    for (const double tilt : {22.0, 30.0, 44.0}) {
        const gp_Dir normal(std::cos(degrees(tilt)), 0, std::sin(degrees(tilt)));
        pairs.push_back({group, "box end bevelled " + formatFixed(tilt, 0) + " degrees upward",
                         cut(box(), beyondPlane(gp_Pnt(95, 0, 0), normal))});
    }
    for (const double tilt : {25.0, 40.0}) {
        const gp_Dir normal(std::cos(degrees(tilt)), std::sin(degrees(tilt)), 0);
        pairs.push_back({group, "box end bevelled " + formatFixed(tilt, 0) + " degrees across",
                         cut(box(), beyondPlane(gp_Pnt(95, 0, 0), normal))});
    }
    const TopoDS_Shape bar = BRepPrimAPI_MakeBox(200, 20, 5).Shape();
    pairs.push_back({group, "thin bar end cut 85 degrees",
                     cut(bar, beyondPlane(gp_Pnt(195, 0, 0),
                                          gp_Dir(std::cos(degrees(85)), 0, std::sin(degrees(85)))))});
    const TopoDS_Shape chamfered =
        cut(box(), beyondPlane(gp_Pnt(88, 60, 20), gp_Dir(1, 1, 1))).after;
    // Legs of 13.5, 54 and 15 from the corner: the old chamfer's legs of 12 all cut away.
    pairs.push_back({group, "chamfered corner cut again 25 degrees",
                     cut(chamfered, beyondPlane(gp_Pnt(86.5, 60, 20), gp_Dir(1, 0.25, 0.9)))});

    // Symmetric parts moved, then cut: few faces are left alone to find the motion by, and they
    // look alike in several places; only the surfaces' frames tell which way the part went.
    const gp_Trsf motion = motions().back().second;
    const gp_Dir bevel(std::cos(degrees(20)), 0, std::sin(degrees(20)));
    const std::vector<std::tuple<std::string, TopoDS_Shape, gp_Pnt, gp_Dir>> cuts = {
        {"box, its end", box(), gp_Pnt(95, 0, 0), bevel},
        {"holes in a row, its end", holesInARow(), gp_Pnt(95, 0, 0), bevel},
        {"two holes, its end", twoHoles(), gp_Pnt(95, 0, 0), bevel},
        {"two holes, a corner", twoHoles(), gp_Pnt(90, 60, 20), gp_Dir(1, 1, 1)},
        {"flange, its rim", flange(), gp_Pnt(34, 0, 0), bevel},
    };
    for (const auto& [what, shape, at, normal] : cuts) {
        const Revision turned = moved(shape, motion);
        pairs.push_back({"moved, then cut", what + " cut",
                         then(turned, cut(turned.after, beyondPlane(at.Transformed(motion),
                                                                    normal.Transformed(motion))))});
    }
}

// Symmetric parts with one revision that the symmetry does not follow, and parts written again
// unchanged, in place and at an odd place and angle (where hardly a number is round) with 7
// and with 6 significant digits.
void addSymmetric(std::vector<RevisionPair>& pairs)
{
    const std::string revised = "symmetric part revised";
    const gp_Ax2 across(gp_Pnt(-6, 0, 40), gp::DX());
    pairs.push_back(
        {revised, "bolt drilled across its shank",
         cut(bolt(), BRepPrimAPI_MakeCylinder(across, 1.5, 12).Shape())});
    pairs.push_back({revised, "flange with a seventh hole",
                     cut(flange(), cylinder(28 * std::cos(M_PI / 6), 14, -1, 3, 14))});
    pairs.push_back({revised, "flange with a keyway in its bore",
                     cut(flange(), BRepPrimAPI_MakeBox(gp_Pnt(8, -2, -1), 4, 4, 14).Shape())});
    pairs.push_back({revised, "channel bracket drilled off its middle",
                     cut(channelBracket(), cylinder(40, 10, -1, 3, 8))});
    pairs.push_back(
        {revised, "channel bracket with a notch in one upright",
         cut(channelBracket(), BRepPrimAPI_MakeBox(gp_Pnt(-1, 15, 25), 8, 10, 6).Shape())});

    gp_Trsf odd;
    odd.SetRotation(gp_Ax1(gp::Origin(), gp_Dir(1, 2, 3)), 0.3);
    odd.SetTranslationPart(gp_Vec(12.3456789, -3.21, 0.77));
    const std::vector<std::pair<std::string, TopoDS_Shape>> parts = {
        {"bolt", bolt()},
        {"flange", flange()},
        {"channel bracket", channelBracket()},
        {"box", box()},
        {"bracket", bracket()},
        {"holes in a row", holesInARow()},
    };
    // Planar parts written again by an exporter that frames their surfaces anew.
    const TopoDS_Shape slotted =
        cut(box(), BRepPrimAPI_MakeBox(gp_Pnt(-1, 25, 14), 102, 10, 7).Shape()).after;
    for (const auto& [part, shape] : {std::pair{"box", box()}, std::pair{"slotted box", slotted}}) {
        pairs.push_back({"written again", std::string(part) + ", framed anew", reframed(shape)});
    }
    for (const auto& [part, shape] : parts) {
        pairs.push_back({"written again", part + ", all digits", {shape, shape, nullptr, {}, {}}});
        const TopoDS_Shape placed = shape.Moved(TopLoc_Location(odd));
        for (const int digits : {7, 6}) {
            pairs.push_back({"written again",
                             part + ", at an odd place, " + std::to_string(digits) + " digits",
                             {placed, placed, nullptr, {}, {}},
                             digits});
        }
    }
}

} // namespace

std::vector<RevisionPair> makeRevisionPairs()
{
    std::vector<RevisionPair> pairs;
    const TopoDS_Shape notched =
        cut(cut(box(), BRepPrimAPI_MakeBox(gp_Pnt(90, 50, 10), 20, 20, 20).Shape()).after,
            BRepPrimAPI_MakeBox(gp_Pnt(-1, 25, 14), 40, 10, 7).Shape())
            .after;
    TopoDS_Shape grid = BRepPrimAPI_MakeBox(80, 60, 5).Shape();
    for (int i = 0; i < 4; ++i) {
        for (int j = 0; j < 3; ++j)
            grid = cut(grid, cylinder(10 + 20 * i, 10 + 20 * j, -1, 3, 7)).after;
    }
    addMoved(pairs, "drilled box", cut(box(), cylinder(30, 20, -1, 6, 22)).after, false);
    addMoved(pairs, "bracket", bracket(), false);
    addMoved(pairs, "notched box", notched, false);
    addMoved(pairs, "box", box(), false);
    addMoved(pairs, "holes in a row", holesInARow(), false);
    addMoved(pairs, "two holes", twoHoles(), false);
    addMoved(pairs, "plate with a grid of holes", grid, false);
    addMoved(pairs, "bolt", bolt(), false);
    addMoved(pairs, "flange", flange(), false);
    addMoved(pairs, "channel bracket", channelBracket(), false);
    addMoved(pairs, "box", box(), true);
    addMoved(pairs, "notched box", notched, true);
    const std::string changed = "changed dimension";
    pairs.push_back({changed, "plate 20 -> 22 thick", rebuilt(plateBuild(20), plateBuild(22))});
    pairs.push_back({changed, "plate 20 -> 14 thick", rebuilt(plateBuild(20), plateBuild(14))});
    pairs.push_back({changed, "hole radius 5 -> 6", rebuilt(holeBuild(5), holeBuild(6))});
    pairs.push_back({changed, "hole radius 6 -> 3", rebuilt(holeBuild(6), holeBuild(3))});
    pairs.push_back({changed, "fillet radius 5 -> 6", rebuilt(filletBuild(5), filletBuild(6))});
    pairs.push_back({changed, "fillet radius 8 -> 3", rebuilt(filletBuild(8), filletBuild(3))});
    pairs.push_back({changed, "boss 10 -> 15 high", rebuilt(bossBuild(10), bossBuild(15))});
    pairs.push_back({changed, "boss 10 -> 4 high", rebuilt(bossBuild(10), bossBuild(4))});
    pairs.push_back({changed, "slot 10 -> 12 wide", rebuilt(slotBuild(10), slotBuild(12))});
    pairs.push_back({changed, "slot 10 -> 6 wide", rebuilt(slotBuild(10), slotBuild(6))});
    pairs.push_back(
        {changed, "one of two holes 6 -> 7", rebuilt(twoHolesBuild(6), twoHolesBuild(7))});
    pairs.push_back(
        {changed, "bracket bolt hole 4 -> 5", rebuilt(bracketBuild(4, 6), bracketBuild(5, 6))});
    pairs.push_back(
        {changed, "bracket fillet 6 -> 9", rebuilt(bracketBuild(4, 6), bracketBuild(4, 9))});
    pairs.push_back({changed, "end bevel 30 -> 36 degrees", rebuilt(bevelBuild(30), bevelBuild(36))});
    addCuts(pairs);
    addSymmetric(pairs);
    return pairs;
}

std::vector<RevisionPair> makeModelPairs(const TopoDS_Shape& model, const std::string& name)
{
    const gp_Trsf motion = motions().back().second;
    const Revision turned = moved(model, motion);
    return {{"moved", name + ", turned and shifted", turned},
            {"moved", name + ", moved and drilled",
             then(turned, cut(turned.after, drillThrough(model, motion)))}};
}
