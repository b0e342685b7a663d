#include "list_rewrite.hpp"

#include "../console/error_printer.hpp"
#include "../intake/dataset_inputs.hpp"
#include "../intake/list_entries.hpp"
#include "../intake/list_records.hpp"
#include "../output/whole_file.hpp"

#include <cerrno>
#include <fstream>
#include <sstream>

namespace fs = std::filesystem;

namespace {

// One list file as it is and as it is to be.
struct ListChange {
    fs::path path;
    std::string before, after;
};

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

// Keeps `change.before` as data/<list>.orig/<name>, or <name>.2, .3, ... when taken. Returns
// the copy's name, or "" with `problem` set.
std::string keepOldCopy(const ListChange& change, std::string& problem)
{
    const fs::path directory = change.path.parent_path();
    const fs::path copies = directory.parent_path() / (directory.filename().string() + ".orig");
    std::error_code error;
    fs::create_directory(copies, error);
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

} // namespace

ListRewriteReport rewriteDatasetLists(const fs::path& root, const std::vector<FaceMatch>& matches,
                                      bool allowSplitMerge, bool allowReshaped)
{
    ListRewriteReport report;
    std::vector<ListChange> changes;
    for (const DatasetFile& file : listDatasetFiles(root)) {
        if (file.kind == DatasetFileKind::locator) continue;
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
            if (!selectsFace(entry, int(matches.size()))) {
                expected.push_back(entry); // it selected no face before, and stays
                continue;
            }
            std::string refusal;
            newNumbers[i] = carryRecord(matches[std::size_t(entry) - 1], allowSplitMerge,
                                        allowReshaped, refusal);
            // A face that keeps its number keeps its text too ("4.0" stays "4.0").
            if (newNumbers[i] == std::vector<int>{int(entry)}) newNumbers[i].clear();
            if (!refusal.empty()) {
                report.problems.push_back(file.path.string() + ":" +
                                          std::to_string(records[i].line) + ": " + refusal);
            }
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

    std::vector<const ListChange*> replaced;
    for (const ListChange& change : changes) {
        std::string problem;
        const std::string copy = keepOldCopy(change, problem);
        if (problem.empty()) problem = writeWholeFile(change.path.string(), change.after);
        if (problem.empty()) {
            replaced.push_back(&change);
            report.notes.push_back("rewrote '" + change.path.string() +
                                   "'; the old list is kept as '" + copy + "'");
            continue;
        }
        // A dataset whose lists name faces of two revisions would be worse than either.
        report.problems.push_back(problem);
        for (const ListChange* done : replaced) {
            const std::string undo = writeWholeFile(done->path.string(), done->before);
            if (!undo.empty()) {
                report.problems.push_back(undo + "; it names faces of the new model");
            }
        }
        report.notes.clear();
        break;
    }
    return report;
}
