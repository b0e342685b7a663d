// The face files the runs leave behind: listing, comparing, clearing them between runs.
#include "bench.hpp"

#include <algorithm>
#include <fstream>

namespace {

bool isFaceFile(const fs::path& file)
{
    return file.filename().string().rfind("face", 0) == 0 && file.extension() == ".brep";
}

bool sameBytes(const fs::path& a, const fs::path& b)
{
    std::ifstream first(a, std::ios::binary), second(b, std::ios::binary);
    if (!first || !second) return false;
    return std::equal(std::istreambuf_iterator<char>(first), std::istreambuf_iterator<char>(),
                      std::istreambuf_iterator<char>(second), std::istreambuf_iterator<char>());
}

} // namespace

std::vector<fs::path> listFaceFiles(const fs::path& directory)
{
    std::vector<fs::path> files;
    if (!fs::is_directory(directory)) return files;
    for (const fs::directory_entry& entry : fs::directory_iterator(directory)) {
        if (isFaceFile(entry.path())) files.push_back(entry.path());
    }
    std::sort(files.begin(), files.end());
    return files;
}

// Creating files is much slower in some directories that earlier runs have filled and emptied
// (here, the same 2,046 face files: 2.9 s in a reused data directory, 1.4 s in a new one, for the
// tool and the floor alike), so every first run starts in a new one, or the figures would tell
// the directory's history.
void removeFaceFiles(const fs::path& directory)
{
    const fs::path fresh = directory.string() + ".fresh";
    fs::remove_all(fresh);
    fs::create_directories(fresh);
    if (fs::is_directory(directory)) {
        for (const fs::directory_entry& entry : fs::directory_iterator(directory)) {
            if (!isFaceFile(entry.path())) fs::rename(entry.path(), fresh / entry.path().filename());
        }
    }
    fs::remove_all(directory);
    fs::rename(fresh, directory);
}

std::uintmax_t totalBytes(const std::vector<fs::path>& files)
{
    std::uintmax_t bytes = 0;
    for (const fs::path& file : files) bytes += fs::file_size(file);
    return bytes;
}

bool sameFaceFiles(const fs::path& directoryA, const fs::path& directoryB)
{
    const std::vector<fs::path> a = listFaceFiles(directoryA), b = listFaceFiles(directoryB);
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (a[i].filename() != b[i].filename() || !sameBytes(a[i], b[i])) return false;
    }
    return true;
}

void copyFaceFiles(const fs::path& from, const fs::path& to)
{
    fs::remove_all(to);
    fs::create_directories(to);
    for (const fs::path& file : listFaceFiles(from)) fs::copy_file(file, to / file.filename());
}

void warmPageCache(const fs::path& file)
{
    std::ifstream in(file, std::ios::binary);
    std::vector<char> buffer(1 << 20);
    while (in.read(buffer.data(), static_cast<std::streamsize>(buffer.size()))) {
    }
}
