// The benchmark's own machinery: its statistics, its measurement of a process, the face files it
// clears and compares, its datasets, and floors that write what the tool writes.
#include "test_support.hpp"

#include "bench.hpp"
#include "intake/dataset_inputs.hpp"

#include <csignal>
#include <fstream>
#include <locale>
#include <map>
#include <set>

#include <sys/stat.h>
#include <unistd.h>

#include <BRepPrimAPI_MakeBox.hxx>

class BenchTest : public TempDirTest {};

namespace {

ProcessFigures wallOf(double ms)
{
    ProcessFigures figures;
    figures.wallMs = ms;
    return figures;
}

ino_t inodeOf(const fs::path& path)
{
    struct stat status {};
    return ::stat(path.c_str(), &status) == 0 ? status.st_ino : 0;
}

} // namespace

// Medians of odd and even counts with NaN left out, and the "median (min-max)" the tables print.
TEST(BenchStatistics, MediansAndSpreads)
{
    struct Row {
        std::vector<double> values;
        double median;
        std::string spread;
    };
    const Row rows[] = {
        {{3, 1, 2}, 2, "2.0 (1.0-3.0)"},
        {{4, 1, 3, 2}, 2.5, "2.5 (1.0-4.0)"},
        {{5, NAN, 1}, 3, "3.0 (1.0-5.0)"},
        {{7}, 7, "7.0"},
        {{NAN}, NAN, "-"},
        {{}, NAN, "-"},
    };
    for (const Row& c : rows) {
        const std::string context = "values " + ::testing::PrintToString(c.values);
        if (std::isnan(c.median)) {
            EXPECT_TRUE(std::isnan(median(c.values))) << context;
        } else {
            EXPECT_DOUBLE_EQ(c.median, median(c.values)) << context;
        }
        EXPECT_EQ(c.spread, formatSpread(c.values, 1)) << context;
    }
}

// A ratio pairs round i of one runner with round i of the other, never across rounds.
TEST(BenchStatistics, RatiosPairRoundByRound)
{
    const std::vector<ProcessFigures> tool = {wallOf(110), wallOf(90), wallOf(300)};
    const std::vector<ProcessFigures> floor = {wallOf(100), wallOf(100)};
    EXPECT_EQ((std::vector<double>{1.1, 0.9}), pairedRatios(tool, floor, &ProcessFigures::wallMs));
}

// Exit statuses read as a shell reports them; the CPU time is the command's own, apart from its
// wall time: a command that only sleeps has next to none, one that spins until it has used
// 100 ms of CPU (by its own count) has at least that. The peak memory is the command's own, not
// the (larger) bench's that spawns it.
TEST(BenchProcesses, FiguresAreTheCommands)
{
    const fs::path scratch = fs::temp_directory_path() / ("bench-test-" + std::to_string(::getpid()));
    EXPECT_EQ(3, runProcess({"/bin/sh", "-c", "exit 3"}, scratch).exitStatus);
    EXPECT_EQ(128 + SIGKILL, runProcess({"/bin/sh", "-c", "kill -9 $$"}, scratch).exitStatus);
    // Perl is essential in Debian; times() is its own user CPU time.
    const ProcessFigures spinning =
        runProcess({"/usr/bin/perl", "-e", "1 while (times)[0] < 0.1"}, scratch);
    EXPECT_EQ(spinning.exitStatus, 0);
    EXPECT_GE(spinning.cpuMs, 100);

    std::vector<char> ballast(256u << 20, 1); // resident in this process while the child runs
    const ProcessFigures figures = runProcess({"/bin/sleep", "0.05"}, scratch);
    EXPECT_GE(figures.wallMs, 50);
    EXPECT_LT(figures.cpuMs, 25) << "not the command's CPU time";
    EXPECT_EQ(ballast[ballast.size() / 2], 1);
    if (::access("/usr/bin/time", X_OK) != 0) GTEST_SKIP() << "no GNU time: no peak memory";
    EXPECT_GT(figures.peakRssMiB, 0);
    EXPECT_LT(figures.peakRssMiB, 64) << "the spawning process's memory was counted";
}

// Clearing for a first run keeps the dataset's inputs, drops the face files, and leaves a new
// directory (a reused one makes creating files slower).
TEST_F(BenchTest, RemoveFaceFilesKeepsInputsInANewDirectory)
{
    const fs::path data = dir / "data";
    writeFile(data / "address.txt", "model.step\n");
    writeFile(data / "force" / "loads.txt", "1 0 0\n");
    writeFile(data / "face1.brep", "x");
    writeFile(data / "face12.brep", "y");
    const ino_t before = inodeOf(data);
    removeFaceFiles(data);
    EXPECT_EQ((std::vector<std::string>{"address.txt", "force"}), listNames(data));
    EXPECT_EQ("1 0 0\n", readFile(data / "force" / "loads.txt"));
    EXPECT_NE(before, inodeOf(data));
}

// Face files match only with the same names and the same bytes; other files do not count.
TEST_F(BenchTest, SameFaceFilesComparesNamesAndBytes)
{
    const std::map<std::string, std::string> reference = {{"face1.brep", "abc"}, {"face2.brep", "de"}};
    struct Row {
        const char* what;
        std::map<std::string, std::string> files;
        bool same;
    };
    const Row rows[] = {
        {"identical, plus a file that is no face file", {{"face1.brep", "abc"}, {"face2.brep", "de"}, {"notes.txt", "z"}}, true},
        {"one byte differs", {{"face1.brep", "abc"}, {"face2.brep", "dE"}}, false},
        {"one file missing", {{"face1.brep", "abc"}}, false},
        {"one file more", {{"face1.brep", "abc"}, {"face2.brep", "de"}, {"face3.brep", ""}}, false},
        {"another name", {{"face1.brep", "abc"}, {"face3.brep", "de"}}, false},
    };
    for (const auto& [name, bytes] : reference) writeFile(dir / "a" / name, bytes);
    int n = 0;
    for (const Row& c : rows) {
        const fs::path b = dir / ("b" + std::to_string(++n));
        fs::create_directories(b);
        for (const auto& [name, bytes] : c.files) writeFile(b / name, bytes);
        EXPECT_EQ(c.same, sameFaceFiles(dir / "a", b)) << c.what;
    }
}

// Each dataset selects what its name promises; its lists read back through the tool's own walk,
// and its selection for the floors is sorted, distinct and within the model.
TEST_F(BenchTest, DatasetsSelectWhatTheirNamesPromise)
{
    const int faceCount = 250;
    const std::map<std::string, int> expected = {{"10", 10}, {"10%", 25}, {"all", 250}, {"10k-list", 100}};
    const std::vector<Dataset> datasets =
        makeDatasets(dir, "m", dir / "m.step", faceCount, datasetKinds());
    ASSERT_EQ(expected.size(), datasets.size());
    for (const Dataset& dataset : datasets) {
        EXPECT_EQ(expected.at(dataset.name), dataset.selected) << dataset.name;
        const std::vector<std::int32_t> selection = readSelection(dataset.root / "selection.bin");
        EXPECT_EQ(static_cast<std::size_t>(dataset.selected), selection.size()) << dataset.name;
        for (std::size_t i = 0; i < selection.size(); ++i) {
            EXPECT_TRUE(selection[i] >= 1 && selection[i] <= faceCount &&
                        (i == 0 || selection[i - 1] < selection[i]))
                << dataset.name << " entry " << i << ": " << selection[i];
        }
        std::ifstream stream;
        stream.imbue(std::locale::classic());
        DatasetInputs inputs;
        EXPECT_TRUE(walkDataset(dataset.root, stream, inputs).empty()) << dataset.name;
        EXPECT_EQ(dataset.forceEntries, inputs.forceFaces.size()) << dataset.name;
        EXPECT_EQ(dataset.restraintEntries, inputs.restraintFaces.size()) << dataset.name;
    }
    EXPECT_EQ(10000u, datasets.back().forceEntries);
    EXPECT_EQ(1u, makeDatasets(dir / "one", "m", dir / "m.step", faceCount, {"all"}).size());
}

// The batch's datasets name the model, each lists its own ten faces within the model, and the
// tool's walk reads them back whole.
TEST_F(BenchTest, BatchDatasetsEachListTheirOwnFaces)
{
    const int faceCount = 2046;
    const std::vector<fs::path> roots = makeBatchDatasets(dir, dir / "m.step", faceCount, 100, 10);
    ASSERT_EQ(roots.size(), 100u);
    EXPECT_EQ(roots.front().filename(), "d000");
    std::set<std::set<double>> lists;
    for (const fs::path& root : roots) {
        std::ifstream stream;
        stream.imbue(std::locale::classic());
        DatasetInputs inputs;
        EXPECT_TRUE(walkDataset(root, stream, inputs).empty()) << root;
        EXPECT_EQ(inputs.modelPath, (dir / "m.step").string());
        std::set<double> faces(inputs.forceFaces.begin(), inputs.forceFaces.end());
        faces.insert(inputs.restraintFaces.begin(), inputs.restraintFaces.end());
        EXPECT_EQ(faces.size(), 10u) << root;
        EXPECT_TRUE(*faces.begin() >= 1 && *faces.rbegin() <= faceCount) << root;
        lists.insert(faces);
    }
    EXPECT_EQ(lists.size(), 100u) << "two datasets list the same faces";
}

// Both floors write the tool's bytes, and a floor's re-run rewrites each file in place, as
// BRepTools::Write does: the library's own way of running again, which re-runs are set against.
TEST_F(BenchTest, FloorsWriteTheToolsBytesAndRewriteInPlace)
{
    const fs::path model = dir / "box.step";
    writeStepModel(BRepPrimAPI_MakeBox(10, 20, 30).Shape(), model);
    const std::vector<Dataset> datasets = makeDatasets(dir, "box", model, 6, {"all"});
    ASSERT_EQ(1u, datasets.size());
    const fs::path root = datasets.front().root;
    ASSERT_EQ(0, runTool({root.string()}).exitStatus);
    ASSERT_EQ(6u, listFaceFiles(root / "data").size());

    for (const char* floor : {"bare", "prescribed"}) {
        const fs::path out = root / floor;
        fs::create_directories(out);
        const int saved = silenceStdout(); // the prescribed floor prints the load check
        const int firstStatus = runFloorProcess(floor, model.string(), root / "selection.bin", out);
        const ino_t firstInode = inodeOf(out / "face1.brep");
        const int reRunStatus = runFloorProcess(floor, model.string(), root / "selection.bin", out);
        restoreStdout(saved);
        EXPECT_EQ(0, firstStatus) << floor;
        EXPECT_EQ(0, reRunStatus) << floor;
        EXPECT_TRUE(sameFaceFiles(root / "data", out)) << floor;
        EXPECT_EQ(firstInode, inodeOf(out / "face1.brep")) << floor << ": not rewritten in place";
    }
}
