// The walk over wide paths: a root whose name holds a letter of the code page is read whole, its
// lists through their narrow names; a list whose name the code page lacks is told, not read.
#include "windows_support.hpp"

#include "intake/dataset_inputs.hpp"
#include "paths/narrow_form.hpp"

namespace fs = std::filesystem;

class WideWalkTest : public WideDirTest {};

TEST_F(WideWalkTest, RootWithACodePageLetter)
{
    const fs::path root = dir / L"caf\u00e9";
    writeBytes(root / "data" / "address.txt", "model.step\r\n");
    writeBytes(root / "data" / "force" / L"lasten-\u00e9.txt", "3 0 0\r\n7 0 0\r\n");
    writeBytes(root / "data" / "force" / L"\u6a21.txt", "9 0 0\n");
    writeBytes(root / "data" / "restraint" / "fix.txt", "12 1 1 1 0 0 0\r\n13 x\r\n");

    // As the root comes from the command line: narrow text, made a native path again.
    const std::string narrowRoot = narrowForm(root);
    std::ifstream stream;
    DatasetInputs inputs;
    const std::vector<std::string> problems = walkDataset(nativePath(narrowRoot), stream, inputs);

    EXPECT_EQ(inputs.forceFaces, (std::vector<double>{3, 7}));
    EXPECT_EQ(inputs.restraintFaces, std::vector<double>{12});
    EXPECT_EQ(inputs.modelPath, "model.step");
    const std::vector<std::string> expected = {
        "cannot name '" + narrowRoot +
            "\\data\\force\\<U+6A21>.txt' in code page 1252, the narrow encoding of file names: "
            "it has no U+6A21; it is not read as a list",
        narrowRoot + "\\data\\restraint\\fix.txt:2: not a number: 'x'; reading stopped, the "
                     "rest of the file is ignored",
    };
    EXPECT_EQ(problems, expected);
}

// A root that is not there is named in the walk's error as the user gave it.
TEST_F(WideWalkTest, MissingRootNamedAsGiven)
{
    const std::string narrowRoot = narrowForm(dir / L"caf\u00e9");
    std::ifstream stream;
    DatasetInputs inputs;
    try {
        walkDataset(nativePath(narrowRoot), stream, inputs);
        FAIL() << "a missing root was walked";
    } catch (const std::runtime_error& e) {
        EXPECT_EQ(std::string(e.what()).rfind("cannot read dataset '" + narrowRoot + "': ", 0), 0u)
            << e.what();
    }
}
