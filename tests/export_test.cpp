// End to end: models made here with OCCT, written as STEP, turned into face files by the real
// tool, and every face file checked against an independent walk of the same model.
#include "test_support.hpp"

#include "intake/dataset_inputs.hpp"
#include "model/face_export.hpp"

#include <fstream>
#include <regex>

#include <BRepAdaptor_Surface.hxx>
#include <BRepGProp.hxx>
#include <BRepPrimAPI_MakeBox.hxx>
#include <BRepPrimAPI_MakeCylinder.hxx>
#include <BRepTools.hxx>
#include <BRep_Builder.hxx>
#include <GProp_GProps.hxx>
#include <IFSelect_ReturnStatus.hxx>
#include <STEPControl_Reader.hxx>
#include <STEPControl_Writer.hxx>
#include <TopExp_Explorer.hxx>
#include <TopoDS.hxx>
#include <TopoDS_Compound.hxx>
#include <gp_Pnt.hxx>

namespace fs = std::filesystem;

class ExportTest : public TempDirTest {};

namespace {

std::vector<TopoDS_Shape> faceVisits(const TopoDS_Shape& shape)
{
    std::vector<TopoDS_Shape> faces;
    for (TopExp_Explorer it(shape, TopAbs_FACE); it.More(); it.Next()) {
        faces.push_back(it.Current().Composed(shape.Orientation()));
    }
    return faces;
}

// Face files hold new copies of the geometry, so a face is recognised by what it is: surface
// type, area, centre of mass and orientation.
void expectSameFace(const TopoDS_Shape& expected, const fs::path& faceFile)
{
    TopoDS_Shape written;
    BRep_Builder builder;
    ASSERT_TRUE(BRepTools::Read(written, faceFile.c_str(), builder)) << faceFile;
    ASSERT_EQ(written.ShapeType(), TopAbs_FACE) << faceFile;
    EXPECT_EQ(written.Orientation(), expected.Orientation()) << faceFile;
    EXPECT_EQ(BRepAdaptor_Surface(TopoDS::Face(written)).GetType(),
              BRepAdaptor_Surface(TopoDS::Face(expected)).GetType())
        << faceFile;
    GProp_GProps writtenProps, expectedProps;
    BRepGProp::SurfaceProperties(written, writtenProps);
    BRepGProp::SurfaceProperties(expected, expectedProps);
    EXPECT_NEAR(writtenProps.Mass(), expectedProps.Mass(), 1e-6) << faceFile;
    EXPECT_LT(writtenProps.CentreOfMass().Distance(expectedProps.CentreOfMass()), 1e-6)
        << faceFile;
}

TopoDS_Shape box(double x = 0)
{
    return BRepPrimAPI_MakeBox(gp_Pnt(x, 0, 0), 10, 20, 30).Shape();
}

std::string faceName(int n)
{
    return "face" + std::to_string(n) + ".brep";
}

// What data/ holds after a run that wrote `faces`, and its record when `recorded`.
std::vector<std::string> dataNamesWith(const std::vector<int>& faces, bool recorded = true)
{
    std::vector<std::string> names{"address.txt", "force", "restraint"};
    if (recorded) names.insert(names.end(), {"last-run-model.tsv", "last-run.tsv"});
    for (const int n : faces) names.push_back(faceName(n));
    std::sort(names.begin(), names.end());
    return names;
}

} // namespace

// The listed faces, each once, and nothing else; the order of the lists does not matter.
TEST_F(ExportTest, WritesExactlyTheListedFaces)
{
    const TopoDS_Shape model = box();
    writeStepModel(model, dir / "box.step");
    makeDataset(dir / "a", (dir / "box.step").string(), "5 0 0\n3 0 0\n3.0 1 1\n",
                "1 0 0 0 0 0 0\n3 0 0 0 0 0 0\n");
    makeDataset(dir / "b", (dir / "box.step").string(), "1 0 0 3 0 0\n",
                "5 0 0 0 0 0 0\n");

    const ToolRun run = runTool({(dir / "a").string()});
    EXPECT_EQ(run.exitStatus, 0) << run.err;
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.out.find('\x1b'), std::string::npos) << "colour escapes in a pipe";
    ASSERT_EQ(listNames(dir / "a" / "data"), dataNamesWith({1, 3, 5}));

    // Numbered in an independent walk of what the reader gives back for the same file.
    STEPControl_Reader reader;
    ASSERT_EQ(reader.ReadFile((dir / "box.step").c_str()), IFSelect_RetDone);
    reader.TransferRoots();
    const std::vector<TopoDS_Shape> faces = faceVisits(reader.OneShape());
    ASSERT_EQ(faces.size(), 6u);
    for (const int n : {1, 3, 5}) {
        expectSameFace(faces[n - 1], dir / "a" / "data" / faceName(n));
        // Byte for byte what the library's own file writer gives for that face.
        ASSERT_TRUE(BRepTools::Write(faces[n - 1], (dir / "expected.brep").c_str()));
        EXPECT_EQ(readFile(dir / "a" / "data" / faceName(n)), readFile(dir / "expected.brep"))
            << n;
    }

    ASSERT_EQ(runTool({(dir / "b").string()}).exitStatus, 0);
    for (const int n : {1, 3, 5}) {
        EXPECT_EQ(readFile(dir / "a" / "data" / faceName(n)),
                  readFile(dir / "b" / "data" / faceName(n)))
            << n;
    }
}

// Only the last shape of a transfer is numbered: here a cylinder (3 faces) after a box.
TEST_F(ExportTest, NumbersTheLastTransferredShapeOnly)
{
    STEPControl_Writer writer;
    ASSERT_EQ(writer.Transfer(box(), STEPControl_AsIs), IFSelect_RetDone);
    const TopoDS_Shape cylinder = BRepPrimAPI_MakeCylinder(5, 10).Shape();
    ASSERT_EQ(writer.Transfer(cylinder, STEPControl_AsIs), IFSelect_RetDone);
    ASSERT_EQ(writer.Write((dir / "two.step").c_str()), IFSelect_RetDone);
    makeDataset(dir, (dir / "two.step").string(), "1 0 0 2 0 0 3 0 0\n", "");

    const ToolRun run = runTool({dir.string()});
    EXPECT_EQ(run.exitStatus, 0) << run.err;
    EXPECT_EQ(listNames(dir / "data"), dataNamesWith({1, 2, 3}));
    const std::vector<TopoDS_Shape> faces = faceVisits(cylinder);
    for (const int n : {1, 2, 3}) expectSameFace(faces[n - 1], dir / "data" / faceName(n));
}

// Entries that select no face are named one per line, the selected faces are still written.
TEST_F(ExportTest, ReportsEntriesThatSelectNoFace)
{
    writeStepModel(box(), dir / "box.step");
    makeDataset(dir, (dir / "box.step").string(), "0 0 0\n2 0 0\n-1 0 0\n2.5 0 0\n",
                "7 0 0 0 0 0 0\n");
    const ToolRun run = runTool({dir.string()});
    EXPECT_EQ(run.exitStatus, 1);
    EXPECT_EQ(run.err,
              "tarnfold: error: force list entry 0 selects no face: the model has 6 faces\n"
              "tarnfold: error: force list entry -1 selects no face: the model has 6 faces\n"
              "tarnfold: error: force list entry 2.5 selects no face: the model has 6 faces\n"
              "tarnfold: error: restraint list entry 7 selects no face: the model has 6 faces\n");
    EXPECT_EQ(listNames(dir / "data"), dataNamesWith({2}));

    // A long list of stray entries names the first 20 and counts the rest, list by list.
    std::string stray;
    for (int n = 101; n <= 125; ++n) stray += std::to_string(n) + " 0 0\n";
    writeFile(dir / "data" / "force" / "loads.txt", stray + "2 0 0\n");
    const ToolRun flood = runTool({dir.string()});
    EXPECT_EQ(flood.exitStatus, 1);
    std::string expected;
    for (int n = 101; n <= 120; ++n) {
        expected += "tarnfold: error: force list entry " + std::to_string(n) +
                    " selects no face: the model has 6 faces\n";
    }
    expected += "tarnfold: error: 5 more force list entries select no face\n"
                "tarnfold: error: restraint list entry 7 selects no face: the model has 6 faces\n";
    EXPECT_EQ(flood.err, expected);
}

// Faces of a compound are numbered through both solids; a face listed twice is written once.
TEST_F(ExportTest, CompoundAndReversedModels)
{
    TopoDS_Compound compound;
    BRep_Builder builder;
    builder.MakeCompound(compound);
    builder.Add(compound, box());
    builder.Add(compound, box(50));

    for (const TopoDS_Shape& model : {TopoDS_Shape(compound), compound.Reversed()}) {
        const fs::path root = dir / (model.Orientation() == TopAbs_REVERSED ? "rev" : "fwd");
        fs::create_directories(root / "data");
        DatasetInputs inputs;
        inputs.forceFaces = {2, 8, 8};
        inputs.restraintFaces = {12, 2};
        EXPECT_TRUE(exportFaceFiles(model, inputs, root).empty());
        EXPECT_EQ(listNames(root / "data"),
                  (std::vector<std::string>{faceName(12), faceName(2), faceName(8)}));
        // On a reversed model the model's orientation is composed onto what the explorer gives.
        const std::vector<TopoDS_Shape> faces = faceVisits(model);
        for (const int n : {2, 8, 12}) expectSameFace(faces[n - 1], root / "data" / faceName(n));
    }
    // Spelled out: a face the explorer reports FORWARD in a REVERSED model is written REVERSED.
    const TopoDS_Shape reversed = compound.Reversed();
    TopExp_Explorer explorer(reversed, TopAbs_FACE);
    for (int n = 1; n < 8; ++n) explorer.Next();
    TopoDS_Shape written;
    ASSERT_TRUE(BRepTools::Read(written, (dir / "rev" / "data" / faceName(8)).c_str(), builder));
    EXPECT_EQ(written.Orientation(), TopAbs::Reverse(explorer.Current().Orientation()));
    EXPECT_TRUE(exportFaceFiles(TopoDS_Shape(), DatasetInputs(), dir).empty());
}

// An old face file is replaced; a symbolic link at the name is replaced, never followed.
TEST_F(ExportTest, ReplacesFilesAndLinksWithoutFollowing)
{
    writeStepModel(box(), dir / "box.step");
    makeDataset(dir, (dir / "box.step").string(), "1 0 0 2 0 0\n", "");
    writeFile(dir / "data" / faceName(1), "old content\n");
    writeFile(dir / "target.txt", "keep me\n");
    fs::create_symlink(dir / "target.txt", dir / "data" / faceName(2));

    const ToolRun run = runTool({dir.string()});
    EXPECT_EQ(run.exitStatus, 0) << run.err;
    EXPECT_EQ(readFile(dir / "target.txt"), "keep me\n");
    EXPECT_FALSE(fs::is_symlink(dir / "data" / faceName(2)));
    for (const int n : {1, 2}) {
        EXPECT_EQ(readFile(dir / "data" / faceName(n)).rfind("DBRep_DrawableShape", 0), 0u) << n;
    }
}

// A face file that cannot be written is reported; the others are written and nothing is left
// half-done. A directory at the name stops a write even for root.
TEST_F(ExportTest, ReportsAFailedWriteAndLeavesNoTemporary)
{
    writeStepModel(box(), dir / "box.step");
    makeDataset(dir, (dir / "box.step").string(), "1 0 0 2 0 0 3 0 0\n", "");
    fs::create_directories(dir / "data" / faceName(2) / "inside");

    const ToolRun run = runTool({dir.string()});
    EXPECT_EQ(run.exitStatus, 1);
    EXPECT_TRUE(std::regex_match(run.err, std::regex("tarnfold: error: cannot write '" +
                                                     (dir / "data" / faceName(2)).string() +
                                                     "': .+\n")))
        << run.err;
    EXPECT_EQ(listNames(dir / "data"), dataNamesWith({1, 2, 3}));
    EXPECT_TRUE(fs::is_directory(dir / "data" / faceName(2) / "inside"));
}

// A model that cannot be read fails the run with one line and writes nothing.
TEST_F(ExportTest, UnreadableModelFailsTheRun)
{
    writeFile(dir / "not-step.step", "hello\n");
    writeFile(dir / "empty.step", "");
    struct Case {
        std::string address;
        std::string error;
    };
    const std::string root = dir.string();
    const std::vector<Case> cases = {
        {(dir / "missing.step").string() + "\n",
         "cannot read STEP model '" + root + "/missing.step': No such file or directory"},
        {(dir / "not-step.step").string(), "cannot read STEP model '" + root + "/not-step.step'"},
        {(dir / "empty.step").string(), "cannot read STEP model '" + root + "/empty.step'"},
        {" \n", "no STEP model named: '" + root + "/data/address.txt' is missing or holds no word"},
    };
    for (const Case& c : cases) {
        makeDataset(dir, "", "1 0 0\n", "");
        writeFile(dir / "data" / "address.txt", c.address);
        const ToolRun run = runTool({root});
        EXPECT_EQ(run.exitStatus, 1) << c.address;
        EXPECT_EQ(run.err.rfind("tarnfold: error: " + c.error, 0), 0u) << run.err;
        EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
        EXPECT_EQ(listNames(dir / "data"), dataNamesWith({}, false)) << c.address;
    }
}

// A face whose bound is missing from the file makes the library meet a null entity in the
// transfer; with its signal handling installed that is a check message, not a crash.
TEST_F(ExportTest, DamagedModelDoesNotCrash)
{
    writeStepModel(box(), dir / "box.step");
    std::string text = readFile(dir / "box.step");
    const std::smatch bound = [&] {
        std::smatch match;
        EXPECT_TRUE(std::regex_search(text, match, std::regex("#[0-9]+ = FACE_(OUTER_)?BOUND[^;]*;\n")));
        return match;
    }();
    text.erase(static_cast<std::size_t>(bound.position(0)), static_cast<std::size_t>(bound.length(0)));
    writeFile(dir / "damaged.step", text);
    makeDataset(dir, (dir / "damaged.step").string(), "1 0 0\n", "");

    const ToolRun run = runTool({dir.string()});
    EXPECT_EQ(run.signal, 0) << run.out;
    EXPECT_EQ(run.exitStatus, 1) << run.err;
}
