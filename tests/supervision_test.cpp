// The supervisor of a worker, in this process: what it removes after its worker died, whatever
// the worker left in the memory they share, and how a wait that fails ends.
#include "test_support.hpp"
#include "traced_calls.hpp"

#include "output/whole_file.hpp"
#include "run_state/run_state.hpp"
#include "run/stop_signals.hpp"
#include "run/supervisor.hpp"
#include "run/temporaries.hpp"

#include <csignal>
#include <iostream>
#include <regex>
#include <sstream>

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

// The supervisor takes the stop signals and SIGCHLD for itself and keeps them held: the next
// test's children must not inherit that. Its lines go to a string instead of the test's log.
class SupervisionTest : public TempDirTest {
protected:
    void SetUp() override
    {
        TempDirTest::SetUp();
        sigprocmask(SIG_SETMASK, nullptr, &mask);
        for (std::size_t i = 0; i < std::size(kept); ++i) sigaction(keptSignals[i], nullptr, &kept[i]);
        errorStream = std::cerr.rdbuf(lines.rdbuf());
    }
    void TearDown() override
    {
        std::cerr.rdbuf(errorStream);
        for (std::size_t i = 0; i < std::size(kept); ++i) sigaction(keptSignals[i], &kept[i], nullptr);
        sigprocmask(SIG_SETMASK, &mask, nullptr);
        TempDirTest::TearDown();
    }
    static constexpr int keptSignals[] = {SIGTERM, SIGINT, SIGHUP, SIGQUIT, SIGCHLD};
    sigset_t mask;
    struct sigaction kept[std::size(keptSignals)];
    std::ostringstream lines;
    std::streambuf* errorStream = nullptr;
};

} // namespace

// A dead worker's record of its temporary is checked, not trusted: only a temporary that this
// very worker makes for one of its own products is removed. A record left half-stored (as a
// worker killed in the middle of storing it leaves it), one that names a face file itself or any
// other file, stays without effect.
TEST_F(SupervisionTest, RemovesOnlyItsWorkersOwnTemporaries)
{
    const std::string root = (dir / "job").string();
    fs::create_directories(dir / "job" / "data");
    fs::create_directories(dir / "other" / "data");
    const WorkerProducts products{{root}, {(dir / "pic.svg").string()}};
    struct Case {
        const char* what;
        std::function<std::string(pid_t)> name; ///< of the worker's pid
        bool torn;
        bool removed;
    };
    const std::string face = root + "/data/face3.brep";
    const std::vector<Case> cases = {
        {"a face's temporary", [&](pid_t p) { return temporaryName(face, p, 0); }, false, true},
        {"a later attempt", [&](pid_t p) { return temporaryName(face, p, 7); }, false, true},
        {"the picture's temporary",
         [&](pid_t p) { return temporaryName((dir / "pic.svg").string(), p, 0); }, false, true},
        {"the face file itself", [&](pid_t) { return face; }, false, false},
        {"the picture itself", [&](pid_t) { return (dir / "pic.svg").string(); }, false, false},
        {"a temporary that ends as its file does",
         [&](pid_t p) { return endingTemporaryName((dir / "pic.svg").string(), p); }, false, true},
        {"another file's, ending as the picture does",
         [&](pid_t p) { return endingTemporaryName((dir / "pie.svg").string(), p); }, false, false},
        {"another process's temporary", [&](pid_t p) { return temporaryName(face, p + 1, 0); },
         false, false},
        {"another dataset's", [&](pid_t p) {
             return temporaryName((dir / "other/data/face3.brep").string(), p, 0);
         }, false, false},
        {"a face number with a leading zero",
         [&](pid_t p) { return temporaryName(root + "/data/face03.brep", p, 0); }, false, false},
        {"past the last attempt", [&](pid_t p) { return temporaryName(face, p, 100); }, false,
         false},
        {"a record left half-stored", [&](pid_t p) { return temporaryName(face, p, 0); }, true,
         false},
    };
    for (const Case& c : cases) {
        const int status = superviseRun(products, [&](RunState& state) {
            const std::string name = c.name(::getpid());
            writeFile(name, "kept\n");
            recordTemporary(&state, name);
            if (c.torn) state.temporary.version.fetch_add(1); // as if stopped while storing
            // Dead, and the supervisor's record of the name written out: this file's fate is its.
            writeFile(dir / "name", name);
            ::raise(SIGKILL);
            return 0;
        }, std::cerr);
        EXPECT_EQ(status, 1) << c.what;
        const std::string name = readFile(dir / "name");
        ASSERT_FALSE(name.empty()) << c.what;
        EXPECT_EQ(fs::exists(name), !c.removed) << c.what << ": " << name;
        fs::remove(name);
    }
    EXPECT_NE(lines.str().find("tarnfold: error: killed (Killed) before the run began"),
              std::string::npos)
        << lines.str();
}

namespace {

// The calls by which a whole file is written: its name looked at, the temporary made, written
// and closed, then renamed or linked into place.
const std::string writeCalls = "openat,write,close,?rename,?renameat,?renameat2,?link,?linkat";

// Starts strace on this very process, logging writeCalls to `log` and injecting `inject` (none
// when ""); returns strace's pid once it is attached, which strace says on its stderr: a pipe,
// read here and left open, so that strace can always write its lines.
pid_t traceThisProcess(const fs::path& log, const std::string& inject)
{
    int said[2];
    if (::pipe2(said, O_CLOEXEC) != 0) return -1;
    // Where Yama lets only a process's ancestors trace it, this one lets its child do it.
    ::prctl(PR_SET_PTRACER, PR_SET_PTRACER_ANY);
    std::vector<std::string> args = {"-p", std::to_string(::getpid()), "-s", "4096",
                                     "-o", log.string(), "-e", "trace=" + writeCalls};
    if (!inject.empty()) args.insert(args.end(), {"-e", "inject=" + inject});
    const pid_t strace = startChild({straceBinary, args, {}, {}, -1, -1, said[1], {}});
    ::close(said[1]);
    std::string told;
    char buffer[256];
    for (ssize_t n; told.find(" attached") == std::string::npos &&
                    (n = ::read(said[0], buffer, sizeof buffer)) > 0;) {
        told.append(buffer, std::size_t(n));
    }
    return told.find(" attached") == std::string::npos ? -1 : strace;
}

// A path of a call with the writer's pid taken out of a temporary's name, which is the same in
// every run then.
std::string withoutPid(const std::string& path)
{
    return std::regex_replace(path, std::regex(R"(\.tmp[0-9]+$)"), ".tmp");
}

} // namespace

// A worker that rewrites two face files and writes a third anew, killed as it enters each of the
// calls of those writes in turn (strace delivers SIGKILL: no handler runs), never costs a face
// file: each holds its old bytes until the call that puts its new ones in place, and its new
// ones after, and the supervisor leaves no temporary, also where the kill came while one was on
// disk, as it does at least once in every rewrite.
TEST_F(SupervisionTest, KilledAtEachCallOfAWriteLosesNoFaceFile)
{
    if (!fs::exists(straceBinary)) GTEST_SKIP() << "strace is not installed: scripts/install-deps";
    // strace outlives the worker it traced: it comes to this process, to be waited for.
    ASSERT_EQ(::prctl(PR_SET_CHILD_SUBREAPER, 1), 0);
    const std::string root = (dir / "job").string();
    const std::string oldBytes = "DBRep_DrawableShape\nold face\n";
    const std::string newBytes = "DBRep_DrawableShape\nthe new face, longer\n";
    const std::vector<std::string> faces = {root + "/data/face1.brep", root + "/data/face2.brep",
                                            root + "/data/face3.brep"};
    const std::size_t rewritten = 2; // the first two exist before; the third is new
    // Where the worker leaves its strace's pid: memory it shares with this process.
    void* shared = ::mmap(nullptr, sizeof(pid_t), PROT_READ | PROT_WRITE,
                          MAP_SHARED | MAP_ANONYMOUS, -1, 0);
    ASSERT_NE(shared, MAP_FAILED);
    pid_t& tracer = *static_cast<pid_t*>(shared);

    // The faces as they were, the worker run under strace with `inject`, and strace waited for.
    const auto run = [&](const std::string& inject, const fs::path& log) {
        fs::remove_all(dir / "job");
        for (std::size_t n = 0; n < rewritten; ++n) writeFile(faces[n], oldBytes);
        tracer = -1;
        const int status = superviseRun({{root}, {}}, [&](RunState& state) {
            tracer = traceThisProcess(log, inject);
            if (tracer < 0) return 2;
            for (const std::string& face : faces) writeWholeFile(face, newBytes, &state);
            // Ended without the exit handlers: a sanitizer build's leak checker runs in them and
            // cannot run under ptrace.
            ::_exit(0);
        }, std::cerr);
        if (tracer > 0) waitBounded(tracer);
        return status;
    };

    ASSERT_EQ(run("", dir / "whole.log"), 0) << lines.str();
    const std::vector<TracedCall> calls = readTracedCalls(dir / "whole.log");
    // Each face's write puts it in place with the last call that names it (a rename or a link);
    // the temporary of a face that is rewritten is on disk from the call that made it to that one.
    std::vector<std::size_t> made(faces.size(), calls.size()), placed(faces.size(), calls.size());
    for (std::size_t n = 0; n < faces.size(); ++n) {
        for (std::size_t i = 0; i < calls.size(); ++i) {
            if (calls[i].name == "openat" && withoutPid(calls[i].path) == faces[n] + ".tmp") {
                made[n] = i;
            }
            if (calls[i].path == faces[n] && calls[i].name != "openat") placed[n] = i;
        }
        ASSERT_LT(placed[n], calls.size()) << faces[n] << " never put in place:\n"
                                           << readFile(dir / "whole.log");
        EXPECT_EQ(made[n] < placed[n], n < rewritten) << faces[n] << ": its temporary";
    }

    std::vector<int> killsWithATemporary(faces.size(), 0);
    for (std::size_t i = 0; i < calls.size(); ++i) {
        SCOPED_TRACE(std::to_string(i) + ": " + calls[i].name + " " + calls[i].path);
        EXPECT_EQ(run(killEntering(calls[i]), dir / "kill.log"), 1) << lines.str();
        // The kill landed where it was meant to: on the call of that name, count and file.
        const std::vector<TracedCall> reached = readTracedCalls(dir / "kill.log");
        ASSERT_EQ(reached.size(), i + 1) << readFile(dir / "kill.log");
        EXPECT_EQ(reached.back().name, calls[i].name);
        EXPECT_EQ(withoutPid(reached.back().path), withoutPid(calls[i].path));

        std::vector<std::string> names;
        for (std::size_t n = 0; n < faces.size(); ++n) {
            killsWithATemporary[n] += made[n] < i && i <= placed[n];
            if (placed[n] >= i && n >= rewritten) {
                EXPECT_FALSE(fs::exists(faces[n])) << faces[n];
                continue;
            }
            EXPECT_EQ(readFile(faces[n]), placed[n] < i ? newBytes : oldBytes) << faces[n];
            names.push_back(fs::path(faces[n]).filename().string());
        }
        EXPECT_EQ(listNames(root + "/data"), names) << "a temporary was left";
    }
    for (std::size_t n = 0; n < rewritten; ++n) {
        EXPECT_GT(killsWithATemporary[n], 0) << "no kill came while a temporary of " << faces[n]
                                             << " was on disk";
    }
    ::munmap(shared, sizeof(pid_t));
}

// A wait that fails is a failure, never taken for the worker's success: here for a process that
// is no child of this one (any more).
TEST_F(SupervisionTest, AFailedWaitIsNoSuccess)
{
    const pid_t child = ::fork();
    if (child == 0) ::_exit(0);
    ASSERT_EQ(::waitpid(child, nullptr, 0), child);
    RunState state;
    sigset_t waiting;
    sigemptyset(&waiting);
    EXPECT_EQ(waitForWorker(child, waiting, state), ECHILD);
    int status = 0;
    EXPECT_EQ(reapWorker(child, state, {}, status), ECHILD);
}

// A worker that has ended is waited for without being reaped, so that its pid stays its own,
// and no other process's, until its temporary is removed; only then is it reaped.
TEST_F(SupervisionTest, AnEndedWorkerIsReapedOnlyAfterItsTemporaryIsRemoved)
{
    const std::string root = (dir / "job").string();
    fs::create_directories(dir / "job" / "data");
    void* shared = ::mmap(nullptr, sizeof(RunState), PROT_READ | PROT_WRITE,
                          MAP_SHARED | MAP_ANONYMOUS, -1, 0);
    ASSERT_NE(shared, MAP_FAILED);
    RunState& state = *new (shared) RunState;
    InheritedSignals inherited;
    holdStopSignals(inherited);
    const pid_t worker = ::fork();
    if (worker == 0) {
        const std::string temporary = temporaryName(root + "/data/face1.brep", ::getpid(), 0);
        writeFile(temporary, "half a face");
        recordTemporary(&state, temporary);
        ::_exit(3);
    }
    ASSERT_EQ(waitForWorker(worker, waitingMask(inherited), state), 0);
    const std::string temporary = temporaryName(root + "/data/face1.brep", worker, 0);
    siginfo_t ended = {};
    ASSERT_EQ(::waitid(P_PID, worker, &ended, WEXITED | WNOHANG | WNOWAIT), 0);
    EXPECT_EQ(ended.si_pid, worker) << "reaped already: its pid may be another's";
    EXPECT_TRUE(fs::exists(temporary));

    int status = 0;
    EXPECT_EQ(reapWorker(worker, state, WorkerProducts{{root}, {}}, status), 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 3) << status;
    EXPECT_FALSE(fs::exists(temporary));
    EXPECT_EQ(::waitpid(worker, nullptr, WNOHANG), -1) << "not reaped";
    state.~RunState();
    ::munmap(shared, sizeof(RunState));
}
