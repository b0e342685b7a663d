// Generates STEP models with OCCT's modelling API: the example dataset's bracket, plates of a
// chosen size for the benchmark, a block with a closed cavity for the page's browser test, and a
// revision of a model with a hole drilled through it.
//   make_models bracket <out.step>
//   make_models plate <faces> <out.step>
//   make_models drill <in.step> <out.step>   the model's last shape with a hole drilled through it
//   make_models hollow <out.step>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

#include <BRepAdaptor_Curve.hxx>
#include <BRep_Builder.hxx>
#include <BRepAlgoAPI_Cut.hxx>
#include <BRepBndLib.hxx>
#include <Bnd_Box.hxx>
#include <BRepAlgoAPI_Fuse.hxx>
#include <BRepBuilderAPI_Transform.hxx>
#include <BRepFilletAPI_MakeChamfer.hxx>
#include <BRepFilletAPI_MakeFillet.hxx>
#include <BRepPrimAPI_MakeBox.hxx>
#include <BRepPrimAPI_MakeCylinder.hxx>
#include <IFSelect_ReturnStatus.hxx>
#include <Interface_Static.hxx>
#include <STEPControl_Reader.hxx>
#include <STEPControl_Writer.hxx>
#include <TopExp_Explorer.hxx>
#include <TopoDS.hxx>
#include <TopoDS_Compound.hxx>
#include <gp_Ax2.hxx>

namespace {

gp_Pnt edgeMidpoint(const TopoDS_Edge& edge)
{
    const BRepAdaptor_Curve curve(edge);
    return curve.Value((curve.FirstParameter() + curve.LastParameter()) / 2);
}

// The edges of `shape` whose midpoint passes `test`, in explorer order (shared edges twice).
template <typename Test>
std::vector<TopoDS_Edge> edgesWhere(const TopoDS_Shape& shape, Test test)
{
    std::vector<TopoDS_Edge> edges;
    for (TopExp_Explorer it(shape, TopAbs_EDGE); it.More(); it.Next()) {
        const TopoDS_Edge& edge = TopoDS::Edge(it.Current());
        if (test(edgeMidpoint(edge))) edges.push_back(edge);
    }
    return edges;
}

// An L-shaped bracket: a base plate with two bolt holes, an upright with one hole, a fillet in
// the inner corner and chamfered outer corners on the upright. Some tens of faces.
TopoDS_Shape makeBracket()
{
    const double length = 60, width = 40, thickness = 8, height = 50;
    TopoDS_Shape shape = BRepAlgoAPI_Fuse(BRepPrimAPI_MakeBox(length, width, thickness).Shape(),
                                          BRepPrimAPI_MakeBox(thickness, width, height).Shape())
                             .Shape();

    BRepFilletAPI_MakeFillet fillet(shape);
    for (const TopoDS_Edge& edge : edgesWhere(shape, [&](const gp_Pnt& mid) {
             return std::abs(mid.X() - thickness) < 1e-6 && std::abs(mid.Z() - thickness) < 1e-6;
         })) {
        fillet.Add(6, edge);
    }
    shape = fillet.Shape();

    BRepFilletAPI_MakeChamfer chamfer(shape);
    for (const TopoDS_Edge& edge : edgesWhere(shape, [&](const gp_Pnt& mid) {
             const bool topOfUpright = std::abs(mid.Z() - height) < 1e-6;
             const bool sideOfUpright = std::abs(mid.Y()) < 1e-6 || std::abs(mid.Y() - width) < 1e-6;
             return topOfUpright && sideOfUpright;
         })) {
        chamfer.Add(3, edge);
    }
    shape = chamfer.Shape();

    const auto drill = [&](const gp_Pnt& at, const gp_Dir& along, double radius) {
        const TopoDS_Shape hole =
            BRepPrimAPI_MakeCylinder(gp_Ax2(at, along), radius, 2 * thickness).Shape();
        shape = BRepAlgoAPI_Cut(shape, hole).Shape();
    };
    drill(gp_Pnt(40, 12, -thickness / 2), gp::DZ(), 4);
    drill(gp_Pnt(40, 28, -thickness / 2), gp::DZ(), 4);
    drill(gp_Pnt(-thickness / 2, 20, 32), gp::DX(), 6);
    return shape;
}

int countFaces(const TopoDS_Shape& shape)
{
    int count = 0;
    for (TopExp_Explorer it(shape, TopAbs_FACE); it.More(); it.Next()) ++count;
    return count;
}

// One tile of the plate: a square pad with a boss, filleted where the boss meets the pad, drilled
// through, the hole chamfered at its mouth. Built once with booleans and blends (a few ms), then
// copied, since one boolean over thousands of tools would take minutes at the larger sizes.
TopoDS_Shape makePlateCell(double pitch)
{
    const double thickness = 3, bossRadius = 2.5, bossHeight = 3, holeRadius = 1.2;
    const gp_Pnt centre(pitch / 2, pitch / 2, 0);
    const auto fromAxis = [&](const gp_Pnt& p) { return std::hypot(p.X() - centre.X(), p.Y() - centre.Y()); };
    TopoDS_Shape shape =
        BRepAlgoAPI_Fuse(BRepPrimAPI_MakeBox(pitch, pitch, thickness).Shape(),
                         BRepPrimAPI_MakeCylinder(gp_Ax2(centre.Translated(gp_Vec(0, 0, thickness)),
                                                         gp::DZ()),
                                                  bossRadius, bossHeight)
                             .Shape())
            .Shape();

    BRepFilletAPI_MakeFillet fillet(shape);
    for (const TopoDS_Edge& edge : edgesWhere(shape, [&](const gp_Pnt& mid) {
             return std::abs(mid.Z() - thickness) < 1e-6 && std::abs(fromAxis(mid) - bossRadius) < 1e-6;
         })) {
        fillet.Add(0.8, edge);
    }
    shape = fillet.Shape();

    const double top = thickness + bossHeight;
    shape = BRepAlgoAPI_Cut(shape, BRepPrimAPI_MakeCylinder(
                                       gp_Ax2(centre.Translated(gp_Vec(0, 0, -1)), gp::DZ()),
                                       holeRadius, top + 2)
                                       .Shape())
                .Shape();

    BRepFilletAPI_MakeChamfer chamfer(shape);
    for (const TopoDS_Edge& edge : edgesWhere(shape, [&](const gp_Pnt& mid) {
             return std::abs(mid.Z() - top) < 1e-6 && std::abs(fromAxis(mid) - holeRadius) < 1e-6;
         })) {
        chamfer.Add(0.4, edge);
    }
    return chamfer.Shape();
}

// A plate of about `faces` faces: a grid of cells, each an independent copy of the geometry
// (as an exporting CAD system would write it), gathered in one compound so that the STEP file
// has one root and the reader transfers one shape.
TopoDS_Shape makePlate(int faces)
{
    const double pitch = 10;
    const TopoDS_Shape cell = makePlateCell(pitch);
    const int cellFaces = countFaces(cell);
    const int cells = std::max(1, (faces + cellFaces / 2) / cellFaces);
    const int columns = static_cast<int>(std::ceil(std::sqrt(static_cast<double>(cells))));

    BRep_Builder builder;
    TopoDS_Compound plate;
    builder.MakeCompound(plate);
    for (int i = 0; i < cells; ++i) {
        gp_Trsf move;
        move.SetTranslation(gp_Vec((i % columns) * pitch, (i / columns) * pitch, 0));
        builder.Add(plate, BRepBuilderAPI_Transform(cell, move, Standard_True).Shape());
    }
    return plate;
}

// A block with a closed cubic cavity: the cavity's six faces are in sight from no direction
// outside the block.
TopoDS_Shape makeHollowBlock()
{
    return BRepAlgoAPI_Cut(BRepPrimAPI_MakeBox(40, 30, 20).Shape(),
                           BRepPrimAPI_MakeBox(gp_Pnt(15, 10, 5), 10, 10, 10).Shape())
        .Shape();
}

bool writeStep(const TopoDS_Shape& shape, const std::string& path)
{
    STEPControl_Writer writer;
    Interface_Static::SetCVal("write.step.schema", "AP214IS");
    if (writer.Transfer(shape, STEPControl_AsIs) != IFSelect_RetDone) return false;
    return writer.Write(path.c_str()) == IFSelect_RetDone;
}

// The last shape of a STEP model, as tarnfold numbers it, with a hole drilled straight down
// through the middle of its bounds: a revision for measuring the matching of two revisions.
bool drillModel(const std::string& in, const std::string& out)
{
    STEPControl_Reader reader;
    if (reader.ReadFile(in.c_str()) != IFSelect_RetDone) return false;
    reader.TransferRoots();
    if (reader.NbShapes() < 1) return false;
    const TopoDS_Shape model = reader.Shape(reader.NbShapes());
    Bnd_Box box;
    BRepBndLib::Add(model, box);
    double x0 = 0, y0 = 0, z0 = 0, x1 = 0, y1 = 0, z1 = 0;
    box.Get(x0, y0, z0, x1, y1, z1);
    const double radius = 0.03 * std::min(x1 - x0, y1 - y0);
    const gp_Ax2 axis(gp_Pnt((x0 + x1) / 2, (y0 + y1) / 2, z0 - 1), gp::DZ());
    BRepAlgoAPI_Cut drilled(model,
                                  BRepPrimAPI_MakeCylinder(axis, radius, z1 - z0 + 2).Shape());
    return drilled.IsDone() && writeStep(drilled.Shape(), out);
}

} // namespace

int main(int argc, char** argv)
{
    if (argc == 3 && std::strcmp(argv[1], "bracket") == 0) {
        if (writeStep(makeBracket(), argv[2])) return 0;
        std::cerr << "make_models: error: cannot write '" << argv[2] << "'\n";
        return 1;
    }
    if (argc == 3 && std::strcmp(argv[1], "hollow") == 0) {
        if (writeStep(makeHollowBlock(), argv[2])) return 0;
        std::cerr << "make_models: error: cannot write '" << argv[2] << "'\n";
        return 1;
    }
    if (argc == 4 && std::strcmp(argv[1], "plate") == 0) {
        char* end = nullptr;
        const long faces = std::strtol(argv[2], &end, 10);
        if (*end != '\0' || faces < 1 || faces > 10000000) {
            std::cerr << "make_models: error: not a face count: '" << argv[2] << "'\n";
            return 2;
        }
        const TopoDS_Shape plate = makePlate(static_cast<int>(faces));
        // Written under a temporary name, so that an interrupted run leaves no partial model that
        // a later run would take as done.
        const std::string temporary = std::string(argv[3]) + ".part";
        if (writeStep(plate, temporary) && std::rename(temporary.c_str(), argv[3]) == 0) {
            std::cout << argv[3] << ": " << countFaces(plate) << " faces\n";
            return 0;
        }
        std::remove(temporary.c_str());
        std::cerr << "make_models: error: cannot write '" << argv[3] << "'\n";
        return 1;
    }
    if (argc == 4 && std::strcmp(argv[1], "drill") == 0) {
        if (drillModel(argv[2], argv[3])) return 0;
        std::cerr << "make_models: error: cannot drill '" << argv[2] << "' into '" << argv[3]
                  << "'\n";
        return 1;
    }
    std::cerr << "usage: make_models bracket <out.step>\n"
                 "       make_models plate <faces> <out.step>\n"
                 "       make_models drill <in.step> <out.step>\n"
                 "       make_models hollow <out.step>\n";
    return 2;
}
