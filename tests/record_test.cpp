// The record of a run: its SHA-256, its two files' formats, and what a run of tarnfold leaves
// in them, checked against digests made without the tool's own code.
#include "cache/cached_model.hpp"
#include "digest/sha256.hpp"
#include "record/model_outline.hpp"
#include "record/record_keeping.hpp"
#include "record/run_record.hpp"
#include "sha256_cases.hpp"
#include "test_support.hpp"

#include <BRepPrimAPI_MakeBox.hxx>
#include <BRep_Builder.hxx>
#include <TopoDS_Compound.hxx>

#include <optional>

namespace fs = std::filesystem;

class RecordTest : public TempDirTest {};

namespace {

RunRecord sampleRecord()
{
    RunRecord record;
    record.toolVersion = "0.1.0";
    record.libraryVersion = "7.6.3";
    record.modelPath = "parts/a b\tc.step";
    record.modelSize = 1234;
    record.modelSha256 = std::string(64, 'a');
    record.modelFaces = 20;
    record.outlineSha256 = std::string(64, 'b');
    record.lists = {{"force/loads.txt", std::string(64, 'c')},
                    {"restraint/fixed\\1.txt", std::string(64, 'd')}};
    record.faces = {{5, FaceList::force, {5, 9}, "face5.brep", std::string(64, 'e')},
                    {9, FaceList::both, {5, 9}, "face9.brep", std::string(64, 'f')}};
    return record;
}

} // namespace

// The digests of FIPS 180-4's examples and of NIST's long message, given whole, streamed, and in
// pieces cut anywhere.
TEST(Sha256, KnownDigests)
{
    for (const auto& [bytes, digest] : knownSha256Digests()) {
        EXPECT_EQ(sha256Hex(bytes), digest) << bytes.substr(0, 20);
        Sha256 streamed = startSha256();
        addToSha256(streamed, bytes.data(), bytes.size());
        EXPECT_EQ(finishSha256(streamed), digest) << bytes.substr(0, 20) << " (streamed)";
    }
    // Lengths around the block and the padding's bounds, in two pieces cut at every byte.
    for (std::size_t length : {55u, 56u, 63u, 64u, 65u, 119u, 120u, 200u}) {
        std::string bytes(length, '\0');
        for (std::size_t i = 0; i < length; ++i) bytes[i] = char(i * 37 + 11);
        const std::string whole = sha256Hex(bytes);
        for (std::size_t cut = 0; cut <= length; ++cut) {
            Sha256 digest = startSha256();
            addToSha256(digest, bytes.data(), cut);
            addToSha256(digest, bytes.data() + cut, length - cut);
            EXPECT_EQ(finishSha256(digest), whole) << length << " cut at " << cut;
        }
    }
}

// A record reads back as it was written, and text that no run wrote is refused with its line.
TEST(RunRecord, ReadsBackAndRefusesOtherText)
{
    const RunRecord record = sampleRecord();
    const std::string text = formatRunRecord(record);
    RunRecord read;
    ASSERT_EQ(parseRunRecord(text, read), "");
    EXPECT_EQ(formatRunRecord(read), text);
    EXPECT_EQ(read.modelPath, record.modelPath);
    EXPECT_EQ(read.lists[1].name, "restraint/fixed\\1.txt");
    ASSERT_NE(findRecordedFace(read, 9), nullptr);
    EXPECT_EQ(findRecordedFace(read, 9)->visits, (std::vector<int>{5, 9}));
    EXPECT_EQ(findRecordedFace(read, 6), nullptr);

    const auto replaced = [&](const std::string& from, const std::string& to) {
        std::string changed = text;
        changed.replace(changed.find(from), from.size(), to);
        return changed;
    };
    const std::pair<std::string, std::string> cases[] = {
        {"", "line 1: not a record of tarnfold's last run, or one of another format"},
        {replaced("last run 1", "last run 2"),
         "line 1: not a record of tarnfold's last run, or one of another format"},
        {replaced("model_size\t1234", "model_size\t-1"), "line 5: a size that is not a count"},
        {replaced("model_sha256\ta", "model_sha256\tA"),
         "line 6: a SHA-256 that is not 64 hexadecimal digits"},
        {replaced("model_faces", "colour"), "line 7: a line it cannot read ('colour')"},
        {replaced("\\\\1.txt", "\\q.txt"), "line 10: a list it cannot read"},
        {replaced("5\tforce\t5,9", "5\tforce\t9,5"), "line 12: a face row it cannot read"},
        {replaced("9\tboth\t5,9", "9\tboth\t5"), "line 13: a face whose visits leave out its own number"},
        {replaced("9\tboth\t5,9", "5\tboth\t5,9"), "line 13: faces out of order"},
        {text.substr(0, text.find("face\tlist")), "line 10: the record ends before it is whole"},
    };
    for (const auto& [damaged, problem] : cases) {
        EXPECT_EQ(parseRunRecord(damaged, read), problem) << damaged;
    }
}

// An outline reads back as it was written: shortest digits that give the same doubles.
TEST(ModelOutline, ReadsBackAsWritten)
{
    const TopoDS_Shape shape = BRepPrimAPI_MakeBox(gp_Pnt(0.1, 1e-7, -3), 10.25, 1.0 / 3, 30).Shape();
    const ModelOutline outline = outlineModel(shape, 0);
    EXPECT_EQ(outline.faceCount, 6);
    EXPECT_EQ(outline.vertexCount, 48); // the ends of 24 edges, as the faces hold them
    EXPECT_EQ(outline.faces.size(), 6u);
    EXPECT_EQ(outline.faces[0].vertexVisits, 8); // four edges, each with its two ends
    EXPECT_DOUBLE_EQ(outline.bounds[4], 1e-7 + 1.0 / 3);
    const std::string text = formatOutline(outline);
    ModelOutline read;
    ASSERT_EQ(parseOutline(text, read), "");
    EXPECT_EQ(formatOutline(read), text);
    EXPECT_EQ(read.bounds, outline.bounds);
    EXPECT_EQ(read.vertices, outline.vertices);
    // Spread over the faces and vertices, at most as many as asked for.
    const ModelOutline few = outlineModel(shape, 4);
    EXPECT_EQ(few.faces.size(), 4u);
    EXPECT_EQ(few.vertices.size(), 4u);
    EXPECT_EQ(few.faces.back().number, 6);
    EXPECT_EQ(parseOutline(text + "vertex\t1\tnan\t2\n", read),
              "line " + std::to_string(std::count(text.begin(), text.end(), '\n') + 1) +
                  ": a line it cannot read");
}

// A face the model holds twice in one orientation is recorded with both its numbers, as the
// matching of two revisions groups a model's visits.
TEST(RunRecord, FaceVisitedTwiceNamesBothVisits)
{
    BRep_Builder builder;
    TopoDS_Compound twice;
    builder.MakeCompound(twice);
    const TopoDS_Shape solid = BRepPrimAPI_MakeBox(1, 2, 3).Shape();
    builder.Add(twice, solid);
    builder.Add(twice, solid);
    RunModel model;
    model.shape = twice;
    model.faceCount = 12;
    ListFileNow list;
    list.read = true;
    list.name = "force/a.txt";
    list.records = {ListRecord{8}, ListRecord{3}};
    const std::vector<ListFileNow> lists = {list};
    const RunRecord record = makeRunRecord(model, lists, hashListedFaces(model, lists), "");
    ASSERT_EQ(record.faces.size(), 2u);
    EXPECT_EQ(record.faces[0].number, 3);
    EXPECT_EQ(record.faces[0].visits, (std::vector<int>{3, 9}));
    EXPECT_EQ(record.faces[1].visits, (std::vector<int>{2, 8}));
}

// A run leaves the record of what its lists meant: the model and each list file by their
// SHA-256, each listed face with its face file's; the same bytes on a run that changes nothing.
TEST_F(RecordTest, RunLeavesItsRecord)
{
    writeStepModel(BRepPrimAPI_MakeBox(10, 20, 30).Shape(), dir / "box.step");
    makeDataset(dir / "set", (dir / "box.step").string(), "3 0 0\n1 0 0\n7 0 0\n",
                "3 1 1 1 0 0 0\n");
    const fs::path data = dir / "set" / "data";
    const ToolRun run = runTool({(dir / "set").string()});
    EXPECT_EQ(run.exitStatus, 1); // entry 7: the box has 6 faces
    const std::string record = readFile(data / "last-run.tsv");
    const std::string expected =
        "format\ttarnfold last run 1\n"
        "tarnfold\t" + std::string(toolVersion()) + "\n"
        "opencascade\t" + libraryVersion() + "\n"
        "model\t" + (dir / "box.step").string() + "\n"
        "model_size\t" + std::to_string(fs::file_size(dir / "box.step")) + "\n"
        "model_sha256\t" + sha256Of(dir / "box.step") + "\n"
        "model_faces\t6\n"
        "model_outline\tlast-run-model.tsv\t" + sha256Of(data / "last-run-model.tsv") + "\n"
        "list\tforce/loads.txt\t" + sha256Of(data / "force" / "loads.txt") + "\n"
        "list\trestraint/fixed.txt\t" + sha256Of(data / "restraint" / "fixed.txt") + "\n"
        "face\tlist\tvisits\tfile\tsha256\n"
        "1\tforce\t1\tface1.brep\t" + sha256Of(data / "face1.brep") + "\n"
        "3\tboth\t3\tface3.brep\t" + sha256Of(data / "face3.brep") + "\n";
    EXPECT_EQ(record, expected);
    const std::string outline = readFile(data / "last-run-model.tsv");
    EXPECT_EQ(outline.rfind("format\ttarnfold model outline 1\nfaces\t6\nvertices\t48\n", 0), 0u)
        << outline;

    runTool({(dir / "set").string()});
    EXPECT_EQ(readFile(data / "last-run.tsv"), record);
    EXPECT_EQ(readFile(data / "last-run-model.tsv"), outline);
}

// Without a cache the model is read once: that reading gives the size and digest that the record
// names (the file's size, sha256sum's digest), bytes after the data included. A file touched,
// grown or replaced after it was opened is told by its status, and no record names its bytes.
TEST_F(RecordTest, TheOneReadingOfTheModelNamesItsBytes)
{
    writeStepModel(BRepPrimAPI_MakeBox(10, 20, 30).Shape(), dir / "box.step");
    const std::string text = readFile(dir / "box.step") + "/* after the end of the data */\n";
    const std::vector<std::pair<std::string, std::function<void(const fs::path&)>>> cases = {
        {"kept", [](const fs::path&) {}},
        {"touched",
         [](const fs::path& path) {
             fs::last_write_time(path, fs::last_write_time(path) + std::chrono::seconds(1));
         }},
        {"grown", [&](const fs::path& path) { writeFile(path, text + "\n"); }},
        {"replaced",
         [&](const fs::path& path) {
             writeFile(dir / "new.step", text);
             fs::rename(dir / "new.step", path);
         }},
    };
    for (const auto& [name, change] : cases) {
        const fs::path path = dir / (name + ".step");
        writeFile(path, text);
        RunModel model = nameModelFile(path.string());
        std::optional<STEPControl_Reader> reader;
        std::string error;
        const ModelRead read = readModel({}, model.path, model, false, reader, error, nullptr);
        ASSERT_EQ(error, "") << name;
        EXPECT_TRUE(model.file.regular) << name;
        EXPECT_EQ(model.file.size, text.size()) << name;
        EXPECT_EQ(model.file.sha256, sha256Of(path)) << name;
        change(path);
        EXPECT_EQ(settleRunModel(model, read.shape),
                  name == "kept" ? "" : "the STEP model '" + path.string() +
                                             "' changed while it was read: no face file was "
                                             "written; run again")
            << name;
        EXPECT_EQ(model.faceCount, 6) << name;
    }
}
