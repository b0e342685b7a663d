// The command line and the console: what a batch script sees of a run.
#include "test_support.hpp"

#include <regex>

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
