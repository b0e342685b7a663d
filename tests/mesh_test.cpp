// tarnfold-mesh: the real command on the example, on a model of many faces and on a dataset whose
// model changed, its mesh read back with gmsh; and the finding of listed faces among gmsh's
// surfaces against splits gmsh makes itself.
#include "bound_lists.hpp"
#include "mesh_support.hpp"
#include "test_support.hpp"

#include "mesh/gmsh_model.hpp"
#include "mesh/gmsh_surfaces.hpp"
#include "mesh/mesh_run.hpp"
#include "mesh/surface_match.hpp"
#include "model/face_numbering.hpp"
#include "run/temporaries.hpp"

#include <gmsh.h>

#include <algorithm>

#include <BRepAdaptor_Surface.hxx>
#include <BRepAlgoAPI_Cut.hxx>
#include <BRepAlgoAPI_Fuse.hxx>
#include <BRepBuilderAPI_Transform.hxx>
#include <BRepPrimAPI_MakeBox.hxx>
#include <BRepPrimAPI_MakeCylinder.hxx>

namespace fs = std::filesystem;

class MeshTest : public TempDirTest {};

// The example, as the guide runs it: tarnfold writes the face files, tarnfold-mesh meshes the model
// with its listed faces as the groups.
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
    expectGroupHolds(groups.at("force"), readFaceFiles(faceFilesOf(root, {8, 11})), 60, "force");
    expectGroupHolds(groups.at("restraint"), readFaceFiles(faceFilesOf(root, {19, 20})), 60,
                     "restraint");
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
    const ToolRun run = runBinary(TARNFOLD_MESH_BINARY,
                                  {"--size", "8", (dir / "job").string(), (dir / "plate.msh").string()});
    ASSERT_EQ(run.exitStatus, 0) << run.err;

    const auto groups = readGroups(dir / "plate.msh");
    ASSERT_EQ(groups.count("force"), 1u);
    ASSERT_EQ(groups.count("restraint"), 1u);
    expectGroupHolds(groups.at("force"), facesOf(plate, force), 100, "force");
    expectGroupHolds(groups.at("restraint"), facesOf(plate, restraint), 100, "restraint");
}

// The model replaced by a revision that renumbers the listed faces (the drilled hole makes face
// 3 face 2, and face 2 face 6): meshed after the lists were carried, without a tarnfold run in
// between, each group holds the face its list was written for; meshed before, the stale lists
// are refused as tarnfold refuses them, and no mesh is written.
class MeshBoundTest : public BoundListsTest {};

TEST_F(MeshBoundTest, MeshesTheFacesTheListsAreBoundTo)
{
    for (const bool carried : {true, false}) {
        SCOPED_TRACE(carried ? "carried" : "not carried");
        fs::remove_all(dir / "set");
        const Revision revision = drilled();
        runThenRevise(revision, recordsOf({3}, 3), recordsOf({2}, 7));
        if (carried) {
            const ToolRun carry = faces({"--follow", "--rewrite"});
            ASSERT_EQ(carry.exitStatus, 0) << carry.err;
        }
        const fs::path mesh = dir / "m.msh";
        const ToolRun run = runBinary(TARNFOLD_MESH_BINARY, {"--size", "20", root.string(), mesh.string()});
        if (!carried) {
            EXPECT_EQ(run.exitStatus, 1);
            EXPECT_NE(run.err.find("is no longer the face this list was written for"),
                      std::string::npos) << run.err;
            EXPECT_NE(run.err.find("; no mesh was written\n"), std::string::npos) << run.err;
            EXPECT_FALSE(fs::exists(mesh));
            continue;
        }
        ASSERT_EQ(run.exitStatus, 0) << run.err;
        const auto groups = readGroups(mesh);
        ASSERT_EQ(groups.count("force"), 1u);
        ASSERT_EQ(groups.count("restraint"), 1u);
        expectGroupHolds(groups.at("force"), facesOf(revision.after, {2}), 60, "force");
        expectGroupHolds(groups.at("restraint"), facesOf(revision.after, {6}), 60, "restraint");
        fs::remove(mesh);
    }
}

// gmsh itself splits a face (fragmenting the block with a rectangle on half of its top): the
// split face is found as both its pieces, and said to be split; the others are one surface each.
TEST_F(MeshTest, FindsAFaceThatGmshSplitAsAllItsPieces)
{
    const TopoDS_Shape block = BRepPrimAPI_MakeBox(10, 10, 10).Shape();
    const std::vector<ListedFace> faces = listEveryFace(block);
    startGmsh();
    importIntoGmsh(block);
    const int half = gmsh::model::occ::addRectangle(0, 0, 10, 5, 10);
    gmsh::vectorpair fragments;
    std::vector<gmsh::vectorpair> parents;
    gmsh::model::occ::fragment({{3, 1}}, {{2, half}}, fragments, parents);
    gmsh::model::occ::synchronize();
    std::string error;
    const std::vector<GmshSurface> surfaces =
        readGmshSurfaces((dir / "surfaces.brep").string(), error, nullptr);
    ASSERT_EQ(error, "");
    ASSERT_EQ(surfaces.size(), 7u);
    EXPECT_EQ(listNames(dir), std::vector<std::string>{}) << "the scratch file is removed";

    const std::vector<SurfaceMatch> matches = matchSurfaces(faces, surfaces);
    ASSERT_EQ(matches.size(), 6u);
    std::vector<int> tags;
    for (std::size_t i = 0; i < faces.size(); ++i) {
        EXPECT_EQ(matches[i].problem, "");
        const bool top = measureFace(faces[i].face).centre.Z() > 9.9;
        EXPECT_EQ(matches[i].tags.size(), top ? 2u : 1u);
        EXPECT_EQ(matches[i].note.find("was split into gmsh surfaces "), top ? 7u : std::string::npos)
            << matches[i].note;
        tags.insert(tags.end(), matches[i].tags.begin(), matches[i].tags.end());
    }
    std::vector<int> all;
    for (const GmshSurface& surface : surfaces) all.push_back(surface.tag);
    std::sort(tags.begin(), tags.end());
    EXPECT_EQ(tags, all) << "each surface is in the group of one face";
}

// The healing merged two faces into one surface: the surface is the group of both when they are
// listed alike, and no group at all when it would hold a face that its lists do not name.
TEST_F(MeshTest, FindsFacesMergedIntoOneSurfaceOnlyWhenListedAlike)
{
    // Two halves of a block, fused: the top is two faces. gmsh is handed the block whole.
    const TopoDS_Shape halves = BRepAlgoAPI_Fuse(BRepPrimAPI_MakeBox(5, 10, 10).Shape(),
                                                 BRepPrimAPI_MakeBox(gp_Pnt(5, 0, 0), 5, 10, 10).Shape())
                                    .Shape();
    std::vector<ListedFace> tops;
    for (ListedFace& face : listEveryFace(halves)) {
        if (measureFace(face.face).centre.Z() > 9.9) tops.push_back(face);
    }
    ASSERT_EQ(tops.size(), 2u);
    startGmsh();
    importIntoGmsh(BRepPrimAPI_MakeBox(10, 10, 10).Shape());
    std::string error;
    const std::vector<GmshSurface> surfaces =
        readGmshSurfaces((dir / "surfaces.brep").string(), error, nullptr);
    ASSERT_EQ(error, "");

    struct Case {
        const char* name;
        bool secondListed, secondForce; // the first is a force face
    };
    for (const Case& c : {Case{"both forces", true, true}, Case{"a force and a restraint", true, false},
                          Case{"one force alone", false, true}}) {
        std::vector<ListedFace> listed{tops[0]};
        if (c.secondListed) listed.push_back(tops[1]);
        listed.back().force = c.secondForce;
        listed.back().restraint = !c.secondForce;
        const SurfaceMatch match = matchSurfaces(listed, surfaces).front();
        if (c.secondListed && c.secondForce) {
            EXPECT_EQ(match.tags.size(), 1u) << c.name;
            EXPECT_EQ(match.note.compare(0, 6, "faces "), 0) << match.note;
            EXPECT_NE(match.note.find(" were merged into gmsh surface "), std::string::npos)
                << match.note;
        } else {
            EXPECT_TRUE(match.tags.empty()) << c.name;
            EXPECT_NE(match.problem.find("merged with faces that are not in its groups"),
                      std::string::npos) << c.name << ": " << match.problem;
        }
    }
}

// Each surface of gmsh's is paired with the very face it wrote, whatever the order of the file:
// the same area and centre, thin rings included, whose middle is a hole.
TEST_F(MeshTest, PairsGmshsSurfacesWithTheFacesItWrote)
{
    const gp_Ax2 axis(gp_Pnt(0, 0, -1), gp::DZ());
    const TopoDS_Shape tube = BRepAlgoAPI_Cut(BRepPrimAPI_MakeCylinder(5, 10).Shape(),
                                              BRepPrimAPI_MakeCylinder(axis, 4.95, 12).Shape())
                                  .Shape();
    startGmsh();
    importIntoGmsh(tube);
    std::string error;
    const std::vector<GmshSurface> surfaces =
        readGmshSurfaces((dir / "surfaces.brep").string(), error, nullptr);
    ASSERT_EQ(error, "");
    ASSERT_EQ(surfaces.size(), 4u);
    for (const GmshSurface& surface : surfaces) {
        double area = 0, x = 0, y = 0, z = 0;
        gmsh::model::occ::getMass(2, surface.tag, area);
        gmsh::model::occ::getCenterOfMass(2, surface.tag, x, y, z);
        const Patch face = measureFace(surface.face);
        EXPECT_NEAR(face.area, area, 1e-9 * area) << surface.tag;
        EXPECT_LT(face.centre.Distance(gp_Pnt(x, y, z)), 1e-9) << surface.tag;
    }
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
    const std::vector<ListedFace> faces = listEveryFace(block);
    const std::string scratch = (dir / "surfaces.brep").string();

    startGmsh();
    importIntoGmsh(BRepBuilderAPI_Transform(block, away, true).Shape());
    std::string error;
    std::vector<SurfaceMatch> matches = matchSurfaces(faces, readGmshSurfaces(scratch, error, nullptr));
    for (const SurfaceMatch& match : matches) {
        EXPECT_TRUE(match.tags.empty());
        EXPECT_EQ(match.problem.compare(0, 32, "no gmsh surface coincides with i"), 0)
            << match.problem;
    }

    startGmsh();
    importIntoGmsh(block);
    importIntoGmsh(BRepBuilderAPI_Transform(block, gp_Trsf(), true).Shape());
    matches = matchSurfaces(faces, readGmshSurfaces(scratch, error, nullptr));
    for (const SurfaceMatch& match : matches) {
        EXPECT_TRUE(match.tags.empty());
        EXPECT_NE(match.problem.find("several gmsh surfaces coincide with it ("),
                  std::string::npos)
            << match.problem;
    }
}

// What goes wrong before gmsh is reached: every problem named, and no mesh file.
TEST_F(MeshTest, WritesNoMeshWhenAnEntrySelectsNoFaceOrTheMeshCannotBeWritten)
{
    writeStepModel(BRepPrimAPI_MakeBox(10, 10, 10).Shape(), dir / "box.step");
    makeDataset(dir / "job", (dir / "box.step").string(), "1 0 0\n9 0 0\n", "2 0 0 0 0 0 0\n");
    ToolRun run = runBinary(TARNFOLD_MESH_BINARY, {(dir / "job").string(), (dir / "m.msh").string()});
    EXPECT_EQ(run.exitStatus, 1);
    EXPECT_EQ(run.err, "tarnfold-mesh: error: force list entry 9 selects no face: the model has 6 "
                       "faces; no mesh was written\n");
    EXPECT_FALSE(fs::exists(dir / "m.msh"));

    makeDataset(dir / "job", (dir / "box.step").string(), "1 0 0\n", "2 0 0 0 0 0 0\n");
    run = runBinary(TARNFOLD_MESH_BINARY, {(dir / "job").string(), (dir / "no" / "m.msh").string()});
    EXPECT_EQ(run.exitStatus, 1);
    EXPECT_NE(run.err.find("cannot create a file beside '" + (dir / "no" / "m.msh").string() +
                           "': No such file or directory; no mesh was written"),
              std::string::npos)
        << run.err;
}

// The temporaries that a worker writes beside the mesh file are the ones its supervisor may
// remove after a crash or a stop, and nothing else of the directory is.
TEST_F(MeshTest, ItsTemporariesAreOnesTheSupervisorRemoves)
{
    const std::string mesh = (dir / "m.msh").string();
    const WorkerProducts products = meshProducts(mesh);
    const MeshTemporaries temporaries = nameMeshTemporaries(mesh, 4242);
    for (const std::string& name : {temporaries.mesh, temporaries.surfaces}) {
        EXPECT_EQ(fs::path(name).parent_path(), dir) << name;
        EXPECT_TRUE(isWorkerTemporary(name, 4242, products)) << name;
        EXPECT_FALSE(isWorkerTemporary(name, 4243, products)) << name;
    }
    EXPECT_FALSE(isWorkerTemporary((dir / "m.brep").string(), 4242, products));
}

// Usage errors end with status 2 before anything is read.
TEST_F(MeshTest, RefusesCommandLinesItCannotFollow)
{
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{}, {"job"}, {"job", "a.msh", "b.msh"}, {"--order", "3", "j", "m"},
          {"--size", "-1", "j", "m"}, {"--format", "3", "j", "m"}, {"--colour", "j", "m"},
          {"--try-timeout", "0", "j", "m"}}) {
        const ToolRun run = runBinary(TARNFOLD_MESH_BINARY, args, dir);
        EXPECT_EQ(run.exitStatus, 2) << ::testing::PrintToString(args);
        EXPECT_EQ(run.err.compare(0, 22, "tarnfold-mesh: error: "), 0) << run.err;
    }
    const ToolRun help = runBinary(TARNFOLD_MESH_BINARY, {"--help"}, dir);
    EXPECT_EQ(help.exitStatus, 0);
    EXPECT_EQ(help.out.compare(0, 13, "usage: tarnfo"), 0);
}
