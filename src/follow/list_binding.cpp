#include "list_binding.hpp"

#include "outline_moves.hpp"

#include "../intake/list_entries.hpp"
#include "../model/face_numbering.hpp"
#include "../record/sha256.hpp"

#include <algorithm>
#include <charconv>
#include <map>
#include <set>

namespace {

std::string joinNumbers(const std::vector<int>& numbers)
{
    std::string text;
    for (const int number : numbers) text += (text.empty() ? "" : ", ") + std::to_string(number);
    return text;
}

// How the answer for face `number` tells that it is no longer that face; "" when it still is.
std::string describeAnswer(int number, const FaceMatch& match)
{
    const std::string numbers = joinNumbers(match.newNumbers);
    switch (match.kind) {
    case MatchKind::same:
        if (match.newNumbers == std::vector<int>{number}) return {};
        return "it is face " + numbers + " now";
    case MatchKind::changed: return "it changed, and is face " + numbers + " now";
    case MatchKind::split: return "it was split into faces " + numbers;
    case MatchKind::merged: return "it was merged into face " + numbers;
    case MatchKind::gone: return "it is gone: " + match.reason;
    case MatchKind::unsure: break;
    }
    return "it cannot be told: " + match.reason;
}

std::string entryText(double entry)
{
    char text[32];
    const auto end = std::to_chars(text, text + sizeof text, entry).ptr;
    return std::string(text, end);
}

} // namespace

ListBinding checkListBinding(const std::string& root, const RecordReading& reading,
                             const std::vector<ListFileNow>& lists, SampledModel& model)
{
    ListBinding binding;
    if (!reading.exists) return binding;
    if (!reading.problem.empty()) {
        binding.problems.push_back(reading.problem +
                                   "; remove it to take the lists as written for the model as "
                                   "it is now");
        return binding;
    }
    const RunRecord& record = reading.record;
    RunModel& runModel = *model.model;
    const std::string change = describeModelChange(record, runModel);
    if (change.empty()) return binding;

    // The entries of the lists that are as they were, by the face they selected then.
    struct Entry {
        std::size_t order; // in the lists' reading order
        const ListFileNow* list;
        const ListRecord* record;
    };
    std::size_t order = 0;
    std::map<int, std::vector<Entry>> entries;
    std::map<int, std::string> verdicts; // why a face number is not the face it was
    for (const ListFileNow& list : lists) {
        const RecordedList* recorded = findRecordedList(record, list.name);
        if (!list.read || !recorded || recorded->sha256 != list.sha256) {
            if (list.read) {
                binding.notes.push_back("'" + list.path + "' changed since the last run: it is "
                                        "taken as written for the model as it is now");
            }
            continue;
        }
        for (const ListRecord& listRecord : list.records) {
            const double e = listRecord.faceNumber;
            ++order;
            if (selectsFace(e, record.modelFaces)) {
                entries[int(e)].push_back({order, &list, &listRecord});
            } else if (selectsFace(e, runModel.faceCount)) {
                // It selected nothing then: whatever it selects now, the list did not mean it.
                entries[int(e)].push_back({order, &list, &listRecord});
                verdicts[int(e)] = "it selected no face of the model the list was written for";
            }
        }
    }

    std::vector<int> toMatch;
    std::string moved;
    RecordedOutline outline;
    if (!entries.empty()) outline = readRecordedOutline(root, record);
    if (!entries.empty() && !outline.read) {
        moved = "the whole old model cannot be told from a moved one: " + outline.problem;
    } else if (!entries.empty()) {
        const ModelOutline& newOutline = wholeOutlineOf(runModel);
        Bnd_Box both = outlineBounds(outline.outline);
        both.Add(outlineBounds(newOutline));
        moved = findOutlineMove(outline.outline, newOutline, measureTolerance(both));
    }
    // A face whose face file would be the recorded one, byte for byte, is the face it was.
    std::set<int> sameBytes;
    visitFaces(runModel.shape, [&](int number, const TopoDS_Face& face) {
        if (!entries.count(number) || verdicts.count(number) || !moved.empty()) return;
        const RecordedFace* recorded = findRecordedFace(record, number);
        if (recorded && sha256Hex(faceFileBytes(face)) == recorded->sha256) {
            sameBytes.insert(number);
        }
    });
    for (const auto& [number, uses] : entries) {
        if (verdicts.count(number) || sameBytes.count(number)) continue;
        if (!moved.empty()) {
            verdicts[number] = "it cannot be told: " + moved;
            continue;
        }
        toMatch.push_back(number);
    }
    if (!toMatch.empty()) {
        const std::vector<FaceMatch> answers =
            followRecordedFaces(root, record, outline, toMatch, model);
        for (std::size_t i = 0; i < toMatch.size(); ++i) {
            const std::string why = describeAnswer(toMatch[i], answers[i]);
            if (!why.empty()) verdicts[toMatch[i]] = why;
        }
    }

    std::vector<std::pair<std::size_t, std::string>> lines; // in reading order
    for (const auto& [number, uses] : entries) {
        const auto verdict = verdicts.find(number);
        if (verdict == verdicts.end()) continue;
        binding.staleFaces.push_back(number);
        const bool untold = verdict->second.rfind("it cannot be told", 0) == 0;
        for (const Entry& use : uses) {
            lines.emplace_back(
                use.order,
                use.list->path + ":" + std::to_string(use.record->line) + ": face " +
                    entryText(use.record->faceNumber) +
                    (untold ? " cannot be told to be the face this list was written for ("
                            : " is no longer the face this list was written for (") +
                    verdict->second + "): " + change + ", recorded in '" +
                    dataFilePath(root, recordFileName) + "'; see tarnfold-faces " + root +
                    " --follow");
        }
    }
    std::sort(lines.begin(), lines.end());
    for (auto& line : lines) binding.problems.push_back(std::move(line.second));
    binding.rebound = binding.problems.empty();
    if (binding.problems.empty() && !entries.empty()) {
        const std::size_t count = entries.size();
        binding.notes.push_back(change + ", recorded in '" + dataFilePath(root, recordFileName) +
                                "', and the " +
                                std::to_string(count) + (count == 1 ? " face" : " faces") +
                                " its lists name " + (count == 1 ? "is" : "are") +
                                " still the " + (count == 1 ? "face" : "faces") +
                                " they were written for");
    }
    return binding;
}

std::string describeStaleFaces(const std::vector<int>& faces, const std::string& root)
{
    if (faces.empty()) return {};
    std::string numbers;
    for (const int face : faces) numbers += (numbers.empty() ? "" : " ") + std::to_string(face);
    return "the model changed since the last run: listed " +
           std::string(faces.size() == 1 ? "face " : "faces ") + numbers +
           (faces.size() == 1 ? " is" : " are") +
           " no longer what the lists were written for; see tarnfold-faces " + root + " --follow";
}
