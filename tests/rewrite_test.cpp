// tarnfold-faces DATASET --since OLD [--rewrite]: a dataset's lists carried over to the new
// revision of its model, byte for byte, and only when every listed face has a certain answer.
#include "bound_lists.hpp"
#include "revisions.hpp"
#include "binding/list_carry.hpp"
#include "test_support.hpp"

#include <array>
#include <cstdlib>
#include <tuple>

#include <BRepPrimAPI_MakeBox.hxx>

namespace fs = std::filesystem;

class RewriteTest : public TempDirTest {
protected:
    // A dataset whose model is the new revision in dir/rev, with these lists.
    fs::path makeRevisedDataset(const Revision& revision, const std::string& force,
                                const std::string& restraint)
    {
        writeRevisions(revision, dir / "rev");
        const fs::path root = dir / "set";
        makeDataset(root, (dir / "rev" / "new.step").string(), force, restraint);
        return root;
    }

    ToolRun follow(const fs::path& root, const fs::path& old, std::vector<std::string> options)
    {
        std::vector<std::string> args = {root.string(), "--since", old.string()};
        args.insert(args.end(), options.begin(), options.end());
        return runBinary(TARNFOLD_FACES_BINARY, args);
    }
};

// The lists name the new numbers, and nothing else in them changes: a record over two lines,
// CR LF, text after the last record, a number written 4.0 whose face keeps its number. The old
// lists are kept aside, outside the list directories; a list with nothing to change is left
// alone. A list that links to a file shared with other datasets gets a file of its own, and the
// shared one stays as it was. The record then binds the lists to the new revision, which the
// next carry starts from.
TEST_F(RewriteTest, ListsNameTheNewFaces)
{
    const std::string force = "3 0\n-250 6\r\n0 -100 4 1 1\nend of the loads\n";
    const std::string restraint = "2 1 1 1 0 0 0\r\n4.0 1 1 1 0 0 0\r\n";
    const fs::path root = makeRevisedDataset(drilled(), force, "");
    writeFile(root / "data" / "force" / "other.txt", "1 0 0\n");
    writeFile(dir / "shared" / "fixed.txt", restraint);
    fs::remove(root / "data" / "restraint" / "fixed.txt");
    fs::create_symlink(dir / "shared" / "fixed.txt", root / "data" / "restraint" / "fixed.txt");

    const ToolRun run = follow(root, dir / "rev" / "old.step", {"--rewrite"});
    // The text after the last record is reported, as tarnfold reports it.
    EXPECT_EQ(run.exitStatus, 1) << run.err;
    EXPECT_NE(run.err.find("loads.txt:4: not a number: 'end'"), std::string::npos) << run.err;
    EXPECT_EQ(readFile(root / "data" / "force" / "loads.txt"),
              "2 0\n-250 3\r\n0 -100 4 1 1\nend of the loads\n");
    EXPECT_EQ(readFile(root / "data" / "restraint" / "fixed.txt"),
              "6 1 1 1 0 0 0\r\n4.0 1 1 1 0 0 0\r\n");
    EXPECT_FALSE(fs::is_symlink(root / "data" / "restraint" / "fixed.txt"));
    EXPECT_EQ(readFile(dir / "shared" / "fixed.txt"), restraint);
    EXPECT_EQ(readFile(root / "data" / "force" / "other.txt"), "1 0 0\n");
    EXPECT_EQ(readFile(root / "data" / "force.orig" / "loads.txt"), force);
    EXPECT_EQ(readFile(root / "data" / "restraint.orig" / "fixed.txt"), restraint);
    EXPECT_EQ(listNames(root / "data" / "force.orig"), std::vector<std::string>{"loads.txt"});
    EXPECT_NE(run.err.find("tarnfold-faces: note: rewrote '" +
                           (root / "data" / "force" / "loads.txt").string()),
              std::string::npos)
        << run.err;

    // The next revision, from the one the lists now name: the first copy stays, the second goes
    // beside it.
    const Revision next = reordered(drilled().after);
    writeRevisions(next, dir / "next");
    writeFile(root / "data" / "address.txt", (dir / "next" / "new.step").string() + "\n");
    const ToolRun again = follow(root, dir / "rev" / "new.step", {"--rewrite"});
    EXPECT_EQ(readFile(root / "data" / "force.orig" / "loads.txt"), force);
    EXPECT_EQ(readFile(root / "data" / "force.orig" / "loads.txt.2"),
              "2 0\n-250 3\r\n0 -100 4 1 1\nend of the loads\n");
    // Reversed order of 7 faces: face N is now 8 - N.
    EXPECT_EQ(readFile(root / "data" / "force" / "loads.txt"),
              "6 0\n-250 5\r\n0 -100 4 1 1\nend of the loads\n")
        << again.err;
}

// The table of a dataset: one row per listed old face, with the list that names it.
TEST_F(RewriteTest, TableOfTheListedFaces)
{
    const fs::path root =
        makeRevisedDataset(drilled(), "3 0 -250\n6 0 -100\n", "2 1 1 1 0 0 0\n3 1 1 1 0 0 0\n");
    const ToolRun run = follow(root, dir / "rev" / "old.step", {});
    EXPECT_EQ(run.exitStatus, 0) << run.err;
    EXPECT_EQ(run.out.substr(0, run.out.find('\n')), "old\tnew\tmatch\tlist\tkept\treason");
    const std::vector<TableRow> rows = parseTable(run.out);
    ASSERT_EQ(rows.size(), 3u) << run.out;
    const std::vector<std::array<std::string, 4>> expected = {{"2", "6", "same", "restraint"},
                                                              {"3", "2", "same", "both"},
                                                              {"6", "3", "changed", "force"}};
    for (std::size_t i = 0; i < rows.size(); ++i) {
        EXPECT_EQ(rows[i].at("old"), expected[i][0]);
        EXPECT_EQ(rows[i].at("new"), expected[i][1]) << rows[i].at("old");
        EXPECT_EQ(rows[i].at("match"), expected[i][2]) << rows[i].at("old");
        EXPECT_EQ(rows[i].at("list"), expected[i][3]) << rows[i].at("old");
    }
}

// Nothing is written unless every listed face has a certain answer: each face that has none is
// named with its list file and line, and split or merged faces wait for their own option.
TEST_F(RewriteTest, NothingWrittenWithoutCertainAnswers)
{
    struct Case {
        std::string name;
        Revision revision;
        std::string force;
        std::vector<std::string> messages; // each on stderr
    };
    const std::vector<Case> cases = {
        {"moved", then(moved(box(), gp_Vec(7, 3, 0)), reframed(moved(box(), gp_Vec(7, 3, 0)).after)),
         "1 0 -250\n\n5 0 -100\n",
         {"/loads.txt:1: face 1 is unsure: the part fits the new revision in 4 ways",
          "/loads.txt:3: face 5 is unsure: "}},
        {"gone", {fuse(box(), cylinder(50, 30, 20, 8, 10)).after, box(), nullptr, {}, {}},
         "7 0 -250\n", {"/loads.txt:1: face 7 is gone: no new face lies on its surface where it "
                        "was\n"}},
        {"split", cut(box(), BRepPrimAPI_MakeBox(gp_Pnt(-1, 25, 14), 102, 10, 7).Shape()),
         "1 0 -5\n6 0 -250\n", {"/loads.txt:2: face 6 was split into faces 2, 6; "
                               "--allow-split-merge carries its record over"}},
        {"merged", unified(), "2 0 -1\n6 0 -2\n",
         {"/loads.txt:1: face 2 was merged into face 2; --allow-split-merge",
          "/loads.txt:2: face 6 was merged into face 2; --allow-split-merge"}},
        // Whatever an entry past the old faces was meant for, it cannot be carried anywhere.
        {"stray", cut(box(), cylinder(30, 30, -1, 6, 22)), "3 0 -250\n99 0 0\n",
         {"/loads.txt:2: entry 99 selects no face of the old revision, which has 6 faces\n"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove_all(dir / "set");
        const fs::path root = makeRevisedDataset(c.revision, c.force, "");
        const ToolRun run = follow(root, dir / "rev" / "old.step", {"--rewrite"});
        EXPECT_EQ(run.exitStatus, 1);
        for (const std::string& message : c.messages) {
            EXPECT_NE(run.err.find(message), std::string::npos) << message << "\n" << run.err;
        }
        EXPECT_NE(run.err.find("tarnfold-faces: error: no list file was rewritten\n"),
                  std::string::npos)
            << run.err;
        EXPECT_EQ(readFile(root / "data" / "force" / "loads.txt"), c.force);
        EXPECT_FALSE(fs::exists(root / "data" / "force.orig"));
    }
}

// With --allow-split-merge, a split face's record is repeated for each new face, in their
// order, and merged faces' records all name the one new face.
TEST_F(RewriteTest, SplitAndMergedFacesOnRequest)
{
    const std::vector<std::tuple<std::string, Revision, std::string, std::string>> cases = {
        {"split", cut(box(), BRepPrimAPI_MakeBox(gp_Pnt(-1, 25, 14), 102, 10, 7).Shape()),
         "1 0 -5\n6 0 -250\n", "1 0 -5\n2 0 -250\n6 0 -250\n"},
        {"merged", unified(), "2 0 -1\r\n6 0 -2\r\n", "2 0 -1\r\n2 0 -2\r\n"},
    };
    for (const auto& [name, revision, before, after] : cases) {
        SCOPED_TRACE(name);
        fs::remove_all(dir / "set");
        const fs::path root = makeRevisedDataset(revision, before, "");
        const ToolRun run =
            follow(root, dir / "rev" / "old.step", {"--rewrite", "--allow-split-merge"});
        EXPECT_EQ(run.exitStatus, 0) << run.err;
        EXPECT_EQ(readFile(root / "data" / "force" / "loads.txt"), after);
        EXPECT_EQ(readFile(root / "data" / "force.orig" / "loads.txt"), before);
    }
}

// A reshaped face (here a hole made wider, its faces in the opposite order) is carried over only
// with --allow-reshaped: the refusal says what changed, since its load may need new values.
TEST_F(RewriteTest, ReshapedFacesOnRequest)
{
    const Revision revision{holeBuild(5).shape, reordered(holeBuild(6).shape).after, nullptr,
                            {}, {}};
    const std::string before = "7 0 -250\n3 0 1\n";
    const fs::path root = makeRevisedDataset(revision, before, "");
    ToolRun run = follow(root, dir / "rev" / "old.step", {"--rewrite"});
    EXPECT_EQ(run.exitStatus, 1);
    EXPECT_NE(run.err.find("/loads.txt:1: face 7 was reshaped into face 1 (radius 5 -> 6, area "
                           "628.319 -> 753.982); --allow-reshaped carries its record over, whose "
                           "further numbers may need new values\n"),
              std::string::npos)
        << run.err;
    EXPECT_EQ(readFile(root / "data" / "force" / "loads.txt"), before);

    run = follow(root, dir / "rev" / "old.step", {"--rewrite", "--allow-reshaped"});
    EXPECT_EQ(run.exitStatus, 0) << run.err;
    EXPECT_EQ(readFile(root / "data" / "force" / "loads.txt"), "1 0 -250\n5 0 1\n");
    EXPECT_EQ(readFile(root / "data" / "force.orig" / "loads.txt"), before);
}

// Options that do not go together are usage errors, and nothing is read.
TEST_F(RewriteTest, UsageErrors)
{
    const std::vector<std::vector<std::string>> commands = {
        {"--model", "new.step", "--since", "old.step", "--rewrite"},
        {"set", "--since", "old.step", "--allow-split-merge"},
        {"set", "--since", "old.step", "--allow-reshaped"},
        {"set", "--rewrite"},
        {"set", "--since", "old.step", "--svg", "x.svg"},
        {"--model", "new.step", "--since", "old.step", "--html", "x.html"},
        {"set", "--since"},
        {"--model", "new.step", "--follow"},
        {"set", "--follow", "--since", "old.step"},
        {"set", "--follow", "--html", "x.html"},
    };
    for (const std::vector<std::string>& command : commands) {
        const ToolRun run = runBinary(TARNFOLD_FACES_BINARY, command, dir);
        EXPECT_EQ(run.exitStatus, 2) << command.back() << ": " << run.err;
        EXPECT_EQ(run.err.rfind("tarnfold-faces: error: ", 0), 0u) << run.err;
        EXPECT_EQ(run.out, "");
    }
}

// The guide's recipe for a folder of datasets that share one model, run as it stands, with the
// commands on PATH: the dataset whose listed faces all have a certain answer gets its lists
// carried over; the one that lists the end face, which moved in, keeps its lists and is named.
TEST_F(RewriteTest, RecipeForAFolderOfDatasets)
{
    // The box shortened: its end face at x = 100 is reshaped, its sides are shorter.
    const Revision revision =
        cut(box(), BRepPrimAPI_MakeBox(gp_Pnt(90, -1, -1), 20, 62, 22).Shape());
    writeRevisions(revision, dir / "rev");
    fs::create_directories(dir / "parts");
    fs::copy_file(dir / "rev" / "old.step", dir / "parts" / "bracket-old.step");
    fs::copy_file(dir / "rev" / "new.step", dir / "parts" / "bracket.step");
    makeDataset(dir / "jobs" / "a", "parts/bracket.step", "3 0 -250\n", "5 1 1 1 0 0 0\n");
    makeDataset(dir / "jobs" / "b", "parts/bracket.step", "2 0 -250\n", "");

    const std::string path = fs::path(TARNFOLD_FACES_BINARY).parent_path().string() + ":" +
                             (std::getenv("PATH") ? std::getenv("PATH") : "/usr/bin:/bin");
    const ToolRun run = runBinary(
        "/bin/bash", {std::string(TARNFOLD_SOURCE_DIR) + "/examples/revision/carry-lists.sh"}, dir,
        {}, [&] { ::setenv("PATH", path.c_str(), 1); });
    EXPECT_EQ(run.out, "jobs/b: lists not carried over, see jobs/b/since.tsv and "
                       "jobs/b/since.log\n")
        << run.err;
    EXPECT_EQ(readFile(dir / "jobs" / "b" / "data" / "force" / "loads.txt"), "2 0 -250\n");
    EXPECT_NE(readFile(dir / "jobs" / "b" / "since.log").find("loads.txt:1: face 2 was reshaped into face "),
              std::string::npos);
    EXPECT_FALSE(fs::exists(dir / "jobs" / "b" / "data" / "force.orig"));
    const std::vector<TableRow> rows = parseTable(readFile(dir / "jobs" / "a" / "since.tsv"));
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0].at("match"), "changed");
    EXPECT_EQ(readFile(dir / "jobs" / "a" / "data" / "force.orig" / "loads.txt"), "3 0 -250\n");
    EXPECT_NE(readFile(dir / "jobs" / "a" / "data" / "force" / "loads.txt"), "3 0 -250\n");
}

// A rewrite that fails half way is undone exactly: the lists before the failure are as they
// were, a link to a shared list as that link, a file with its mode, and no copy is left, nor a
// directory made for them, nor anything it prepared.
TEST_F(RewriteTest, FailedRewriteIsUndoneExactly)
{
    const fs::path data = dir / "set" / "data";
    writeFile(dir / "shared" / "fixed.txt", "2 1 1 1 0 0 0\n");
    fs::create_directories(data / "restraint");
    fs::create_symlink(dir / "shared" / "fixed.txt", data / "restraint" / "fixed.txt");
    writeFile(data / "force" / "a.txt", "3 0 0\n");
    fs::permissions(data / "force" / "a.txt", fs::perms(0640));
    writeFile(data / "force" / "b.txt", "6 0 0\n");
    // No copy of b.txt can be kept: a file stands where its directory would go.
    writeFile(data / "force.orig", "not a directory\n");
    const std::vector<ListChange> changes = {
        {data / "restraint" / "fixed.txt", "2 1 1 1 0 0 0\n", "6 1 1 1 0 0 0\n"},
        {data / "force" / "a.txt", "3 0 0\n", "2 0 0\n"},
        {data / "force" / "b.txt", "6 0 0\n", "3 0 0\n"},
    };
    const ListRewriteReport report = applyListChanges((dir / "set").string(), changes);
    ASSERT_EQ(report.problems.size(), 1u);
    EXPECT_EQ(report.problems[0].rfind("cannot make '" + (data / "force.orig").string() + "': ", 0),
              0u)
        << report.problems[0];
    EXPECT_TRUE(report.notes.empty());
    EXPECT_TRUE(fs::is_symlink(data / "restraint" / "fixed.txt"));
    EXPECT_EQ(fs::read_symlink(data / "restraint" / "fixed.txt"), dir / "shared" / "fixed.txt");
    EXPECT_EQ(readFile(dir / "shared" / "fixed.txt"), "2 1 1 1 0 0 0\n");
    EXPECT_FALSE(fs::exists(data / "restraint.orig"));
    EXPECT_EQ(readFile(data / "force" / "a.txt"), "3 0 0\n");
    EXPECT_EQ(readFile(data / "force" / "b.txt"), "6 0 0\n");
    EXPECT_EQ(listNames(data), (std::vector<std::string>{"force", "force.orig", "restraint"}));
    EXPECT_EQ(listNames(data / "restraint"), std::vector<std::string>{"fixed.txt"});

    // Once copies can be kept, a list that cannot be replaced (here a directory has taken its
    // place) undoes the two before it: the file comes back with its mode.
    fs::remove(data / "force.orig");
    fs::remove(data / "force" / "b.txt");
    fs::create_directory(data / "force" / "b.txt");
    const ListRewriteReport second = applyListChanges((dir / "set").string(), changes);
    ASSERT_EQ(second.problems.size(), 1u);
    EXPECT_EQ(second.problems[0].rfind("cannot write '" + (data / "force" / "b.txt").string(), 0),
              0u)
        << second.problems[0];
    EXPECT_EQ(readFile(data / "force" / "a.txt"), "3 0 0\n");
    EXPECT_EQ(fs::status(data / "force" / "a.txt").permissions(), fs::perms(0640));
    EXPECT_TRUE(fs::is_symlink(data / "restraint" / "fixed.txt"));
    EXPECT_EQ(listNames(data), (std::vector<std::string>{"force", "restraint"}));
    EXPECT_EQ(listNames(data / "force"), (std::vector<std::string>{"a.txt", "b.txt"}));
    expectNoTemporary(data / "force");
}

// --since --rewrite carries only the lists that the record binds to the old revision, as
// --follow does: a list edited since for the new model is left alone, with a note, and
// tarnfold then runs the lists as they stand.
TEST_F(BoundListsTest, SinceCarriesOnlyTheListsOfTheRecord)
{
    runThenRevise(drilled(), "3 0 -250\n6 0 -100\n", "2 1 1 1 0 0 0\n");
    // Face 6 of the new revision is face 2 of the old one: picked again on the new model.
    writeFile(data() / "restraint" / "fixed.txt", "6 1 1 1 0 0 0\n");
    const ToolRun carry = faces({"--since", (dir / "rev" / "old.step").string(), "--rewrite"});
    EXPECT_EQ(carry.exitStatus, 0) << carry.err;
    EXPECT_NE(carry.err.find("tarnfold-faces: note: " +
                             (data() / "restraint" / "fixed.txt").string() +
                             ":1: face 6 is taken as written for the model as it is now, and not "
                             "followed: the record of the last run does not bind it\n"),
              std::string::npos)
        << carry.err;
    std::vector<std::string> rows;
    for (const TableRow& row : parseTable(carry.out)) rows.push_back(row.at("old"));
    EXPECT_EQ(rows, (std::vector<std::string>{"3", "6"}));
    EXPECT_EQ(readFile(data() / "force" / "loads.txt"), "2 0 -250\n3 0 -100\n");
    EXPECT_EQ(readFile(data() / "restraint" / "fixed.txt"), "6 1 1 1 0 0 0\n");
    EXPECT_FALSE(fs::exists(data() / "restraint.orig"));
    const ToolRun run = runTool({root.string()});
    EXPECT_EQ(run.exitStatus, 0) << run.err;
}
