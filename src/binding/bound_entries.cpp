#include "bound_entries.hpp"

#include "../intake/list_entries.hpp"
#include "../record/record_text.hpp"
#include "../record/sha256.hpp"

#include <limits>
#include <map>

namespace {

FaceList kindOf(const ListFileNow& list)
{
    return list.kind == DatasetFileKind::restraint ? FaceList::restraint : FaceList::force;
}

bool names(FaceList recorded, FaceList kind)
{
    return recorded == kind || recorded == FaceList::both;
}

// Without a record, the face files of an earlier run stand for it: one recorded face for each
// listed number that has one, as it is now. Whatever else stands at such a name (a link, a
// directory, text that is no face) no run wrote, and it tells nothing.
void bindToFaceFiles(const std::string& root, const std::vector<ListFileNow>& lists,
                     BoundEntries& entries)
{
    std::map<int, FaceList> files; // listed numbers with a face file, and the lists naming them
    std::map<int, bool> looked;
    for (const ListFileNow& list : lists) {
        for (std::size_t i = 0; i < list.records.size(); ++i) {
            const double number = list.records[i].faceNumber;
            bool found = false;
            if (selectsFace(number, std::numeric_limits<int>::max())) {
                const auto [at, fresh] = looked.emplace(int(number), false);
                if (fresh) {
                    at->second = mayBeFaceFile(dataFilePath(root, faceFileName(at->first)));
                }
                found = at->second;
            }
            if (!found) {
                entries.unbound.push_back({&list, i});
                continue;
            }
            entries.bound.push_back({&list, i});
            const auto [at, fresh] = files.emplace(int(number), kindOf(list));
            if (!fresh && at->second != kindOf(list)) at->second = FaceList::both;
        }
    }
    RunRecord& record = entries.record;
    for (const auto& [number, kind] : files) {
        std::string bytes, problem, sha256;
        const std::string file = faceFileName(number);
        // A file that cannot be read keeps no digest, and is told as such when it is compared.
        if (readRegularFile(dataFilePath(root, file), bytes, problem) == FileReading::read) {
            sha256 = sha256Hex(bytes);
        }
        record.faces.push_back({number, kind, {number}, file, sha256});
        record.modelFaces = number;
    }
    std::string outline, problem;
    if (!files.empty() && readRegularFile(dataFilePath(root, outlineFileName), outline, problem) ==
                              FileReading::read) {
        record.outlineSha256 = sha256Hex(outline);
    }
}

} // namespace

BoundEntries findBoundEntries(const std::string& root, const std::vector<ListFileNow>& lists)
{
    BoundEntries entries;
    const RecordReading reading = readRunRecord(root);
    if (!reading.problem.empty()) {
        entries.problem = reading.problem;
        return entries;
    }
    if (!reading.exists) {
        bindToFaceFiles(root, lists, entries);
        return entries;
    }
    entries.recorded = true;
    entries.record = reading.record;
    const RunRecord& record = entries.record;
    for (const ListFileNow& list : lists) {
        const RecordedList* recorded = findRecordedList(record, list.name);
        const bool asItWas = list.read && recorded && recorded->sha256 == list.sha256;
        for (std::size_t i = 0; i < list.records.size(); ++i) {
            const double number = list.records[i].faceNumber;
            bool bound = asItWas; // a list as it was meant even an entry that selected nothing
            if (selectsFace(number, record.modelFaces)) {
                const RecordedFace* face = findRecordedFace(record, int(number));
                bound = face && names(face->list, kindOf(list));
            }
            (bound ? entries.bound : entries.unbound).push_back({&list, i});
        }
    }
    return entries;
}

double entryNumber(const ListEntry& entry)
{
    return entry.list->records[entry.index].faceNumber;
}

std::string describeEntryPlace(const ListEntry& entry)
{
    return entry.list->path + ":" + std::to_string(entry.list->records[entry.index].line);
}

std::vector<std::string> describeUnboundEntries(const BoundEntries& entries, int faceCount,
                                                bool followed)
{
    // A list rewritten by hand may hold thousands: the first few are named, the rest counted.
    constexpr int namedEntries = 20;
    const std::string why = entries.recorded
                                ? "the record of the last run does not bind it"
                                : "no record of the last run binds it, and it has no face file";
    const std::string taken = " taken as written for the model as it is now" +
                              std::string(followed ? ", and not followed" : "");
    std::vector<std::string> notes;
    int count = 0;
    for (const ListEntry& entry : entries.unbound) {
        if (!selectsFace(entryNumber(entry), faceCount) || ++count > namedEntries) continue;
        notes.push_back(describeEntryPlace(entry) + ": face " + formatReal(entryNumber(entry)) +
                        " is" + taken + ": " + why);
    }
    if (count > namedEntries) {
        const int more = count - namedEntries;
        notes.push_back(std::to_string(more) + " more list " +
                        (more == 1 ? "entry is" : "entries are") + taken);
    }
    return notes;
}
