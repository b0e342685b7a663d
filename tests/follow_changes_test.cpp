// tarnfold-faces --since on revisions that move the model or change a dimension: a part moved
// as a whole, a symmetric one, one whose surfaces another CAD system framed anew, a hole made
// wider, a plate made thicker, a face cut away; and unchanged parts written again. The truth is
// what the modelling algorithms record.
#include "revisions.hpp"

#include <algorithm>
#include <cmath>
#include <tuple>

#include <BRepPrimAPI_MakeBox.hxx>
#include <TopLoc_Location.hxx>

namespace fs = std::filesystem;

class FollowChangesTest : public TempDirTest {};

// A model moved as a whole is matched through the motion, which a note names: shifted, turned,
// both, moved and drilled, a row of holes shifted by its pitch (where three holes of the old
// row stand where others were), a symmetric part turned onto itself (its surfaces' parameters
// turned with it tell which way it went), a symmetric part moved and a corner cut off (the few
// faces left alone look alike in several places: its turns onto itself find the other ways).
TEST_F(FollowChangesTest, MovedModels)
{
    const TopoDS_Shape drilled = cut(box(), cylinder(30, 20, -1, 6, 22)).after;
    gp_Trsf quarter, oblique, half;
    quarter.SetRotation(gp::OZ(), M_PI / 2);
    quarter.SetTranslationPart(gp_Vec(10, 0, 0));
    oblique.SetRotation(gp_Ax1(gp_Pnt(3, -2, 1), gp_Dir(1, 2, 3)), 0.7);
    oblique.SetTranslationPart(gp_Vec(12.5, -40, 7));
    half.SetRotation(gp_Ax1(gp_Pnt(50, 30, 0), gp::DZ()), M_PI);
    const Revision movedBracket = moved(bracket(), oblique);
    const Revision movedHoles = moved(twoHoles(), oblique);
    const TopoDS_Shape corner =
        beyondPlane(gp_Pnt(90, 60, 20).Transformed(oblique), gp_Dir(1, 1, 1).Transformed(oblique));
    const std::vector<std::tuple<std::string, Revision, std::string>> cases = {
        {"shifted", moved(drilled, gp_Vec(7, 3, 0)), "moved by (7, 3, 0)"},
        {"turned", moved(drilled, quarter),
         "turned by 90 degrees about the axis (0, 0, 1) through the origin, then moved by "
         "(10, 0, 0)"},
        {"turned and shifted", moved(bracket(), oblique), "turned by 40.107"},
        {"moved and drilled",
         then(movedBracket, cut(movedBracket.after, cylinder(20, -30, -20, 3, 80))),
         "turned by 40.107"},
        {"by the pitch", moved(holesInARow(), gp_Vec(20, 0, 0)), "moved by (20, 0, 0)"},
        {"turned onto itself", moved(box(), half), "turned by 180 degrees"},
        {"moved, then a corner cut", then(movedHoles, cut(movedHoles.after, corner)),
         "turned by 40.107"},
    };
    for (const auto& [name, revision, motion] : cases) {
        SCOPED_TRACE(name);
        ToolRun run;
        const std::vector<TableRow> rows = sinceRun(revision, dir / name, run);
        expectTruth(rows, truthOf(revision), run);
        EXPECT_NE(run.err.find("tarnfold-faces: note: the new revision is the old one moved as a "
                               "whole: " + motion),
                  std::string::npos)
            << run.err;
    }
}

// When the surfaces' parameters do not tell (another CAD system wrote the new revision), a part
// that fits the new revision in several ways has no certain answer for a face those ways put in
// different places: a box shifted. A box turned onto itself is then the box written again, and
// the identity, which explains every face, is the answer. A part of one fit alone is still
// followed through its motion.
TEST_F(FollowChangesTest, MovedWithoutFrames)
{
    const TopoDS_Shape notched =
        cut(cut(box(), BRepPrimAPI_MakeBox(gp_Pnt(90, 50, 10), 20, 20, 20).Shape()).after,
            BRepPrimAPI_MakeBox(gp_Pnt(-1, 25, 14), 40, 10, 7).Shape())
            .after;
    gp_Trsf shift, half, oblique;
    shift.SetTranslation(gp_Vec(7, 3, 0));
    half.SetRotation(gp_Ax1(gp_Pnt(50, 30, 0), gp::DZ()), M_PI);
    oblique.SetRotation(gp_Ax1(gp_Pnt(3, -2, 1), gp_Dir(1, 2, 3)), 0.7);
    oblique.SetTranslationPart(gp_Vec(12.5, -40, 7));
    const auto reframedMove = [](const TopoDS_Shape& part, const gp_Trsf& motion) {
        const Revision first = moved(part, motion);
        return then(first, reframed(first.after));
    };
    const std::string moved = "tarnfold-faces: note: the new revision is the old one moved as a "
                              "whole, in one of 4 ways that fit it as well (the part is "
                              "symmetric, or has equal features in a row), one of them ";
    // The box's faces 1 to 6 lie on x = 0, x = 100, y = 0, y = 60, z = 0 and z = 20: the half
    // turn swaps the first two and the next two.
    const std::vector<Truth> inPlace = {{"same", {2}}, {"same", {1}}, {"same", {4}},
                                        {"same", {3}}, {"same", {5}}, {"same", {6}}};
    const std::vector<std::tuple<std::string, Revision, bool, std::string>> cases = {
        {"box shifted", reframedMove(box(), shift), false, moved},
        {"box turned onto itself", reframedMove(box(), half), true, ""},
        {"notched box moved", reframedMove(notched, oblique), true,
         "tarnfold-faces: note: the new revision is the old one moved as a whole: turned by "},
    };
    for (const auto& [name, revision, followed, note] : cases) {
        SCOPED_TRACE(name);
        ToolRun run;
        const std::vector<TableRow> rows = sinceRun(revision, dir / name, run);
        const std::vector<Truth> truths = note.empty() ? inPlace : truthOf(revision);
        ASSERT_EQ(rows.size(), truths.size()) << run.out << run.err;
        for (std::size_t i = 0; i < rows.size(); ++i) {
            const TableRow& row = rows[i];
            if (followed) {
                EXPECT_EQ(row.at("match"), truths[i].kind) << "face " << i + 1;
                EXPECT_EQ(row.at("new"), joined(truths[i].numbers)) << "face " << i + 1;
            } else {
                EXPECT_EQ(row.at("match"), "unsure") << "face " << i + 1;
                EXPECT_NE(row.at("reason").find("the part fits the new revision in 4 ways"),
                          std::string::npos)
                    << row.at("reason");
            }
        }
        EXPECT_EQ(run.exitStatus, followed ? 0 : 1) << run.err;
        if (note.empty()) {
            EXPECT_EQ(run.err.find("tarnfold-faces: note:"), std::string::npos) << run.err;
        } else {
            EXPECT_NE(run.err.find(note), std::string::npos) << run.err;
        }
    }
}

// An unchanged part written again is the same part, every face same, however symmetric: a bolt
// with all digits, a flange with equal holes on a circle and a channel bracket at an odd place
// and angle from exporters that write 7 and 6 significant digits, and a box from one that frames
// its surfaces anew (nothing but the identity then tells it from the box turned onto itself).
TEST_F(FollowChangesTest, WrittenAgainUnchanged)
{
    gp_Trsf odd;
    odd.SetRotation(gp_Ax1(gp::Origin(), gp_Dir(1, 2, 3)), 0.3);
    odd.SetTranslationPart(gp_Vec(12.3456789, -3.21, 0.77));
    const auto again = [](const TopoDS_Shape& shape) {
        return Revision{shape, shape, nullptr, {}, {}};
    };
    const std::vector<std::tuple<std::string, Revision, int>> cases = {
        {"bolt", again(bolt()), 0},
        {"flange", again(flange().Moved(TopLoc_Location(odd))), 7},
        {"channel bracket", again(channelBracket().Moved(TopLoc_Location(odd))), 6},
        {"box framed anew", reframed(box()), 0},
    };
    for (const auto& [name, revision, digits] : cases) {
        SCOPED_TRACE(name);
        writeRevisions(revision, dir / name);
        const fs::path newModel = dir / name / "new.step";
        if (digits > 0) writeFile(newModel, roundReals(readFile(newModel), digits));
        const ToolRun run = runBinary(TARNFOLD_FACES_BINARY, {"--model", newModel.string(),
                                                              "--since",
                                                              (dir / name / "old.step").string()});
        expectTruth(parseTable(run.out), truthOf(revision), run);
        EXPECT_EQ(run.err.find("tarnfold-faces: note:"), std::string::npos) << run.err;
    }
}

// A plane turned by tens of degrees is a face cut away and another made, not a dimension
// changed: the box's end cut off by a plane tilted 30 degrees from it, which removes that face
// whole and takes its place among the same neighbours, and a long thin bar's end cut 85 degrees
// from it, leave that face gone. A bevel whose angle changed by 6 degrees is reshaped.
TEST_F(FollowChangesTest, TurnedPlanes)
{
    const auto tilted = [](double x, double degrees) {
        const double angle = degrees * M_PI / 180;
        return beyondPlane(gp_Pnt(x, 0, 0), gp_Dir(std::cos(angle), 0, std::sin(angle)));
    };
    const std::vector<std::tuple<std::string, Revision, std::string>> cases = {
        {"end cut 30 degrees", cut(box(), tilted(95, 30)), "turned by 30 degrees"},
        {"thin end cut 85 degrees", cut(BRepPrimAPI_MakeBox(200, 20, 5).Shape(), tilted(195, 85)),
         "turned by 85 degrees"},
        {"bevel 30 -> 36 degrees", rebuilt(bevelBuild(30), bevelBuild(36)),
         "turned by 6 degrees"},
    };
    for (const auto& [name, revision, turn] : cases) {
        SCOPED_TRACE(name);
        ToolRun run;
        const std::vector<TableRow> rows = sinceRun(revision, dir / name, run);
        const std::vector<Truth> truths = truthOf(revision);
        expectTruth(rows, truths, run);
        int turned = 0;
        for (const TableRow& row : rows) {
            const std::string& reason = row.at("reason");
            if (reason.find(turn) == std::string::npos) continue;
            ++turned;
            EXPECT_EQ(reason.find("cut away") != std::string::npos, row.at("match") == "gone")
                << reason;
        }
        EXPECT_EQ(turned, 1) << run.out;
    }
}

// A changed dimension, each revision built from the same base with its own size: the face on
// the changed surface is reshaped into the face that took its place among the same neighbours,
// and the reason says what changed; every other face is answered as before.
TEST_F(FollowChangesTest, ChangedDimensions)
{
    const std::vector<std::tuple<std::string, Revision, std::string>> cases = {
        {"plate made thicker", rebuilt(plateBuild(20), plateBuild(22)),
         "offset 2 along the normal, area 5886.9 -> 5886.9"},
        {"hole made wider", rebuilt(holeBuild(5), holeBuild(6)),
         "radius 5 -> 6, area 628.319 -> 753.982"},
        {"fillet made larger", rebuilt(filletBuild(5), filletBuild(6)),
         "radius 5 -> 6, axis moved by 1.41421"},
        {"boss made taller", rebuilt(bossBuild(10), bossBuild(15)), "offset 5 along the normal"},
        {"slot made wider", rebuilt(slotBuild(10), slotBuild(12)), "offset -1 along the normal"},
        {"one of two holes made wider", rebuilt(twoHolesBuild(6), twoHolesBuild(7)),
         "radius 6 -> 7"},
    };
    for (const auto& [name, revision, reason] : cases) {
        SCOPED_TRACE(name);
        ToolRun run;
        const std::vector<TableRow> rows = sinceRun(revision, dir / name, run);
        const std::vector<Truth> truths = truthOf(revision);
        ASSERT_TRUE(std::any_of(truths.begin(), truths.end(),
                                [](const Truth& t) { return t.kind == "reshaped"; }));
        expectTruth(rows, truths, run);
        bool named = false;
        for (const TableRow& row : rows) {
            named = named || (row.at("match") == "reshaped" &&
                              row.at("reason").find(reason) != std::string::npos);
        }
        EXPECT_TRUE(named) << run.out;
    }
}

namespace {

// A bar with square holes of side 4 at x = 20, 40 and 60, then the first made wider (of side
// `first`) and, when `fourth`, a fourth at x = 80: the new bar looks like the old one turned
// end for end, its first hole, now at x = 80, kept as it was.
Revision squaresWidened(double first, bool fourth)
{
    const auto squares = [](double side, bool more) {
        Build build = startBuild(BRepPrimAPI_MakeBox(100, 20, 10).Shape());
        const auto square = [](double x, double s) {
            return BRepPrimAPI_MakeBox(gp_Pnt(x - s / 2, 10 - s / 2, -1), s, s, 12).Shape();
        };
        build = cutFrom(build, square(20, side));
        build = cutFrom(build, square(40, 4));
        build = cutFrom(build, square(60, 4));
        return more ? cutFrom(build, square(80, 4)) : build;
    };
    return rebuilt(squares(4, false), squares(first, fourth));
}

} // namespace

// A revision can make a part look turned onto itself: the first of three holes made wider and
// a fourth added make the bar look turned end for end. The surfaces' parameters show that it
// was not; framed anew, the faces that the turn would put elsewhere are unsure, never wrong.
// (The widened hole's walls are gone: each has another wall that moved beside it.)
TEST_F(FollowChangesTest, RevisionThatLooksTurned)
{
    for (const bool framedAnew : {false, true}) {
        SCOPED_TRACE(framedAnew ? "framed anew" : "as built");
        Revision revision = squaresWidened(6, true);
        if (framedAnew) revision.after = reframed(revision.after).after;
        ToolRun run;
        const std::vector<TableRow> rows = sinceRun(revision, dir / std::to_string(framedAnew), run);
        const std::vector<Truth> truths = truthOf(revision);
        ASSERT_EQ(rows.size(), truths.size()) << run.out << run.err;
        int unsure = 0;
        for (std::size_t i = 0; i < rows.size(); ++i) {
            const TableRow& row = rows[i];
            if (row.at("match") == "unsure") ++unsure;
            if (row.at("match") == "unsure" || row.at("match") == "gone") continue;
            EXPECT_EQ(row.at("match"), truths[i].kind) << "face " << i + 1 << row.at("reason");
            EXPECT_EQ(row.at("new"), joined(truths[i].numbers)) << "face " << i + 1;
        }
        EXPECT_EQ(unsure > 0, framedAnew) << run.out;
    }
}
