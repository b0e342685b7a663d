#pragma once

#include <filesystem>
#include <string>

#include <gtest/gtest.h>

/// A fresh directory of its own for each test, under the system's temporary directory, removed
/// afterwards.
class WideDirTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    std::filesystem::path dir;
};

/// Creates `path` (and its parent directories) holding exactly `bytes`; the path is wide.
void writeBytes(const std::filesystem::path& path, const std::string& bytes);

/// The bytes of the file at `path`, or "" when it cannot be read.
std::string readBytes(const std::filesystem::path& path);

/// The names of the entries of `directory`, sorted, as wide text.
std::vector<std::wstring> listWideNames(const std::filesystem::path& directory);
