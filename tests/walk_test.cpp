// Which files of a dataset are read, in which order, and how a broken tree ends the run.
#include "test_support.hpp"

#include "intake/dataset_inputs.hpp"
#include "intake/same_files.hpp"

#include <cerrno>

#include <BRepPrimAPI_MakeBox.hxx>

// Each test gets a temporary directory of its own.
class WalkTest : public TempDirTest {};

namespace fs = std::filesystem;

namespace {

struct Walked {
    DatasetInputs inputs;
    std::vector<std::string> problems;
};

Walked walk(const fs::path& root)
{
    Walked walked;
    std::ifstream stream;
    walked.problems = walkDataset(root, stream, walked.inputs);
    return walked;
}

} // namespace

// Only the exact, case-sensitive names count, at their own level.
TEST_F(WalkTest, NamesAreMatchedExactlyAtTheirLevel)
{
    writeFile(dir / "Data" / "force" / "a", "1 0 0\n");
    writeFile(dir / "data" / "FORCE" / "a", "2 0 0\n");
    writeFile(dir / "data" / "Address.txt", "wrong.step\n");
    writeFile(dir / "data" / "address.TXT", "wrong.step\n");
    writeFile(dir / "data " / "force" / "a", "3 0 0\n");
    writeFile(dir / "address.txt", "root-level.step\n");
    writeFile(dir / "data" / "restraint" / "address.txt", "4 0 0 0 0 0 0\n");
    writeFile(dir / "data" / "force", ""); // not a directory: no category
    const Walked walked = walk(dir);
    EXPECT_TRUE(walked.inputs.forceFaces.empty());
    EXPECT_EQ(walked.inputs.restraintFaces, std::vector<double>{4});
    EXPECT_EQ(walked.inputs.modelPath, "");
    EXPECT_TRUE(walked.problems.empty());
}

// Files of a category are read in the directory's own order; sub-directories are not entered.
TEST_F(WalkTest, CategoryFilesInEnumerationOrder)
{
    writeFile(dir / "data" / "force" / "a.txt", "3 0 0\n");
    writeFile(dir / "data" / "force" / "b.txt", "1 0 0 1 0 0\n");
    writeFile(dir / "data" / "force" / ".hidden", "9 0 0\n");
    writeFile(dir / "data" / "force" / "sub" / "c.txt", "5 0 0\n");
    writeFile(dir / "data" / "address.txt", "model.step\n");

    std::vector<double> expected;
    for (const fs::directory_entry& entry : fs::directory_iterator(dir / "data" / "force")) {
        const std::string name = entry.path().filename().string();
        if (name == "a.txt") expected.push_back(3);
        if (name == "b.txt") expected.insert(expected.end(), {1, 1});
        if (name == ".hidden") expected.push_back(9);
    }
    const Walked walked = walk(dir);
    EXPECT_EQ(walked.inputs.forceFaces, expected);
    EXPECT_EQ(walked.inputs.modelPath, "model.step");
}

// Links are followed: a linked data directory and linked face list files are read.
TEST_F(WalkTest, LinksAreFollowed)
{
    writeFile(dir / "elsewhere" / "force" / "a", "6 0 0\n");
    writeFile(dir / "elsewhere" / "list", "7 0 0\n");
    writeFile(dir / "elsewhere" / "address.txt", "linked.step\n");
    fs::create_directory(dir / "root");
    fs::create_directory_symlink(dir / "elsewhere", dir / "root" / "data");
    fs::create_symlink(dir / "elsewhere" / "list", dir / "elsewhere" / "force" / "b");
    fs::create_symlink(dir / "missing", dir / "elsewhere" / "force" / "dangling");

    const Walked walked = walk(dir / "root");
    std::vector<double> faces = walked.inputs.forceFaces;
    std::sort(faces.begin(), faces.end());
    EXPECT_EQ(faces, (std::vector<double>{6, 7}));
    EXPECT_EQ(walked.inputs.modelPath, "linked.step");
}

// A locator that is a directory or a dangling link gives no model path and no failure.
TEST_F(WalkTest, UnreadableLocatorLeavesModelPathEmpty)
{
    fs::create_directories(dir / "a" / "data" / "address.txt");
    fs::create_directories(dir / "b" / "data");
    fs::create_symlink(dir / "missing.txt", dir / "b" / "data" / "address.txt");
    for (const char* root : {"a", "b"}) {
        const Walked walked = walk(dir / root);
        EXPECT_EQ(walked.inputs.modelPath, "") << root;
        EXPECT_TRUE(walked.problems.empty()) << root;
    }
}

TEST_F(WalkTest, RootWithoutDataGathersNothing)
{
    writeFile(dir / "other" / "force" / "a", "1 0 0\n");
    const Walked walked = walk(dir);
    EXPECT_TRUE(walked.inputs.forceFaces.empty());
    EXPECT_TRUE(walked.inputs.restraintFaces.empty());
    EXPECT_EQ(walked.inputs.modelPath, "");
}

// A tree the walk cannot read ends the run with one line naming the path and the reason.
TEST_F(WalkTest, BrokenTreesEndTheRunWithOneLine)
{
    writeFile(dir / "file-data" / "data", "not a directory\n");
    fs::create_directories(dir / "looping" / "data");
    fs::create_symlink("loop", dir / "looping" / "data" / "loop");

    struct Case {
        fs::path root;
        std::string error;
    };
    const std::vector<Case> cases = {
        {dir / "missing",
         "cannot read dataset '" + (dir / "missing").string() + "': No such file or directory"},
        {dir / "file-data",
         "cannot read directory '" + (dir / "file-data" / "data").string() + "': Not a directory"},
        {dir / "looping", "cannot tell what is at '" + (dir / "looping" / "data" / "loop").string() +
                              "': Too many levels of symbolic links"},
    };
    for (const Case& c : cases) {
        const ToolRun run = runTool({c.root.string()});
        EXPECT_EQ(run.exitStatus, 1) << c.root;
        // Both console lines come before the walk.
        EXPECT_EQ(run.out, std::string(TARNFOLD_BINARY) + "\n\"" + c.root.string() + "\"\n");
        EXPECT_EQ(run.err, "tarnfold: error: " + c.error + "\n");
    }
}

// An entry of a list directory that cannot be examined (here a loop of links) is that entry's
// one line; the other lists are read, the faces written, and the run fails.
TEST_F(WalkTest, AnEntryThatCannotBeExaminedIsItsOwnProblem)
{
    writeStepModel(BRepPrimAPI_MakeBox(10, 20, 30).Shape(), dir / "box.step");
    makeDataset(dir, (dir / "box.step").string(), "1 0 0\n", "2 0 0 0 0 0 0\n");
    const fs::path loop = dir / "data" / "force" / "loop";
    fs::create_symlink("loop", loop);
    const ToolRun run = runTool({dir.string()});
    EXPECT_EQ(run.exitStatus, 1);
    EXPECT_EQ(run.err, "tarnfold: error: cannot tell what is at '" + loop.string() +
                           "': Too many levels of symbolic links; it is not read as a list\n");
    EXPECT_TRUE(fs::exists(dir / "data" / "face1.brep"));
    EXPECT_TRUE(fs::exists(dir / "data" / "face2.brep"));
}

// Which model paths are one file to read once: the same file by a link, a hard link or another
// spelling is one; a copy is not, and a path that cannot be looked at is in none.
TEST_F(WalkTest, SameFilesAreOneGroup)
{
    writeFile(dir / "a.step", "a");
    writeFile(dir / "copy.step", "a");
    fs::create_symlink(dir / "a.step", dir / "link.step");
    fs::create_hard_link(dir / "a.step", dir / "hard.step");
    const std::string a = (dir / "a.step").string();
    const FileGroups groups = groupSameFiles({a, (dir / "copy.step").string(),
                                              (dir / "link.step").string(),
                                              (dir / "hard.step").string(),
                                              (dir / "." / "a.step").string(),
                                              (dir / "none.step").string(), a});
    EXPECT_EQ(groups.groupOf, (std::vector<int>{0, 1, 0, 0, 0, -1, 0}));
    EXPECT_EQ(groups.errors, (std::vector<int>{0, 0, 0, 0, 0, ENOENT, 0}));
    EXPECT_EQ(groups.count, 2);
}
