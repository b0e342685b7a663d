// tarnfold-faces --since on revisions that move the model or change a dimension: a part moved
// as a whole, a symmetric one, one whose surfaces another CAD system framed anew, a hole made
// wider, a plate made thicker. The truth is what the modelling algorithms record.
#include "revisions.hpp"

#include <algorithm>
#include <tuple>

#include <BRepPrimAPI_MakeBox.hxx>

namespace fs = std::filesystem;

class FollowChangesTest : public TempDirTest {};

// A model moved as a whole is matched through the motion, which a note names: shifted, turned,
// both, moved and drilled, a row of holes shifted by its pitch (where three holes of the old
// row stand where others were), a symmetric part turned onto itself (its surfaces' parameters
// turned with it tell which way it went).
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
// different places: a box shifted, a box turned onto itself. A part of one fit alone is still
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
    const std::string inPlace = "tarnfold-faces: note: the part fits the new revision in 4 ways, "
                                "where it was and turned or shifted onto itself (it is symmetric, "
                                "or has equal features in a row); faces that those ways put in "
                                "different places are unsure\n";
    const std::vector<std::tuple<std::string, Revision, bool, std::string>> cases = {
        {"box shifted", reframedMove(box(), shift), false, moved},
        {"box turned onto itself", reframedMove(box(), half), false, inPlace},
        {"notched box moved", reframedMove(notched, oblique), true,
         "tarnfold-faces: note: the new revision is the old one moved as a whole: turned by "},
    };
    for (const auto& [name, revision, followed, note] : cases) {
        SCOPED_TRACE(name);
        ToolRun run;
        const std::vector<TableRow> rows = sinceRun(revision, dir / name, run);
        const std::vector<Truth> truths = truthOf(revision);
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
        EXPECT_NE(run.err.find(note), std::string::npos) << run.err;
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
