#pragma once

#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <sys/types.h>

#include <TopoDS_Shape.hxx>

/// A fresh temporary directory for each test, removed afterwards.
class TempDirTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    std::filesystem::path dir;
};

/// A TempDirTest that adopts the processes its runs leave: a worker orphaned by its supervisor
/// comes to this process, where expectNoProcessLeft sees it.
class ProcessTest : public TempDirTest {
protected:
    void SetUp() override;
};

/// Fails the test for any process of the run still alive; reaps those that have ended.
void expectNoProcessLeft();

/// Fails the test for a temporary face file (a name with ".tmp") in `data`.
void expectNoTemporary(const std::filesystem::path& data);

/// `stepText` with one entity made to refer to itself, so that the library recurses until its
/// stack overflows: in the reader for an edge (`phase` "reading"), in the transfer for a surface
/// ("transferring"). No handler survives that.
std::string selfReferencingStep(const std::string& stepText, const std::string& phase);

/// Creates `path` (and its parent directories) holding exactly `content`.
void writeFile(const std::filesystem::path& path, const std::string& content);

/// The whole content of a file, or "" when it cannot be read.
std::string readFile(const std::filesystem::path& path);

/// What a run of the real binary printed and how it ended.
struct ToolRun {
    int exitStatus = -1; ///< exit status, or -1 when it did not exit normally
    int signal = 0;      ///< the signal that ended it, 0 if none
    std::string out;
    std::string err;
};

/// A child process as the tests start it: a program, its arguments, where it runs and where its
/// standard streams go.
struct ChildLaunch {
    std::string binary;
    std::vector<std::string> args;
    std::filesystem::path workDir;     ///< the test's own when empty
    std::string argv0;                 ///< the program path the process receives; binary if empty
    int in = -1, out = -1, err = -1;   ///< its stdin, stdout and stderr; /dev/null for -1
    std::function<void()> inChild;     ///< runs in the child just before the exec, when given
};

/// Starts the child that `launch` describes and returns its pid; the descriptors stay open here.
pid_t startChild(const ChildLaunch& launch);

/// Opens (creates, truncates) `path` for a child's output; the caller closes it.
int openForOutput(const std::filesystem::path& path);

/// The processes whose parent is `parent`, from /proc.
std::vector<pid_t> childrenOf(pid_t parent);

/// Waits for `pid` to end, woken by its end, and kills it after ten seconds: a run that missed its
/// signal must fail the test rather than hang it. Returns its wait status.
int waitBounded(pid_t pid);

/// Makes the named pipe `fifo` and opens it for writing without waiting for a reader (for
/// reading and writing at once, as Linux allows), close-on-exec: a run that opens it then finds
/// a writer, and reads what is written through the returned descriptor. The caller closes it.
int makePipeWriter(const std::filesystem::path& fifo);

/// Waits until a reader has taken every byte written through `writer` (see makePipeWriter), woken
/// by each read, for at most ten seconds; false if it has not.
bool waitUntilPipeRead(int writer);

/// Runs the tarnfold binary with `args` in `workDir` (the test's own when empty). `argv0`
/// replaces the program path the process receives, when given; `inChild` runs in the child
/// just before the exec (to set a limit, say).
ToolRun runTool(const std::vector<std::string>& args, const std::filesystem::path& workDir = {},
                const std::string& argv0 = {}, const std::function<void()>& inChild = {});

/// Runs `binary` as runTool runs tarnfold.
ToolRun runBinary(const std::string& binary, const std::vector<std::string>& args,
                  const std::filesystem::path& workDir = {}, const std::string& argv0 = {},
                  const std::function<void()>& inChild = {});

/// Writes `shape` as a STEP file, one root.
void writeStepModel(const TopoDS_Shape& shape, const std::filesystem::path& path);

/// Lays out root/data with address.txt naming `modelPath` and one force and one restraint file.
void makeDataset(const std::filesystem::path& root, const std::string& modelPath,
                 const std::string& forceText, const std::string& restraintText);

/// The SHA-256 of a file's bytes in hexadecimal, as coreutils' sha256sum gives it: a digest
/// made without the tool's own code.
std::string sha256Of(const std::filesystem::path& file);

/// The names of the entries of `directory`, sorted.
std::vector<std::string> listNames(const std::filesystem::path& directory);

/// A tab-separated table as its reader sees it: one map from the header's names per row.
using TableRow = std::map<std::string, std::string>;

/// The rows of a table with a header line; a row whose cell count differs from the header's
/// fails the test.
std::vector<TableRow> parseTable(const std::string& text);
