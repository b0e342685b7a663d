// Lists bound to the faces they were written for: a dataset is run on one revision of its model,
// the next revision is written over the model file, as users save a revised part, and tarnfold,
// tarnfold-batch and the table and page of tarnfold-faces are run again. What became of each
// face is what the modelling history says.
#include "bound_lists.hpp"

namespace fs = std::filesystem;

// The same faces in another order, so that every entry of a list now names another face:
// tarnfold refuses the run and touches nothing, naming each entry by its list file and line,
// the face it is now, the record and the ways out. The batch marks the dataset stale with the
// same lines, and the table and the page of tarnfold-faces mark those two faces stale.
TEST_F(BoundListsTest, RenumberedFacesAreRefused)
{
    const Revision revision = reordered(cut(box(), cylinder(30, 30, -1, 6, 22)).after);
    runThenRevise(revision, "2 0 -250\n", "\n5 1 1 1 0 0 0\n");
    const auto before = settle();
    const ToolRun run = runTool({root.string()});
    EXPECT_EQ(run.exitStatus, 1);
    const std::string record = (data() / "last-run.tsv").string();
    const std::string tail = ": the model changed since the last run, recorded in '" + record +
                             "'; see tarnfold-faces " + root.string() +
                             " --follow, or --accept for lists rewritten by hand\n";
    // Reversed order of 7 faces: face N is now 8 - N.
    for (const std::string& line :
         {"tarnfold: error: " + (data() / "force" / "loads.txt").string() +
              ":1: face 2 is no longer the face this list was written for (it is face 6 now)" +
              tail,
          "tarnfold: error: " + (data() / "restraint" / "fixed.txt").string() +
              ":2: face 5 is no longer the face this list was written for (it is face 3 now)" +
              tail}) {
        EXPECT_NE(run.err.find(line), std::string::npos) << line << run.err;
    }
    EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 2) << run.err;
    expectUntouched(before);

    // So does the batch, and so do the table and the page, which say which faces are stale.
    const ToolRun batch = runBatch({root.string()});
    EXPECT_EQ(batch.exitStatus, 1);
    EXPECT_EQ(parseBatchTable(batch.out),
              std::vector<BatchRow>({{root.string(), "stale", "0", model.string()}}));
    EXPECT_EQ(linesFor(batch.err, root.string()), run.err);
    expectUntouched(before);
    const ToolRun table = faces({"--html", (dir / "page.html").string()});
    EXPECT_EQ(table.exitStatus, 1);
    EXPECT_NE(table.err.find("tarnfold-faces: error: " + (data() / "force" / "loads.txt").string() +
                             ":1: face 2 is no longer"),
              std::string::npos)
        << table.err;
    for (const TableRow& row : parseTable(table.out)) {
        const bool stale = row.at("face") == "2" || row.at("face") == "5";
        EXPECT_EQ(row.at("stale"), stale ? "yes" : "-") << "face " << row.at("face");
    }
    EXPECT_NE(readFile(dir / "page.html")
                  .find("\"stale\":\"the model changed since the last run: listed faces 2 5 are "
                        "no longer what the lists were written for"),
              std::string::npos);
}

// A revision that leaves the listed face as it was (the drilled box's face 4 keeps its number):
// the run goes on, says so in one note, and its record names the new model.
TEST_F(BoundListsTest, UnchangedFacesRun)
{
    const Revision revision = drilled();
    const std::vector<Truth> truths = truthOf(revision);
    ASSERT_EQ(truths[3].kind, "same");
    ASSERT_EQ(truths[3].numbers, std::vector<int>{4});
    runThenRevise(revision, "4 0 -250\n", "");
    const ToolRun run = runTool({root.string()});
    EXPECT_EQ(run.exitStatus, 0) << run.err;
    EXPECT_EQ(run.err, "tarnfold: note: the model changed since the last run, recorded in '" +
                           (data() / "last-run.tsv").string() +
                           "', and the 1 face its lists name is still the face they were "
                           "written for\n");
    EXPECT_EQ(recordValue(readFile(data() / "last-run.tsv"), "model_sha256"),
              sha256Of(dir / "rev" / "new.step"));
}

// A list edited since the last run was written for the model as it is now: --follow neither
// checks nor follows its entry, tarnfold writes its face, and each says so in a note.
TEST_F(BoundListsTest, ListEditedSinceIsTakenAsNew)
{
    runThenRevise(reordered(cut(box(), cylinder(30, 30, -1, 6, 22)).after), "2 0 -250\n", "");
    writeFile(data() / "force" / "loads.txt", "6 0 -250\n");
    const ToolRun table = faces({"--follow"});
    EXPECT_EQ(parseTable(table.out).size(), 0u) << table.out;
    const std::string note = (data() / "force" / "loads.txt").string() +
                             ":1: face 6 is taken as written for the model as it is now";
    EXPECT_NE(table.err.find("tarnfold-faces: note: " + note + ", and not followed: the record "
                             "of the last run does not bind it"),
              std::string::npos)
        << table.err;
    const ToolRun run = runTool({root.string()});
    EXPECT_EQ(run.exitStatus, 0) << run.err;
    EXPECT_TRUE(fs::exists(data() / "face6.brep"));
    EXPECT_NE(run.err.find("tarnfold: note: " + note + ": the record of the last run does not "
                           "bind it"),
              std::string::npos)
        << run.err;
}

// In a batch, each dataset is checked against its own record: the one whose lists are stale is
// refused and marked stale, the other of the same model is written, and the record the batch
// leaves for it is the one tarnfold leaves, byte for byte.
TEST_F(BoundListsTest, BatchMarksStaleDatasets)
{
    const Revision revision = reordered(cut(box(), cylinder(30, 30, -1, 6, 22)).after);
    runThenRevise(revision, "2 0 -250\n", "");
    const fs::path other = dir / "other";
    makeDataset(other, model.string(), "6 0 -250\n", "");
    const ToolRun batch = runBatch({root.string(), other.string()});
    EXPECT_EQ(batch.exitStatus, 1);
    EXPECT_EQ(parseBatchTable(batch.out),
              std::vector<BatchRow>({{root.string(), "stale", "0", model.string()},
                                     {other.string(), "ok", "1", model.string()}}));
    EXPECT_FALSE(fs::exists(data() / "face6.brep"));
    EXPECT_TRUE(fs::exists(other / "data" / "last-run.tsv"));
    // The record of a batch's dataset is tarnfold's.
    const std::string recorded = readFile(other / "data" / "last-run.tsv");
    EXPECT_EQ(runTool({other.string()}).exitStatus, 0);
    EXPECT_EQ(readFile(other / "data" / "last-run.tsv"), recorded);
}

// A record of another OpenCASCADE version, which may number the same model otherwise, does not
// stop a run whose faces are found the same: a note says so and the record is written for this
// version. A record that cannot be read protects nothing: the run is refused with its line and
// the way out (--accept), and touches nothing.
TEST_F(BoundListsTest, DamagedRecordAndOtherVersions)
{
    runThenRevise(drilled(), "4 0 -250\n", "");
    fs::copy_file(dir / "rev" / "old.step", model, fs::copy_options::overwrite_existing);
    const std::string record = readFile(data() / "last-run.tsv");
    const std::string version = recordValue(record, "opencascade");
    std::string older = record;
    older.replace(older.find("\nopencascade\t") + 13, version.size(), "7.5.0");
    writeFile(data() / "last-run.tsv", older);
    const ToolRun run = runTool({root.string()});
    EXPECT_EQ(run.exitStatus, 0) << run.err;
    EXPECT_NE(run.err.find("tarnfold: note: OpenCASCADE changed since the last run (7.5.0 then, " +
                           version + " now), recorded in"),
              std::string::npos)
        << run.err;
    EXPECT_EQ(readFile(data() / "last-run.tsv"), record);

    writeFile(data() / "last-run.tsv", "format\ttarnfold last run 1\nmodel_size\tbig\n");
    const auto before = settle();
    const ToolRun damaged = runTool({root.string()});
    EXPECT_EQ(damaged.exitStatus, 1);
    EXPECT_EQ(damaged.err, "tarnfold: error: cannot read the record of the last run '" +
                               (data() / "last-run.tsv").string() +
                               "': line 2: a size that is not a count; it is not taken for a "
                               "missing one: tarnfold-faces " + root.string() + " --accept binds "
                               "the lists to the model as it is now and writes it anew\n");
    expectUntouched(before);
}
