#include "list_rewrite.hpp"

#include "../console/error_printer.hpp"
#include "../intake/list_entries.hpp"
#include "../intake/list_records.hpp"
#include "../output/whole_file.hpp"
#include "../paths/file_status.hpp"
#include "../record/record_files.hpp"
#include "../text/number_text.hpp"

#include <algorithm>
#include <set>

namespace fs = std::filesystem;

namespace {

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
    return "entry " + formatReal(entry) + " selects no face of the old revision, which has " +
           std::to_string(faceCount) + (faceCount == 1 ? " face" : " faces");
}

} // namespace

std::vector<std::string> planListChanges(const fs::path& root,
                                         const std::vector<FaceMatch>& matches,
                                         bool allowSplitMerge, bool allowReshaped,
                                         const std::vector<std::string>* carried,
                                         const KeptEntries* kept,
                                         std::vector<ListChange>& changes)
{
    std::vector<std::string> problems;
    for (const DatasetFile& file : listDatasetFiles(root)) {
        if (file.kind == DatasetFileKind::locator) continue;
        if (carried &&
            std::find(carried->begin(), carried->end(), file.path.string()) == carried->end()) {
            continue;
        }
        ListChange change{file.path, {}, {}};
        if (const int error = readToEnd(file.path.string(), change.before, false); error != 0) {
            problems.push_back("cannot read '" + file.path.string() + "': " + systemReason(error));
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
                problems.push_back(where + ": " + describeStrayEntry(entry, matches.size()));
                continue;
            }
            std::string refusal;
            newNumbers[i] = carryRecord(matches[std::size_t(entry) - 1], allowSplitMerge,
                                        allowReshaped, refusal);
            // A face that keeps its number keeps its text too ("4.0" stays "4.0").
            if (newNumbers[i] == std::vector<int>{int(entry)}) newNumbers[i].clear();
            if (!refusal.empty()) problems.push_back(where + ": " + refusal);
            if (newNumbers[i].empty() && refusal.empty()) expected.push_back(entry);
            expected.insert(expected.end(), newNumbers[i].begin(), newNumbers[i].end());
        }
        change.after = rewriteListText(change.before, records, newNumbers);
        // Read back as the reader will read it: the new numbers, and no record more or less.
        std::vector<double> readBack;
        for (const ListRecord& record : findListRecords(change.after, recordLength(file.kind))) {
            readBack.push_back(record.faceNumber);
        }
        if (problems.empty() && readBack != expected) {
            problems.push_back(file.path.string() +
                               ": the rewritten list would not read back as meant");
        }
        if (change.after != change.before) changes.push_back(std::move(change));
    }
    return problems;
}

BoundLists selectBoundLists(const BoundEntries& entries, int faceCount)
{
    BoundLists bound;
    std::set<int> numbers;
    for (const ListEntry& entry : entries.bound) {
        const ListFileNow& list = *entry.list;
        if (bound.paths.empty() || bound.paths.back() != list.path) bound.paths.push_back(list.path);
        std::vector<double>& faces = list.kind == DatasetFileKind::restraint
                                         ? bound.entries.restraintFaces
                                         : bound.entries.forceFaces;
        faces.push_back(entryNumber(entry));
        if (selectsFace(entryNumber(entry), faceCount)) numbers.insert(int(entryNumber(entry)));
    }
    for (const ListEntry& entry : entries.unbound) bound.kept.insert({entry.list->path, entry.index});
    bound.oldNumbers.assign(numbers.begin(), numbers.end());
    return bound;
}
