// Revisions of a model made with OCCT's modelling algorithms, which record what became of
// every face.
#include "revisions.hpp"

#include "model/face_numbering.hpp"
#include "test_support.hpp"

#include <BRepAlgoAPI_Cut.hxx>
#include <BRepAlgoAPI_Fuse.hxx>
#include <BRepBuilderAPI_Transform.hxx>
#include <BRepFilletAPI_MakeFillet.hxx>
#include <BRepGProp.hxx>
#include <BRepPrimAPI_MakeCylinder.hxx>
#include <BRep_Builder.hxx>
#include <GProp_GProps.hxx>
#include <STEPControl_Reader.hxx>
#include <ShapeUpgrade_UnifySameDomain.hxx>
#include <TopExp_Explorer.hxx>
#include <TopoDS.hxx>
#include <TopoDS_Shell.hxx>
#include <TopoDS_Solid.hxx>

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

int numberOf(const std::vector<TopoDS_Face>& faces, const TopoDS_Shape& face)
{
    for (std::size_t i = 0; i < faces.size(); ++i) {
        if (faces[i].IsSame(face)) return int(i) + 1;
    }
    ADD_FAILURE() << "a face of the history is not in the new revision";
    return 0;
}

bool sameAreaAndCentre(const TopoDS_Face& a, const TopoDS_Face& b)
{
    GProp_GProps pa, pb;
    BRepGProp::SurfaceProperties(a, pa);
    BRepGProp::SurfaceProperties(b, pb);
    return std::abs(pa.Mass() - pb.Mass()) < 1e-6 &&
           pa.CentreOfMass().Distance(pb.CentreOfMass()) < 1e-6;
}

} // namespace

std::vector<Truth> truthOf(const Revision& revision)
{
    const std::vector<TopoDS_Face> before = numberedFaces(revision.before);
    const std::vector<TopoDS_Face> after = numberedFaces(revision.after);
    std::vector<Truth> truths;
    std::map<int, int> sources; // how many old faces became each new face
    for (const TopoDS_Face& face : before) {
        Truth truth{"same", {}};
        if (revision.history.IsNull() || revision.history->Modified(face).IsEmpty()) {
            if (!revision.history.IsNull() && revision.history->IsRemoved(face)) {
                truth.kind = "gone";
            } else {
                truth.numbers = {numberOf(after, face)};
            }
        } else {
            for (const TopoDS_Shape& image : revision.history->Modified(face)) {
                truth.numbers.push_back(numberOf(after, image));
            }
            std::sort(truth.numbers.begin(), truth.numbers.end());
            truth.kind = truth.numbers.size() > 1 ? "split" : "changed";
            // An algorithm may rebuild a face it leaves as it was, for new edges around it.
            if (truth.kind == "changed" && sameAreaAndCentre(face, after[truth.numbers[0] - 1])) {
                truth.kind = "same";
            }
        }
        if (truth.kind == "changed") ++sources[truth.numbers.front()];
        truths.push_back(truth);
    }
    for (Truth& truth : truths) {
        if (truth.kind == "changed" && sources[truth.numbers.front()] > 1) truth.kind = "merged";
    }
    return truths;
}

std::string joined(const std::vector<int>& numbers)
{
    std::string text;
    for (const int n : numbers) text += (text.empty() ? "" : ",") + std::to_string(n);
    return text.empty() ? "-" : text;
}

std::vector<TopoDS_Face> numberedFaces(const TopoDS_Shape& shape)
{
    std::vector<TopoDS_Face> faces;
    visitFaces(shape, [&](int, const TopoDS_Face& face) { faces.push_back(face); });
    return faces;
}

void writeRevisions(const Revision& revision, const fs::path& dir)
{
    fs::create_directories(dir);
    writeStepModel(revision.before, dir / "old.step");
    writeStepModel(revision.after, dir / "new.step");
    expectOrderKept(revision.before, dir / "old.step");
    expectOrderKept(revision.after, dir / "new.step");
}

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
    return {before, algorithm.Shape(), algorithm.History()};
}

Revision fuse(const TopoDS_Shape& before, const TopoDS_Shape& tool)
{
    BRepAlgoAPI_Fuse algorithm(before, tool);
    return {before, algorithm.Shape(), algorithm.History()};
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
    return {before, solid, nullptr};
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

Revision moved(const TopoDS_Shape& before, const gp_Vec& shift)
{
    gp_Trsf move;
    move.SetTranslation(shift);
    BRepBuilderAPI_Transform transform(before, move, Standard_True);
    return byAlgorithm(before, transform);
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
    return {before, unify.Shape(), unify.History()};
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

