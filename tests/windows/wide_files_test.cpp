// Whole files through wide paths: a file of a root whose name holds a letter of the code page
// lands under the name the user sees, whatever stands there, and no temporary is left.
#include "windows_support.hpp"

#include "output/whole_file.hpp"
#include "paths/narrow_form.hpp"

#include <utility>

namespace fs = std::filesystem;

class WideFilesTest : public WideDirTest {};

TEST_F(WideFilesTest, WholeFileUnderACodePageName)
{
    const fs::path data = dir / L"caf\u00e9" / "data";
    const std::string name = narrowForm(dir / L"caf\u00e9") + "/data/face3.brep";
    const std::pair<const char*, std::string> cases[] = {
        {"a free name", "DBRep_DrawableShape\n"},
        {"the same bytes", "DBRep_DrawableShape\n"},
        {"other bytes", "DBRep_DrawableShape\nlonger\n"},
        {"fewer bytes", "DBRep\n"},
    };
    fs::create_directories(data);
    for (const auto& [what, bytes] : cases) {
        EXPECT_EQ(writeWholeFile(name, bytes), "") << what;
        EXPECT_EQ(readBytes(data / "face3.brep"), bytes) << what;
        EXPECT_EQ(listWideNames(data), std::vector<std::wstring>{L"face3.brep"}) << what;
    }
}

// A new file is made only on a free name, and a directory at the name is a failure told in one
// line; neither leaves a temporary.
TEST_F(WideFilesTest, NewFilesAndFailures)
{
    const std::string name = narrowForm(dir / L"\u00e9t\u00e9.tsv");
    std::string error;
    EXPECT_EQ(writeNewFile(name, "one\n", error), NewFile::written);
    EXPECT_EQ(writeNewFile(name, "two\n", error), NewFile::taken);
    EXPECT_EQ(error, "");
    EXPECT_EQ(readBytes(dir / L"\u00e9t\u00e9.tsv"), "one\n");

    fs::create_directory(dir / "face4.brep");
    const std::string problem = writeWholeFile(narrowForm(dir / "face4.brep"), "bytes\n");
    EXPECT_EQ(problem.rfind("cannot write '" + narrowForm(dir / "face4.brep") + "': ", 0), 0u)
        << problem;
    EXPECT_EQ(problem.find('\n'), std::string::npos) << problem;
    EXPECT_EQ(listWideNames(dir), (std::vector<std::wstring>{L"face4.brep", L"\u00e9t\u00e9.tsv"}));
}
