// The model cache: every run through it must print, write and end byte for byte as the same run
// without it, whether the cache gives the model, takes it, holds a damaged entry, is shared by
// runs at once, or cannot be written.
#include "batch_support.hpp"
#include "cache/cached_model.hpp"
#include "model/face_numbering.hpp"

#include <algorithm>
#include <regex>

#include <fcntl.h>
#include <linux/capability.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <BRepAlgoAPI_Cut.hxx>
#include <BRepPrimAPI_MakeBox.hxx>
#include <BRepPrimAPI_MakeCylinder.hxx>
#include <BRep_Builder.hxx>
#include <STEPControl_Writer.hxx>
#include <TopoDS_Compound.hxx>
#include <gp_Ax2.hxx>

namespace fs = std::filesystem;

class CacheTest : public ProcessTest {};

namespace {

// What a run printed, how it ended, and every file it left in the dataset's data directory
// beside the lists: its face files and its record.
struct Outcome {
    ToolRun run;
    std::map<std::string, std::string> files;
};

std::map<std::string, std::string> productsOf(const fs::path& data)
{
    std::map<std::string, std::string> files;
    for (const std::string& name : listNames(data)) {
        if (name.rfind("face", 0) == 0 || name.rfind("last-run", 0) == 0) {
            files[name] = readFile(data / name);
        }
    }
    return files;
}

void removeProducts(const fs::path& data)
{
    for (const auto& [name, bytes] : productsOf(data)) fs::remove(data / name);
}

// Runs `binary` on `args` in `workDir` and takes what it left in `data`, then removes that, so
// that the next run starts from the same dataset.
Outcome runOn(const std::string& binary, const std::vector<std::string>& args,
              const fs::path& workDir, const fs::path& data,
              const std::function<void()>& inChild = {})
{
    Outcome outcome{runBinary(binary, args, workDir, {}, inChild), productsOf(data)};
    removeProducts(data);
    return outcome;
}

void expectSame(const Outcome& got, const Outcome& expected, const std::string& context)
{
    EXPECT_EQ(got.run.out, expected.run.out) << context;
    EXPECT_EQ(got.run.err, expected.run.err) << context;
    EXPECT_EQ(got.run.exitStatus, expected.run.exitStatus) << context;
    EXPECT_EQ(got.files, expected.files) << context;
}

std::vector<std::string> entriesIn(const fs::path& cache)
{
    std::vector<std::string> entries;
    for (const std::string& name : listNames(cache)) entries.push_back((cache / name).string());
    return entries;
}

TopoDS_Shape drilledBox()
{
    const TopoDS_Shape box = BRepPrimAPI_MakeBox(40, 30, 10).Shape();
    return BRepAlgoAPI_Cut(
               box, BRepPrimAPI_MakeCylinder(gp_Ax2(gp_Pnt(20, 15, -1), gp::DZ()), 5, 12).Shape())
        .Shape();
}

// Takes away, from what this process executes, what lets root write where permissions say it
// may not, so that a read-only directory is read-only to it too. False when it cannot.
bool dropOverridingPermissions()
{
    if (::geteuid() != 0) return true;
    for (const int capability : {CAP_DAC_OVERRIDE, CAP_DAC_READ_SEARCH, CAP_FOWNER}) {
        if (::prctl(PR_CAPBSET_DROP, capability, 0, 0, 0) != 0) return false;
    }
    return true;
}

} // namespace

// On models that the test builds, a face visited twice, a model of two shapes, a stray entry,
// the same bytes under another path, and on the example: without a cache, then through an empty cache (which keeps the model),
// then through the filled one named by TARNFOLD_CACHE, the same output, status, face files and
// record. The filled cache gives the model without the library reading any STEP.
TEST_F(CacheTest, ThroughTheCacheAsWithout)
{
    BRep_Builder builder;
    TopoDS_Compound twice;
    builder.MakeCompound(twice);
    const TopoDS_Shape box = BRepPrimAPI_MakeBox(10, 20, 30).Shape();
    builder.Add(twice, box);
    builder.Add(twice, box);
    writeStepModel(drilledBox(), dir / "drilled.step");
    writeStepModel(twice, dir / "twice.step");
    STEPControl_Writer writer;
    ASSERT_EQ(writer.Transfer(box, STEPControl_AsIs), IFSelect_RetDone);
    ASSERT_EQ(writer.Transfer(drilledBox(), STEPControl_AsIs), IFSelect_RetDone);
    ASSERT_EQ(writer.Write((dir / "two.step").c_str()), IFSelect_RetDone);
    fs::copy(fs::path(TARNFOLD_SOURCE_DIR) / "examples", dir / "examples",
             fs::copy_options::recursive);
    removeProducts(dir / "examples/bracket/data");
    fs::copy(dir / "drilled.step", dir / "copy.step");

    struct Case {
        std::string root, model, force, restraint;
    };
    const std::vector<Case> cases = {
        {"drilled", "drilled.step", "1 0 0\n7 0 0\n", "3 0 0 0 0 0 0\n"},
        {"copy", "copy.step", "2 0 0\n", ""},
        {"twice", "twice.step", "2 0 0\n8 0 0\n", "9 1 1 1 0 0 0\n"},
        {"two", "two.step", "1 0 0\n99 0 0\n", ""},
        {"examples/bracket", "", "", ""},
    };
    const std::string cache = (dir / "cache").string();
    for (const Case& c : cases) {
        if (!c.model.empty()) makeDataset(dir / c.root, c.model, c.force, c.restraint);
        const fs::path data = dir / c.root / "data";
        const Outcome without = runOn(TARNFOLD_BINARY, {c.root}, dir, data);
        ASSERT_NE(without.files.size(), 0u) << c.root << without.run.err;
        expectSame(runOn(TARNFOLD_BINARY, {"--cache", cache, c.root}, dir, data), without,
                   c.root + ", kept in the cache");
        expectSame(runOn(TARNFOLD_BINARY, {c.root}, dir, data,
                         [&] { ::setenv("TARNFOLD_CACHE", cache.c_str(), 1); }),
                   without, c.root + ", found in the cache");
        // --cache '' turns off the cache that the environment names.
        expectSame(runOn(TARNFOLD_BINARY, {c.root, "--cache", ""}, dir, data,
                         [] { ::setenv("TARNFOLD_CACHE", "/nonexistent/cache", 1); }),
                   without, c.root + ", no cache");
    }
    EXPECT_EQ(listNames(cache).size(), cases.size() - 1); // copy.step is drilled.step's bytes

    // Run again over the face files and record of a run: found in the cache, as without it.
    const fs::path data = dir / "drilled" / "data";
    runBinary(TARNFOLD_BINARY, {"drilled"}, dir);
    const ToolRun again = runBinary(TARNFOLD_BINARY, {"drilled"}, dir);
    const std::map<std::string, std::string> files = productsOf(data);
    expectSame(runOn(TARNFOLD_BINARY, {"--cache", cache, "drilled"}, dir, data), {again, files},
               "run again, found in the cache");

    // In this process: the model found in the cache comes with no shape and no STEP read, and its
    // faces are the bytes the export makes of the shape the library reads.
    RunModel model = takeModelFile((dir / "drilled.step").string());
    std::optional<STEPControl_Reader> read, found;
    std::string error;
    const ModelRead fromLibrary = readModel({}, model.path, model, false, read, error, nullptr);
    const ModelRead fromCache = readModel({cache}, model.path, model, false, found, error, nullptr);
    ASSERT_EQ(error, "");
    ASSERT_TRUE(fromCache.entry);
    EXPECT_TRUE(fromCache.shape.IsNull());
    EXPECT_FALSE(found); // no STEP read
    int faces = 0;
    visitFaces(fromLibrary.shape, [&](int number, const TopoDS_Face& face) {
        ++faces;
        EXPECT_EQ(cachedFaceBytes(*fromCache.entry, number), faceFileBytes(face)) << number;
    });
    EXPECT_EQ(countCachedFaces(*fromCache.entry), faces);
    // Messages that would be printed name a path only when they are at least the printers' level.
    const std::vector<LibraryMessage> named = {{"Reading 'a.step'", int(Message_Trace)},
                                               {"Loaded", int(Message_Info)}};
    EXPECT_FALSE(wouldPrintText(named, "a.step"));
    EXPECT_TRUE(wouldPrintText({{"Fail in 'a.step'", int(Message_Fail)}}, "a.step"));
}

// A damaged, cut short, foreign or unreadable entry is read around: one note, the results of a
// run without a cache, and the entry replaced, so that the next run finds it and says nothing.
TEST_F(CacheTest, DamagedEntriesAreReadAround)
{
    writeStepModel(drilledBox(), dir / "drilled.step");
    writeStepModel(BRepPrimAPI_MakeBox(1, 2, 3).Shape(), dir / "other.step");
    makeDataset(dir / "set", "drilled.step", "2 0 0\n5 0 0\n", "");
    makeDataset(dir / "other", "other.step", "1 0 0\n", "");
    const fs::path data = dir / "set" / "data";
    const fs::path cache = dir / "cache";
    const Outcome without = runOn(TARNFOLD_BINARY, {"set"}, dir, data);
    runOn(TARNFOLD_BINARY, {"--cache", "other-cache", "other"}, dir, dir / "other" / "data");
    const std::string foreign = readFile(entriesIn(dir / "other-cache").at(0));
    runOn(TARNFOLD_BINARY, {"--cache", cache.string(), "set"}, dir, data);
    const std::string entry = entriesIn(cache).at(0);
    const std::string whole = readFile(entry);

    struct Case {
        std::string damage;
        std::function<void()> make;
        std::string note; ///< what the note says of the entry, after its name
        bool replaced;
    };
    const std::string damaged =
        "is damaged or cut short (its bytes are not those its digest was made of)";
    const std::vector<Case> cases = {
        {"cut short", [&] { fs::resize_file(entry, whole.size() / 2); }, damaged, true},
        {"a byte changed",
         [&] {
             std::string changed = whole;
             changed[changed.size() - 1000] ^= 1;
             writeFile(entry, changed);
         },
         damaged, true},
        {"empty", [&] { writeFile(entry, ""); }, "is of another format", true},
        {"another model's", [&] { writeFile(entry, foreign); },
         "was made for another model, or by another version of tarnfold or OpenCASCADE", true},
        {"a directory",
         [&] {
             fs::remove(entry);
             fs::create_directory(entry);
             writeFile(fs::path(entry) / "x", "x");
         },
         "cannot be read: Is a directory", false},
    };
    for (const Case& c : cases) {
        c.make();
        const Outcome read = runOn(TARNFOLD_BINARY, {"--cache", cache.string(), "set"}, dir, data);
        const std::string tail = c.replaced ? ", and the entry replaced"
                                            : "; the entry could not be replaced: cannot write '" +
                                                  entry + "': Is a directory";
        Outcome expected = without;
        expected.run.err = "tarnfold: note: the model cache entry '" + entry + "' " + c.note +
                           ": 'drilled.step' was read instead" + tail + "\n" + without.run.err;
        expectSame(read, expected, c.damage);
        if (c.replaced) {
            EXPECT_EQ(readFile(entry), whole) << c.damage;
            expectSame(runOn(TARNFOLD_BINARY, {"--cache", cache.string(), "set"}, dir, data),
                       without, c.damage + ", then found");
        }
    }
}

// Eight runs at once on one empty cache, each with lists of its own on one model, as an array
// job on a shared directory starts them: each gives what it gives alone, and one entry is left.
TEST_F(CacheTest, EightRunsAtOnceOnOneEmptyCache)
{
    writeStepModel(drilledBox(), dir / "drilled.step");
    std::vector<Outcome> alone;
    for (int i = 0; i < 8; ++i) {
        const std::string root = "set" + std::to_string(i);
        makeDataset(dir / root, "drilled.step", std::to_string(i % 7 + 1) + " 0 0\n",
                    std::to_string(7 - i % 7) + " 0 0 0 0 0 0\n");
        alone.push_back(runOn(TARNFOLD_BINARY, {root}, dir, dir / root / "data"));
    }
    std::vector<pid_t> pids;
    for (int i = 0; i < 8; ++i) {
        ChildLaunch launch;
        launch.binary = TARNFOLD_BINARY;
        launch.args = {"--cache", "cache", "set" + std::to_string(i)};
        launch.workDir = dir;
        launch.out = openForOutput(dir / ("out" + std::to_string(i)));
        launch.err = openForOutput(dir / ("err" + std::to_string(i)));
        pids.push_back(startChild(launch));
        ::close(launch.out);
        ::close(launch.err);
    }
    for (int i = 0; i < 8; ++i) {
        const int status = waitBounded(pids[std::size_t(i)]);
        const std::string root = "set" + std::to_string(i);
        Outcome together{{WIFEXITED(status) ? WEXITSTATUS(status) : -1, 0,
                          readFile(dir / ("out" + std::to_string(i))),
                          readFile(dir / ("err" + std::to_string(i)))},
                         productsOf(dir / root / "data")};
        expectSame(together, alone[std::size_t(i)], root);
    }
    const std::vector<std::string> names = listNames(dir / "cache");
    ASSERT_EQ(names.size(), 1u) << ::testing::PrintToString(names);
    EXPECT_TRUE(std::regex_match(names[0], std::regex("[0-9a-f]{64}\\.entry")));
    expectNoProcessLeft();
}

// A cache that cannot be written is a note and the run goes on; a filled cache that cannot be
// written still gives its models, and says nothing.
TEST_F(CacheTest, ReadOnlyCacheIsANote)
{
    writeStepModel(drilledBox(), dir / "drilled.step");
    makeDataset(dir / "set", "drilled.step", "1 0 0\n3 0 0\n", "");
    const fs::path data = dir / "set" / "data";
    const Outcome without = runOn(TARNFOLD_BINARY, {"set"}, dir, data);
    fs::create_directory(dir / "cache");
    fs::permissions(dir / "cache", fs::perms(0555));
    // As root, only a process without the power to override permissions sees them.
    const ToolRun probe =
        runBinary("/usr/bin/touch", {"cache/probe"}, dir, {}, [] { dropOverridingPermissions(); });
    if (probe.exitStatus == 0) GTEST_SKIP() << "this process cannot be kept from writing anywhere";
    const auto readOnly = [] { dropOverridingPermissions(); };
    const Outcome notKept =
        runOn(TARNFOLD_BINARY, {"--cache", "cache", "set"}, dir, data, readOnly);
    EXPECT_EQ(notKept.run.out, without.run.out);
    EXPECT_EQ(notKept.run.exitStatus, without.run.exitStatus);
    EXPECT_EQ(notKept.files, without.files);
    EXPECT_TRUE(std::regex_match(
        notKept.run.err,
        std::regex("tarnfold: note: 'drilled.step' is not kept in the model cache 'cache': cannot "
                   "create a file beside 'cache/[0-9a-f]{64}\\.entry': Permission denied\n")))
        << notKept.run.err;
    EXPECT_EQ(listNames(dir / "cache").size(), 0u);

    fs::permissions(dir / "cache", fs::perms(0755));
    runOn(TARNFOLD_BINARY, {"--cache", "cache", "set"}, dir, data);
    fs::permissions(dir / "cache", fs::perms(0555));
    expectSame(runOn(TARNFOLD_BINARY, {"--cache", "cache", "set"}, dir, data, readOnly), without,
               "found in a read-only cache");
}

// tarnfold-batch through the cache gives the rows, lines and files it gives without; it counts
// what the cache gave, keeps the cache within its size by removing the least recently used
// entry, and a model that tarnfold-faces read is found there by the others.
TEST_F(CacheTest, BatchCountsAndBoundsTheCache)
{
    writeStepModel(drilledBox(), dir / "a.step");
    writeStepModel(BRepPrimAPI_MakeCylinder(5, 10).Shape(), dir / "b.step");
    makeDataset(dir / "a1", "a.step", "1 0 0\n", "");
    makeDataset(dir / "a2", "a.step", "2 0 0\n9 0 0\n", "");
    makeDataset(dir / "b1", "b.step", "3 0 0\n", "");
    const std::vector<std::string> roots = {"a1", "a2", "b1"};
    const auto batch = [&](std::vector<std::string> options) {
        options.insert(options.end(), roots.begin(), roots.end());
        const ToolRun run = runBatch(options, dir);
        std::map<std::string, std::map<std::string, std::string>> files;
        for (const std::string& root : roots) {
            files[root] = productsOf(dir / root / "data");
            removeProducts(dir / root / "data");
        }
        return std::pair{run, files};
    };
    const auto [without, withoutFiles] = batch({});
    const std::string statsLine = "tarnfold-batch: model cache 'cache': ";
    for (const std::string counts :
         {"0 of 2 models found in it, 2 kept", "2 of 2 models found in it, 0 kept"}) {
        const auto [through, files] = batch({"--cache", "cache", "--cache-stats"});
        EXPECT_EQ(through.out, without.out) << counts;
        EXPECT_EQ(through.exitStatus, without.exitStatus) << counts;
        EXPECT_EQ(files, withoutFiles) << counts;
        ASSERT_EQ(through.err.rfind(without.err, 0), 0u) << through.err;
        EXPECT_TRUE(std::regex_match(
            through.err.substr(without.err.size()),
            std::regex(statsLine + counts + "; 2 entries, [0-9.]+ KiB of 2 GiB\n")))
            << through.err;
    }

    // Room for the larger entry alone: keeping b's removes a's, the one used earlier.
    std::uintmax_t largest = 0;
    for (const std::string& entry : entriesIn(dir / "cache"))
        largest = std::max(largest, fs::file_size(entry));
    batch({"--cache", "small", "--cache-size", std::to_string(largest)});
    const std::vector<std::string> left = entriesIn(dir / "small");
    ASSERT_EQ(left.size(), 1u);
    EXPECT_NE(readFile(left[0]).find("model_sha256\t" + sha256Of(dir / "b.step")),
              std::string::npos);
    const ToolRun stats = runBatch({"--cache-stats", "--cache", "small"}, dir);
    EXPECT_EQ(stats.exitStatus, 0);
    EXPECT_TRUE(std::regex_match(
        stats.out, std::regex("model cache 'small': 1 entry, [0-9.]+ KiB of 2 GiB\n")))
        << stats.out;

    // A model read by tarnfold-faces is left for tarnfold and tarnfold-batch to find.
    const ToolRun faces =
        runBinary(TARNFOLD_FACES_BINARY, {"--cache", "pick", "--model", "a.step"}, dir);
    EXPECT_EQ(faces.exitStatus, 0) << faces.err;
    const ToolRun found = runBatch({"--cache", "pick", "--cache-stats", "a1"}, dir);
    EXPECT_NE(found.err.find(" 1 of 1 model found in it, 0 kept;"), std::string::npos) << found.err;
}

// The cache's options are read as every other option, and a size that is none is a usage error.
TEST_F(CacheTest, CacheOptions)
{
    const std::pair<std::vector<std::string>, std::string> cases[] = {
        {{"--cache-size", "2X", "set"},
         "tarnfold: error: --cache-size needs a size such as 500M, 4G or 1048576, not '2X'; see "
         "tarnfold --help\n"},
        {{"set", "--cache"},
         "tarnfold: error: option --cache needs a value; see tarnfold --help\n"},
        {{"--cache", "c"}, "usage: tarnfold [--cache DIR] [--cache-size SIZE] <dataset-root>\n"},
    };
    for (const auto& [args, err] : cases) {
        const ToolRun run = runTool(args, dir);
        EXPECT_EQ(run.exitStatus, 2) << err;
        EXPECT_EQ(run.out, "") << err;
        EXPECT_EQ(run.err, err);
    }
    const ToolRun stats = runBatch({"--cache-stats"}, dir);
    EXPECT_EQ(stats.exitStatus, 2);
    EXPECT_EQ(stats.err,
              "tarnfold-batch: error: --cache-stats needs a model cache: --cache DIR, or "
              "TARNFOLD_CACHE in the environment; see tarnfold-batch --help\n");
}
