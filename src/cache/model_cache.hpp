#pragma once

#include "cache_entry.hpp"

#include <cstdint>
#include <optional>
#include <string>

/// The bound of a model cache's directory unless one is given: 2 GiB.
constexpr std::uint64_t defaultCacheSize = std::uint64_t(2) << 30;

/// Where the models are kept and how much room they may take.
struct CacheSettings {
    std::string directory;                      ///< "" for no cache
    std::uint64_t sizeLimit = defaultCacheSize; ///< bytes of entries the directory may hold
};

/// The lines that an entry for the model of this SHA-256 begins with, and is found by: the
/// entry's format, the model's SHA-256, the versions of OpenCASCADE and tarnfold, and the digest
/// of the reader settings the tool pins. Each of them changes what a model gives.
std::string cacheEntryKey(const std::string& modelSha256);

/// The path of the entry of `key` in the cache: named by the key's SHA-256.
std::string cacheEntryPath(const CacheSettings& cache, const std::string& key);

/// What the cache holds for a key.
struct CacheLookup {
    std::optional<CacheEntry> entry; ///< the entry, whole and checked
    std::string problem; ///< why a file at the entry's name is no entry of the key; "" when none
};

/// Reads the entry of `key`, checked by its digest; one that is used is marked as used now, for
/// the least recently used entries to be the ones removed.
CacheLookup findCacheEntry(const CacheSettings& cache, const std::string& key);

/// Stores `text` as the entry of `key`, whole: a reader sees the old entry, the new one, or
/// none. The least recently used entries are removed first, as far as the size limit asks, and
/// temporaries left by writers killed long ago. Returns "" or why it was not stored.
std::string keepCacheEntry(const CacheSettings& cache, const std::string& key,
                           const std::string& text);

/// What a cache directory holds.
struct CacheUsage {
    int entries = 0;
    std::uint64_t bytes = 0;
};

/// The entries in `directory` and the bytes they take; none for a directory that is not there.
CacheUsage measureCache(const std::string& directory);

/// What `usage` of the cache is: "12 entries, 104.2 MiB of 2 GiB".
std::string describeCacheHolding(const CacheSettings& cache, const CacheUsage& usage);

/// A size in bytes as people read it: "512 B", "8.3 MiB", "2 GiB".
std::string describeSize(std::uint64_t bytes);
