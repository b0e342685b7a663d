// tarnfold-batch against tarnfold: datasets that share a model and datasets that name others,
// read in one batch, must get exactly the face files and the error lines that tarnfold gives
// each of them alone.
#include "batch_support.hpp"

#include <set>

#include <BRepPrimAPI_MakeBox.hxx>
#include <BRepPrimAPI_MakeCylinder.hxx>

namespace fs = std::filesystem;

class BatchTest : public ProcessTest {};

namespace {

struct DatasetCase {
    std::string root;    ///< as given, relative to the test's directory
    std::string address; ///< address.txt; "" for no dataset at all
    std::string force, restraint;
    TableRow row;        ///< what the batch's table says of it
};

} // namespace

// Every kind of dataset at once: sharing a model under three names (relative, absolute, through
// a link), another model, a missing one, one that is not STEP, none named, no dataset at all,
// one listed twice. One worker per model file, whatever the number of workers at once.
TEST_F(BatchTest, EachDatasetAsTarnfoldAloneWouldDoIt)
{
    writeStepModel(BRepPrimAPI_MakeBox(10, 20, 30).Shape(), dir / "box.step");
    writeStepModel(BRepPrimAPI_MakeCylinder(5, 10).Shape(), dir / "cylinder.step");
    fs::create_symlink("box.step", dir / "link.step");
    writeFile(dir / "not-step.step", "hello\n");
    const std::string box = (dir / "box.step").string();
    const std::vector<DatasetCase> cases = {
        {"jobs/a", "box.step", "1 0 0\n3 0 0\n", "5 0 0 0 0 0 0\n", {"jobs/a", "ok", "3", "box.step"}},
        {"jobs/b", box, "2 0 0 9 0 0\n", "", {"jobs/b", "failed", "1", box}},
        {"jobs/c", "cylinder.step", "1 0 0 2 0 0 3 0 0\n", "", {"jobs/c", "ok", "3", "cylinder.step"}},
        {"jobs/d", "link.step", "6 0 0\nx\n", "", {"jobs/d", "failed", "1", "link.step"}},
        {"jobs/e", "missing.step", "1 0 0\n", "", {"jobs/e", "failed", "0", "missing.step"}},
        {"jobs/f", "not-step.step", "1 0 0\n", "", {"jobs/f", "failed", "0", "not-step.step"}},
        {"jobs/g", " \n", "1 0 0\n", "", {"jobs/g", "failed", "0", "-"}},
        {"jobs/h", "", "", "", {"jobs/h", "failed", "0", "-"}},
        {"jobs/a", "box.step", "1 0 0\n3 0 0\n", "5 0 0 0 0 0 0\n", {"jobs/a", "ok", "3", "box.step"}},
    };
    std::vector<std::string> roots;
    std::vector<TableRow> expectedRows;
    for (const DatasetCase& c : cases) {
        if (!c.address.empty()) makeDataset(dir / c.root, c.address, c.force, c.restraint);
        roots.push_back(c.root);
        expectedRows.push_back(c.row);
    }

    const std::set<std::string> distinct(roots.begin(), roots.end());
    std::map<std::string, std::map<std::string, std::string>> batchFaces;
    std::map<std::string, std::string> errs; // stderr by --jobs
    for (const std::string jobs : {"1", "2"}) {
        std::vector<std::string> args = {"--jobs", jobs};
        args.insert(args.end(), roots.begin(), roots.end());
        const ToolRun batch = runBatch(args, dir);
        errs[jobs] = batch.err;
        EXPECT_EQ(batch.exitStatus, 1) << batch.err;
        EXPECT_EQ(parseTable(batch.out), expectedRows) << "--jobs " << jobs;
        // One worker for each model file: box.step under all three of its names, cylinder.step,
        // not-step.step; the datasets that fail before any model is read need none.
        std::size_t models = 0;
        for (std::size_t at = 0; (at = batch.err.find("tarnfold-batch: model '", at)) !=
                                 std::string::npos;
             ++at) {
            ++models;
        }
        EXPECT_EQ(models, 3u) << batch.err;
        for (const std::string model : {"box.step' (4 datasets)", "cylinder.step' (1 dataset)",
                                        "not-step.step' (1 dataset)"}) {
            EXPECT_NE(("\n" + batch.err).find("\ntarnfold-batch: model '" + model + ":\n"),
                      std::string::npos)
                << model << "\n" << batch.err;
        }
        for (const std::string& root : distinct) {
            if (jobs == "1") batchFaces[root] = faceFiles(dir / root / "data");
            EXPECT_EQ(faceFiles(dir / root / "data"), batchFaces[root]) << root;
            clearFaceFiles(dir / root / "data");
            EXPECT_EQ(linesFor(batch.err, root), linesFor(errs["1"], root)) << root;
        }
    }

    // Each dataset alone, with tarnfold: the same face files, byte for byte, and the same lines.
    for (const DatasetCase& c : cases) {
        if (c.root == "jobs/a" && &c != &cases.front()) continue;
        const ToolRun alone = runTool({c.root}, dir);
        EXPECT_EQ(alone.exitStatus, c.row.status == "ok" ? 0 : 1) << c.root << alone.err;
        const std::map<std::string, std::string> faces = faceFiles(dir / c.root / "data");
        EXPECT_EQ(batchFaces[c.root], faces) << c.root;
        EXPECT_EQ(std::to_string(faces.size()), c.row.files) << c.root;
        // jobs/a is listed twice: its lines come twice, once for each row.
        const std::string expected = c.root == "jobs/a" ? alone.err + alone.err : alone.err;
        EXPECT_EQ(linesFor(errs["1"], c.root), expected) << c.root;
        if (c.row.status != "ok") {
            EXPECT_NE(alone.err, "") << c.root;
        }
    }
    expectNoProcessLeft();
}
