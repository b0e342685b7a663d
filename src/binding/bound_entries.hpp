#pragma once

#include "../record/record_files.hpp"

#include <cstddef>
#include <string>
#include <vector>

/// One entry of a face list file: its record at `index`.
struct ListEntry {
    const ListFileNow* list = nullptr;
    std::size_t index = 0;
};

/// What tells the face that each entry of a dataset's lists was written for.
struct BoundEntries {
    std::string problem;   ///< the record is there but cannot be read: an error of its own
    bool recorded = false; ///< the record of the last run tells; otherwise face files, if any
    /// The record; without one, the face files found for listed numbers as a record names its
    /// faces (each with its bytes now, the model unknown, the outline beside them if any).
    RunRecord record;
    std::vector<ListEntry> bound;   ///< to check when the model changed, in reading order
    std::vector<ListEntry> unbound; ///< taken as written for the model as it is now
};

/// Which entries of the lists of the dataset at `root` are bound, and to what: the one rule
/// that a run's check, --follow and the table's stale column share. With a record, an entry is
/// bound when the record names its face number in a list of its kind, or when its list is byte
/// for byte the recorded one though it selected no face then; without a record, when its number
/// has a face file in data/, which stands for the face it was written for.
BoundEntries findBoundEntries(const std::string& root, const std::vector<ListFileNow>& lists);
/// The entries point into the lists: a temporary would leave them dangling.
BoundEntries findBoundEntries(const std::string& root, std::vector<ListFileNow>&& lists) = delete;

/// The face number that `entry` gives.
double entryNumber(const ListEntry& entry);

/// Where `entry` stands, as lines name it: "<list path>:<line>".
std::string describeEntryPlace(const ListEntry& entry);

/// One note per entry of `unbound` that selects one of the model's `faceCount` faces, saying it
/// is taken as written for the model as it is now (`followed` adds that it is not followed) and
/// why; the first 20 named, the rest counted.
std::vector<std::string> describeUnboundEntries(const BoundEntries& entries, int faceCount,
                                                bool followed);
