// tarnfold-mesh: the real command on the example and on a model of many faces, its mesh read back
// with gmsh, and the matching of face files to gmsh's surfaces against splits gmsh makes itself.
#include "mesh_support.hpp"
#include "test_support.hpp"

#include "intake/dataset_inputs.hpp"
#include "mesh/gmsh_model.hpp"
#include "mesh/listed_faces.hpp"
#include "mesh/surface_match.hpp"
#include "model/face_export.hpp"
#include "model/face_numbering.hpp"

#include <gmsh.h>

#include <algorithm>

#include <BRepAdaptor_Surface.hxx>
#include <BRepBuilderAPI_Transform.hxx>
#include <BRepPrimAPI_MakeBox.hxx>

namespace fs = std::filesystem;

class MeshTest : public TempDirTest {};

// The example, as README runs it: tarnfold writes the face files, tarnfold-mesh meshes the model
// with them as the groups.
TEST_F(MeshTest, MeshesTheExampleWithItsListsAsGroups)
{
    fs::copy(fs::path(TARNFOLD_SOURCE_DIR) / "examples", dir / "examples",
             fs::copy_options::recursive);
    ASSERT_EQ(runTool({"examples/bracket"}, dir).exitStatus, 0);
    const ToolRun run = runBinary(TARNFOLD_MESH_BINARY, {"examples/bracket", "bracket.msh"}, dir);
    ASSERT_EQ(run.exitStatus, 0) << run.err;
    EXPECT_EQ(run.err, "");
    EXPECT_NE(run.out.find("force: 2 surfaces"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("restraint: 2 surfaces"), std::string::npos) << run.out;
    expectNoTemporary(dir);

    const auto groups = readGroups(dir / "bracket.msh");
    const fs::path root = dir / "examples" / "bracket";
    ASSERT_EQ(groups.count("force"), 1u);
    ASSERT_EQ(groups.count("restraint"), 1u);
    ASSERT_EQ(groups.count("solid"), 1u);
    EXPECT_EQ(groups.at("solid").size(), 1u);
    EXPECT_GT(groups.at("solid").front().area, 100); // its tetrahedra
    expectGroupHolds(groups.at("force"), faceFilesOf(root, {8, 11}), 60, "force");
    expectGroupHolds(groups.at("restraint"), faceFilesOf(root, {19, 20}), 60, "restraint");
}

// Many faces, many alike: each group must hold exactly the listed holes, not their neighbours,
// and a face in both lists is in both groups.
TEST_F(MeshTest, GroupsHoldExactlyTheListedFacesOfAManyFacedModel)
{
    const TopoDS_Shape plate = makeHoledPlate(5);
    writeStepModel(plate, dir / "plate.step");
    std::vector<int> holes, planes;
    visitFaces(plate, [&](int n, const TopoDS_Face& face) {
        (BRepAdaptor_Surface(face).GetType() == GeomAbs_Cylinder ? holes : planes).push_back(n);
    });
    ASSERT_EQ(holes.size(), 25u);
    const std::vector<int> force{holes[0], holes[6], holes[12], holes[18], planes[0]};
    const std::vector<int> restraint{holes[3], holes[4], holes[12], planes[1], planes[2]};
    makeDataset(dir / "job", (dir / "plate.step").string(), recordsOf(force, 3),
                recordsOf(restraint, 7));
    ASSERT_EQ(runTool({(dir / "job").string()}).exitStatus, 0);
    const ToolRun run = runBinary(TARNFOLD_MESH_BINARY,
                                  {"--size", "8", (dir / "job").string(), (dir / "plate.msh").string()});
    ASSERT_EQ(run.exitStatus, 0) << run.err;

    const auto groups = readGroups(dir / "plate.msh");
    ASSERT_EQ(groups.count("force"), 1u);
    ASSERT_EQ(groups.count("restraint"), 1u);
    expectGroupHolds(groups.at("force"), faceFilesOf(dir / "job", force), 100, "force");
    expectGroupHolds(groups.at("restraint"), faceFilesOf(dir / "job", restraint), 100,
                     "restraint");
}

// gmsh itself splits a face (fragmenting the block with a rectangle on half of its top): the
// split face is named with both of its pieces, never matched to one of them; the others match.
TEST_F(MeshTest, ReportsAFaceThatGmshSplit)
{
    const TopoDS_Shape block = BRepPrimAPI_MakeBox(10, 10, 10).Shape();
    const std::vector<ListedFace> faces = listEveryFace(block, dir / "block");
    startGmsh();
    importIntoGmsh(block);
    const int half = gmsh::model::occ::addRectangle(0, 0, 10, 5, 10);
    gmsh::vectorpair fragments;
    std::vector<gmsh::vectorpair> parents;
    gmsh::model::occ::fragment({{3, 1}}, {{2, half}}, fragments, parents);
    gmsh::model::occ::synchronize();
    std::string error;
    const std::vector<GmshSurface> surfaces = readGmshSurfaces(error, nullptr);
    ASSERT_EQ(error, "");
    ASSERT_EQ(surfaces.size(), 7u);

    const std::vector<SurfaceMatch> matches = matchSurfaces(faces, surfaces);
    ASSERT_EQ(matches.size(), 6u);
    std::vector<int> tags;
    int split = 0;
    for (std::size_t i = 0; i < faces.size(); ++i) {
        const bool top = measureFace(faces[i].face).centre.Z() > 9.9;
        if (top) {
            ++split;
            EXPECT_EQ(matches[i].tag, 0);
            EXPECT_NE(matches[i].problem.find("gmsh split it: surfaces "), std::string::npos)
                << matches[i].problem;
            EXPECT_NE(matches[i].problem.find(" and "), std::string::npos) << matches[i].problem;
        } else {
            EXPECT_NE(matches[i].tag, 0) << matches[i].problem;
            tags.push_back(matches[i].tag);
        }
    }
    EXPECT_EQ(split, 1);
    std::sort(tags.begin(), tags.end());
    EXPECT_EQ(std::unique(tags.begin(), tags.end()), tags.end());
}

// gmsh takes our shape itself, which only works on the OpenCASCADE that both were built on.
TEST_F(MeshTest, GmshIsBuiltOnOurOpenCascade)
{
    startGmsh();
    EXPECT_EQ(checkGmshOpenCascade(), "");
}

// No surface, or two, that coincide with a face: said, not guessed.
TEST_F(MeshTest, ReportsFacesWithNoneOrSeveralSurfaces)
{
    const TopoDS_Shape block = BRepPrimAPI_MakeBox(10, 10, 10).Shape();
    gp_Trsf away;
    away.SetTranslation(gp_Vec(0, 0, 0.5));
    const TopoDS_Shape moved = BRepBuilderAPI_Transform(block, away, true).Shape();
    const std::vector<ListedFace> faces = listEveryFace(block, dir / "block");

    startGmsh();
    importIntoGmsh(moved);
    std::string error;
    std::vector<SurfaceMatch> matches = matchSurfaces(faces, readGmshSurfaces(error, nullptr));
    for (const SurfaceMatch& match : matches) {
        EXPECT_EQ(match.tag, 0);
        EXPECT_EQ(match.problem.compare(0, 32, "no gmsh surface coincides with i"), 0)
            << match.problem;
    }

    startGmsh();
    importIntoGmsh(block);
    importIntoGmsh(BRepBuilderAPI_Transform(block, gp_Trsf(), true).Shape());
    matches = matchSurfaces(faces, readGmshSurfaces(error, nullptr));
    for (const SurfaceMatch& match : matches) {
        EXPECT_EQ(match.tag, 0);
        EXPECT_NE(match.problem.find("several gmsh surfaces coincide with it ("),
                  std::string::npos)
            << match.problem;
    }
}

// What goes wrong before gmsh is reached: every problem named, and no mesh file.
TEST_F(MeshTest, WritesNoMeshWhenAFaceIsMissingOrUnlisted)
{
    writeStepModel(BRepPrimAPI_MakeBox(10, 10, 10).Shape(), dir / "box.step");
    makeDataset(dir / "job", (dir / "box.step").string(), "1 0 0\n9 0 0\n", "2 0 0 0 0 0 0\n");
    ToolRun run = runBinary(TARNFOLD_MESH_BINARY, {(dir / "job").string(), (dir / "m.msh").string()});
    EXPECT_EQ(run.exitStatus, 1);
    EXPECT_NE(run.err.find("tarnfold-mesh: error: cannot read face file '" +
                           (dir / "job" / "data" / "face1.brep").string() +
                           "': No such file or directory"),
              std::string::npos)
        << run.err;
    EXPECT_NE(run.err.find("force list entry 9 selects no face"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("tarnfold-mesh: error: no mesh was written\n"), std::string::npos)
        << run.err;
    EXPECT_FALSE(fs::exists(dir / "m.msh"));

    // With the face files, but a mesh file that cannot be written.
    makeDataset(dir / "job", (dir / "box.step").string(), "1 0 0\n", "2 0 0 0 0 0 0\n");
    ASSERT_EQ(runTool({(dir / "job").string()}).exitStatus, 0);
    run = runBinary(TARNFOLD_MESH_BINARY, {(dir / "job").string(), (dir / "no" / "m.msh").string()});
    EXPECT_EQ(run.exitStatus, 1);
    EXPECT_NE(run.err.find("cannot create a file beside '" + (dir / "no" / "m.msh").string() +
                           "': No such file or directory"),
              std::string::npos)
        << run.err;
}

// Usage errors end with status 2 before anything is read.
TEST_F(MeshTest, RefusesCommandLinesItCannotFollow)
{
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{}, {"job"}, {"job", "a.msh", "b.msh"}, {"--order", "3", "j", "m"},
          {"--size", "-1", "j", "m"}, {"--format", "3", "j", "m"}, {"--colour", "j", "m"}}) {
        const ToolRun run = runBinary(TARNFOLD_MESH_BINARY, args, dir);
        EXPECT_EQ(run.exitStatus, 2) << ::testing::PrintToString(args);
        EXPECT_EQ(run.err.compare(0, 22, "tarnfold-mesh: error: "), 0) << run.err;
    }
    const ToolRun help = runBinary(TARNFOLD_MESH_BINARY, {"--help"}, dir);
    EXPECT_EQ(help.exitStatus, 0);
    EXPECT_EQ(help.out.compare(0, 13, "usage: tarnfo"), 0);
}
