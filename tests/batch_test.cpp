// tarnfold-batch against tarnfold: datasets that share a model and datasets that name others,
// read in one batch, must get exactly the face files and the error lines that tarnfold gives
// each of them alone.
#include "batch_support.hpp"

#include <algorithm>
#include <regex>
#include <set>

#include <fcntl.h>
#include <unistd.h>

#include <BRepPrimAPI_MakeBox.hxx>
#include <BRepPrimAPI_MakeCylinder.hxx>

namespace fs = std::filesystem;

class BatchTest : public ProcessTest {};

namespace {

struct DatasetCase {
    std::string root;    ///< as given, relative to the test's directory
    std::string address; ///< address.txt; "" for no dataset at all
    std::string force, restraint;
    BatchRow row;        ///< what the batch's table says of it
};

} // namespace

// Every kind of dataset at once: sharing a model under three names (relative, absolute, through
// a link), another model, a missing one, one that is not STEP (under two names), none named, no
// dataset at all, one listed twice. One worker per model file, whatever the number of workers at
// once.
TEST_F(BatchTest, EachDatasetAsTarnfoldAloneWouldDoIt)
{
    writeStepModel(BRepPrimAPI_MakeBox(10, 20, 30).Shape(), dir / "box.step");
    writeStepModel(BRepPrimAPI_MakeCylinder(5, 10).Shape(), dir / "cylinder.step");
    fs::create_symlink("box.step", dir / "link.step");
    writeFile(dir / "not-step.step", "hello\n");
    const std::string box = (dir / "box.step").string();
    const std::vector<DatasetCase> cases = {
        {"jobs/a", "box.step", "1 0 0\n3 0 0\n", "5 0 0 0 0 0 0\n",
         {"jobs/a", "ok", "3", "box.step"}},
        {"jobs/b", box, "2 0 0 9 0 0\n", "", {"jobs/b", "failed", "1", box}},
        {"jobs/c", "cylinder.step", "1 0 0 2 0 0 3 0 0\n", "",
         {"jobs/c", "ok", "3", "cylinder.step"}},
        {"jobs/d", "link.step", "6 0 0\nx\n", "", {"jobs/d", "failed", "1", "link.step"}},
        {"jobs/e", "missing.step", "1 0 0\n", "", {"jobs/e", "failed", "0", "missing.step"}},
        {"jobs/f", "not-step.step", "1 0 0\n", "", {"jobs/f", "failed", "0", "not-step.step"}},
        {"jobs/i", "./not-step.step", "1 0 0\n", "", {"jobs/i", "failed", "0", "./not-step.step"}},
        {"jobs/g", " \n", "1 0 0\n", "", {"jobs/g", "failed", "0", "-"}},
        {"jobs/h", "", "", "", {"jobs/h", "failed", "0", "-"}},
        {"jobs/a", "box.step", "1 0 0\n3 0 0\n", "5 0 0 0 0 0 0\n",
         {"jobs/a", "ok", "3", "box.step"}},
    };
    std::vector<std::string> roots;
    std::vector<BatchRow> expectedRows;
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
        EXPECT_EQ(parseBatchTable(batch.out), expectedRows) << "--jobs " << jobs;
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
                                        "not-step.step' (2 datasets)"}) {
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
    std::set<std::string> checked;
    for (const DatasetCase& c : cases) {
        if (!checked.insert(c.root).second) continue;
        const ToolRun alone = runTool({c.root}, dir);
        EXPECT_EQ(alone.exitStatus, c.row.status == "ok" ? 0 : 1) << c.root << alone.err;
        const std::map<std::string, std::string> faces = faceFiles(dir / c.root / "data");
        EXPECT_EQ(batchFaces[c.root], faces) << c.root;
        EXPECT_EQ(std::to_string(faces.size()), c.row.files) << c.root;
        // A dataset listed twice has its lines twice, once for each row.
        std::string expected;
        for (auto n = std::count(roots.begin(), roots.end(), c.root); n > 0; --n) {
            expected += alone.err;
        }
        EXPECT_EQ(linesFor(errs["1"], c.root), expected) << c.root;
        if (c.row.status != "ok") {
            EXPECT_NE(alone.err, "") << c.root;
        }
    }
    expectNoProcessLeft();
}

// Usage errors end before any work with status 2 and one line; --help and --version answer.
TEST_F(BatchTest, CommandLine)
{
    struct Case {
        std::vector<std::string> args;
        int status;
        std::string err; ///< the whole of stderr
    };
    const std::vector<Case> cases = {
        {{}, 2, "usage: tarnfold-batch [options] <dataset-root>...\n"
                "       tarnfold-batch [options] --from FILE [<dataset-root>...]\n"
                "       tarnfold-batch --cache-stats [--cache DIR]\n"},
        {{"--jobs", "0", "a"}, 2,
         "tarnfold-batch: error: --jobs needs a whole number from 1 to 1024, not '0'; see "
         "tarnfold-batch --help\n"},
        {{"--from", "none.txt"}, 2,
         "tarnfold-batch: error: cannot read dataset list 'none.txt': No such file or directory\n"},
        {{"--log", "no/such/dir/log.txt", "a"}, 2,
         "tarnfold-batch: error: cannot write log 'no/such/dir/log.txt': No such file or "
         "directory\n"},
        {{"--help"}, 0, ""},
        {{"a", "--version"}, 0, ""},
    };
    for (const Case& c : cases) {
        const ToolRun run = runBatch(c.args, dir);
        const std::string context = ::testing::PrintToString(c.args);
        EXPECT_EQ(run.exitStatus, c.status) << context;
        EXPECT_EQ(run.err, c.err) << context;
        if (c.status == 2) {
            EXPECT_EQ(run.out, "") << context;
        }
    }
    EXPECT_EQ(runBatch({"-h"}).out.rfind("usage: tarnfold-batch [options] <dataset-root>...\n", 0),
              0u);
    EXPECT_TRUE(
        std::regex_match(runBatch({"--version"}).out,
                         std::regex(R"(tarnfold-batch [0-9.]+ \(OpenCASCADE 7\.[0-9.]+\)\n)")));
    EXPECT_FALSE(fs::exists(dir / "a"));
}

// Roots from the command line and then from the list (here stdin), the groups a run would make,
// the library's messages in the log and the datasets' lines alone on stderr, and a root that no
// table could hold without its escapes.
TEST_F(BatchTest, ListsGroupsAndLog)
{
    writeStepModel(BRepPrimAPI_MakeBox(10, 20, 30).Shape(), dir / "box.step");
    writeStepModel(BRepPrimAPI_MakeCylinder(5, 10).Shape(), dir / "cylinder.step");
    makeDataset(dir / "a", "box.step", "1 0 0\n", "");
    makeDataset(dir / "b", "cylinder.step", "1 0 0\n", "");
    makeDataset(dir / "c", (dir / "box.step").string(), "2 0 0\n", "");
    makeDataset(dir / "d", "missing.step", "1 0 0\n", "");
    writeFile(dir / "list.txt", "c\n\nb\nd\ntab\there\n");
    const auto listOnStdin = [&] {
        const int list = ::open((dir / "list.txt").c_str(), O_RDONLY);
        ::dup2(list, STDIN_FILENO);
    };

    const ToolRun groups = runBatch({"--list-groups", "a", "--from", "-"}, dir, listOnStdin);
    EXPECT_EQ(groups.exitStatus, 0) << groups.err;
    EXPECT_EQ(groups.err, "");
    EXPECT_EQ(groups.out, "group\tdataset\tmodel\n"
                          "1\ta\tbox.step\n"
                          "1\tc\t" + (dir / "box.step").string() + "\n"
                          "2\tb\tcylinder.step\n"
                          "3\td\tmissing.step\n"
                          "4\ttab\\there\t-\n");
    EXPECT_EQ(faceFiles(dir / "a" / "data").size(), 0u) << "--list-groups reads no model";

    const ToolRun batch = runBatch({"--log", "log.txt", "a", "--from", "-"}, dir, listOnStdin);
    EXPECT_EQ(batch.exitStatus, 1);
    EXPECT_EQ(parseBatchTable(batch.out),
              (std::vector<BatchRow>{{"a", "ok", "1", "box.step"},
                                     {"c", "ok", "1", (dir / "box.step").string()},
                                     {"b", "ok", "1", "cylinder.step"},
                                     {"d", "failed", "0", "missing.step"},
                                     {"tab\\there", "failed", "0", "-"}}));
    EXPECT_EQ(batch.err, "d: tarnfold: error: cannot read STEP model 'missing.step': No such file "
                         "or directory (taken relative to the working directory '" +
                             dir.string() + "')\n"
                         "tab\\there: tarnfold: error: cannot read dataset 'tab\there': No such "
                         "file or directory\n");
    const std::string log = readFile(dir / "log.txt");
    EXPECT_EQ(log.rfind("tarnfold-batch: model 'box.step' (2 datasets):\n", 0), 0u) << log;
    EXPECT_NE(log.find("\ntarnfold-batch: model 'cylinder.step' (1 dataset):\n"), std::string::npos)
        << log;
    EXPECT_NE(log.find("Transferring"), std::string::npos) << log;
}
