// tarnfold-faces DATASET... --follow and --since: several datasets in one command. Each
// dataset's rows are the ones it gets alone, its lists are carried all or nothing as alone, and
// the last line names the datasets that did not come through.
#include "bound_lists.hpp"

namespace fs = std::filesystem;

namespace {

// The rows of the table of several datasets that belong to `dataset`, without that column.
std::vector<TableRow> rowsOf(const std::vector<TableRow>& rows, const std::string& dataset)
{
    std::vector<TableRow> own;
    for (TableRow row : rows) {
        if (row.at("dataset") != dataset) continue;
        row.erase("dataset");
        own.push_back(row);
    }
    return own;
}

std::string lastLine(std::string text)
{
    if (!text.empty() && text.back() == '\n') text.pop_back();
    return text.substr(text.rfind('\n') + 1);
}

} // namespace

class ManyDatasetsTest : public BoundListsTest {
protected:
    // Beside dir/set: dataset dir/<name>, on the old revision at `modelPath`, run by tarnfold,
    // then the new revision written over it.
    std::string addDataset(const std::string& name, const fs::path& modelPath,
                           const std::string& force)
    {
        const fs::path other = dir / name;
        fs::copy_file(dir / "rev" / "old.step", modelPath, fs::copy_options::overwrite_existing);
        makeDataset(other, modelPath.string(), force, "");
        const ToolRun run = runTool({other.string()});
        EXPECT_EQ(run.exitStatus, 0) << run.err;
        fs::copy_file(dir / "rev" / "new.step", modelPath, fs::copy_options::overwrite_existing);
        return other.string();
    }

    ToolRun facesOf(const std::vector<std::string>& roots, std::vector<std::string> options) const
    {
        options.insert(options.begin(), roots.begin(), roots.end());
        return runBinary(TARNFOLD_FACES_BINARY, options);
    }
};

// Four datasets on two model files, one with a face file gone since its last run and one that
// does not exist: the table of all is the tables of each, and a carry over carries the sure ones.
TEST_F(ManyDatasetsTest, FollowManyAsEachAlone)
{
    const Revision revision = drilled();
    const std::vector<Truth> truths = truthOf(revision);
    runThenRevise(revision, "3 0 -250\n6 0 -100\n", "2 1 1 1 0 0 0\n");
    const std::string a = root.string();
    const std::string b = addDataset("b", model, "4 0 -1\n");
    const std::string c = addDataset("c", model, "5 0 -1\n");
    fs::remove(dir / "c" / "data" / "face5.brep");
    const std::string d = addDataset("d", dir / "parts" / "copy.step", "3 0 -1\n");
    const std::string missing = (dir / "none").string();
    const std::vector<std::string> roots = {a, b, c, d, missing};

    const ToolRun all = facesOf(roots, {"--follow"});
    EXPECT_EQ(all.exitStatus, 1);
    ASSERT_EQ(all.out.rfind("dataset\told\tnew\tmatch\tlist\tkept\treason\n", 0), 0u) << all.out;
    const std::vector<TableRow> rows = parseTable(all.out);
    for (const std::string& one : {a, b, c, d}) {
        SCOPED_TRACE(one);
        const ToolRun alone = facesOf({one}, {"--follow"});
        EXPECT_EQ(alone.exitStatus, one == c ? 1 : 0) << alone.err;
        EXPECT_EQ(rowsOf(rows, one), parseTable(alone.out));
        EXPECT_FALSE(rowsOf(rows, one).empty());
    }
    EXPECT_EQ(rowsOf(rows, c).at(0).at("match"), "unsure");
    EXPECT_NE(all.err.find("tarnfold-faces: note: '" + c + "': 1 of 1 listed old faces have no "
                           "certain new number"),
              std::string::npos)
        << all.err;
    EXPECT_EQ(lastLine(all.err), "tarnfold-faces: error: 2 of 5 datasets have doubts or "
                                 "problems, told above: '" + c + "', '" + missing + "'");

    const ToolRun carry = facesOf(roots, {"--follow", "--rewrite"});
    EXPECT_EQ(carry.exitStatus, 1);
    EXPECT_EQ(readFile(data() / "force" / "loads.txt"),
              std::to_string(truths[2].numbers[0]) + " 0 -250\n" +
                  std::to_string(truths[5].numbers[0]) + " 0 -100\n");
    EXPECT_EQ(readFile(fs::path(b) / "data" / "force" / "loads.txt"),
              std::to_string(truths[3].numbers[0]) + " 0 -1\n");
    EXPECT_EQ(readFile(fs::path(d) / "data" / "force" / "loads.txt"),
              std::to_string(truths[2].numbers[0]) + " 0 -1\n");
    EXPECT_EQ(readFile(fs::path(c) / "data" / "force" / "loads.txt"), "5 0 -1\n");
    EXPECT_FALSE(fs::exists(fs::path(c) / "data" / "force.orig"));
    EXPECT_NE(carry.err.find("tarnfold-faces: error: no list file of '" + c + "' was rewritten"),
              std::string::npos)
        << carry.err;

    // Each carried dataset's record was renewed for the model it now names.
    const ToolRun again = facesOf({a, b, d}, {"--follow", "--rewrite"});
    EXPECT_EQ(again.exitStatus, 0) << again.err;
    EXPECT_EQ(again.out, "dataset\told\tnew\tmatch\tlist\tkept\treason\n");
    for (const std::string& one : {a, b, d}) {
        EXPECT_NE(again.err.find("tarnfold-faces: note: '" + one + "': nothing to follow"),
                  std::string::npos)
            << again.err;
    }
}

// --since OLD --rewrite over several datasets refuses the one whose record binds it to another
// model, tells the one whose model is missing, and carries the others, each as it would be alone.
TEST_F(ManyDatasetsTest, SinceRefusesOnlyTheDatasetBoundElsewhere)
{
    const Revision revision = drilled();
    const std::vector<Truth> truths = truthOf(revision);
    runThenRevise(revision, "3 0 -250\n", "");
    const std::string a = root.string();
    ASSERT_EQ(faces({"--follow", "--rewrite"}).exitStatus, 0);
    const std::string carriedA = readFile(data() / "force" / "loads.txt");
    const std::string b = addDataset("b", model, "6 0 -1\n");
    // A dataset without a record is carried as it is today.
    const fs::path unrecorded = dir / "e";
    makeDataset(unrecorded, model.string(), "2 0 -1\n", "");

    // And one whose model is not there: its line as alone, the others go on.
    const fs::path lost = dir / "f";
    makeDataset(lost, (dir / "parts" / "none.step").string(), "2 0 -1\n", "");

    const std::string old = (dir / "rev" / "old.step").string();
    const ToolRun run =
        facesOf({a, b, unrecorded.string(), lost.string()}, {"--since", old, "--rewrite"});
    EXPECT_EQ(run.exitStatus, 1);
    EXPECT_NE(run.err.find("tarnfold-faces: error: the lists of '" + a + "' were last run on"),
              std::string::npos)
        << run.err;
    const ToolRun lostAlone = facesOf({lost.string()}, {"--since", old});
    EXPECT_EQ(lostAlone.exitStatus, 1);
    const std::string lostLine = lastLine(lostAlone.err);
    EXPECT_EQ(lostLine.rfind("tarnfold-faces: error: cannot read STEP model", 0), 0u) << lostLine;
    EXPECT_NE(run.err.find(lostLine + "\n"), std::string::npos) << run.err;
    EXPECT_EQ(lastLine(run.err), "tarnfold-faces: error: 2 of 4 datasets have doubts or "
                                 "problems, told above: '" + a + "', '" + lost.string() + "'");
    EXPECT_EQ(readFile(data() / "force" / "loads.txt"), carriedA);
    EXPECT_EQ(readFile(fs::path(b) / "data" / "force" / "loads.txt"),
              std::to_string(truths[5].numbers[0]) + " 0 -1\n");
    EXPECT_EQ(readFile(unrecorded / "data" / "force" / "loads.txt"),
              std::to_string(truths[1].numbers[0]) + " 0 -1\n");
    EXPECT_TRUE(fs::exists(unrecorded / "data" / "last-run.tsv"));
    const std::vector<TableRow> rows = parseTable(run.out);
    EXPECT_TRUE(rowsOf(rows, a).empty());
    ASSERT_EQ(rowsOf(rows, b).size(), 1u);
    EXPECT_EQ(rowsOf(rows, b)[0].at("match"), truths[5].kind);
}
