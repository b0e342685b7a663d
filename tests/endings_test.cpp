// How a run ends when it does not end normally: the library crashes, the run is told to stop,
// a file-size limit is hit. Every ending is one line on stderr, with no temporary and no process
// left behind.
#include "test_support.hpp"

#include <csignal>
#include <cstddef>
#include <cstdint>
#include <regex>

#include <fcntl.h>
#include <linux/audit.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <BRepPrimAPI_MakeBox.hxx>

namespace fs = std::filesystem;

namespace {

class EndingTest : public ProcessTest {};

std::string boxStepText(const fs::path& dir)
{
    writeStepModel(BRepPrimAPI_MakeBox(10, 20, 30).Shape(), dir / "box.step");
    return readFile(dir / "box.step");
}

// Makes every ppoll of this process, and of the processes it starts, fail as the kernel's own
// can (ENOMEM): a seccomp filter, so that the call really fails rather than a stand-in for it.
bool failEveryPpoll()
{
#if defined(__x86_64__)
    constexpr std::uint32_t arch = AUDIT_ARCH_X86_64;
#elif defined(__aarch64__)
    constexpr std::uint32_t arch = AUDIT_ARCH_AARCH64;
#else
    return false;
#endif
    sock_filter filter[] = {
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, arch)),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, arch, 1, 0),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, __NR_ppoll, 0, 1),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | ENOMEM),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
    };
    const sock_fprog program = {static_cast<unsigned short>(std::size(filter)), filter};
    return ::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) == 0 &&
           ::prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &program) == 0;
}

} // namespace

// Entities that refer to themselves send the library into endless recursion until the stack
// overflows: in the reader for an edge, in the transfer for a surface. No handler survives that,
// so only the supervisor can say what happened.
TEST_F(EndingTest, LibraryCrashIsOneLineWithThePhase)
{
    const std::string text = boxStepText(dir);
    struct Case {
        std::string phase;
        std::string damaged;
        bool transferLogged; ///< the library's log tells of a transfer before the crash
    };
    const std::vector<Case> cases = {
        {"reading", selfReferencingStep(text, "reading"), false},
        {"transferring", selfReferencingStep(text, "transferring"), true},
    };
    for (const Case& c : cases) {
        ASSERT_NE(c.damaged, text) << c.phase;
        const fs::path root = dir / c.phase;
        const fs::path model = root / "damaged.step";
        writeFile(model, c.damaged);
        makeDataset(root, model.string(), "1 0 0\n", "2 0 0 0 0 0 0\n");

        const ToolRun run = runTool({root.string()});
        EXPECT_EQ(run.exitStatus, 1) << c.phase;
        EXPECT_EQ(run.err, "tarnfold: error: the STEP library crashed (Segmentation fault) while " +
                               c.phase + " '" + model.string() + "'; no file was written\n");
        // What the library printed before it crashed is in the log, to find the bad entity by.
        EXPECT_EQ(run.out.find("Transfer") != std::string::npos, c.transferLogged) << run.out;
        EXPECT_EQ(listNames(root / "data"),
                  (std::vector<std::string>{"address.txt", "force", "restraint"}));
        expectNoProcessLeft();
    }
}

// Stop signals reach the worker, wherever they are sent; the run then ends by the same signal,
// as if it had run alone, without temporaries or processes left. Killed outright, the
// supervisor takes its worker with it. The model is a FIFO whose writer never writes more than
// its first line, so the run is sure to be inside the STEP reader once that is read, and nothing
// but the signal can end it.
TEST_F(EndingTest, StopSignalsEndTheRunBySameSignal)
{
    struct Case {
        int signal;
        bool told; ///< the supervisor lives to tell the stop, and reaps its worker itself
    };
    for (const Case& c : {Case{SIGINT, true}, Case{SIGHUP, true}, Case{SIGTERM, true},
                          Case{SIGKILL, false}}) {
        SCOPED_TRACE(strsignal(c.signal));
        const fs::path fifo = dir / ("model" + std::to_string(c.signal) + ".step");
        const int writer = makePipeWriter(fifo);
        ASSERT_GE(writer, 0);
        ASSERT_EQ(::write(writer, "ISO-10303-21;\n", 14), 14);
        makeDataset(dir, fifo.string(), "1 0 0\n", "");

        const int err = openForOutput(dir / "err.txt");
        const pid_t pid = startChild({TARNFOLD_BINARY, {dir.string()}, {}, {}, -1, -1, err, {}});
        ::close(err);
        ASSERT_TRUE(waitUntilPipeRead(writer));
        const std::vector<pid_t> workers = childrenOf(pid);
        ASSERT_EQ(workers.size(), 1u);
        const pid_t worker = workers.front();
        ::kill(pid, c.signal);
        const int status = waitBounded(pid);
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == c.signal) << "status " << status;
        EXPECT_EQ(readFile(dir / "err.txt"),
                  c.told ? std::string("tarnfold: error: stopped (") + strsignal(c.signal) +
                               ") while reading '" + fifo.string() + "'; no file was written\n"
                         : "");
        if (!c.told) {
            // The orphaned worker, which comes to this process, must end too, by the kill: it
            // would otherwise wait on the FIFO for ever.
            const int workerStatus = waitBounded(worker);
            EXPECT_TRUE(WIFSIGNALED(workerStatus) && WTERMSIG(workerStatus) == SIGKILL)
                << "worker status " << workerStatus;
        }
        ::close(writer);
        expectNoProcessLeft();
        expectNoTemporary(dir / "data");
    }
}

// A wait for the worker that fails (here ppoll, as it does when the kernel has no memory for it)
// is one line and status 1, never taken for the worker's success nor tried again at full speed
// for ever; the worker, which still runs, is killed rather than left unwatched.
TEST_F(EndingTest, AWaitThatFailsKillsTheWorker)
{
    const fs::path fifo = dir / "model.step";
    const int writer = makePipeWriter(fifo); // never written: the worker waits in the reader
    ASSERT_GE(writer, 0);
    makeDataset(dir, fifo.string(), "1 0 0\n", "");
    const int err = openForOutput(dir / "err.txt");
    const pid_t pid = startChild({TARNFOLD_BINARY, {dir.string()}, {}, {}, -1, -1, err, [] {
                                      if (!failEveryPpoll()) ::_exit(99);
                                  }});
    ::close(err);
    const int status = waitBounded(pid);
    ::close(writer);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << status;
    EXPECT_TRUE(std::regex_match(readFile(dir / "err.txt"),
                                 std::regex("tarnfold: error: cannot wait for the worker \\(pid "
                                            "[0-9]+\\): Cannot allocate memory; it was killed\n")))
        << readFile(dir / "err.txt");
    expectNoProcessLeft();
}

// Past a file-size limit a face write fails like any other: named, status 1, no temporary, and
// the older face file stays as it was. So does the record of the run, which is written first.
TEST_F(EndingTest, FileSizeLimitIsAFailedWrite)
{
    writeStepModel(BRepPrimAPI_MakeBox(10, 20, 30).Shape(), dir / "box.step");
    makeDataset(dir, (dir / "box.step").string(), "1 0 0\n", "");
    writeFile(dir / "data" / "face1.brep", "old face\n");

    const ToolRun run = runTool({dir.string()}, {}, {}, [] {
        const struct rlimit limit = {300, 300}; // a face of a box takes more
        ::setrlimit(RLIMIT_FSIZE, &limit);
    });
    EXPECT_EQ(run.signal, 0);
    EXPECT_EQ(run.exitStatus, 1);
    EXPECT_EQ(run.err, "tarnfold: error: cannot write '" + (dir / "data" / "face1.brep").string() +
                           "': File too large\ntarnfold: error: cannot write '" +
                           (dir / "data" / "last-run.tsv").string() + "': File too large\n");
    EXPECT_EQ(readFile(dir / "data" / "face1.brep"), "old face\n");
    expectNoTemporary(dir / "data");
}

// A record that cannot be written leaves the last one as it was, with the outline it names: the
// outline is written only once the record is. Here the model changed and its list was edited
// since (so nothing is checked against the record), and the record, which names the model by
// its long path, is the one file past a file-size limit.
TEST_F(EndingTest, ARecordThatCannotBeWrittenKeepsTheOutlineItNames)
{
    fs::path model = dir;
    for (const char c : {'a', 'b', 'c', 'd', 'e'}) model /= std::string(250, c);
    model /= "box.step";
    fs::create_directories(model.parent_path());
    writeStepModel(BRepPrimAPI_MakeBox(10, 20, 30).Shape(), model);
    makeDataset(dir, model.string(), "1 0 0\n", "");
    ASSERT_EQ(runTool({dir.string()}).exitStatus, 0);
    const fs::path record = dir / "data" / "last-run.tsv";
    const fs::path outline = dir / "data" / "last-run-model.tsv";
    const std::string recorded = readFile(record);
    const std::string outlined = readFile(outline);
    ASSERT_NE(recorded.find("\tlast-run-model.tsv\t" + sha256Of(outline) + "\n"),
              std::string::npos);

    writeStepModel(BRepPrimAPI_MakeBox(10, 20, 40).Shape(), model);
    // A face the record does not bind: taken as written, so the run gets as far as its record.
    writeFile(dir / "data" / "force" / "loads.txt", "2 0 0\n");
    const ToolRun run = runTool({dir.string()}, {}, {}, [] {
        const struct rlimit limit = {1500, 1500}; // a face and an outline of a box take less
        ::setrlimit(RLIMIT_FSIZE, &limit);
    });
    EXPECT_EQ(run.exitStatus, 1) << run.err;
    EXPECT_NE(run.err.find("tarnfold: error: cannot write '" + record.string() +
                           "': File too large\n"),
              std::string::npos)
        << run.err;
    EXPECT_EQ(readFile(record), recorded);
    EXPECT_EQ(readFile(outline), outlined);
    expectNoTemporary(dir / "data");
}
