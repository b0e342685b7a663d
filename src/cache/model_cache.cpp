#include "model_cache.hpp"

#include "../console/error_printer.hpp"
#include "../digest/sha256.hpp"
#include "../model/reader_settings.hpp"
#include "../output/whole_file.hpp"
#include "../paths/file_names.hpp"
#include "../paths/file_status.hpp"
#include "../paths/narrow_form.hpp"
#include "../record/record_keeping.hpp"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <vector>

#include <unistd.h>

namespace {

constexpr const char* entryEnding = ".entry";

// A temporary this old was left by a writer that died: writing an entry takes seconds at most.
constexpr std::time_t abandonedAfterSeconds = 3600;

bool endsWith(const std::string& text, const std::string& ending)
{
    return text.size() >= ending.size() &&
           text.compare(text.size() - ending.size(), ending.size(), ending) == 0;
}

struct StoredEntry {
    std::string path;
    std::uint64_t size = 0;
    long long used = 0; ///< in nanoseconds
};

bool usedEarlier(const StoredEntry& a, const StoredEntry& b)
{
    return a.used < b.used;
}

// The entries of the directory; removes, on the way, temporaries of entries long abandoned.
std::vector<StoredEntry> listEntries(const std::string& directory, bool removeAbandoned)
{
    std::vector<StoredEntry> entries;
    const std::time_t now = std::time(nullptr);
    for (const std::string& name : listDirectory(directory)) {
        const std::string path = directory + "/" + name;
        FileStatus status;
        if (name[0] == '.' || linkStatusOf(path, status) != 0 || !status.regular) {
            continue;
        }
        if (endsWith(name, entryEnding)) {
            entries.push_back({path, status.size, status.modified});
        } else if (removeAbandoned &&
                   name.find(std::string(entryEnding) + ".tmp") != std::string::npos &&
                   now - status.modified / 1000000000LL > abandonedAfterSeconds) {
            removeFile(path);
        }
    }
    return entries;
}

} // namespace

std::string cacheEntryKey(const std::string& modelSha256)
{
    return std::string(cacheEntryFormat) + "\nmodel_sha256\t" + modelSha256 + "\nopencascade\t" +
           libraryVersion() + "\ntarnfold\t" + toolVersion() + "\nreader_settings\t" +
           sha256Hex(describeReaderSettings()) + "\n";
}

std::string cacheEntryPath(const CacheSettings& cache, const std::string& key)
{
    return narrowForm(nativePath(cache.directory) / (sha256Hex(key) + entryEnding));
}

CacheLookup findCacheEntry(const CacheSettings& cache, const std::string& key)
{
    CacheLookup lookup;
    const std::string path = cacheEntryPath(cache, key);
    std::string bytes;
    if (const int error = readToEnd(path, bytes); error != 0) {
        if (error != ENOENT) lookup.problem = "cannot be read: " + systemReason(error);
        return lookup;
    }
    CacheEntry entry;
    lookup.problem = parseCacheEntry(std::move(bytes), key, entry);
    if (!lookup.problem.empty()) return lookup;
    // Used now: the least recently used entries go first. A cache that others keep may not let
    // this process say so, and need not.
    touchFile(path);
    lookup.entry = std::move(entry);
    return lookup;
}

std::string keepCacheEntry(const CacheSettings& cache, const std::string& key,
                           const std::string& text)
{
    const std::string path = cacheEntryPath(cache, key);
    if (text.size() > cache.sizeLimit) {
        return "its entry of " + describeSize(text.size()) +
               " is larger than the cache's limit of " + describeSize(cache.sizeLimit);
    }
    std::error_code error;
    std::filesystem::create_directories(nativePath(cache.directory), error);
    if (error) {
        return "cannot create the cache directory '" + cache.directory +
               "': " + systemReason(error.value());
    }
    std::vector<StoredEntry> entries = listEntries(cache.directory, true);
    std::uint64_t total = text.size();
    for (const StoredEntry& entry : entries) {
        if (entry.path != path) total += entry.size;
    }
    std::sort(entries.begin(), entries.end(), usedEarlier);
    for (const StoredEntry& entry : entries) {
        if (total <= cache.sizeLimit) break;
        if (entry.path == path) continue;
        // Another run may have removed it already: it is gone either way.
        removeFile(entry.path);
        total -= entry.size;
    }
    return writeWholeFile(path, text);
}

CacheUsage measureCache(const std::string& directory)
{
    CacheUsage usage;
    for (const StoredEntry& entry : listEntries(directory, false)) {
        ++usage.entries;
        usage.bytes += entry.size;
    }
    return usage;
}

std::string describeCacheHolding(const CacheSettings& cache, const CacheUsage& usage)
{
    return std::to_string(usage.entries) + (usage.entries == 1 ? " entry, " : " entries, ") +
           describeSize(usage.bytes) + " of " + describeSize(cache.sizeLimit);
}

std::string describeSize(std::uint64_t bytes)
{
    const char* units[] = {"B", "KiB", "MiB", "GiB", "TiB"};
    double value = double(bytes);
    int unit = 0;
    while (value >= 1024 && unit < 4) {
        value /= 1024;
        ++unit;
    }
    char text[32];
    if (unit == 0 || value == double(std::uint64_t(value))) {
        std::snprintf(text, sizeof text, "%.0f %s", value, units[unit]);
    } else {
        std::snprintf(text, sizeof text, "%.1f %s", value, units[unit]);
    }
    return text;
}
