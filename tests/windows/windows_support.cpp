#include "windows_support.hpp"

#include <algorithm>
#include <fstream>
#include <sstream>

#include <windows.h>

namespace fs = std::filesystem;

void WideDirTest::SetUp()
{
    // The process and the test make the name unique; a leftover of an earlier run is cleared.
    const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
    dir = fs::temp_directory_path() /
          ("tarnfold-" + std::to_string(GetCurrentProcessId()) + "-" + test->name());
    fs::remove_all(dir);
    ASSERT_TRUE(fs::create_directories(dir)) << dir;
}

void WideDirTest::TearDown()
{
    std::error_code ignored;
    fs::remove_all(dir, ignored);
}

void writeBytes(const fs::path& path, const std::string& bytes)
{
    fs::create_directories(path.parent_path());
    // The wide path itself: libstdc++ opens it with _wfopen.
    std::ofstream file(path, std::ios::binary);
    file << bytes;
    ASSERT_TRUE(file.good()) << path;
}

std::string readBytes(const fs::path& path)
{
    std::ifstream file(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << file.rdbuf();
    return bytes.str();
}

std::vector<std::wstring> listWideNames(const fs::path& directory)
{
    std::vector<std::wstring> names;
    for (const fs::directory_entry& entry : fs::directory_iterator(directory)) {
        names.push_back(entry.path().filename().wstring());
    }
    std::sort(names.begin(), names.end());
    return names;
}
