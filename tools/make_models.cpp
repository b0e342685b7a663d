// Generates STEP models with OCCT's modelling API: the example dataset's bracket.
//   make_models bracket <out.step>
#include <cmath>
#include <cstring>
#include <iostream>
#include <string>

#include <BRepAdaptor_Curve.hxx>
#include <BRepAlgoAPI_Cut.hxx>
#include <BRepAlgoAPI_Fuse.hxx>
#include <BRepFilletAPI_MakeChamfer.hxx>
#include <BRepFilletAPI_MakeFillet.hxx>
#include <BRepPrimAPI_MakeBox.hxx>
#include <BRepPrimAPI_MakeCylinder.hxx>
#include <IFSelect_ReturnStatus.hxx>
#include <Interface_Static.hxx>
#include <STEPControl_Writer.hxx>
#include <TopExp_Explorer.hxx>
#include <TopoDS.hxx>
#include <gp_Ax2.hxx>

namespace {

gp_Pnt edgeMidpoint(const TopoDS_Edge& edge)
{
    const BRepAdaptor_Curve curve(edge);
    return curve.Value((curve.FirstParameter() + curve.LastParameter()) / 2);
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
    for (TopExp_Explorer it(shape, TopAbs_EDGE); it.More(); it.Next()) {
        const gp_Pnt mid = edgeMidpoint(TopoDS::Edge(it.Current()));
        if (std::abs(mid.X() - thickness) < 1e-6 && std::abs(mid.Z() - thickness) < 1e-6) {
            fillet.Add(6, TopoDS::Edge(it.Current()));
        }
    }
    shape = fillet.Shape();

    BRepFilletAPI_MakeChamfer chamfer(shape);
    for (TopExp_Explorer it(shape, TopAbs_EDGE); it.More(); it.Next()) {
        const gp_Pnt mid = edgeMidpoint(TopoDS::Edge(it.Current()));
        const bool topOfUpright = std::abs(mid.Z() - height) < 1e-6;
        const bool sideOfUpright = std::abs(mid.Y()) < 1e-6 || std::abs(mid.Y() - width) < 1e-6;
        if (topOfUpright && sideOfUpright) chamfer.Add(3, TopoDS::Edge(it.Current()));
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

bool writeStep(const TopoDS_Shape& shape, const std::string& path)
{
    STEPControl_Writer writer;
    Interface_Static::SetCVal("write.step.schema", "AP214IS");
    if (writer.Transfer(shape, STEPControl_AsIs) != IFSelect_RetDone) return false;
    return writer.Write(path.c_str()) == IFSelect_RetDone;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc == 3 && std::strcmp(argv[1], "bracket") == 0) {
        if (writeStep(makeBracket(), argv[2])) return 0;
        std::cerr << "make_models: error: cannot write '" << argv[2] << "'\n";
        return 1;
    }
    std::cerr << "usage: make_models bracket <out.step>\n";
    return 2;
}
