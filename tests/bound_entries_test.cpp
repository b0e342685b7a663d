// Lists bound entry by entry, and face files that never lie: what a user does around a revised
// model (edit a load, delete the record, change the lists, rewrite them by hand) never lets a
// number reach the solver as another face than it was written for.
#include "bound_lists.hpp"

#include <BRep_Builder.hxx>
#include <BRepPrimAPI_MakeBox.hxx>
#include <TopoDS_Compound.hxx>

namespace fs = std::filesystem;

namespace {

// The drilled box with its faces numbered in reverse: face N is now 8 - N.
Revision reversed()
{
    return reordered(drilled().after);
}

std::string tailOf(const fs::path& root)
{
    return "; see tarnfold-faces " + root.string() +
           " --follow, or --accept for lists rewritten by hand\n";
}

} // namespace

// A load value changed after the model was replaced keeps the old numbers bound: refused, and
// --follow --rewrite carries exactly those, leaving an entry the record does not bind (face 2 of
// the restraint, bound only as a force) as written for the new model.
TEST_F(BoundListsTest, EditedLoadStaysBound)
{
    runThenRevise(reversed(), "2 0 -250\n", "");
    writeFile(data() / "force" / "loads.txt", "2   0 -150 \n");
    writeFile(data() / "restraint" / "fixed.txt", "2 1 1 1 0 0 0\n");
    const auto before = settle();
    const ToolRun run = runTool({root.string()});
    EXPECT_EQ(run.exitStatus, 1);
    EXPECT_EQ(run.err,
              "tarnfold: note: " + (data() / "restraint" / "fixed.txt").string() +
                  ":1: face 2 is taken as written for the model as it is now: the record of "
                  "the last run does not bind it\n"
                  "tarnfold: error: " + (data() / "force" / "loads.txt").string() +
                  ":1: face 2 is no longer the face this list was written for (it is face 6 "
                  "now): the model changed since the last run, recorded in '" +
                  (data() / "last-run.tsv").string() + "'" + tailOf(root));
    expectUntouched(before);

    const ToolRun carry = faces({"--follow", "--rewrite"});
    EXPECT_EQ(carry.exitStatus, 0) << carry.err;
    EXPECT_EQ(readFile(data() / "force" / "loads.txt"), "6   0 -150 \n");
    EXPECT_EQ(readFile(data() / "restraint" / "fixed.txt"), "2 1 1 1 0 0 0\n");
    const ToolRun again = runTool({root.string()});
    EXPECT_EQ(again.exitStatus, 0) << again.err;
    EXPECT_EQ(again.err, "");
    EXPECT_EQ(faceFiles(data()).size(), 2u); // face2.brep and face6.brep, of the new model
}

// With the record deleted, or a link to nowhere in its place, the face files of the last run
// still tell what the lists were written for: the stale entry is refused, never run. Without a
// record, --follow takes those face files for the old faces, and a carry leaves none that lies.
TEST_F(BoundListsTest, NoRecordIsNoLicence)
{
    for (const bool dangling : {false, true}) {
        SCOPED_TRACE(dangling ? "dangling link" : "deleted");
        fs::remove_all(dir / "set");
        runThenRevise(reversed(), "2 0 -250\n", "");
        const fs::path record = data() / "last-run.tsv";
        fs::remove(record);
        if (dangling) fs::create_symlink(dir / "elsewhere.tsv", record);
        const auto before = settle();
        const ToolRun run = runTool({root.string()});
        EXPECT_EQ(run.exitStatus, 1);
        const std::string where = "tarnfold: error: " + (data() / "force" / "loads.txt").string();
        EXPECT_EQ(run.err,
                  dangling ? "tarnfold: error: cannot read the record of the last run '" +
                                 record.string() + "': it is a symbolic link to '" +
                                 (dir / "elsewhere.tsv").string() +
                                 "', where nothing is; it is not taken for a missing one: "
                                 "tarnfold-faces " + root.string() + " --accept binds the lists "
                                 "to the model as it is now and writes it anew\n"
                           : where + ":1: face 2 is no longer the face this list was written "
                                 "for (it is face 6 now): '" + record.string() +
                                 "' is missing, and the face files of an earlier run tell what "
                                 "the lists were written for" + tailOf(root));
        EXPECT_EQ(run.err.find("remove"), std::string::npos);
        expectUntouched(before);
    }

    const fs::path record = data() / "last-run.tsv";
    fs::remove(record);
    const ToolRun carry = faces({"--follow", "--rewrite"});
    EXPECT_EQ(carry.exitStatus, 0) << carry.err;
    ASSERT_EQ(parseTable(carry.out).size(), 1u) << carry.out;
    EXPECT_EQ(parseTable(carry.out)[0].at("new"), "6");
    EXPECT_EQ(readFile(data() / "force" / "loads.txt"), "6 0 -250\n");
    EXPECT_NE(carry.err.find("removed 1 face file that a run wrote for faces no list names now"),
              std::string::npos)
        << carry.err;
    EXPECT_FALSE(fs::exists(data() / "face2.brep"));
    const ToolRun run = runTool({root.string()});
    EXPECT_EQ(run.exitStatus, 0) << run.err;
    EXPECT_EQ(listNames(data()),
              (std::vector<std::string>{"address.txt", "face6.brep", "force", "force.orig",
                                        "last-run-model.tsv", "last-run.tsv", "restraint"}));
}

// After a run, data/face<N>.brep is face N of the model or says why not: a run after the lists
// changed removes the face file its last run wrote for a face no longer listed, and a face file
// no run wrote is left as it is, but named when it holds another face, by tarnfold and the batch
// alike.
TEST_F(BoundListsTest, FaceFilesNeverLie)
{
    writeStepModel(drilled().after, dir / "model.step");
    root = dir / "set";
    makeDataset(root, (dir / "model.step").string(), "1 0 0\n3 0 0\n5 0 0\n", "");
    ASSERT_EQ(runTool({root.string()}).exitStatus, 0);
    const std::string face1 = readFile(data() / "face1.brep");
    const std::string face5 = readFile(data() / "face5.brep");
    writeFile(data() / "force" / "loads.txt", "5 0 0\n");
    const ToolRun changed = runTool({root.string()});
    EXPECT_EQ(changed.exitStatus, 0) << changed.err;
    EXPECT_EQ(changed.err,
              "tarnfold: note: removed 2 face files that a run wrote for faces no list names now\n");
    EXPECT_EQ(listNames(data()),
              (std::vector<std::string>{"address.txt", "face5.brep", "force",
                                        "last-run-model.tsv", "last-run.tsv", "restraint"}));

    // Put there by hand: face 1 as face1.brep, which is true, and face 5 as face4.brep.
    writeFile(data() / "face1.brep", face1);
    writeFile(data() / "face4.brep", face5);
    const ToolRun run = runTool({root.string()});
    EXPECT_EQ(run.exitStatus, 1);
    EXPECT_EQ(run.err, "tarnfold: error: '" + (data() / "face4.brep").string() +
                           "' holds another face than face 4 of the model '" +
                           (dir / "model.step").string() +
                           "' (it is face 5 now); no list names face 4 and no run recorded "
                           "writing the file, which is left as it is\n");
    EXPECT_EQ(readFile(data() / "face1.brep"), face1);
    EXPECT_EQ(readFile(data() / "face4.brep"), face5);
    EXPECT_EQ(readFile(data() / "face5.brep"), face5);
    const ToolRun batch = runBatch({root.string()});
    EXPECT_EQ(batch.exitStatus, 1);
    EXPECT_EQ(linesFor(batch.err, root.string()), run.err);
}

// A listed face whose face file would be byte for byte the recorded one is the face it was,
// even where the outline of the whole model says the model moved: the part beside it did.
TEST_F(BoundListsTest, SameBytesAreTheSameFace)
{
    const auto twoParts = [](const gp_Vec& shift) {
        BRep_Builder builder;
        TopoDS_Compound both;
        builder.MakeCompound(both);
        builder.Add(both, BRepPrimAPI_MakeBox(10, 10, 10).Shape());
        builder.Add(both, moved(holesInARow(), gp_Vec(200, 0, 0) + shift).after);
        return both;
    };
    const Revision revision{twoParts(gp_Vec(0, 0, 0)), twoParts(gp_Vec(0, 50, 0)), nullptr, {}, {}};
    runThenRevise(revision, "1 0 -250\n", "");
    ToolRun run = runTool({root.string()});
    EXPECT_EQ(run.exitStatus, 0) << run.err;
    EXPECT_NE(run.err.find("the 1 face its lists name is still the face"), std::string::npos)
        << run.err;

    // A face of the part that moved is refused, as the outline says; face 1 is not.
    fs::remove_all(dir / "set");
    runThenRevise(revision, "1 0 -250\n8 0 -250\n", "");
    run = runTool({root.string()});
    EXPECT_EQ(run.exitStatus, 1);
    EXPECT_NE(run.err.find(":2: face 8 cannot be told to be the face this list was written for "
                           "(it cannot be told: "),
              std::string::npos)
        << run.err;
    EXPECT_NE(run.err.find("the model looks moved"), std::string::npos) << run.err;
    EXPECT_EQ(run.err.find("face 1 "), std::string::npos) << run.err;
}

// Lists rewritten by hand for the new model, whose numbers the record binds to other faces, are
// refused until --accept binds them as they stand; it says what it binds, and the run that
// follows writes the new faces.
TEST_F(BoundListsTest, AcceptBindsListsRewrittenByHand)
{
    runThenRevise(reversed(), "2 0 -250\n6 0 -100\n", "");
    writeFile(data() / "force" / "loads.txt", "6 0 -250\n2 0 -100\n3 0 -5\n");
    EXPECT_EQ(runTool({root.string()}).exitStatus, 1);

    const ToolRun accept = faces({"--accept"});
    EXPECT_EQ(accept.exitStatus, 0) << accept.err;
    EXPECT_EQ(accept.out, "list\tline\tface\tbefore\n"
                          "force/loads.txt\t1\t6\tother\n"
                          "force/loads.txt\t2\t2\tother\n"
                          "force/loads.txt\t3\t3\tnone\n");
    EXPECT_NE(accept.err.find("tarnfold-faces: note: removed 2 face files whose numbers name other "
                              "faces now "
                              "(tarnfold " + root.string() + " writes them anew)\n"),
              std::string::npos)
        << accept.err;
    EXPECT_NE(accept.err.find("tarnfold-faces: note: the 3 faces the lists name are bound to the "
                              "model '" + model.string() + "' as it is now"),
              std::string::npos)
        << accept.err;
    EXPECT_EQ(recordValue(readFile(data() / "last-run.tsv"), "model_sha256"), sha256Of(model));

    const ToolRun run = runTool({root.string()});
    EXPECT_EQ(run.exitStatus, 0) << run.err;
    EXPECT_EQ(run.err, "");
    // The face files of the model as it is now, as a dataset new to it gets them.
    makeDataset(dir / "fresh", model.string(), readFile(data() / "force" / "loads.txt"), "");
    ASSERT_EQ(runTool({(dir / "fresh").string()}).exitStatus, 0);
    EXPECT_EQ(faceFiles(data()), faceFiles(dir / "fresh" / "data"));
    EXPECT_EQ(faces({"--accept", "--follow"}).exitStatus, 2);
}
