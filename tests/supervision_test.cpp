// The supervisor of a worker, in this process: what it removes after its worker died, whatever
// the worker left in the memory they share, and how a wait that fails ends.
#include "test_support.hpp"

#include "output/whole_file.hpp"
#include "run_state/run_state.hpp"
#include "run/stop_signals.hpp"
#include "run/supervisor.hpp"
#include "run/temporaries.hpp"

#include <csignal>
#include <iostream>
#include <random>
#include <sstream>

#include <sys/mman.h>
#include <sys/time.h>
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
        });
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

// Killed at hundreds of random moments while it rewrites face files, a worker never costs one:
// each face file is whole, the old bytes or the new, and no temporary is left.
TEST_F(SupervisionTest, KilledAtAnyMomentOfAWriteLosesNoFaceFile)
{
    const std::string root = (dir / "job").string();
    const std::vector<std::string> versions = {"DBRep_DrawableShape\nold face\n",
                                               "DBRep_DrawableShape\nthe new face, longer\n"};
    std::vector<std::string> faces;
    for (int n = 1; n <= 5; ++n) {
        faces.push_back(root + "/data/face" + std::to_string(n) + ".brep");
        writeFile(faces.back(), versions[0]);
    }
    std::mt19937 random(12345);
    std::uniform_int_distribution<int> moment(1, 3000);
    for (int kill = 0; kill < 300; ++kill) {
        const int microseconds = moment(random);
        superviseRun({{root}, {}}, [&](RunState& state) {
            std::signal(SIGALRM, [](int) { ::raise(SIGKILL); });
            const itimerval timer = {{0, 0}, {0, microseconds}};
            ::setitimer(ITIMER_REAL, &timer, nullptr);
            for (std::size_t round = 0;; ++round) {
                for (std::size_t n = 0; n < faces.size(); ++n) {
                    writeWholeFile(faces[n], versions[(round + n) % 2], &state);
                }
            }
            return 0;
        });
        for (const std::string& file : faces) {
            const std::string bytes = readFile(file);
            ASSERT_TRUE(bytes == versions[0] || bytes == versions[1])
                << "after kill " << kill << " at " << microseconds << " us, " << file << ": '"
                << bytes << "'";
        }
        ASSERT_EQ(listNames(root + "/data").size(), faces.size()) << "after kill " << kill;
    }
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
