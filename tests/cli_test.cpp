// The command line and the console: what a batch script sees of a run.
#include "test_support.hpp"

#include <regex>

#include <BRepPrimAPI_MakeBox.hxx>

#include <unistd.h>

// Each test gets a temporary directory of its own.
class DatasetRootTest : public TempDirTest {};

namespace {

struct QuotingCase {
    std::string argument;
    std::string secondLine;
};

} // namespace

// The second line quotes the root so that a script can read it back whatever it holds.
TEST(Console, SecondLineQuotesTheRoot)
{
    const std::vector<QuotingCase> cases = {
        {R"(D:\jobs\bracket)", R"("D:\\jobs\\bracket")"},
        {R"(say "hi")", R"("say \"hi\"")"},
        {"/srv/run 7", R"("/srv/run 7")"},
        {"", R"("")"},
        {R"(\"\)", R"("\\\"\\")"},
    };
    for (const QuotingCase& c : cases) {
        const ToolRun run = runTool({c.argument});
        EXPECT_EQ(run.out, std::string(TARNFOLD_BINARY) + "\n" + c.secondLine + "\n")
            << "argument: " << c.argument;
        // None of these roots exists: the walk fails, after both lines.
        EXPECT_EQ(run.exitStatus, 1) << c.argument;
        EXPECT_EQ(run.err.rfind("tarnfold: error: ", 0), 0u) << run.err;
    }
}

// The first line is the program path exactly as the process received it.
TEST(Console, FirstLineIsArgvZeroUnchanged)
{
    const ToolRun run = runTool({"/no/such/root"}, {}, "some tool \\ name");
    EXPECT_EQ(run.out, "some tool \\ name\n\"/no/such/root\"\n");
}

// Arguments after the first are ignored.
TEST(Console, ExtraArgumentsAreIgnored)
{
    const ToolRun one = runTool({"/no/such/root"});
    const ToolRun three = runTool({"/no/such/root", "--help", "x"});
    EXPECT_EQ(three.out, one.out);
    EXPECT_EQ(three.err, one.err);
    EXPECT_EQ(three.exitStatus, one.exitStatus);
}

// A missing argument is a usage error: nothing on stdout, status 2.
TEST(Console, NoArgumentIsAUsageError)
{
    const ToolRun run = runTool({});
    EXPECT_EQ(run.exitStatus, 2);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, "usage: tarnfold [--cache DIR] [--cache-size SIZE] <dataset-root>\n");
}

TEST(Console, HelpAndVersion)
{
    for (const std::string flag : {"-h", "--help"}) {
        const ToolRun run = runTool({flag});
        EXPECT_EQ(run.exitStatus, 0) << flag;
        EXPECT_EQ(run.out.rfind("usage: tarnfold [--cache DIR] [--cache-size SIZE] <dataset-root>\n", 0), 0u) << run.out;
        EXPECT_EQ(run.err, "") << flag;
    }
    const ToolRun version = runTool({"--version"});
    EXPECT_EQ(version.exitStatus, 0);
    EXPECT_TRUE(std::regex_match(
        version.out, std::regex(R"(tarnfold [0-9]+\.[0-9]+\.[0-9]+ \(OpenCASCADE 7\.[0-9]+\.[0-9]+\)\n)")))
        << version.out;
}

// A dataset that happens to be called --help is still reachable by its path.
TEST_F(DatasetRootTest, DirectoryNamedLikeAnOption)
{
    std::filesystem::create_directories(dir / "--help");
    const ToolRun run = runTool({"./--help"}, dir);
    EXPECT_EQ(run.out.substr(run.out.find('\n') + 1, 11), "\"./--help\"\n");
    EXPECT_EQ(run.exitStatus, 1); // no model named
    EXPECT_NE(run.err.find("address.txt' is missing or holds no word"), std::string::npos)
        << run.err;
}

namespace {

// What `binary` writes with stdout and stderr on one file, as a terminal or `2>&1` shows it.
std::string runOnOneStream(const std::string& binary, const std::vector<std::string>& args,
                           const std::filesystem::path& file)
{
    const int fd = openForOutput(file);
    const pid_t pid = startChild({binary, args, {}, {}, -1, fd, fd, {}});
    ::close(fd);
    waitBounded(pid);
    return readFile(file);
}

} // namespace

// The table and the lines about it reach one stream in the order they were made: stdout is
// flushed before each note or error that follows it.
TEST_F(DatasetRootTest, LinesKeepTheirOrderOnOneStream)
{
    const std::filesystem::path root = dir / "job";
    writeStepModel(BRepPrimAPI_MakeBox(10.0, 20.0, 30.0).Shape(), dir / "box.step");
    makeDataset(root, (dir / "box.step").string(), "3 0 -250\n", "2 1 1 1 0 0 0\n");
    ASSERT_EQ(runTool({root.string()}).exitStatus, 0);

    const std::string missing = (dir / "none").string();
    EXPECT_EQ(runOnOneStream(TARNFOLD_BINARY, {missing}, dir / "walk.txt")
                  .rfind(std::string(TARNFOLD_BINARY) + "\n\"" + missing + "\"\ntarnfold: error: ",
                         0),
              0u);
    const std::string follow =
        runOnOneStream(TARNFOLD_FACES_BINARY, {root.string(), "--follow"}, dir / "follow.txt");
    // After the STEP reader's messages: the header, then at once the note that no row follows.
    EXPECT_NE(follow.find("old\tnew\tmatch\tlist\tkept\treason\n"
                          "tarnfold-faces: note: nothing to follow: "),
              std::string::npos)
        << follow;
}
