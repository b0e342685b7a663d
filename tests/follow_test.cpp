// tarnfold-faces --since: two revisions of a model made here with OCCT's modelling algorithms,
// written to STEP and read back by the command. What became of each face is what the
// algorithm's own history records, not what the matcher makes of the geometry.
#include "revisions.hpp"
#include "follow/face_sampling.hpp"
#include "follow/revision_match.hpp"
#include "test_support.hpp"

#include <BRepGProp.hxx>
#include <BRepPrimAPI_MakeBox.hxx>
#include <BRepPrimAPI_MakeCylinder.hxx>
#include <GProp_GProps.hxx>
#include <BRep_Builder.hxx>
#include <TopLoc_Location.hxx>
#include <TopoDS_Compound.hxx>

#include <cctype>
#include <cstdio>
#include <cstring>

namespace fs = std::filesystem;

class FollowTest : public TempDirTest {};

namespace {

// Writes both revisions and runs the command on them; one row per old face.
std::vector<TableRow> compareRevisions(const Revision& revision, const fs::path& dir,
                                       ToolRun& run)
{
    writeRevisions(revision, dir);
    run = runBinary(TARNFOLD_FACES_BINARY, {"--model", (dir / "new.step").string(), "--since",
                                            (dir / "old.step").string()});
    return parseTable(run.out);
}

// The table must say what the history says, row for row; exit 0 only when nothing is gone.
void expectTruth(const std::vector<TableRow>& rows, const std::vector<Truth>& truths,
                 const ToolRun& run)
{
    ASSERT_EQ(rows.size(), truths.size()) << run.out << run.err;
    bool allCertain = true;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const TableRow& row = rows[i];
        const Truth& truth = truths[i];
        EXPECT_EQ(row.at("old"), std::to_string(i + 1));
        EXPECT_EQ(row.at("match"), truth.kind) << "face " << i + 1 << ": " << row.at("reason");
        EXPECT_EQ(row.at("new"), joined(truth.numbers)) << "face " << i + 1;
        allCertain = allCertain && truth.kind != "gone";
    }
    EXPECT_EQ(run.exitStatus, allCertain ? 0 : 1) << run.err;
}

// STEP text with every real number cut to `digits` significant digits, as an exporter that
// writes fewer digits would write the same geometry. Quoted text is left alone.
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

} // namespace

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
        const std::vector<TableRow> rows = compareRevisions(revision, dir / name, run);
        expectTruth(rows, truths, run);
    }
}

// A model moved as a whole: matching by place would find faces where others were (the holes of
// a row shifted by their pitch land on each other), so nothing may be certain.
TEST_F(FollowTest, MovedModelHasNoCertainAnswer)
{
    const std::vector<std::pair<std::string, Revision>> cases = {
        {"moved", moved(cut(box(), cylinder(30, 30, -1, 6, 22)).after, gp_Vec(7, 3, 0))},
        {"along itself", moved(box(), gp_Vec(5, 0, 0))},
        {"by the pitch", moved(holesInARow(), gp_Vec(20, 0, 0))},
    };
    for (const auto& [name, revision] : cases) {
        SCOPED_TRACE(name);
        ToolRun run;
        const std::vector<TableRow> rows = compareRevisions(revision, dir / name, run);
        ASSERT_EQ(rows.size(), truthOf(revision).size()) << run.out << run.err;
        for (const TableRow& row : rows) {
            EXPECT_TRUE(row.at("match") == "gone" || row.at("match") == "unsure")
                << "face " << row.at("old") << ": " << row.at("match") << " " << row.at("new");
            EXPECT_EQ(row.at("new"), "-");
        }
        EXPECT_EQ(run.exitStatus, 1);
        EXPECT_NE(run.err.find("tarnfold-faces: note: "), std::string::npos) << run.err;
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
                              revision.after.Moved(TopLoc_Location(place)), nullptr};
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
