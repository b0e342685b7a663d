// Writing a file whole, whatever stands at its name already.
#include "test_support.hpp"

#include "output/whole_file.hpp"

#include <ctime>

#include <fcntl.h>
#include <sys/stat.h>

namespace fs = std::filesystem;

class WholeFileTest : public TempDirTest {};

namespace {

struct stat statusOf(const fs::path& path)
{
    struct stat status = {};
    EXPECT_EQ(::lstat(path.c_str(), &status), 0) << path;
    return status;
}

} // namespace

// Every kind of old entry ends as a regular file with the new bytes; the same bytes are kept in
// place and only touched; a link is replaced, never followed; nothing else is left.
TEST_F(WholeFileTest, WhateverStandsAtTheName)
{
    const std::string bytes = "DBRep_DrawableShape\nface\n";
    struct Case {
        const char* what;
        std::function<void(const fs::path&)> prepare;
        bool keepsInode;
    };
    const std::vector<Case> cases = {
        {"free name", [](const fs::path&) {}, false},
        {"same bytes", [&](const fs::path& name) { writeFile(name, bytes); }, true},
        {"same size, other bytes",
         [&](const fs::path& name) { writeFile(name, std::string(bytes.size(), 'x')); }, false},
        {"same bytes, then more", [&](const fs::path& name) { writeFile(name, bytes + "more"); },
         false},
        {"link to a file with the same bytes",
         [&](const fs::path& name) {
             writeFile(name.parent_path() / "target", bytes);
             fs::create_symlink(name.parent_path() / "target", name);
         },
         false},
        {"FIFO", [](const fs::path& name) { ASSERT_EQ(::mkfifo(name.c_str(), 0600), 0); }, false},
    };
    for (const Case& c : cases) {
        const fs::path directory = dir / c.what;
        fs::create_directories(directory);
        const fs::path name = directory / "face1.brep";
        c.prepare(name);
        if (fs::is_regular_file(fs::symlink_status(name))) {
            // Old enough to tell a touch from no touch.
            const struct timespec old[2] = {{1000000000, 0}, {1000000000, 0}};
            ASSERT_EQ(::utimensat(AT_FDCWD, name.c_str(), old, AT_SYMLINK_NOFOLLOW), 0);
        }
        const ino_t inodeBefore = fs::exists(fs::symlink_status(name)) ? statusOf(name).st_ino : 0;
        const std::time_t start = std::time(nullptr);

        EXPECT_EQ(writeWholeFile(name.string(), bytes), "") << c.what;
        const struct stat after = statusOf(name);
        EXPECT_TRUE(S_ISREG(after.st_mode)) << c.what;
        EXPECT_EQ(readFile(name), bytes) << c.what;
        EXPECT_GE(after.st_mtime, start - 1) << c.what;
        EXPECT_EQ(after.st_ino == inodeBefore, c.keepsInode) << c.what;
        std::vector<std::string> expected{"face1.brep"};
        if (fs::exists(directory / "target")) {
            expected.push_back("target");
            EXPECT_EQ(readFile(directory / "target"), bytes) << c.what;
        }
        EXPECT_EQ(listNames(directory), expected) << c.what;
    }
}
