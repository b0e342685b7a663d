// The worker on Windows, a process of its own: however it ends, its supervisor passes its status
// on or tells its end in one line, and removes the temporary it recorded, and nothing else.
// The worker is this test program started again by superviseRun on the same command line; the
// case it runs is handed down in the environment.
#include "windows_support.hpp"

#include "paths/narrow_form.hpp"
#include "run_state/run_state.hpp"
#include "run/supervisor.hpp"
#include "run/temporaries.hpp"

#include <cstdlib>
#include <functional>
#include <iostream>

#include <process.h>

namespace fs = std::filesystem;

class WorkerTest : public WideDirTest {};

namespace {

// Recurses until the stack overflows; the array keeps each frame from being optimised away.
int overflow(int depth)
{
    volatile char frame[4096];
    frame[0] = char(depth);
    return overflow(depth + 1) + frame[0];
}

} // namespace

TEST_F(WorkerTest, EndsToldInOneLine)
{
    struct Case {
        const char* what;
        std::function<void()> end; ///< how the worker ends, its temporary recorded
        int status;
        std::string line; ///< what the supervisor says, after "tarnfold: error: "
    };
    const char* place = "while transferring 'm.step'; no file was written";
    const std::vector<Case> cases = {
        {"a status of its own", [] { std::exit(2); }, 2, ""},
        {"an access violation", [] { *static_cast<volatile int*>(nullptr) = 1; }, 1,
         std::string("the STEP library crashed (access violation, 0xC0000005) ") + place},
        {"a stack overflow", [] { std::exit(overflow(0)); }, 1,
         std::string("the STEP library crashed (stack overflow, 0xC00000FD) ") + place},
    };
    // In a worker, its case and its supervisor's dataset come from the environment.
    const char* chosen = std::getenv("TARNFOLD_WORKER_CASE");
    const std::string root =
        chosen ? std::getenv("TARNFOLD_WORKER_ROOT") : narrowForm(dir / L"caf\u00e9");
    fs::create_directories(nativePath(root) / "data");
    writeBytes(nativePath(root) / "data" / "face3.brep", "older\n");
    for (std::size_t i = 0; i < cases.size(); ++i) {
        const Case& c = cases[i];
        if (chosen && std::to_string(i) != chosen) continue;
        _putenv(("TARNFOLD_WORKER_CASE=" + std::to_string(i)).c_str());
        _putenv(("TARNFOLD_WORKER_ROOT=" + root).c_str());
        ::testing::internal::CaptureStderr();
        const int status = superviseRun({{root}, {}}, [&](RunState& state) {
            const std::string temporary = temporaryName(root + "/data/face3.brep", _getpid(), 0);
            recordTemporary(&state, temporary);
            writeBytes(nativePath(temporary), "half a face");
            recordText(state.modelPath, "m.step");
            enterPhase(&state, RunPhase::transferring);
            c.end();
            return 0;
        }, std::cerr);
        const std::string said = ::testing::internal::GetCapturedStderr();
        _putenv("TARNFOLD_WORKER_CASE=");
        EXPECT_EQ(status, c.status) << c.what;
        EXPECT_EQ(said, c.line.empty() ? "" : "tarnfold: error: " + c.line + "\n") << c.what;
        EXPECT_EQ(listWideNames(nativePath(root) / "data"),
                  std::vector<std::wstring>{L"face3.brep"})
            << c.what;
        EXPECT_EQ(readBytes(nativePath(root) / "data" / "face3.brep"), "older\n") << c.what;
    }
}
