// How a run ends when it does not end normally: the library crashes, the run is told to stop,
// a file-size limit is hit. Every ending is one line on stderr, with no temporary and no process
// left behind.
#include "test_support.hpp"

#include <csignal>
#include <regex>

#include <fcntl.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
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
    };
    const std::vector<Case> cases = {
        {"reading", selfReferencingStep(text, "reading")},
        {"transferring", selfReferencingStep(text, "transferring")},
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
        if (c.phase == "transferring") {
            EXPECT_NE(run.out.find("Transfer"), std::string::npos);
        }
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
    for (const int stopSignal : {SIGINT, SIGHUP, SIGTERM, SIGKILL}) {
        const fs::path fifo = dir / ("model" + std::to_string(stopSignal) + ".step");
        const int writer = makePipeWriter(fifo);
        ASSERT_GE(writer, 0);
        ASSERT_EQ(::write(writer, "ISO-10303-21;\n", 14), 14);
        makeDataset(dir, fifo.string(), "1 0 0\n", "");

        const int err = openForOutput(dir / "err.txt");
        const pid_t pid = startChild({TARNFOLD_BINARY, {dir.string()}, {}, {}, -1, -1, err, {}});
        ::close(err);
        ASSERT_TRUE(waitUntilPipeRead(writer));
        ::kill(pid, stopSignal);
        const int status = waitBounded(pid);
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == stopSignal)
            << "signal " << stopSignal << ", status " << status;
        if (stopSignal == SIGKILL) {
            // The orphaned worker must end too, and quickly: it would otherwise wait on the FIFO.
            int workerStatus = 0;
            for (int waited = 0; waited < 100 && ::waitpid(-1, &workerStatus, WNOHANG) == 0; ++waited) {
                ::usleep(50 * 1000);
            }
            EXPECT_TRUE(WIFSIGNALED(workerStatus) && WTERMSIG(workerStatus) == SIGKILL)
                << "worker status " << workerStatus;
        } else {
            EXPECT_EQ(readFile(dir / "err.txt"), std::string("tarnfold: error: stopped (") +
                                                     strsignal(stopSignal) + ") while reading '" +
                                                     fifo.string() + "'; no file was written\n");
        }
        ::close(writer);
        expectNoProcessLeft();
        expectNoTemporary(dir / "data");
    }
}

// Past a file-size limit a face write fails like any other: named, status 1, no temporary, and
// the older face file stays as it was. So does the record of the run.
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
                           (dir / "data" / "last-run-model.tsv").string() + "': File too large\n");
    EXPECT_EQ(readFile(dir / "data" / "face1.brep"), "old face\n");
    expectNoTemporary(dir / "data");
}
