// tarnfold-faces DATASET --follow --rewrite killed at each of the writes by which it carries the
// lists over (strace delivers SIGKILL as the worker enters the call: no handler runs), then the
// next command on the dataset: whatever the moment, it finds the lists either as they were or
// carried once, and a carry again ends with them carried once.
#include "bound_lists.hpp"
#include "traced_calls.hpp"

#include <cstdlib>
#include <map>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

// The calls by which a carry makes, renames or removes a name in the data directory, under the
// names strace knows them by on this machine ("?": no error where the system has no such call).
const std::string carryCalls = "?rename,?renameat,?renameat2,?link,?linkat,?symlink,?symlinkat,"
                               "?unlink,?unlinkat,?mkdir,?mkdirat,?rmdir";

// Every directory, file and link under `data` but the face files, which a run writes anew: its
// path, and its bytes or where it links to.
std::map<std::string, std::string> listsAndRecord(const fs::path& data)
{
    std::map<std::string, std::string> files;
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(data)) {
        const std::string name = entry.path().lexically_relative(data).string();
        if (entry.is_symlink()) {
            files[name] = "-> " + fs::read_symlink(entry.path()).string();
        } else if (entry.is_directory()) {
            files[name + "/"] = "";
        } else if (name.rfind("face", 0) != 0) {
            files[name] = readFile(entry.path());
        }
    }
    return files;
}

const std::string prepared = "was stopped before it changed any file";
const std::string completed = "was stopped half way, and is now complete";

} // namespace

class CarryKillTest : public BoundListsTest {
protected:
    // The dataset run on the drilled box's first revision, with a list of its own and one
    // linked to a list that other datasets share; then carried once, whole, under strace, for
    // the calls the carry makes.
    void SetUp() override
    {
        BoundListsTest::SetUp();
        if (!fs::exists(straceBinary)) {
            GTEST_SKIP() << "strace is not installed: scripts/install-deps";
        }
        runThenRevise(drilled(), "3 0 -250\n6 0 -100\n", "2 1 1 1 0 0 0\n");
        writeFile(dir / "shared" / "fixed.txt", "2 1 1 1 0 0 0\n");
        fs::remove(data() / "restraint" / "fixed.txt");
        fs::create_symlink(dir / "shared" / "fixed.txt", data() / "restraint" / "fixed.txt");
        fs::copy(root, dir / "pristine",
                 fs::copy_options::recursive | fs::copy_options::copy_symlinks);
        before = listsAndRecord(data());

        const ToolRun whole = traceCarry("", dir / "whole.log");
        ASSERT_EQ(whole.exitStatus, 0) << whole.err;
        carried = listsAndRecord(data());
        ASSERT_EQ(carried.at("force/loads.txt"), "2 0 -250\n3 0 -100\n");
        ASSERT_EQ(carried.at("restraint/fixed.txt"), "6 1 1 1 0 0 0\n");
        ASSERT_EQ(carried.at("force.orig/loads.txt"), "3 0 -250\n6 0 -100\n");
        calls = readTracedCalls(dir / "whole.log");
        // Each is a write of the carry, inside the data directory; the plan is made, then
        // removed last of the files in the journal.
        for (std::size_t i = 0; i < calls.size(); ++i) {
            EXPECT_EQ(calls[i].path.rfind(data().string() + "/", 0), 0u)
                << calls[i].name << " " << calls[i].path;
            if (calls[i].path != (data() / "carry.tmp" / "plan").string()) continue;
            (plan == 0 ? plan : planRemoved) = i;
        }
        ASSERT_GT(planRemoved, plan) << readFile(dir / "whole.log");
    }

    // The carry under strace, with `inject` (none when ""), its calls logged to `log`.
    ToolRun traceCarry(const std::string& inject, const fs::path& log) const
    {
        std::vector<std::string> args = {"-f", "-qq", "-s", "4096", "-o", log.string(),
                                         "-e", "trace=" + carryCalls};
        if (!inject.empty()) args.insert(args.end(), {"-e", "inject=" + inject});
        // In a sanitizer build: the leak checker cannot run under ptrace and would end the run,
        // and a report file's directories, made at start, would be calls outside data/. Reports
        // go to stderr instead, where a failed run shows them.
        for (const char* name : {"ASAN_OPTIONS", "UBSAN_OPTIONS"}) {
            const char* given = std::getenv(name);
            if (given == nullptr) continue;
            std::string options = std::string(name) + "=" + given + ":log_path=stderr";
            if (std::string(name) == "ASAN_OPTIONS") options += ":detect_leaks=0";
            args.insert(args.end(), {"-E", options});
        }
        args.insert(args.end(), {TARNFOLD_FACES_BINARY, root.string(), "--follow", "--rewrite"});
        return runBinary(straceBinary, args);
    }

    // The dataset as it was before the carry, then the carry killed as it enters calls[i].
    void killAt(std::size_t i) const
    {
        fs::remove_all(root);
        fs::copy(dir / "pristine", root,
                 fs::copy_options::recursive | fs::copy_options::copy_symlinks);
        const TracedCall& call = calls[i];
        const ToolRun killed = traceCarry(killEntering(call), dir / "kill.log");
        EXPECT_NE(killed.err.find("tarnfold-faces: error: killed (Killed) while carrying the lists "
                                  "of '" + root.string() + "' over to the new revision; the next "
                                  "command on the dataset completes the carry or undoes it\n"),
                  std::string::npos)
            << killed.err;
        const std::vector<TracedCall> reached = readTracedCalls(dir / "kill.log");
        ASSERT_EQ(reached.size(), i + 1);
        EXPECT_EQ(reached.back().path, call.path);
    }

    std::vector<TracedCall> calls;
    std::size_t plan = 0, planRemoved = 0; ///< the calls that make and remove the plan
    std::map<std::string, std::string> before, carried;
};

// At every call: after a kill before the plan is written whole, the carry again finds the lists
// as they were and carries them; after, it finds them carried and has nothing to do. The note
// says what was settled, and the lists end carried once, with one copy each.
TEST_F(CarryKillTest, KilledAtEveryWriteThenCarriedOnce)
{
    bool journalHolds = false; // a file was made in the journal before the kill
    for (std::size_t i = 0; i < calls.size(); ++i) {
        SCOPED_TRACE(std::to_string(i) + ": " + calls[i].name + " " + calls[i].path);
        killAt(i);
        const bool wasCarried = i > plan;
        const ToolRun again =
            runBinary(TARNFOLD_FACES_BINARY, {root.string(), "--follow", "--rewrite"});
        EXPECT_EQ(again.exitStatus, 0) << again.err;
        EXPECT_EQ(again.err.find(prepared) != std::string::npos, !wasCarried && journalHolds)
            << again.err;
        EXPECT_EQ(again.err.find(completed) != std::string::npos, wasCarried && i <= planRemoved)
            << again.err;
        EXPECT_EQ(again.err.find("note: nothing to follow") != std::string::npos, wasCarried)
            << again.err;
        EXPECT_EQ(listsAndRecord(data()), carried);
        EXPECT_EQ(readFile(dir / "shared" / "fixed.txt"), "2 1 1 1 0 0 0\n");
        journalHolds = journalHolds || (calls[i].name.find("link") != std::string::npos &&
                                        calls[i].path.find("/carry.tmp/") != std::string::npos);
    }
}

// Each command settles the carry before it reads a list: killed as the plan is written (the
// lists as they were, which tarnfold refuses for the new model) or half way through the renames
// (the lists carried, which tarnfold runs). While another process holds the dataset, a command
// refuses with one line and reads nothing.
TEST_F(CarryKillTest, EveryCommandSettlesFirst)
{
    std::vector<std::pair<std::string, std::vector<std::string>>> commands = {
        {TARNFOLD_BINARY, {}},
        {TARNFOLD_FACES_BINARY, {}},
        {TARNFOLD_BATCH_BINARY, {}},
    };
#ifdef TARNFOLD_MESH_BINARY
    commands.push_back({TARNFOLD_MESH_BINARY, {(dir / "mesh.msh").string()}});
#endif
    const std::size_t halfWay = (plan + planRemoved) / 2;
    for (const auto& [binary, options] : commands) {
        for (const std::size_t i : {plan, halfWay}) {
            SCOPED_TRACE(binary + " after a kill at " + calls[i].name + " " + calls[i].path);
            killAt(i);
            std::vector<std::string> args = {root.string()};
            args.insert(args.end(), options.begin(), options.end());
            const ToolRun next = runBinary(binary, args);
            EXPECT_NE(next.err.find(i == plan ? prepared : completed), std::string::npos)
                << next.err;
            EXPECT_FALSE(fs::exists(data() / "carry.tmp"));
            EXPECT_EQ(listsAndRecord(data()), i == plan ? before : carried);
            if (binary == TARNFOLD_BINARY) {
                EXPECT_EQ(next.exitStatus, i == plan ? 1 : 0) << next.err;
            }
        }
    }

    killAt(plan);
    const int held = ::open(data().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    ASSERT_EQ(::flock(held, LOCK_EX), 0);
    const ToolRun refused = runTool({root.string()});
    ::close(held);
    EXPECT_EQ(refused.exitStatus, 1);
    EXPECT_NE(refused.err.find("tarnfold: error: the lists of '" + root.string() +
                               "' are being carried over by another process, in '" +
                               (data() / "carry.tmp").string() +
                               "'; run again once it has ended\n"),
              std::string::npos)
        << refused.err;
    EXPECT_TRUE(fs::exists(data() / "carry.tmp"));
}

// A rename that fails after the plan (here each one in turn, refused by strace) turns the carry
// back: the files renamed before it are put back, and everything is as it was.
TEST_F(CarryKillTest, ARenameThatFailsTurnsTheCarryBack)
{
    for (std::size_t i = plan + 1; i < calls.size(); ++i) {
        if (calls[i].name.find("rename") == std::string::npos) continue;
        SCOPED_TRACE(calls[i].path);
        fs::remove_all(root);
        fs::copy(dir / "pristine", root,
                 fs::copy_options::recursive | fs::copy_options::copy_symlinks);
        const ToolRun failed = traceCarry(
            calls[i].name + ":error=EACCES:when=" + std::to_string(calls[i].ordinal),
            dir / "fail.log");
        EXPECT_EQ(failed.exitStatus, 1);
        EXPECT_NE(failed.err.find("tarnfold-faces: error: cannot write '" + calls[i].path +
                                  "': Permission denied\n"
                                  "tarnfold-faces: error: no list file was rewritten\n"),
                  std::string::npos)
            << failed.err;
        EXPECT_EQ(listsAndRecord(data()), before);
    }
}
