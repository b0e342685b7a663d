// The dataset of the tests of lists bound to their faces, and what they look at in it.
#include "bound_lists.hpp"

#include <chrono>

#include <BRepAdaptor_Surface.hxx>

namespace fs = std::filesystem;

void BoundListsTest::runThenRevise(const Revision& revision, const std::string& force,
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

ToolRun BoundListsTest::faces(std::vector<std::string> options) const
{
    options.insert(options.begin(), root.string());
    return runBinary(TARNFOLD_FACES_BINARY, options);
}

std::map<std::string, std::string> BoundListsTest::settle() const
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

void BoundListsTest::expectUntouched(const std::map<std::string, std::string>& before) const
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

Revision drilled()
{
    return cut(box(), cylinder(30, 30, -1, 6, 22));
}

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
