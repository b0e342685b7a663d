// tarnfold-faces --since: two revisions of a model made here with OCCT's modelling algorithms,
// written to STEP and read back by the command. What became of each face is what the
// algorithm's own history records, not what the matcher makes of the geometry.
#include "revisions.hpp"
#include "match/face_sampling.hpp"
#include "match/revision_match.hpp"
#include "test_support.hpp"

#include <BRepBuilderAPI_MakeEdge.hxx>
#include <BRepGProp.hxx>
#include <BRepPrimAPI_MakeBox.hxx>
#include <BRepPrimAPI_MakeCylinder.hxx>
#include <GProp_GProps.hxx>
#include <BRep_Builder.hxx>
#include <TopLoc_Location.hxx>
#include <TopoDS_Compound.hxx>
#include <TopoDS_Edge.hxx>

#include <algorithm>
#include <tuple>

namespace fs = std::filesystem;

class FollowTest : public TempDirTest {};

// Every answer, for revisions whose history the modelling algorithms keep: the same faces in
// another order, a drilled hole, a fillet, a slot across the top, a boss, a corner cut away,
// two identical holes (each its own, not its mirror image), two coplanar faces made one.
TEST_F(FollowTest, TableFollowsTheHistory)
{
    const std::vector<std::pair<std::string, Revision>> cases = {
        {"reordered", reordered(cut(box(), cylinder(30, 30, -1, 6, 22)).after)},
        {"drilled", cut(box(), cylinder(30, 30, -1, 6, 22))},
        {"filleted", filleted(box())},
        {"slot", cut(box(), BRepPrimAPI_MakeBox(gp_Pnt(-1, 25, 14), 102, 10, 7).Shape())},
        {"boss", fuse(box(), cylinder(50, 30, 20, 8, 10))},
        {"corner", cut(box(), BRepPrimAPI_MakeBox(gp_Pnt(90, 50, 10), 20, 20, 20).Shape())},
        {"two holes", cut(twoHoles(), cylinder(50, 12, -1, 3, 22))},
        {"merged", unified()},
    };
    for (const auto& [name, revision] : cases) {
        SCOPED_TRACE(name);
        const std::vector<Truth> truths = truthOf(revision);
        ToolRun run;
        const std::vector<TableRow> rows = sinceRun(revision, dir / name, run);
        expectTruth(rows, truths, run);
    }
}

// The new revision from an exporter that writes 7 significant digits, the old one with all of
// them, and the part at an odd place and angle, so that hardly a number is round: the faces are
// still the same, within the tolerance that the models' size and their own tolerances give.
TEST_F(FollowTest, FewerDigitsFromAnotherExporter)
{
    gp_Trsf place;
    place.SetRotation(gp_Ax1(gp::Origin(), gp_Dir(1, 2, 3)), 0.3);
    place.SetTranslationPart(gp_Vec(12.3456789, -3.21, 0.77));
    const std::vector<std::pair<std::string, Revision>> cases = {
        {"drilled", cut(box(), cylinder(30, 30, -1, 6, 22))},
        {"filleted", filleted(box())},
        {"slot", cut(box(), BRepPrimAPI_MakeBox(gp_Pnt(-1, 25, 14), 102, 10, 7).Shape())},
    };
    for (const auto& [name, revision] : cases) {
        SCOPED_TRACE(name);
        const std::vector<Truth> truths = truthOf(revision);
        const Revision placed{revision.before.Moved(TopLoc_Location(place)),
                              revision.after.Moved(TopLoc_Location(place)), nullptr, {}, {}};
        writeRevisions(placed, dir / name);
        const fs::path newModel = dir / name / "new.step";
        const std::string full = readFile(newModel);
        writeFile(newModel, roundReals(full, 7));
        ASSERT_NE(readFile(newModel), full);
        const ToolRun run = runBinary(TARNFOLD_FACES_BINARY, {"--model", newModel.string(),
                                                              "--since",
                                                              (dir / name / "old.step").string()});
        expectTruth(parseTable(run.out), truths, run);
    }
}

// A solid that the model holds twice is visited twice: each visit of an old face answers for
// itself, with the new visit of the same rank. (STEP files written here hold two copies rather
// than one solid twice, so the matching is called on the shapes themselves.)
TEST_F(FollowTest, FacesVisitedTwice)
{
    const auto twice = [](const TopoDS_Shape& solid) {
        BRep_Builder builder;
        TopoDS_Compound compound;
        builder.MakeCompound(compound);
        builder.Add(compound, solid);
        builder.Add(compound, solid);
        return TopoDS_Shape(compound);
    };
    const Revision revision = cut(box(), cylinder(30, 30, -1, 6, 22));
    const std::vector<SampledFace> oldFaces = sampleModelFaces(twice(revision.before));
    ASSERT_EQ(oldFaces.size(), 6u);
    EXPECT_EQ(oldFaces[0].visits, (std::vector<int>{1, 7}));
    const std::vector<FaceMatch> matches =
        matchRevisions(oldFaces, sampleModelFaces(twice(revision.after)));
    const std::vector<Truth> once = truthOf(revision);
    ASSERT_EQ(matches.size(), 12u);
    for (std::size_t i = 0; i < matches.size(); ++i) {
        const Truth& truth = once[i % 6];
        const int offset = i < 6 ? 0 : 7; // the drilled box has 7 faces
        EXPECT_EQ(matches[i].oldNumber, int(i) + 1);
        EXPECT_EQ(matchKindName(matches[i].kind), truth.kind) << "face " << i + 1;
        EXPECT_EQ(matches[i].newNumbers, std::vector<int>{truth.numbers.front() + offset})
            << "face " << i + 1;
    }
}

// A revision that cannot be read, or holds no face, is an error of its own, on either side: one
// line naming the file and why, exit 1, and no table whose every row would only seem gone.
TEST_F(FollowTest, UnusableRevision)
{
    const fs::path good = dir / "good.step";
    writeStepModel(box(), good);
    writeFile(dir / "empty.step", "");
    writeFile(dir / "text.step", "not a model\n");
    writeStepModel(BRepBuilderAPI_MakeEdge(gp_Pnt(0, 0, 0), gp_Pnt(10, 0, 0)).Edge(),
                   dir / "edge.step");
    fs::create_directory(dir / "folder.step");
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"missing.step", "cannot read STEP model '" + (dir / "missing.step").string() +
                             "': No such file or directory"},
        {"folder.step", "cannot read STEP model '" + (dir / "folder.step").string() + "': "},
        {"empty.step", "cannot read STEP model '" + (dir / "empty.step").string() + "': "},
        {"text.step", "cannot read STEP model '" + (dir / "text.step").string() + "': "},
        {"edge.step", "cannot read STEP model '" + (dir / "edge.step").string() +
                          "': the last shape of its transfer has no face"},
    };
    for (const auto& [name, line] : cases) {
        for (const bool asOld : {true, false}) {
            SCOPED_TRACE(name + (asOld ? " as the old revision" : " as the new revision"));
            const fs::path bad = dir / name;
            const ToolRun run = runBinary(
                TARNFOLD_FACES_BINARY, {"--model", (asOld ? good : bad).string(), "--since",
                                        (asOld ? bad : good).string()});
            EXPECT_EQ(run.exitStatus, 1) << run.err;
            EXPECT_EQ(run.out, "");
            std::vector<std::string> errors;
            std::istringstream lines(run.err);
            for (std::string text; std::getline(lines, text);) {
                if (text.rfind("tarnfold-faces: error: ", 0) == 0) errors.push_back(text);
            }
            ASSERT_EQ(errors.size(), 1u) << run.err;
            EXPECT_EQ(errors[0].find("tarnfold-faces: error: " + line), 0u) << errors[0];
        }
    }
}
