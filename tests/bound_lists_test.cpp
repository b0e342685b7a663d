// Lists bound to the faces they were written for: a dataset is run on one revision of its model,
// the next revision is written over the model file, as users save a revised part, and the real
// commands are run again. What became of each face is what the modelling history says.
#include "batch_support.hpp"
#include "revisions.hpp"

#include <chrono>
#include <set>

#include <BRepAdaptor_Surface.hxx>
#include <BRepPrimAPI_MakeBox.hxx>

namespace fs = std::filesystem;

class BoundListsTest : public TempDirTest {
protected:
    // The dataset dir/set on revision.before, run once by tarnfold; then revision.after written
    // over its model file.
    void runThenRevise(const Revision& revision, const std::string& force,
                       const std::string& restraint)
    {
        writeRevisions(revision, dir / "rev");
        root = dir / "set";
        model = dir / "parts" / "model.step";
        fs::create_directories(model.parent_path());
        fs::copy_file(dir / "rev" / "old.step", model, fs::copy_options::overwrite_existing);
        makeDataset(root, model.string(), force, restraint);
        const ToolRun first = runTool({root.string()});
        ASSERT_EQ(first.exitStatus, 0) << first.err;
        ASSERT_TRUE(fs::exists(data() / "last-run.tsv"));
        fs::copy_file(dir / "rev" / "new.step", model, fs::copy_options::overwrite_existing);
    }

    fs::path data() const { return root / "data"; }

    ToolRun faces(std::vector<std::string> options) const
    {
        options.insert(options.begin(), root.string());
        return runBinary(TARNFOLD_FACES_BINARY, options);
    }

    // Every file of data/ and its lists, with its bytes, and its time set well in the past, so
    // that a run that touches one shows.
    std::map<std::string, std::string> settle() const
    {
        std::map<std::string, std::string> files;
        const auto past = fs::file_time_type::clock::now() - std::chrono::hours(24);
        for (const fs::directory_entry& entry : fs::recursive_directory_iterator(data())) {
            if (!entry.is_regular_file()) continue;
            fs::last_write_time(entry.path(), past);
            files[entry.path().string()] = readFile(entry.path());
        }
        return files;
    }

    // Fails for any file of data/ added, removed, changed or touched since settle().
    void expectUntouched(const std::map<std::string, std::string>& before) const
    {
        const auto recent = fs::file_time_type::clock::now() - std::chrono::hours(1);
        std::map<std::string, std::string> now;
        for (const fs::directory_entry& entry : fs::recursive_directory_iterator(data())) {
            if (!entry.is_regular_file()) continue;
            now[entry.path().string()] = readFile(entry.path());
            EXPECT_LT(fs::last_write_time(entry.path()), recent) << entry.path() << " touched";
        }
        EXPECT_EQ(now, before);
    }

    fs::path root, model;
};

namespace {

// The drilled box: faces 3 and 6 are now 2 and 3, face 2 is 6, face 4 keeps its number.
Revision drilled()
{
    return cut(box(), cylinder(30, 30, -1, 6, 22));
}

// The numbers of the faces of `shape` that lie on cylinders.
std::vector<int> cylinderFaces(const TopoDS_Shape& shape)
{
    std::vector<int> numbers;
    const std::vector<TopoDS_Face> faces = numberedFaces(shape);
    for (std::size_t i = 0; i < faces.size(); ++i) {
        if (BRepAdaptor_Surface(faces[i]).GetType() == GeomAbs_Cylinder) {
            numbers.push_back(int(i) + 1);
        }
    }
    return numbers;
}

std::string recordValue(const std::string& record, const std::string& key)
{
    const std::size_t at = record.find("\n" + key + "\t");
    if (at == std::string::npos) return {};
    const std::size_t start = at + key.size() + 2;
    return record.substr(start, record.find('\n', start) - start);
}

} // namespace

// The same faces in another order: every entry of a list now names another face. Nothing is
// written or touched, and each entry is named with its list file and line, the record and the
// way out.
TEST_F(BoundListsTest, RenumberedFacesAreRefused)
{
    const Revision revision = reordered(cut(box(), cylinder(30, 30, -1, 6, 22)).after);
    runThenRevise(revision, "2 0 -250\n", "\n5 1 1 1 0 0 0\n");
    const auto before = settle();
    const ToolRun run = runTool({root.string()});
    EXPECT_EQ(run.exitStatus, 1);
    const std::string record = (data() / "last-run.tsv").string();
    const std::string tail = ": the model changed since the last run, recorded in '" + record +
                             "'; see tarnfold-faces " + root.string() + " --follow\n";
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

// A revision that leaves the listed faces as they were: the run goes on, says so in a note, and
// the record names the new model.
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

// --follow takes the old faces from the record and the face files of the last run, and gives
// what the history gives; --rewrite carries the lists in one step and binds them to the new
// model, so that tarnfold runs, a second carry changes nothing, and carrying them again from the
// old model is refused.
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
    EXPECT_EQ(rows[0].at("reason"), "its face file from the last run, '" +
                                        (data() / "face3.brep").string() + "', is missing");
    EXPECT_EQ(rows[1].at("match"), "unsure");
    EXPECT_EQ(rows[1].at("reason"), "its face file from the last run, '" +
                                        (data() / "face6.brep").string() + "', has changed since");
    const ToolRun run = runTool({root.string()});
    EXPECT_EQ(run.exitStatus, 1);
    EXPECT_NE(run.err.find(":1: face 3 cannot be told to be the face this list was written for "
                           "(it cannot be told: its face file from the last run"),
              std::string::npos)
        << run.err;
}

// A list edited since the last run was written for the model as it is now: it is neither
// checked nor followed, and says so.
TEST_F(BoundListsTest, ListEditedSinceIsTakenAsNew)
{
    runThenRevise(reordered(cut(box(), cylinder(30, 30, -1, 6, 22)).after), "2 0 -250\n", "");
    writeFile(data() / "force" / "loads.txt", "6 0 -250\n");
    const ToolRun table = faces({"--follow"});
    EXPECT_EQ(parseTable(table.out).size(), 0u) << table.out;
    EXPECT_NE(table.err.find("tarnfold-faces: note: '" + (data() / "force" / "loads.txt").string() +
                             "' changed since the last run: it is taken as written for the "
                             "model as it is now, and not followed"),
              std::string::npos)
        << table.err;
    const ToolRun run = runTool({root.string()});
    EXPECT_EQ(run.exitStatus, 0) << run.err;
    EXPECT_TRUE(fs::exists(data() / "face6.brep"));
    EXPECT_NE(run.err.find("changed since the last run: it is taken as written for the model"),
              std::string::npos)
        << run.err;
}

// In a batch, each dataset is checked against its own record: the one whose lists are stale is
// refused and marked stale, the other of the same model is written.
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

// A record that cannot be read protects nothing: the run is refused until it is removed. Other
// versions of the tools may number the same model otherwise: the faces are checked, and found
// the same here.
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
                               "': line 2: a size that is not a count; remove it to take the "
                               "lists as written for the model as it is now\n");
    expectUntouched(before);
}

// Two faces made one: with both listed, --follow says merged, as --since does. With one listed,
// the other old face is not at hand, and the face it was merged into covers more than the
// listed one did: that is unsure, never changed, so that nothing is carried where --since would
// ask for --allow-split-merge.
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
