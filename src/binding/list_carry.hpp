#pragma once

#include "../output/file_set.hpp"

#include <filesystem>
#include <string>
#include <vector>

/// One list file as it is and as it is to be.
struct ListChange {
    std::filesystem::path path;
    std::string before, after;
};

/// What carrying a dataset's lists to the new revision did, or why it did nothing.
struct ListRewriteReport {
    std::vector<std::string> problems; ///< one line each; when any, no list file was changed
    std::vector<std::string> notes;    ///< one line per list file rewritten, naming its old copy
};

/// Where a carry of the lists of the dataset at `root` prepares its files: <root>/data/carry.tmp,
/// outside the list directories, whose every file is read as a list.
std::string carryJournal(const std::string& root);

/// Carries the lists of the dataset at `root` over in one step, with `others` (the record of
/// the carried lists): each list is kept first as data/<list>.orig/<name> (or <name>.2, .3, ...,
/// never over an earlier copy), then replaced (a symbolic link by a file of its own, a file
/// keeping its mode). All of it happens or none of it, even when the process is killed at any
/// moment; a carry that a kill stopped is settled by settleInterruptedCarry.
ListRewriteReport applyListChanges(const std::string& root, const std::vector<ListChange>& changes,
                                   const std::vector<SetFile>& others = {});

/// Settles a carry of the lists of the dataset at `root` that was stopped half way: completes
/// it once it had begun to replace files, or drops what it had prepared, so that the lists and
/// the record are either as they were or carried once. Every command calls it before it reads
/// a dataset's lists. Returns notes that say what was done; throws std::runtime_error, with one
/// line, when it cannot settle the carry, and the lists are then not to be read.
std::vector<std::string> settleInterruptedCarry(const std::string& root);
