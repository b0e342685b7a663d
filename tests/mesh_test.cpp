// tarnfold-mesh: the real command on the example and on a model of many faces, its mesh read back
// with gmsh, and the matching of face files to gmsh's surfaces against splits gmsh makes itself.
#include "test_support.hpp"

#include "intake/dataset_inputs.hpp"
#include "mesh/gmsh_model.hpp"
#include "mesh/listed_faces.hpp"
#include "mesh/surface_match.hpp"
#include "model/face_export.hpp"
#include "model/face_numbering.hpp"

#include <gmsh.h>

#include <array>
#include <cmath>
#include <set>
#include <map>
#include <sstream>

#include <BRepAdaptor_Surface.hxx>
#include <BRepAlgoAPI_Cut.hxx>
#include <BRepBuilderAPI_Transform.hxx>
#include <BRepGProp.hxx>
#include <BRepPrimAPI_MakeBox.hxx>
#include <BRepPrimAPI_MakeCylinder.hxx>
#include <BRepTools.hxx>
#include <BRep_Builder.hxx>
#include <GProp_GProps.hxx>
#include <TopTools_ListOfShape.hxx>
#include <gp_Ax2.hxx>

namespace fs = std::filesystem;

class MeshTest : public TempDirTest {};

namespace {

// Twelve elements to a full turn: the triangles of a cylinder fall short of its area by
// 1 - sin(15°)/(15° in radians), 1.1%, and a plane's holes shrink by more of theirs.
const double meshShare = 1.5 * (1 - std::sin(M_PI / 12) / (M_PI / 12));

/// What a face or a meshed surface covers: its area and centre.
struct Patch {
    double area = 0;
    gp_Pnt centre;
};

Patch measureFace(const TopoDS_Shape& face)
{
    GProp_GProps props;
    BRepGProp::SurfaceProperties(face, props);
    return {props.Mass(), props.CentreOfMass()};
}

// The patches of each physical surface group of a mesh file, one per gmsh surface, read back by
// gmsh itself.
std::map<std::string, std::vector<Patch>> readGroups(const fs::path& meshFile)
{
    startGmsh();
    gmsh::open(meshFile.string());
    std::map<std::string, std::vector<Patch>> groups;
    gmsh::vectorpair physical;
    gmsh::model::getPhysicalGroups(physical);
    for (const auto& [dim, tag] : physical) {
        std::string name;
        gmsh::model::getPhysicalName(dim, tag, name);
        std::vector<int> entities;
        gmsh::model::getEntitiesForPhysicalGroup(dim, tag, entities);
        std::vector<Patch>& patches = groups[name];
        for (const int entity : entities) {
            Patch patch;
            gp_XYZ moment(0, 0, 0);
            std::vector<int> types;
            std::vector<std::vector<std::size_t>> elements, nodes;
            gmsh::model::mesh::getElements(types, elements, nodes, dim, entity);
            for (std::size_t t = 0; t < types.size(); ++t) {
                if (dim != 2) {
                    patch.area += double(elements[t].size());
                    continue;
                }
                const std::size_t perElement = nodes[t].size() / elements[t].size();
                // MSH 2.2 repeats an element for each group it is in; once is enough here.
                std::set<std::array<std::size_t, 3>> seen;
                for (std::size_t e = 0; e < elements[t].size(); ++e) {
                    std::array<std::size_t, 3> corners{nodes[t][e * perElement],
                                                       nodes[t][e * perElement + 1],
                                                       nodes[t][e * perElement + 2]};
                    std::sort(corners.begin(), corners.end());
                    if (!seen.insert(corners).second) continue;
                    gp_Pnt corner[3];
                    for (int c = 0; c < 3; ++c) {
                        std::vector<double> xyz, uvw;
                        gmsh::model::mesh::getNode(nodes[t][e * perElement + std::size_t(c)], xyz,
                                                   uvw);
                        corner[c] = gp_Pnt(xyz[0], xyz[1], xyz[2]);
                    }
                    const double area = 0.5 * gp_Vec(corner[0], corner[1])
                                                  .Crossed(gp_Vec(corner[0], corner[2]))
                                                  .Magnitude();
                    patch.area += area;
                    moment += area * (corner[0].XYZ() + corner[1].XYZ() + corner[2].XYZ()) / 3;
                }
            }
            if (dim == 2 && patch.area > 0) patch.centre = gp_Pnt(moment / patch.area);
            patches.push_back(patch);
        }
    }
    return groups;
}

// Each face file's face must be one patch of the group, near its centre and of its area within
// what the mesh allows, and the group must hold no other patch.
void expectGroupHolds(const std::vector<Patch>& group, const std::vector<fs::path>& faceFiles,
                      double size, const std::string& name)
{
    ASSERT_EQ(group.size(), faceFiles.size()) << name;
    std::vector<bool> taken(group.size(), false);
    double meshed = 0, listed = 0;
    for (const fs::path& file : faceFiles) {
        TopoDS_Shape face;
        BRep_Builder builder;
        ASSERT_TRUE(BRepTools::Read(face, file.c_str(), builder)) << file;
        const Patch expected = measureFace(face);
        std::size_t nearest = group.size();
        for (std::size_t i = 0; i < group.size(); ++i) {
            if (taken[i]) continue;
            if (nearest == group.size() || group[i].centre.Distance(expected.centre) <
                                               group[nearest].centre.Distance(expected.centre)) {
                nearest = i;
            }
        }
        ASSERT_LT(nearest, group.size()) << name << ": " << file;
        taken[nearest] = true;
        EXPECT_LT(group[nearest].centre.Distance(expected.centre), 0.01 * size)
            << name << ": " << file;
        EXPECT_NEAR(group[nearest].area, expected.area, meshShare * expected.area)
            << name << ": " << file;
        meshed += group[nearest].area;
        listed += expected.area;
    }
    EXPECT_NEAR(meshed, listed, meshShare * listed) << name;
}

// A plate with a grid of holes through it: 6 faces and one cylinder a hole.
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

std::string recordsOf(const std::vector<int>& faces, int length)
{
    std::ostringstream text;
    for (const int face : faces) {
        text << face;
        for (int i = 1; i < length; ++i) text << " 0";
        text << '\n';
    }
    return text.str();
}

std::vector<fs::path> faceFilesOf(const fs::path& root, const std::vector<int>& faces)
{
    std::vector<fs::path> files;
    for (const int face : faces) files.push_back(root / "data" / ("face" + std::to_string(face) + ".brep"));
    return files;
}

// Face files of every face of `shape`, as tarnfold writes them, read back as the command reads
// them.
std::vector<ListedFace> listEveryFace(const TopoDS_Shape& shape, const fs::path& root)
{
    DatasetInputs inputs;
    const int count = visitFaces(shape, [&](int n, const TopoDS_Face&) {
        inputs.forceFaces.push_back(n);
    });
    fs::create_directories(root / "data");
    EXPECT_TRUE(exportFaceFiles(shape, inputs, root).empty());
    std::vector<ListedFace> faces;
    EXPECT_TRUE(readListedFaces(root, inputs, count, faces).empty());
    EXPECT_EQ(int(faces.size()), count);
    return faces;
}

} // namespace

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
