#include "list_carry.hpp"

#include "../paths/file_status.hpp"
#include "../record/record_files.hpp"

#include <algorithm>
#include <stdexcept>

namespace fs = std::filesystem;

namespace {

// data/<list>.orig/<name>, or <name>.2, .3, ... when taken, on disk or by another copy of this
// carry.
std::string chooseCopyName(const fs::path& list, const std::vector<SetFile>& files)
{
    const fs::path directory = list.parent_path();
    const std::string name = (directory.parent_path() / (directory.filename().string() + ".orig") /
                              list.filename())
                                 .string();
    for (int copy = 1;; ++copy) {
        const std::string candidate = copy == 1 ? name : name + "." + std::to_string(copy);
        FileStatus status;
        const bool taken =
            linkStatusOf(candidate, status) == 0 ||
            std::any_of(files.begin(), files.end(),
                        [&](const SetFile& file) { return file.path == candidate; });
        if (!taken) return candidate;
    }
}

} // namespace

std::string carryJournal(const std::string& root)
{
    return dataFilePath(root, "carry.tmp");
}

ListRewriteReport applyListChanges(const std::string& root, const std::vector<ListChange>& changes,
                                   const std::vector<SetFile>& others)
{
    ListRewriteReport report;
    // The copies first and the record last: a reader that comes while the files are renamed
    // never finds a list without its copy, nor a record of lists not yet in place.
    std::vector<SetFile> files;
    std::vector<std::string> notes;
    for (const ListChange& change : changes) {
        const std::string copy = chooseCopyName(change.path, files);
        files.push_back({copy, change.before, std::nullopt});
        notes.push_back("rewrote '" + change.path.string() + "'; the old list is kept as '" +
                        copy + "'");
    }
    for (const ListChange& change : changes) {
        files.push_back({change.path.string(), change.after, change.before});
    }
    files.insert(files.end(), others.begin(), others.end());
    report.problems = replaceFileSet(carryJournal(root), files);
    if (report.problems.empty()) report.notes = notes;
    return report;
}

std::vector<std::string> settleInterruptedCarry(const std::string& root)
{
    const std::string journal = carryJournal(root);
    const SetSettling settling = settleFileSet(journal);
    if (settling.found == SetFound::busy) {
        throw std::runtime_error("the lists of '" + root + "' are being carried over by another "
                                 "process, in '" + journal + "'; run again once it has ended");
    }
    if (!settling.problem.empty()) {
        throw std::runtime_error("cannot settle the carry of the lists of '" + root +
                                 "' that was stopped half way: " + settling.problem +
                                 "; the lists are not read until it is settled");
    }
    const std::string carry = "a carry of the lists of '" + root + "' ";
    switch (settling.found) {
    case SetFound::dropped:
        return {carry + "was stopped before it changed any file; what it had prepared in '" +
                journal + "' is removed"};
    case SetFound::completed:
        return {carry + "was stopped half way, and is now complete: the lists and the record "
                        "name the new revision"};
    case SetFound::undone:
        return {carry + "was turned back (" + settling.reason +
                "): the lists and the record are as they were before it"};
    case SetFound::none:
    case SetFound::busy: break;
    }
    return {};
}
