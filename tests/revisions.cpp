// The revisions of revision_pairs as STEP files that the commands read.
#include "revisions.hpp"

#include "test_support.hpp"

#include <BRepGProp.hxx>
#include <GProp_GProps.hxx>
#include <STEPControl_Reader.hxx>

#include <algorithm>
#include <map>

namespace fs = std::filesystem;

namespace {

// The history's face numbers hold for the files only if reading them back numbers the faces as
// the shapes in memory do.
void expectOrderKept(const TopoDS_Shape& shape, const fs::path& file)
{
    STEPControl_Reader reader;
    ASSERT_EQ(reader.ReadFile(file.c_str()), IFSelect_RetDone);
    reader.TransferRoots();
    const std::vector<TopoDS_Face> inMemory = numberedFaces(shape);
    const std::vector<TopoDS_Face> readBack = numberedFaces(reader.Shape(reader.NbShapes()));
    ASSERT_EQ(inMemory.size(), readBack.size()) << file;
    for (std::size_t i = 0; i < inMemory.size(); ++i) {
        GProp_GProps a, b;
        BRepGProp::SurfaceProperties(inMemory[i], a);
        BRepGProp::SurfaceProperties(readBack[i], b);
        EXPECT_LT(a.CentreOfMass().Distance(b.CentreOfMass()), 1e-6) << file << " face " << i + 1;
    }
}

} // namespace

void writeRevisions(const Revision& revision, const fs::path& dir)
{
    fs::create_directories(dir);
    writeStepModel(revision.before, dir / "old.step");
    writeStepModel(revision.after, dir / "new.step");
    expectOrderKept(revision.before, dir / "old.step");
    expectOrderKept(revision.after, dir / "new.step");
}

std::string joined(const std::vector<int>& numbers)
{
    std::string text;
    for (const int n : numbers) text += (text.empty() ? "" : ",") + std::to_string(n);
    return text.empty() ? "-" : text;
}

std::vector<TableRow> sinceRun(const Revision& revision, const fs::path& dir, ToolRun& run)
{
    writeRevisions(revision, dir);
    run = runBinary(TARNFOLD_FACES_BINARY, {"--model", (dir / "new.step").string(), "--since",
                                            (dir / "old.step").string()});
    return parseTable(run.out);
}

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
