#pragma once

#include "../console/library_messages.hpp"
#include "../record/record_keeping.hpp"

#include <cstddef>
#include <string>
#include <vector>

#include <TopoDS_Shape.hxx>

/// The first line of every entry; a change of the entry's layout changes its number.
constexpr const char* cacheEntryFormat = "tarnfold model cache entry 1";

/// What a run takes from a model, kept so that a later run need not read the model again: the
/// reader's messages, the number of shapes the transfer gave, the bytes of every face's file as
/// the export writes it, and the facts a record takes from the model.
struct CacheEntry {
    std::string text; ///< the entry's bytes as stored, key and digest included
    std::string modelPath; ///< the path the model was read by, which its messages may name
    std::vector<LibraryMessage> messages;
    int shapeCount = 0;
    ModelFacts facts;
    /// Where face N's bytes begin in `text`, at N - 1; the last item is where the faces end.
    std::vector<std::size_t> faceStarts;
};

/// The faces of the model the entry was made of.
int countCachedFaces(const CacheEntry& entry);

/// The bytes of the file of face `number` (from 1), exactly as faceFileBytes gave them.
std::string cachedFaceBytes(const CacheEntry& entry, int number);

/// The entry of the model read from `modelPath` as `shape` under `key` (its lines, see
/// cacheEntryKey), with the reader's `messages`: every
/// face's bytes made with faceFileBytes, on as many of the processors this process may use as
/// help. `expectedSize` is room set aside for the entry at once, so that it never needs twice
/// its size while it grows: room not written to takes no memory. False, with `entry` left
/// alone, when a face cannot be written.
bool makeCacheEntry(const std::string& key, const std::string& modelPath, const TopoDS_Shape& shape,
                    int shapeCount, const std::vector<LibraryMessage>& messages,
                    const ModelFacts& facts, std::size_t expectedSize, CacheEntry& entry);

/// Reads the bytes of a stored entry, checked against the digest they end with and against
/// `key`. Returns "" or why they are no entry of `key`, worded to follow "the entry": "is
/// damaged or cut short (...)", "is of another format", "was made for another model, ...".
std::string parseCacheEntry(std::string text, const std::string& key, CacheEntry& entry);
