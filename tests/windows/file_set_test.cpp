// The carry's file set through wide paths: under a root named with a letter of the code page,
// every file of a set takes its new bytes under the name the user sees, a removed one is gone,
// and the journal beside them is gone too; while one process works on a journal's directory,
// another is refused.
#include "windows_support.hpp"

#include "output/file_set.hpp"
#include "paths/file_names.hpp"
#include "paths/narrow_form.hpp"

#include <future>

namespace fs = std::filesystem;

class FileSetTest : public WideDirTest {};

TEST_F(FileSetTest, SetUnderACodePageName)
{
    const fs::path data = dir / L"caf\u00e9" / "data";
    writeBytes(data / "force" / "load.txt", "3\n");
    writeBytes(data / "restraint" / "fixed.txt", "8\n");
    const std::string root = narrowForm(data);
    const std::vector<SetFile> files = {
        {root + "/force.orig/load.txt", std::string("3\n"), std::nullopt},
        {root + "/force/load.txt", std::string("5\n"), std::string("3\n")},
        {root + "/restraint/fixed.txt", std::nullopt, std::string("8\n")},
    };
    EXPECT_EQ(replaceFileSet(root + "/carry.tmp", files), std::vector<std::string>{});
    EXPECT_EQ(readBytes(data / "force.orig" / "load.txt"), "3\n");
    EXPECT_EQ(readBytes(data / "force" / "load.txt"), "5\n");
    EXPECT_FALSE(fs::exists(data / "restraint" / "fixed.txt"));
    EXPECT_EQ(listWideNames(data), (std::vector<std::wstring>{L"force", L"force.orig",
                                                              L"restraint"}));
    EXPECT_EQ(settleFileSet(root + "/carry.tmp").found, SetFound::none);
}

// A file that changed since it was read is not replaced, and nothing of the set is left.
TEST_F(FileSetTest, ChangedFileRefusesTheSet)
{
    const fs::path data = dir / L"\u00e9t\u00e9";
    writeBytes(data / "list.txt", "4\n");
    const std::string root = narrowForm(data);
    const std::vector<SetFile> files = {
        {root + "/list.txt", std::string("6\n"), std::string("3\n")},
    };
    const std::vector<std::string> problems = replaceFileSet(root + "/carry.tmp", files);
    ASSERT_EQ(problems.size(), 1u);
    EXPECT_EQ(problems[0], "'" + root + "/list.txt' changed while it was worked on; run again");
    EXPECT_EQ(readBytes(data / "list.txt"), "4\n");
    EXPECT_EQ(listWideNames(data), std::vector<std::wstring>{L"list.txt"});
}

// The lock on a directory is one holder's at a time, whatever case its name is written in.
TEST_F(FileSetTest, DirectoryLockIsExclusive)
{
    fs::create_directory(dir / L"caf\u00e9");
    const std::string name = narrowForm(dir / L"caf\u00e9");
    const std::string upper = narrowForm(dir / L"CAF\u00c9");
    const auto tryLock = [](const std::string& directory) {
        DirectoryLock lock;
        return lockDirectory(directory, lock);
    };
    {
        DirectoryLock held;
        ASSERT_TRUE(lockDirectory(name, held));
        // Another thread stands for another process: a mutex is its holder thread's.
        EXPECT_FALSE(std::async(std::launch::async, tryLock, name).get());
        EXPECT_FALSE(std::async(std::launch::async, tryLock, upper).get());
    }
    EXPECT_TRUE(std::async(std::launch::async, tryLock, name).get());
}
