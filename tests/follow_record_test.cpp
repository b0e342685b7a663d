// tarnfold-faces DATASET --follow: the old faces taken from the record and the face files of the
// dataset's last run, after the next revision was written over its model file. What became of
// each face is what the modelling history says.
#include "bound_lists.hpp"

namespace fs = std::filesystem;

// --follow takes the old faces from the record and the face files of the last run, and gives
// what the modelling history gives. --rewrite carries the lists in one step, keeping the old ones
// in force.orig/, and binds them to the new model: tarnfold then runs without a word and writes
// the same record, a second carry changes nothing, and carrying them again from the old model
// is refused.
TEST_F(BoundListsTest, FollowCarriesTheListsOnce)
{
    const Revision revision = drilled();
    const std::vector<Truth> truths = truthOf(revision);
    runThenRevise(revision, "3 0 -250\n6 0 -100\n", "2 1 1 1 0 0 0\n");
    const ToolRun table = faces({"--follow"});
    EXPECT_EQ(table.exitStatus, 0) << table.err;
    const std::vector<TableRow> rows = parseTable(table.out);
    ASSERT_EQ(rows.size(), 3u) << table.out;
    for (const TableRow& row : rows) {
        const Truth& truth = truths[std::size_t(std::stoi(row.at("old"))) - 1];
        EXPECT_EQ(row.at("match"), truth.kind) << "face " << row.at("old");
        EXPECT_EQ(row.at("new"), joined(truth.numbers)) << "face " << row.at("old");
    }

    const ToolRun carry = faces({"--follow", "--rewrite"});
    EXPECT_EQ(carry.exitStatus, 0) << carry.err;
    const std::string carried = "3 0 -250\n6 0 -100\n";
    const std::string expectedForce = std::to_string(truths[2].numbers[0]) + " 0 -250\n" +
                                      std::to_string(truths[5].numbers[0]) + " 0 -100\n";
    EXPECT_EQ(readFile(data() / "force" / "loads.txt"), expectedForce);
    EXPECT_EQ(readFile(data() / "restraint" / "fixed.txt"),
              std::to_string(truths[1].numbers[0]) + " 1 1 1 0 0 0\n");
    EXPECT_EQ(readFile(data() / "force.orig" / "loads.txt"), carried);

    // The renewed record is the one tarnfold then writes, byte for byte.
    const std::string renewed = readFile(data() / "last-run.tsv");
    const ToolRun run = runTool({root.string()});
    EXPECT_EQ(run.exitStatus, 0) << run.err;
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(readFile(data() / "last-run.tsv"), renewed);

    const auto before = settle();
    const ToolRun again = faces({"--follow", "--rewrite"});
    EXPECT_EQ(again.exitStatus, 0) << again.err;
    EXPECT_NE(again.err.find("tarnfold-faces: note: nothing to follow: the model is the one the "
                             "lists were last run on"),
              std::string::npos)
        << again.err;
    expectUntouched(before);

    const ToolRun since = faces({"--since", (dir / "rev" / "old.step").string(), "--rewrite"});
    EXPECT_EQ(since.exitStatus, 1);
    EXPECT_EQ(since.err, "tarnfold-faces: error: the lists of '" + root.string() +
                             "' were last run on the model '" + model.string() + "' (SHA-256 " +
                             sha256Of(model).substr(0, 16) + "..., recorded in '" +
                             (data() / "last-run.tsv").string() + "'), not on '" +
                             (dir / "rev" / "old.step").string() +
                             "': --since names the revision they were written for; see "
                             "tarnfold-faces " + root.string() + " --follow\n"
                             "tarnfold-faces: error: no list file was rewritten\n");
    expectUntouched(before);
}

// A model moved as a whole gets no certain answer, from --follow or from tarnfold, even when
// every listed face finds a face just like it where it was: the holes of a row, moved by their
// pitch, land on each other. Only the outline of the whole old model kept in the record shows
// the move, as the listed faces alone do not.
TEST_F(BoundListsTest, MovedModelHasNoCertainAnswer)
{
    const std::vector<std::pair<std::string, Revision>> cases = {
        {"moved", moved(cut(box(), cylinder(30, 30, -1, 6, 22)).after, gp_Vec(7, 3, 0))},
        {"by the pitch", moved(holesInARow(), gp_Vec(20, 0, 0))},
    };
    for (const auto& [name, revision] : cases) {
        SCOPED_TRACE(name);
        fs::remove_all(dir / "set");
        std::string force;
        for (const int face : cylinderFaces(revision.before)) {
            force += std::to_string(face) + " 0 -250\n";
        }
        runThenRevise(revision, force, "");
        const ToolRun table = faces({"--follow"});
        EXPECT_EQ(table.exitStatus, 1);
        const std::vector<TableRow> rows = parseTable(table.out);
        EXPECT_EQ(rows.size(), cylinderFaces(revision.before).size());
        for (const TableRow& row : rows) {
            EXPECT_TRUE(row.at("match") == "gone" || row.at("match") == "unsure")
                << "face " << row.at("old") << ": " << row.at("match") << " " << row.at("new");
            EXPECT_EQ(row.at("new"), "-");
        }
        const auto before = settle();
        const ToolRun run = runTool({root.string()});
        EXPECT_EQ(run.exitStatus, 1);
        EXPECT_NE(run.err.find("the model looks moved"), std::string::npos) << run.err;
        expectUntouched(before);
    }
}

// A face file of the last run that is missing, or changed since, cannot stand for the old face:
// that face is unsure, and tarnfold cannot tell it is the face its list was written for.
TEST_F(BoundListsTest, MissingOrEditedFaceFileIsUnsure)
{
    runThenRevise(drilled(), "3 0 -250\n6 0 -100\n", "");
    fs::remove(data() / "face3.brep");
    writeFile(data() / "face6.brep", readFile(data() / "face6.brep") + "\n");
    const ToolRun table = faces({"--follow"});
    EXPECT_EQ(table.exitStatus, 1);
    const std::vector<TableRow> rows = parseTable(table.out);
    ASSERT_EQ(rows.size(), 2u) << table.out;
    EXPECT_EQ(rows[0].at("match"), "unsure");
    EXPECT_EQ(rows[0].at("reason"),
              "its face file '" + (data() / "face3.brep").string() + "' is missing");
    EXPECT_EQ(rows[1].at("match"), "unsure");
    EXPECT_EQ(rows[1].at("reason"), "its face file '" + (data() / "face6.brep").string() +
                                        "' has changed since the last run");
    const ToolRun run = runTool({root.string()});
    EXPECT_EQ(run.exitStatus, 1);
    EXPECT_NE(run.err.find(":1: face 3 cannot be told to be the face this list was written for "
                           "(it cannot be told: its face file '"),
              std::string::npos)
        << run.err;
}

// Two faces made one: with both listed, --follow says merged, as --since does. With one listed,
// the other old face is not at hand, and the face they became covers more than the listed one
// did: that is unsure, and the list stays as it was rather than being carried where --since
// would ask for --allow-split-merge.
TEST_F(BoundListsTest, FaceMergedWithOneNoListNames)
{
    const Revision revision = unified();
    const std::vector<Truth> truths = truthOf(revision);
    ASSERT_EQ(truths[1].kind, "merged");
    ASSERT_EQ(truths[5].kind, "merged");
    runThenRevise(revision, "2 0 -1\n6 0 -2\n", "");
    std::vector<TableRow> rows = parseTable(faces({"--follow"}).out);
    ASSERT_EQ(rows.size(), 2u);
    for (const TableRow& row : rows) {
        EXPECT_EQ(row.at("match"), "merged") << "face " << row.at("old");
        EXPECT_EQ(row.at("new"), joined(truths[1].numbers));
    }

    fs::remove_all(dir / "set");
    runThenRevise(revision, "2 0 -1\n", "");
    const ToolRun one = faces({"--follow", "--rewrite"});
    EXPECT_EQ(one.exitStatus, 1);
    rows = parseTable(one.out);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].at("match"), "unsure");
    EXPECT_NE(rows[0].at("reason").find("covers more than it did"), std::string::npos)
        << rows[0].at("reason");
    EXPECT_EQ(readFile(data() / "force" / "loads.txt"), "2 0 -1\n");
}

// A dataset that no run has recorded has no old revision to follow: one line says so and what to
// do instead, and nothing is written.
TEST_F(BoundListsTest, FollowNeedsARecord)
{
    writeRevisions(drilled(), dir / "rev");
    root = dir / "set";
    makeDataset(root, (dir / "rev" / "new.step").string(), "3 0 -250\n", "");
    const ToolRun run = faces({"--follow", "--rewrite"});
    EXPECT_EQ(run.exitStatus, 1);
    EXPECT_EQ(run.err, "tarnfold-faces: error: '" + (data() / "last-run.tsv").string() +
                           "' does not exist, and no listed face has a face file of an earlier "
                           "run: nothing tells what the lists were written for; run tarnfold on "
                           "the dataset, or name the model they were written for with --since "
                           "OLD.step\n");
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(listNames(data()), (std::vector<std::string>{"address.txt", "force", "restraint"}));
}
