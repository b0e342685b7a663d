#include "list_rewrite.hpp"

#include "../console/error_printer.hpp"
#include "../intake/dataset_inputs.hpp"
#include "../intake/list_entries.hpp"
#include "../intake/list_records.hpp"
#include "../output/whole_file.hpp"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <fstream>
#include <sstream>

#include <unistd.h>

namespace fs = std::filesystem;

namespace {

std::string joinNumbers(const std::vector<int>& numbers)
{
    std::string text;
    for (const int number : numbers) text += (text.empty() ? "" : ", ") + std::to_string(number);
    return text;
}

// The new numbers for a record naming old face `face`, or why there are none to be had.
std::vector<int> carryRecord(const FaceMatch& match, bool allowSplitMerge, bool allowReshaped,
                             std::string& refusal)
{
    const std::string face = "face " + std::to_string(match.oldNumber);
    switch (match.kind) {
    case MatchKind::same:
    case MatchKind::changed: return match.newNumbers;
    case MatchKind::split:
    case MatchKind::merged:
        if (allowSplitMerge) return match.newNumbers;
        refusal = face +
                  (match.kind == MatchKind::split ? " was split into faces " :
                                                    " was merged into face ") +
                  joinNumbers(match.newNumbers) +
                  "; --allow-split-merge carries its record over, with its further numbers "
                  "counted for each new face";
        return {};
    case MatchKind::reshaped:
        if (allowReshaped) return match.newNumbers;
        refusal = face + " was reshaped into face " + joinNumbers(match.newNumbers) + " (" +
                  match.reason +
                  "); --allow-reshaped carries its record over, whose further numbers may need "
                  "new values";
        return {};
    case MatchKind::gone: refusal = face + " is gone: " + match.reason; return {};
    case MatchKind::unsure: break;
    }
    refusal = face + " is unsure: " + match.reason;
    return {};
}

std::string describeStrayEntry(double entry, std::size_t faceCount)
{
    char text[32];
    const auto end = std::to_chars(text, text + sizeof text, entry).ptr;
    return "entry " + std::string(text, end) + " selects no face of the old revision, which has " +
           std::to_string(faceCount) + (faceCount == 1 ? " face" : " faces");
}

bool readWhole(const fs::path& path, std::string& text, std::string& problem)
{
    errno = 0;
    std::ifstream file(path, std::ios::binary);
    std::ostringstream bytes;
    if (file.is_open()) bytes << file.rdbuf();
    if (!file.is_open() || file.bad()) {
        problem = "cannot read '" + path.string() + "': " + systemReason(errno);
        return false;
    }
    text = bytes.str();
    return true;
}

// What a list file was before it was replaced, to put it back exactly.
struct ReplacedList {
    const ListChange* change = nullptr;
    std::string copy;             ///< its old copy, "" before it is made
    fs::path copies;              ///< the copies' directory, when this rewrite made it
    bool wasLink = false;
    fs::path linkTarget;
    fs::perms mode = fs::perms::unknown;
    bool replaced = false;
};

// Keeps `change.before` as data/<list>.orig/<name>, or <name>.2, .3, ... when taken. Returns
// the copy's name, or "" with `problem` set.
std::string keepOldCopy(ReplacedList& step, std::string& problem)
{
    const ListChange& change = *step.change;
    const fs::path directory = change.path.parent_path();
    const fs::path copies = directory.parent_path() / (directory.filename().string() + ".orig");
    std::error_code error;
    if (fs::create_directory(copies, error)) step.copies = copies;
    if (error) {
        problem = "cannot make '" + copies.string() + "': " + error.message();
        return {};
    }
    const std::string name = (copies / change.path.filename()).string();
    for (int copy = 1; copy < 10000; ++copy) {
        const std::string candidate = copy == 1 ? name : name + "." + std::to_string(copy);
        switch (writeNewFile(candidate, change.before, problem)) {
        case NewFile::written: return candidate;
        case NewFile::failed: return {};
        case NewFile::taken: break;
        }
    }
    problem = "no free name for a copy of '" + change.path.string() + "' in '" +
              copies.string() + "'";
    return {};
}

// The list as the file or link it was before, with the mode it had.
std::string putBack(const ReplacedList& step)
{
    const ListChange& change = *step.change;
    std::error_code error;
    if (step.wasLink) {
        // Made beside it, then renamed over the rewritten file: the list is never missing.
        const fs::path link = change.path.string() + ".undo" + std::to_string(::getpid());
        fs::remove(link, error);
        fs::create_symlink(step.linkTarget, link, error);
        if (!error) fs::rename(link, change.path, error);
        if (error) {
            fs::remove(link);
            return "cannot put back the link '" + change.path.string() + "': " + error.message();
        }
        return {};
    }
    const std::string problem = writeWholeFile(change.path.string(), change.before);
    if (problem.empty() && step.mode != fs::perms::unknown) {
        fs::permissions(change.path, step.mode, error);
    }
    return problem;
}

// Undoes every step taken, the last first. Returns what could not be undone.
std::vector<std::string> undoSteps(std::vector<ReplacedList>& steps)
{
    std::vector<std::string> problems;
    for (auto step = steps.rbegin(); step != steps.rend(); ++step) {
        if (step->replaced) {
            const std::string problem = putBack(*step);
            if (!problem.empty()) problems.push_back(problem + "; it names faces of the new model");
        }
        std::error_code error;
        if (!step->copy.empty()) fs::remove(step->copy, error);
        if (!step->copies.empty()) fs::remove(step->copies, error); // only when empty again
    }
    return problems;
}

} // namespace

ListRewriteReport applyListChanges(const std::vector<ListChange>& changes)
{
    ListRewriteReport report;
    std::vector<ReplacedList> steps;
    for (const ListChange& change : changes) {
        ReplacedList& step = steps.emplace_back();
        step.change = &change;
        std::error_code error;
        const fs::file_status link = fs::symlink_status(change.path, error);
        step.wasLink = fs::is_symlink(link);
        if (step.wasLink) step.linkTarget = fs::read_symlink(change.path, error);
        if (!error && !step.wasLink) step.mode = link.permissions();
        std::string problem;
        if (error) {
            problem = "cannot look at '" + change.path.string() + "': " + error.message();
        } else {
            step.copy = keepOldCopy(step, problem);
        }
        if (problem.empty()) {
            problem = writeWholeFile(change.path.string(), change.after);
            step.replaced = problem.empty();
        }
        if (problem.empty()) {
            // A rewritten list keeps the mode it had; a shared list linked to gets a file of its
            // own, as new files are made.
            if (step.mode != fs::perms::unknown) fs::permissions(change.path, step.mode, error);
            report.notes.push_back("rewrote '" + change.path.string() +
                                   "'; the old list is kept as '" + step.copy + "'");
            continue;
        }
        // A dataset whose lists name faces of two revisions would be worse than either.
        report.problems.push_back(problem);
        const std::vector<std::string> left = undoSteps(steps);
        report.problems.insert(report.problems.end(), left.begin(), left.end());
        report.notes.clear();
        break;
    }
    return report;
}

ListRewriteReport rewriteDatasetLists(const fs::path& root, const std::vector<FaceMatch>& matches,
                                      bool allowSplitMerge, bool allowReshaped,
                                      const std::vector<std::string>* carried,
                                      const KeptEntries* kept)
{
    ListRewriteReport report;
    std::vector<ListChange> changes;
    for (const DatasetFile& file : listDatasetFiles(root)) {
        if (file.kind == DatasetFileKind::locator) continue;
        if (carried &&
            std::find(carried->begin(), carried->end(), file.path.string()) == carried->end()) {
            continue;
        }
        ListChange change{file.path, {}, {}};
        std::string problem;
        if (!readWhole(file.path, change.before, problem)) {
            report.problems.push_back(problem);
            continue;
        }
        const std::vector<ListRecord> records =
            findListRecords(change.before, recordLength(file.kind));
        std::vector<std::vector<int>> newNumbers(records.size());
        std::vector<double> expected;
        for (std::size_t i = 0; i < records.size(); ++i) {
            const double entry = records[i].faceNumber;
            const std::string where = file.path.string() + ":" + std::to_string(records[i].line);
            if (kept && kept->count({file.path.string(), i})) {
                expected.push_back(entry);
                continue;
            }
            if (!selectsFace(entry, int(matches.size()))) {
                // Whatever it was meant to select, nobody can say what it selects now.
                report.problems.push_back(where + ": " + describeStrayEntry(entry, matches.size()));
                continue;
            }
            std::string refusal;
            newNumbers[i] = carryRecord(matches[std::size_t(entry) - 1], allowSplitMerge,
                                        allowReshaped, refusal);
            // A face that keeps its number keeps its text too ("4.0" stays "4.0").
            if (newNumbers[i] == std::vector<int>{int(entry)}) newNumbers[i].clear();
            if (!refusal.empty()) report.problems.push_back(where + ": " + refusal);
            if (newNumbers[i].empty() && refusal.empty()) expected.push_back(entry);
            expected.insert(expected.end(), newNumbers[i].begin(), newNumbers[i].end());
        }
        change.after = rewriteListText(change.before, records, newNumbers);
        // Read back as the reader will read it: the new numbers, and no record more or less.
        std::vector<double> readBack;
        for (const ListRecord& record : findListRecords(change.after, recordLength(file.kind))) {
            readBack.push_back(record.faceNumber);
        }
        if (report.problems.empty() && readBack != expected) {
            report.problems.push_back(file.path.string() +
                                      ": the rewritten list would not read back as meant");
        }
        if (change.after != change.before) changes.push_back(std::move(change));
    }
    if (!report.problems.empty()) return report;
    return applyListChanges(changes);
}
