// How face list files and the model locator are parsed, and what is said when a file is bad.
#include "test_support.hpp"

#include "intake/dataset_inputs.hpp"

#include <BRepPrimAPI_MakeBox.hxx>

// Each test gets a temporary directory of its own.
class ReaderTest : public TempDirTest {};

namespace fs = std::filesystem;

namespace {

struct FaceListCase {
    const char* what;
    std::string text;
    int recordLength;
    std::vector<double> faces;
    std::string problem; // the message after the file's path; "" when the file reads whole
};

} // namespace

TEST_F(ReaderTest, FaceListFiles)
{
    const std::vector<FaceListCase> cases = {
        {"records across lines and several on one line", "7 0.5\n-1 12 0 0 13\n0 0\n", 3,
         {7, 12, 13}, ""},
        {"number forms", "3 0 0 3.0 0 0 3. 0 0 +3 0 0 03 0 0 3e0 0 0 0.3e1 0 0", 3,
         {3, 3, 3, 3, 3, 3, 3}, ""},
        {"stored as they stand", "3.5 0 0\n0 0 0\n-2 0 0\n3 0 0\n3 0 0\n", 3,
         {3.5, 0, -2, 3, 3}, ""},
        {"whitespace only", " \t\r\n\v\f\n", 3, {}, ""},
        {"empty", "", 3, {}, ""},
        {"CRLF, no final newline", "1 0 0\r\n2 0 0\r\n3 0 0", 3, {1, 2, 3}, ""},
        {"restraint record", "3 1 1 1 0 0 0\n", 7, {3}, ""},
        {"number cut short by letters", "5 0 0abc\n", 3, {5}, ":1: not a number: 'abc'"},
        {"letter mid-file", "7 0 0\n8 x 0\n9 0 0\n", 3, {7}, ":2: not a number: 'x'"},
        {"decimal comma", "4,0,0\n", 3, {}, ":1: not a number: ',0,0'"},
        {"incomplete record", "7 0 0\n8 1\n", 3, {7}, ":2: incomplete record of 2 numbers"},
        {"restraint laid out in threes", "5 1 1\n6 1 1\n7 1 1\n", 7, {5},
         ":3: incomplete record of 2 numbers"},
        {"out of range", "1 0 0\n2 1e999 0\n3 0 0\n", 3, {1}, ":2: not a number: '1e999'"},
        {"out of range at the end", "1 0 0\n1e999", 3, {1}, ":2: not a number: '1e999'"},
        {"incomplete exponent", "1 0 3e", 3, {}, ":1: not a number: '3e'"},
        {"UTF-8 byte-order mark", "\xEF\xBB\xBF" "1 0 0\n", 3, {},
         ":1: not a number: '\\xEF\\xBB\\xBF1'"},
        {"UTF-16", std::string("\xFF\xFE" "1\0 \0" "0\0", 8), 3, {},
         ":1: not a number: '\\xFF\\xFE1\\x00'"},
    };
    for (const FaceListCase& c : cases) {
        const fs::path path = dir / "list.txt";
        writeFile(path, c.text);
        std::ifstream stream;
        std::vector<double> faces{42}; // appended to, never cleared
        const std::string problem = readFaceListFile(stream, path.string(), c.recordLength, faces);

        std::vector<double> expected{42};
        expected.insert(expected.end(), c.faces.begin(), c.faces.end());
        EXPECT_EQ(faces, expected) << c.what;
        if (c.problem.empty()) {
            EXPECT_EQ(problem, "") << c.what;
        } else {
            EXPECT_EQ(problem.rfind(path.string() + c.problem, 0), 0u)
                << c.what << ": " << problem;
        }
        EXPECT_FALSE(stream.is_open()) << c.what;
    }
}

// One stream serves every file: a failed open must not spoil the next file's reading.
TEST_F(ReaderTest, UnreadableFileBetweenTwoReadableOnes)
{
    writeFile(dir / "a", "1 0 0\n2 0 0"); // ends at end of file: leaves eof set
    writeFile(dir / "c", "3 0 0\n4 0 0\n");
    std::ifstream stream;
    std::vector<double> faces;
    EXPECT_EQ(readFaceListFile(stream, (dir / "a").string(), 3, faces), "");
    const std::string problem = readFaceListFile(stream, (dir / "b").string(), 3, faces);
    EXPECT_EQ(problem, (dir / "b").string() + ": cannot open: No such file or directory");
    EXPECT_EQ(readFaceListFile(stream, (dir / "c").string(), 3, faces), "");
    EXPECT_EQ(faces, (std::vector<double>{1, 2, 3, 4}));
}

struct LocatorCase {
    const char* what;
    std::string text;
    std::string modelPath;
};

TEST_F(ReaderTest, ModelLocatorFile)
{
    const std::vector<LocatorCase> cases = {
        {"CRLF", "C:\\models\\bracket.step\r\n", "C:\\models\\bracket.step"},
        {"blanks and empty lines around", "\n \t models/bracket.step \t\n\n", "models/bracket.step"},
        {"blank inside the path", "C:\\My Models\\bracket.step", "Models\\bracket.step"},
        {"two lines", "first.step\nsecond.step\n", "second.step"},
        {"two words", "first.step second.step", "second.step"},
        {"byte-order mark stays", "\xEF\xBB\xBFmodel.step\n", "\xEF\xBB\xBFmodel.step"},
        {"high bytes unchanged", "mod\xE8le-\xFF.step\n", "mod\xE8le-\xFF.step"},
        {"empty file", "", "earlier"},
        {"blank lines only", "\n  \n\t\n", "earlier"},
    };
    for (const LocatorCase& c : cases) {
        writeFile(dir / "address.txt", c.text);
        std::ifstream stream;
        std::string modelPath = "earlier";
        readModelLocatorFile(stream, (dir / "address.txt").string(), modelPath);
        EXPECT_EQ(modelPath, c.modelPath) << c.what;
        EXPECT_FALSE(stream.is_open()) << c.what;
    }
    std::ifstream stream;
    std::string modelPath;
    readModelLocatorFile(stream, (dir / "missing.txt").string(), modelPath);
    EXPECT_EQ(modelPath, "");
}

// A malformed force file is reported and fails the run, but its good records still count.
TEST_F(ReaderTest, MalformedForceFileFailsTheRun)
{
    writeStepModel(BRepPrimAPI_MakeBox(1, 2, 3).Shape(), dir / "box.step");
    makeDataset(dir, (dir / "box.step").string(), "1 0 0\n2 0 0\n3 0 zero\n4 0 0\n", "");
    const ToolRun run = runTool({dir.string()});
    EXPECT_EQ(run.exitStatus, 1);
    const std::string path = (dir / "data" / "force" / "loads.txt").string();
    EXPECT_EQ(run.err, "tarnfold: error: " + path +
                           ":3: not a number: 'zero'; reading stopped, the rest of the file is "
                           "ignored\n");
    EXPECT_EQ(listNames(dir / "data"),
              (std::vector<std::string>{"address.txt", "face1.brep", "face2.brep", "force",
                                        "last-run-model.tsv", "last-run.tsv", "restraint"}));
}
