// The batch's own parts, each on its own: the results that workers send, the table's fields,
// the command line and the dataset list, and the account given to the datasets of a worker that
// died, for each place it can die in.
#include "test_support.hpp"

#include "batch/batch_arguments.hpp"
#include "batch/batch_table.hpp"
#include "batch/result_frames.hpp"
#include "batch/worker_endings.hpp"
#include "run_state/run_state.hpp"

#include <csignal>

#include <sys/wait.h>

class BatchPartsTest : public TempDirTest {};

// Any bytes in a line survive the pipe, results come off one at a time and only whole, and bytes
// that no worker wrote are refused.
TEST(BatchParts, ResultsSurviveThePipe)
{
    const std::vector<DatasetResult> results = {
        {0, 0, false, {}, 0},
        {7, 12, false, {"tarnfold: error: one", "", "two\nlines", "12\n3 4"}, 3},
        {123456, 1, true, {std::string("nul\0byte", 8)}, 1},
    };
    std::string bytes;
    for (const DatasetResult& result : results) bytes += encodeResult(result);
    for (std::size_t cut = 0; cut < bytes.size(); ++cut) {
        std::string part = bytes.substr(0, cut);
        DatasetResult taken;
        std::size_t count = 0;
        while (takeResult(part, taken)) ++count;
        // Only the results wholly inside the first `cut` bytes, and the rest left for later.
        std::size_t whole = 0, length = 0;
        while (whole < results.size() && length + encodeResult(results[whole]).size() <= cut) {
            length += encodeResult(results[whole++]).size();
        }
        EXPECT_EQ(count, whole) << "cut at " << cut;
        EXPECT_EQ(part, bytes.substr(length, cut - length)) << "cut at " << cut;
    }
    std::string all = bytes;
    for (const DatasetResult& expected : results) {
        DatasetResult taken;
        ASSERT_TRUE(takeResult(all, taken));
        EXPECT_EQ(taken.dataset, expected.dataset);
        EXPECT_EQ(taken.files, expected.files);
        EXPECT_EQ(taken.stale, expected.stale);
        EXPECT_EQ(taken.errors, expected.errors);
        EXPECT_EQ(taken.lines, expected.lines);
    }
    EXPECT_EQ(all, "");
    for (std::string damaged : {"x 1 1\n", "1 1 1\n3\nabcd", "1 1 2 0 0\n", "1 1 0 2 1\n"}) {
        DatasetResult taken;
        EXPECT_THROW(takeResult(damaged, taken), std::runtime_error) << damaged;
    }
}

// Each row stays one line of tab-separated fields, and the escapes can be read back.
TEST(BatchParts, FieldsAreEscaped)
{
    const std::pair<std::string, std::string> cases[] = {
        {"jobs/1", "jobs/1"},
        {"a\tb", "a\\tb"},
        {"line\nbreak\r", "line\\nbreak\\r"},
        {"C:\\jobs", "C:\\\\jobs"},
        {"\\t", "\\\\t"},
        {"", ""},
    };
    for (const auto& [text, field] : cases) EXPECT_EQ(escapeField(text), field) << text;
}

// What the command line may say, and the one line of each mistake.
TEST(BatchParts, CommandLine)
{
    struct Case {
        std::vector<std::string> args;
        std::string error; ///< "" when it is valid
    };
    const std::vector<Case> cases = {
        {{"a", "--jobs", "3", "--timeout=2.5", "b", "--", "--log"}, ""},
        {{"-j", "2", "--from", "-"}, ""},
        {{}, "no dataset root given"},
        {{"--jobs", "0", "a"}, "--jobs needs a whole number from 1 to 1024, not '0'"},
        {{"--jobs=two", "a"}, "--jobs needs a whole number from 1 to 1024, not 'two'"},
        {{"--timeout", "-1", "a"}, "--timeout needs a number of seconds, not '-1'"},
        {{"--timeout", "1e3", "a"}, "--timeout needs a number of seconds, not '1e3'"},
        {{"a", "--timeout"}, "option --timeout needs a value"},
        {{"--from", "x", "--from", "y"}, "--from given twice"},
        {{"--frob", "a"}, "unknown option '--frob'"},
    };
    for (const Case& c : cases) {
        std::vector<std::string> strings{"tarnfold-batch"};
        strings.insert(strings.end(), c.args.begin(), c.args.end());
        std::vector<char*> argv;
        for (std::string& s : strings) argv.push_back(s.data());
        const std::string context = ::testing::PrintToString(c.args);
        try {
            const BatchOptions options =
                parseBatchArguments(static_cast<int>(argv.size()), argv.data());
            EXPECT_EQ(c.error, "") << context;
            if (c.args.front() == "a") {
                EXPECT_EQ(options.roots, (std::vector<std::string>{"a", "b", "--log"}));
                EXPECT_EQ(options.jobs, 3);
                EXPECT_EQ(options.timeoutSeconds, 2.5);
                EXPECT_EQ(options.timeoutText, "2.5");
            } else {
                EXPECT_EQ(options.listFile, "-");
                EXPECT_EQ(options.jobs, 2);
            }
        } catch (const std::invalid_argument& e) {
            EXPECT_EQ(e.what(), c.error) << context;
        }
    }
}

// One root a line, exactly as written; empty lines are no datasets; an unreadable list says why.
TEST_F(BatchPartsTest, DatasetList)
{
    writeFile(dir / "list.txt", "jobs/1\n\n jobs/2 \njobs/3");
    std::vector<std::string> roots{"given"};
    EXPECT_EQ(readDatasetList((dir / "list.txt").string(), roots), "");
    EXPECT_EQ(roots, (std::vector<std::string>{"given", "jobs/1", " jobs/2 ", "jobs/3"}));
    EXPECT_EQ(readDatasetList((dir / "none.txt").string(), roots),
              "cannot read dataset list '" + (dir / "none.txt").string() +
                  "': No such file or directory");
    EXPECT_EQ(readDatasetList(dir.string(), roots),
              "cannot read dataset list '" + dir.string() + "': Is a directory");
}

// The account of a dead worker's datasets, for every place it can die in: all of them in the
// read they share, each under its own name for the model; or one in progress, with its files,
// the ones before it kept, the ones after it not begun.
TEST(BatchParts, DeadWorkersDatasets)
{
    struct Case {
        std::string what;
        int waitStatus;
        bool timedOut;
        int begun;             ///< datasets the worker had begun
        int firstDone;         ///< files of the first dataset if done before the death; -1 if not
        RunPhase phase;
        int filesWritten;
        std::vector<std::string> statuses, files, lines; ///< of datasets 1 to 3
    };
    const int segv = SIGSEGV, term = SIGTERM, kill = SIGKILL; // a death's wait status is its signal
    const std::vector<Case> cases = {
        {"crash in the shared read", segv, false, 0, -1, RunPhase::reading, 0,
         {"crashed", "crashed", "ok"}, {"0", "0", "4"},
         {"tarnfold: error: the STEP library crashed (Segmentation fault) while reading 'm.step'; "
          "no file was written",
          "tarnfold: error: the STEP library crashed (Segmentation fault) while reading "
          "'./m.step'; no file was written",
          ""}},
        {"timeout in the transfer", kill, true, 0, -1, RunPhase::transferring, 0,
         {"timeout", "timeout", "ok"}, {"0", "0", "4"},
         {"tarnfold-batch: error: timed out after 9 s while transferring 'm.step'; no file was "
          "written",
          "tarnfold-batch: error: timed out after 9 s while transferring './m.step'; no file was "
          "written",
          ""}},
        {"stopped while writing the first", term, false, 1, -1, RunPhase::writing, 2,
         {"stopped", "stopped", "ok"}, {"2", "0", "4"},
         {"tarnfold: error: stopped (Terminated) while writing face 5 of 'm.step'; 2 files were "
          "written whole before it",
          "tarnfold-batch: error: not begun: its model's worker ended on dataset 'd1': stopped "
          "(Terminated)",
          ""}},
        {"killed after the first", kill, false, 1, 1, RunPhase::finished, 1,
         {"ok", "crashed", "ok"}, {"1", "0", "4"},
         {"", "tarnfold-batch: error: not begun: its model's worker ended after dataset 'd1': "
              "killed (Killed)",
          ""}},
        {"exited without a word", 1 << 8, false, 1, -1, RunPhase::writing, 0,
         {"crashed", "crashed", "ok"}, {"0", "0", "4"},
         {"tarnfold-batch: error: its model's worker ended with exit status 1 while writing face "
          "5 of 'm.step'; no file was written",
          "tarnfold-batch: error: not begun: its model's worker ended on dataset 'd1': exit "
          "status 1",
          ""}},
    };
    for (const Case& c : cases) {
        std::vector<BatchDataset> datasets(3);
        for (int i = 0; i < 3; ++i) datasets[i].root = "d" + std::to_string(i + 1);
        datasets[0].inputs.modelPath = "m.step";
        datasets[1].inputs.modelPath = "./m.step";
        // The third is of another group, already done.
        datasets[2].status = DatasetStatus::ok;
        datasets[2].files = 4;
        if (c.firstDone >= 0) {
            datasets[0].status = DatasetStatus::ok;
            datasets[0].files = c.firstDone;
        }
        const ModelGroup group{"m.step", {0, 1}};
        RunState state;
        recordText(state.modelPath, "m.step");
        state.phase.store(static_cast<int>(c.phase));
        state.faceNumber.store(5);
        state.filesWritten.store(c.filesWritten);
        state.datasetsBegun.store(c.begun);
        WorkerEnding ending;
        ending.waitStatus = c.waitStatus;
        ending.timedOut = c.timedOut;
        ending.timeoutText = "9";
        settleUnfinished(datasets, group, ending, state);
        for (std::size_t i = 0; i < 3; ++i) {
            EXPECT_EQ(statusWord(datasets[i].status), c.statuses[i]) << c.what << ", d" << i + 1;
            EXPECT_EQ(std::to_string(datasets[i].files), c.files[i]) << c.what << ", d" << i + 1;
            const std::string lines = datasets[i].lines.empty() ? "" : datasets[i].lines.back();
            EXPECT_EQ(datasets[i].lines.size(), c.lines[i].empty() ? 0u : 1u) << c.what;
            EXPECT_EQ(lines, c.lines[i]) << c.what << ", d" << i + 1;
        }
    }
}
