// How a batch's worker ends when it does not end normally: the library crashes on one model,
// a model stalls past --timeout, a worker dies in the middle of a group, the batch is told to
// stop. Only the datasets of that worker suffer, each with tarnfold's own account where there is
// one, and nothing is left behind.
#include "batch_support.hpp"

#include <csignal>
#include <cstdlib>
#include <regex>
#include <sstream>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <BRepPrimAPI_MakeBox.hxx>
#include <BRep_Builder.hxx>
#include <TopoDS_Compound.hxx>

namespace fs = std::filesystem;

class BatchEndingTest : public ProcessTest {
protected:
    void SetUp() override
    {
        ProcessTest::SetUp();
        writeStepModel(BRepPrimAPI_MakeBox(10, 20, 30).Shape(), dir / "box.step");
    }
};

namespace {

// Starts the batch with `args` in `dir`, its stdout and stderr into out.txt and err.txt there
// unless `out` gives its stdout.
pid_t startBatch(const fs::path& dir, const std::vector<std::string>& args, int out = -1)
{
    const int outFile = out >= 0 ? -1 : openForOutput(dir / "out.txt");
    const int err = openForOutput(dir / "err.txt");
    const pid_t pid =
        startChild({TARNFOLD_BATCH_BINARY, args, dir, {}, -1, out >= 0 ? out : outFile, err, {}});
    if (outFile >= 0) ::close(outFile);
    ::close(err);
    return pid;
}

// Whether `pid` has ended and waits to be reaped.
bool isZombie(pid_t pid)
{
    const std::string stat = readFile("/proc/" + std::to_string(pid) + "/stat");
    const std::size_t name = stat.rfind(')');
    return name != std::string::npos && stat.compare(name, 3, ") Z") == 0;
}

// Whether `pid` is asleep writing to a pipe that is full, as the kernel tells ("pipe_write", or
// "anon_pipe_write" in later kernels).
bool heldOnAPipe(pid_t pid)
{
    const std::string where = readFile("/proc/" + std::to_string(pid) + "/wchan");
    const std::string pipeWrite = "pipe_write";
    return where.size() >= pipeWrite.size() &&
           where.compare(where.size() - pipeWrite.size(), pipeWrite.size(), pipeWrite) == 0;
}

std::string stopLine(int signal, const std::string& model)
{
    return std::string("tarnfold: error: stopped (") + strsignal(signal) + ") while reading '" +
           model + "'; no file was written\n";
}

} // namespace

// Models that crash the library in the reader and in the transfer, between two good ones: their
// datasets get tarnfold's own line, word for word, and the good ones are not touched by it.
TEST_F(BatchEndingTest, LibraryCrashFailsOnlyItsModelsDatasets)
{
    const std::string text = readFile(dir / "box.step");
    for (const std::string phase : {"reading", "transferring"}) {
        writeFile(dir / (phase + ".step"), selfReferencingStep(text, phase));
        ASSERT_NE(readFile(dir / (phase + ".step")), text) << phase;
    }
    fs::create_symlink("reading.step", dir / "also-reading.step");
    makeDataset(dir / "good1", "box.step", "1 0 0\n", "");
    makeDataset(dir / "read1", "reading.step", "1 0 0\n", "");
    makeDataset(dir / "read2", "also-reading.step", "2 0 0\n", "");
    makeDataset(dir / "transfer", "transferring.step", "1 0 0\n", "2 0 0 0 0 0 0\n");
    makeDataset(dir / "good2", "box.step", "2 0 0\n", "");

    const ToolRun batch = runBatch({"good1", "read1", "read2", "transfer", "good2"}, dir);
    EXPECT_EQ(batch.exitStatus, 1);
    EXPECT_EQ(parseBatchTable(batch.out),
              (std::vector<BatchRow>{{"good1", "ok", "1", "box.step"},
                                     {"read1", "crashed", "0", "reading.step"},
                                     {"read2", "crashed", "0", "also-reading.step"},
                                     {"transfer", "crashed", "0", "transferring.step"},
                                     {"good2", "ok", "1", "box.step"}}));
    for (const std::string root : {"read1", "read2", "transfer"}) {
        const ToolRun alone = runTool({root}, dir);
        EXPECT_NE(alone.err.find("crashed (Segmentation fault)"), std::string::npos) << alone.err;
        EXPECT_EQ(linesFor(batch.err, root), alone.err) << root;
        EXPECT_EQ(listNames(dir / root / "data"),
                  (std::vector<std::string>{"address.txt", "force", "restraint"}));
    }
    // What the library printed before the crash is kept, under the model's line.
    const std::size_t model = batch.err.find("tarnfold-batch: model 'transferring.step'");
    ASSERT_NE(model, std::string::npos) << batch.err;
    EXPECT_NE(batch.err.find("Transfer", model), std::string::npos) << batch.err;
    expectNoProcessLeft();
}

// A model that never finishes loading (a FIFO whose writer never writes) is stopped at
// --timeout: its datasets say so, with the phase; the batch goes on with the next model.
TEST_F(BatchEndingTest, TimeoutStopsOnlyTheStuckModel)
{
    const int writer = makePipeWriter(dir / "stuck.step");
    ASSERT_GE(writer, 0);
    makeDataset(dir / "stuck1", "stuck.step", "1 0 0\n", "");
    makeDataset(dir / "good", "box.step", "1 0 0\n", "");
    makeDataset(dir / "stuck2", "stuck.step", "2 0 0\n", "");
    // One worker at a time, the stuck model's first: the good one must still get its turn. The
    // limit leaves room for a slow build (the sanitizers') to read the good model in time.
    const ToolRun batch = runBatch({"--timeout", "3", "stuck1", "good", "stuck2"}, dir);
    EXPECT_EQ(batch.exitStatus, 1) << batch.err;
    EXPECT_EQ(parseBatchTable(batch.out),
              (std::vector<BatchRow>{{"stuck1", "timeout", "0", "stuck.step"},
                                     {"good", "ok", "1", "box.step"},
                                     {"stuck2", "timeout", "0", "stuck.step"}}));
    for (const std::string root : {"stuck1", "stuck2"}) {
        EXPECT_EQ(linesFor(batch.err, root),
                  "tarnfold-batch: error: timed out after 3 s while reading 'stuck.step'; no file "
                  "was written\n");
    }
    EXPECT_EQ(linesFor(batch.err, "good"), "");
    ::close(writer);
    expectNoProcessLeft();
}

// A worker killed (as by the out-of-memory killer) in the middle of its second dataset: the first
// keeps its row and files; the second gets tarnfold's account with its own count of files, which
// is what is on disk; the third was never begun and says so. The kill comes at a point the worker
// cannot pass on its own: the table's reader reads nothing after the header, so the batch is held
// at its first row (a dataset that names no model, known before the worker has begun) and takes
// no results, and the worker is held once the second dataset's result (its every face written,
// and a line for each of 300 that cannot be) fills its pipe.
TEST_F(BatchEndingTest, DeathInTheMiddleOfAGroupKeepsWhatCameBefore)
{
    TopoDS_Compound boxes;
    BRep_Builder builder;
    builder.MakeCompound(boxes);
    for (int i = 0; i < 80; ++i) {
        builder.Add(boxes, BRepPrimAPI_MakeBox(gp_Pnt(20.0 * i, 0, 0), 10, 10, 10).Shape());
    }
    writeStepModel(boxes, dir / "boxes.step");
    std::ostringstream every;
    for (int n = 1; n <= 480; ++n) every << n << " 0 0\n";
    // A long name makes each line of the second dataset long, so that they fill a pipe.
    const std::string second = "second-" + std::string(200, 'x');
    writeFile(dir / "unnamed" / "data" / "force" / "a.txt", "1 0 0\n");
    makeDataset(dir / "first", "boxes.step", "1 0 0\n2 0 0\n", "");
    makeDataset(dir / second, "boxes.step", every.str(), "");
    makeDataset(dir / "third", "boxes.step", "3 0 0\n", "");
    for (int n = 1; n <= 300; ++n) {
        fs::create_directories(dir / second / "data" / ("face" + std::to_string(n) + ".brep") /
                               "x");
    }

    int table[2];
    ASSERT_EQ(::pipe(table), 0);
    ASSERT_EQ(::fcntl(table[1], F_SETPIPE_SZ, 4096), 4096);
    const std::string header = "dataset\tstatus\tfiles\tmodel\n";
    const std::string filler(4096 - header.size(), '.');
    ASSERT_EQ(::write(table[1], filler.data(), filler.size()), ssize_t(filler.size()));
    const pid_t batch = startBatch(dir, {"unnamed", "first", second, "third"}, table[1]);
    ::close(table[1]);

    pid_t worker = -1;
    for (int waited = 0; waited < 6000 && !heldOnAPipe(worker); ++waited) {
        if (worker <= 0 && !childrenOf(batch).empty()) worker = childrenOf(batch).front();
        ::usleep(10 * 1000);
    }
    EXPECT_TRUE(heldOnAPipe(worker)) << "the worker was not held";
    ::kill(worker, SIGKILL);
    // Dead before the batch reads again: a worker woken by the kill might otherwise still finish
    // its write into the room that the reading makes. The batch, held, cannot reap it meanwhile.
    for (int waited = 0; waited < 1000 && !isZombie(worker); ++waited) ::usleep(10 * 1000);
    EXPECT_TRUE(isZombie(worker));
    std::string out;
    char buffer[4096];
    for (ssize_t n; (n = ::read(table[0], buffer, sizeof buffer)) > 0;) {
        out.append(buffer, size_t(n));
    }
    ::close(table[0]);
    const int status = waitBounded(batch);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << status;

    ASSERT_EQ(out.compare(0, filler.size(), filler), 0);
    EXPECT_EQ(parseBatchTable(out.substr(filler.size())),
              (std::vector<BatchRow>{{"unnamed", "failed", "0", "-"},
                                     {"first", "ok", "2", "boxes.step"},
                                     {second, "crashed", "180", "boxes.step"},
                                     {"third", "crashed", "0", "boxes.step"}}));
    int written = 0;
    for (const fs::directory_entry& entry : fs::directory_iterator(dir / second / "data")) {
        written += entry.is_regular_file() && entry.path().extension() == ".brep";
    }
    EXPECT_EQ(written, 180);
    const std::string err = readFile(dir / "err.txt");
    EXPECT_EQ(linesFor(err, second), "tarnfold: error: killed (Killed) while handing on the "
                                     "results of '" + second +
                                     "'; 180 files were written whole before it\n");
    EXPECT_EQ(linesFor(err, "third"), "tarnfold-batch: error: not begun: its model's worker ended "
                                      "on dataset '" + second + "': killed (Killed)\n");
    EXPECT_EQ(faceFiles(dir / "third" / "data").size(), 0u);
    expectNoTemporary(dir / second / "data");
    expectNoProcessLeft();
}

// Stop signals reach every running worker; the rows of what was done come first, the others
// read stopped, and the batch ends by the same signal with no temporary and no process left.
// Killed outright, the batch takes its worker with it.
TEST_F(BatchEndingTest, StopSignalsEndTheBatchBySameSignal)
{
    writeStepModel(BRepPrimAPI_MakeBox(1, 2, 3).Shape(), dir / "other.step");
    for (const int stopSignal : {SIGTERM, SIGINT, SIGHUP, SIGKILL}) {
        const std::string fifo = "model" + std::to_string(stopSignal) + ".step";
        // Open for writing, written no further than its first line: once the worker has read
        // that, only the signal can end it.
        const int writer = makePipeWriter(dir / fifo);
        ASSERT_GE(writer, 0);
        ASSERT_EQ(::write(writer, "ISO-10303-21;\n", 14), 14);
        makeDataset(dir / "done", "box.step", "1 0 0\n", "");
        makeDataset(dir / "reading", fifo, "1 0 0\n", "");
        makeDataset(dir / "later", "other.step", "1 0 0\n", "");

        const pid_t batch = startBatch(dir, {"done", "reading", "later"});
        ASSERT_TRUE(waitUntilPipeRead(writer));
        const std::vector<pid_t> workers = childrenOf(batch);
        ASSERT_EQ(workers.size(), 1u) << "the reading model's worker";
        ::kill(batch, stopSignal);
        const int status = waitBounded(batch);
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == stopSignal)
            << "signal " << stopSignal << ", status " << status;
        if (stopSignal != SIGKILL) {
            EXPECT_EQ(parseBatchTable(readFile(dir / "out.txt")),
                      (std::vector<BatchRow>{{"done", "ok", "1", "box.step"},
                                             {"reading", "stopped", "0", fifo},
                                             {"later", "stopped", "0", "other.step"}}));
            const std::string err = readFile(dir / "err.txt");
            EXPECT_EQ(linesFor(err, "reading"), stopLine(stopSignal, fifo));
            EXPECT_EQ(linesFor(err, "later"), std::string("tarnfold-batch: error: not begun: "
                                                          "the batch was stopped (") +
                                                  strsignal(stopSignal) + ")\n");
        }
        if (stopSignal == SIGKILL) {
            // The orphaned worker of a killed batch, which comes to this process, must end too,
            // by the kill: it would otherwise wait on the FIFO for ever.
            const int workerStatus = waitBounded(workers.front());
            EXPECT_TRUE(WIFSIGNALED(workerStatus) && WTERMSIG(workerStatus) == SIGKILL)
                << "worker status " << workerStatus;
        }
        ::close(writer);
        expectNoProcessLeft();
        expectNoTemporary(dir / "done" / "data");
        EXPECT_EQ(faceFiles(dir / "later" / "data").size(), 0u);
    }
}

// Near the limit of open files (each worker holds two pipes in the batch), --jobs runs fewer
// workers at once and says so once, rather than failing the groups it has no room for.
TEST_F(BatchEndingTest, JobsStayWithinTheLimitOfOpenFiles)
{
    std::vector<std::string> args{"--jobs", "64"};
    std::vector<BatchRow> expected;
    for (int i = 1; i <= 8; ++i) {
        const std::string model = "box" + std::to_string(i) + ".step";
        fs::copy_file(dir / "box.step", dir / model);
        makeDataset(dir / ("d" + std::to_string(i)), model, "1 0 0\n", "");
        args.push_back("d" + std::to_string(i));
        expected.push_back({args.back(), "ok", "1", model});
    }
    const ToolRun batch = runBatch(args, dir, [] {
        const struct rlimit limit = {20, 20};
        ::setrlimit(RLIMIT_NOFILE, &limit);
    });
    EXPECT_EQ(batch.exitStatus, 0) << batch.err;
    EXPECT_EQ(parseBatchTable(batch.out), expected);
    std::smatch note;
    ASSERT_TRUE(std::regex_search(batch.err, note,
                                  std::regex("tarnfold-batch: note: --jobs 64 is more than the "
                                             "limit of open files allows: ([0-9]+) model workers "
                                             "at once\n")))
        << batch.err;
    EXPECT_GE(std::stoi(note[1]), 1);
    EXPECT_LT(std::stoi(note[1]), 8);
    const std::size_t afterNote = std::size_t(note.position(0) + note.length(0));
    EXPECT_EQ(batch.err.find("note:", afterNote), std::string::npos) << batch.err;
    expectNoProcessLeft();
}

// A wait that fails for good (here ppoll, once the limit of open files falls below the pipes it
// waits on) ends the batch with every dataset not done saying why, instead of spinning for ever.
// The batch is woken by a SIGCHLD; a dataset that names no model has a row printed before, so
// that a sanitizer's check of the table's stream (which itself needs descriptors) is made while
// there are some.
TEST_F(BatchEndingTest, AWaitThatFailsEndsTheBatch)
{
    // Both workers stay in the reader once they have read their models' first lines: their
    // writers write no more.
    const int writerA = makePipeWriter(dir / "a.step");
    const int writerB = makePipeWriter(dir / "b.step");
    ASSERT_EQ(::write(writerA, "ISO-10303-21;\n", 14), 14);
    ASSERT_EQ(::write(writerB, "ISO-10303-21;\n", 14), 14);
    writeFile(dir / "unnamed" / "data" / "force" / "a.txt", "1 0 0\n");
    makeDataset(dir / "a", "a.step", "1 0 0\n", "");
    makeDataset(dir / "b", "b.step", "1 0 0\n", "");
    const int outFile = openForOutput(dir / "out.txt");
    const int errFile = openForOutput(dir / "err.txt");
    // In a sanitizer build, the leak check at the exit needs descriptors that this batch has
    // none of; it would wait for ever.
    const pid_t batch = startChild({TARNFOLD_BATCH_BINARY, {"--jobs", "2", "unnamed", "a", "b"},
                                    dir, {}, -1, outFile, errFile, [] {
                                        const char* given = std::getenv("ASAN_OPTIONS");
                                        const std::string options =
                                            std::string(given ? given : "") + ":detect_leaks=0";
                                        ::setenv("ASAN_OPTIONS", options.c_str(), 1);
                                    }});
    ::close(outFile);
    ::close(errFile);
    ASSERT_TRUE(waitUntilPipeRead(writerA) && waitUntilPipeRead(writerB));
    const struct rlimit one = {1, 1024};
    ASSERT_EQ(::prlimit(batch, RLIMIT_NOFILE, &one, nullptr), 0);
    ::kill(batch, SIGCHLD);
    const int status = waitBounded(batch);
    ::close(writerA);
    ::close(writerB);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << status;
    EXPECT_EQ(parseBatchTable(readFile(dir / "out.txt")),
              (std::vector<BatchRow>{{"unnamed", "failed", "0", "-"},
                                     {"a", "failed", "0", "a.step"},
                                     {"b", "failed", "0", "b.step"}}));
    const std::string err = readFile(dir / "err.txt");
    for (const std::string root : {"a", "b"}) {
        EXPECT_EQ(linesFor(err, root),
                  "tarnfold-batch: error: its model's worker was killed: the batch cannot wait "
                  "for its model workers: Invalid argument\n")
            << root;
    }
    expectNoProcessLeft();
}
