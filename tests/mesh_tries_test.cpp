// tarnfold-mesh on what users hand it: a solid gmsh cannot mesh as it comes, a model of shells,
// touching solids, a model no try meshes, a try that runs out of time, a stop during a try. The
// real command on models built here, its mesh read back with gmsh.
#include "mesh_support.hpp"
#include "test_support.hpp"

#include "model/face_numbering.hpp"

#include <csignal>
#include <sstream>

#include <BRepPrimAPI_MakeBox.hxx>

#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

class MeshTriesTest : public ProcessTest {
protected:
    // The model written to dir/model.step, and a dataset dir/job that lists `force` and
    // `restraint` of it.
    void makeJob(const TopoDS_Shape& model, const std::vector<int>& force,
                 const std::vector<int>& restraint)
    {
        writeStepModel(model, dir / "model.step");
        makeDataset(dir / "job", (dir / "model.step").string(), recordsOf(force, 3),
                    recordsOf(restraint, 7));
    }

    std::vector<std::string> meshArguments(std::vector<std::string> options) const
    {
        options.insert(options.end(), {(dir / "job").string(), (dir / "m.msh").string()});
        return options;
    }
};

// The lines of `err` that begin with `prefix`.
std::vector<std::string> linesOf(const std::string& err, const std::string& prefix)
{
    std::vector<std::string> lines;
    std::istringstream stream(err);
    for (std::string line; std::getline(stream, line);) {
        if (line.compare(0, prefix.size(), prefix) == 0) lines.push_back(line);
    }
    return lines;
}

// The first face of `shape` whose centre of area is `centre`; 0 for none.
int faceAt(const TopoDS_Shape& shape, const gp_Pnt& centre)
{
    int found = 0;
    visitFaces(shape, [&](int n, const TopoDS_Face& face) {
        if (found == 0 && measureFace(face).centre.Distance(centre) < 1e-6) found = n;
    });
    return found;
}

} // namespace

// A thin wall, 0.07 thick, between a slot 0.01 wide and the outside of a cylinder: the chords of
// the cylinder's elements, 12 to a turn, cut through the slot, and neither gmsh's healing nor its
// other algorithm gets past that. The try with 24 elements a turn on curved faces does; one note
// says so with gmsh's reason for each try before, and the groups hold the slot's wall and the
// cylinder.
TEST_F(MeshTriesTest, MeshesOnALaterTryASolidGmshCannotMeshAsItComes)
{
    const TopoDS_Shape solid = makeSlottedCylinder(0.3, 0.07, 0.01);
    const int wall = faceAt(solid, gp_Pnt(0, 2.93, 6)), bottom = faceAt(solid, gp_Pnt(0, 0, 0));
    ASSERT_NE(wall, 0);
    ASSERT_NE(bottom, 0);
    makeJob(solid, {wall}, {bottom});
    const ToolRun run = runBinary(TARNFOLD_MESH_BINARY, meshArguments({"--size", "2"}));
    ASSERT_EQ(run.exitStatus, 0) << run.err;
    const std::vector<std::string> notes =
        linesOf(run.err, "tarnfold-mesh: note: meshed on try 4 (healed, 24 elements a turn on "
                         "curved faces); try 1 (as imported): gmsh: PLC Error");
    ASSERT_EQ(notes.size(), 1u) << run.err;
    EXPECT_NE(notes[0].find("; try 3 (healed, with gmsh's HXT 3D algorithm): gmsh: "),
              std::string::npos) << notes[0];
    EXPECT_EQ(linesOf(run.err, "tarnfold-mesh: error").size(), 0u) << run.err;
    const auto groups = readGroups(dir / "m.msh");
    ASSERT_EQ(groups.count("solid"), 1u);
    expectGroupHolds(groups.at("force"), facesOf(solid, {wall}), 12, "force");
    expectGroupHolds(groups.at("restraint"), facesOf(solid, {bottom}), 12, "restraint");
    expectNoTemporary(dir);
}

// A model of shells alone is meshed with triangles: its listed faces the groups, all its faces
// the physical surface "shell", and a note that says it is a surface mesh.
TEST_F(MeshTriesTest, MeshesAShellAsASurfaceMesh)
{
    const TopoDS_Shape shell = makeShellBox();
    const int bottom = faceAt(shell, gp_Pnt(5, 5, 0)), side = faceAt(shell, gp_Pnt(0, 5, 5));
    makeJob(shell, {bottom}, {side});
    const ToolRun run = runBinary(TARNFOLD_MESH_BINARY, meshArguments({"--size", "4"}));
    ASSERT_EQ(run.exitStatus, 0) << run.err;
    EXPECT_EQ(linesOf(run.err, "tarnfold-mesh: note: the model '").size(), 1u) << run.err;
    EXPECT_NE(run.err.find("holds no solid: the mesh is a surface mesh"), std::string::npos);
    const auto groups = readGroups(dir / "m.msh");
    EXPECT_EQ(groups.count("solid"), 0u);
    ASSERT_EQ(groups.count("shell"), 1u);
    expectGroupHolds(groups.at("force"), facesOf(shell, {bottom}), 17, "force");
    expectGroupHolds(groups.at("restraint"), facesOf(shell, {side}), 17, "restraint");
    expectGroupHolds(groups.at("shell"), facesOf(shell, {1, 2, 3, 4, 5, 6}), 17, "shell");
}

// Two boxes that touch are fragmented into one conformal mesh: the tetrahedra of both take the
// very same nodes on the face between them, each box is a physical volume numbered as the model
// numbers its solids, and the face between them, listed as a face of the first box, is found.
TEST_F(MeshTriesTest, MeshesTouchingSolidsAsOneConformalMesh)
{
    const TopoDS_Shape boxes = makeTouchingBoxes();
    const int between = faceAt(boxes, gp_Pnt(10, 5, 5)), far = faceAt(boxes, gp_Pnt(20, 5, 5));
    ASSERT_LT(between, 7);
    makeJob(boxes, {between}, {far});
    const ToolRun run = runBinary(TARNFOLD_MESH_BINARY, meshArguments({"--size", "4"}));
    ASSERT_EQ(run.exitStatus, 0) << run.err;
    EXPECT_EQ(run.err, "");
    const auto groups = readGroups(dir / "m.msh");
    ASSERT_EQ(groups.count("solid1"), 1u);
    ASSERT_EQ(groups.count("solid2"), 1u);
    EXPECT_EQ(groups.count("solid"), 0u);
    expectGroupHolds(groups.at("force"), facesOf(boxes, {between}), 22, "force");
    expectGroupHolds(groups.at("restraint"), facesOf(boxes, {far}), 22, "restraint");

    const auto nodes = readNodesAtX(dir / "m.msh", 10);
    ASSERT_GT(nodes.at("force").size(), 4u);
    EXPECT_EQ(nodes.at("solid1"), nodes.at("force"));
    EXPECT_EQ(nodes.at("solid2"), nodes.at("force"));
    // Solid 1 is the box below x = 10: none of its nodes lies at x = 20.
    EXPECT_EQ(readNodesAtX(dir / "m.msh", 20).count("solid1"), 0u);
}

// When no try meshes the model, the run ends in one error line that gives gmsh's reason for
// each try, with status 1; an older mesh file stays as it was, and nothing else is left.
TEST_F(MeshTriesTest, AModelNoTryMeshesIsOneErrorLineWithGmshsReasons)
{
    // The slot breaks through the cylinder's wall where it is thinnest.
    makeJob(makeSlottedCylinder(0.5, 0.01, 0.01), {1}, {2});
    writeFile(dir / "m.msh", "an older mesh\n");
    const ToolRun run = runBinary(TARNFOLD_MESH_BINARY, meshArguments({"--size", "2"}));
    EXPECT_EQ(run.exitStatus, 1);
    const std::vector<std::string> errors = linesOf(run.err, "tarnfold-mesh: error: ");
    ASSERT_EQ(errors.size(), 1u) << run.err;
    EXPECT_EQ(errors[0].find("tarnfold-mesh: error: gmsh could not mesh '"), 0u) << errors[0];
    for (const char* words :
         {"': try 1 (as imported): gmsh: ", "; try 2 (healed): gmsh: ",
          "; try 3 (healed, with gmsh's HXT 3D algorithm): gmsh: HXT 3D mesh failed; ",
          "; try 5 (healed, twice as coarse): gmsh: ", "; no mesh was written"}) {
        EXPECT_NE(errors[0].find(words), std::string::npos) << words << " in " << errors[0];
    }
    EXPECT_EQ(readFile(dir / "m.msh"), "an older mesh\n");
    expectNoTemporary(dir);
    expectNoProcessLeft();
}

// A try that runs out of its time is stopped, and so is the coarser try after it; the run ends
// in one line that says so, well before the mesh could have been made.
TEST_F(MeshTriesTest, StopsATryThatRunsOutOfTime)
{
    makeJob(BRepPrimAPI_MakeBox(10, 10, 10).Shape(), {1}, {2});
    const ToolRun run =
        runBinary(TARNFOLD_MESH_BINARY, meshArguments({"--size", "0.05", "--try-timeout", "0.5"}));
    EXPECT_EQ(run.exitStatus, 1);
    const std::vector<std::string> errors = linesOf(run.err, "tarnfold-mesh: error: ");
    ASSERT_EQ(errors.size(), 1u) << run.err;
    EXPECT_NE(errors[0].find("': try 1 (as imported): ran out of its 0.5 s; try 5 (healed, twice as "
                             "coarse): ran out of its 0.5 s; no mesh was written"),
              std::string::npos)
        << errors[0];
    EXPECT_FALSE(fs::exists(dir / "m.msh"));
    expectNoTemporary(dir);
    expectNoProcessLeft();
}

// A stop while a try runs (its worker is the worker's child) ends the whole run by that signal,
// with one line, the try's worker gone and no temporary left.
TEST_F(MeshTriesTest, AStopDuringATryLeavesNothing)
{
    makeJob(BRepPrimAPI_MakeBox(10, 10, 10).Shape(), {1}, {2});
    const int err = openForOutput(dir / "err.txt");
    ChildLaunch launch;
    launch.binary = TARNFOLD_MESH_BINARY;
    launch.args = meshArguments({"--size", "0.05", "--try-timeout", "60"});
    launch.err = err;
    const pid_t run = startChild(launch);
    ::close(err);
    // The supervisor's worker, then the try's worker under it.
    std::vector<pid_t> workers, tries;
    for (int i = 0; i < 2000 && tries.empty(); ++i) {
        workers = childrenOf(run);
        if (!workers.empty()) tries = childrenOf(workers.front());
        if (tries.empty()) ::usleep(5000);
    }
    ASSERT_FALSE(tries.empty()) << "no try began";
    ::kill(run, SIGTERM);
    const int status = waitBounded(run);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM) << status;
    EXPECT_EQ(readFile(dir / "err.txt"), "tarnfold-mesh: error: stopped (Terminated) while "
                                         "meshing '" + (dir / "model.step").string() +
                                         "'; no file was written\n");
    EXPECT_FALSE(fs::exists(dir / "m.msh"));
    expectNoTemporary(dir);
    expectNoProcessLeft();
}
