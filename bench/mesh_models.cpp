#include "mesh_models.hpp"

#include "bench.hpp"

#include <BRepAlgoAPI_Cut.hxx>
#include <BRepBuilderAPI_Sewing.hxx>
#include <BRepPrimAPI_MakeBox.hxx>
#include <BRepPrimAPI_MakeCylinder.hxx>
#include <BRep_Builder.hxx>
#include <TopExp_Explorer.hxx>
#include <TopTools_ListOfShape.hxx>
#include <TopoDS_Compound.hxx>
#include <IFSelect_ReturnStatus.hxx>
#include <STEPControl_Writer.hxx>
#include <gp_Ax2.hxx>

TopoDS_Shape makeHoledPlate(int perSide)
{
    TopoDS_Shape plate = BRepPrimAPI_MakeBox(20.0 * perSide, 20.0 * perSide, 10).Shape();
    TopTools_ListOfShape holes;
    for (int i = 0; i < perSide; ++i) {
        for (int j = 0; j < perSide; ++j) {
            const gp_Ax2 axis(gp_Pnt(10 + 20.0 * i, 10 + 20.0 * j, -1), gp::DZ());
            holes.Append(BRepPrimAPI_MakeCylinder(axis, 3 + 0.1 * (i + j), 12).Shape());
        }
    }
    BRepAlgoAPI_Cut cut;
    TopTools_ListOfShape arguments;
    arguments.Append(plate);
    cut.SetArguments(arguments);
    cut.SetTools(holes);
    cut.Build();
    return cut.Shape();
}

TopoDS_Shape makeSlottedCylinder(double halfLength, double wallGap, double width)
{
    const TopoDS_Shape cylinder = BRepPrimAPI_MakeCylinder(gp_Ax2(gp::Origin(), gp::DZ()), 3, 10).Shape();
    const TopoDS_Shape slot =
        BRepPrimAPI_MakeBox(gp_Pnt(-halfLength, 3 - wallGap - width, 2), 2 * halfLength, width, 10)
            .Shape();
    return BRepAlgoAPI_Cut(cylinder, slot).Shape();
}

TopoDS_Shape makeShellBox()
{
    const TopoDS_Shape box = BRepPrimAPI_MakeBox(10, 10, 10).Shape();
    BRepBuilderAPI_Sewing sewing;
    for (TopExp_Explorer shell(box, TopAbs_SHELL); shell.More(); shell.Next()) {
        sewing.Add(shell.Current());
    }
    sewing.Perform();
    return sewing.SewedShape();
}

TopoDS_Shape makeTouchingBoxes()
{
    BRep_Builder builder;
    TopoDS_Compound boxes;
    builder.MakeCompound(boxes);
    builder.Add(boxes, BRepPrimAPI_MakeBox(10, 10, 10).Shape());
    builder.Add(boxes, BRepPrimAPI_MakeBox(gp_Pnt(10, 0, 0), 10, 10, 10).Shape());
    return boxes;
}

std::vector<MeshModel> writeMeshModels(const fs::path& directory)
{
    struct Built {
        MeshModel model;
        TopoDS_Shape shape;
    };
    // The slotted cylinders at the tests' size, where their elements' chords cut the thin wall.
    const std::vector<Built> built = {
        {{"holed plate, 5 x 5 holes", {}, ""}, makeHoledPlate(5)},
        {{"slotted cylinder, wall 0.07, size 2", {}, "2"}, makeSlottedCylinder(0.3, 0.07, 0.01)},
        {{"slotted cylinder, slot through, size 2", {}, "2"}, makeSlottedCylinder(0.5, 0.01, 0.01)},
        {{"shell box", {}, ""}, makeShellBox()},
        {{"touching boxes", {}, ""}, makeTouchingBoxes()},
    };
    fs::create_directories(directory);
    std::vector<MeshModel> written;
    for (std::size_t i = 0; i < built.size(); ++i) {
        MeshModel model = built[i].model;
        model.path = directory / ("mesh-model-" + std::to_string(i + 1) + ".step");
        if (!fs::exists(model.path)) {
            const int saved = silenceStdout(); // the writer's trace
            STEPControl_Writer writer;
            const bool done =
                writer.Transfer(built[i].shape, STEPControl_AsIs) == IFSelect_RetDone &&
                writer.Write(model.path.c_str()) == IFSelect_RetDone;
            restoreStdout(saved);
            if (!done) return {};
        }
        written.push_back(model);
    }
    return written;
}
