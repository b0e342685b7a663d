#include "list_binding.hpp"

#include "bound_entries.hpp"

#include "../intake/list_entries.hpp"
#include "../record/record_keeping.hpp"
#include "../record/record_text.hpp"

#include <algorithm>
#include <map>

namespace {

std::string counted(std::size_t count, const char* one, const char* many)
{
    return std::to_string(count) + " " + (count == 1 ? one : many);
}

// The ways out of a refusal, as every refusal names them.
std::string describeWaysOut(const std::string& root)
{
    return "see tarnfold-faces " + root + " --follow, or --accept for lists rewritten by hand";
}

} // namespace

ListBinding checkListBinding(const std::string& root, SampledModel& model)
{
    ListBinding binding;
    binding.lists = readListFiles(root);
    const BoundEntries entries = findBoundEntries(root, binding.lists);
    if (!entries.problem.empty()) {
        binding.problems.push_back(entries.problem + "; it is not taken for a missing one: " +
                                   "tarnfold-faces " + root + " --accept binds the lists to the " +
                                   "model as it is now and writes it anew");
        return binding;
    }
    const RunRecord& record = entries.record;
    RunModel& runModel = *model.model;
    const std::string recordPath = dataFilePath(root, recordFileName);
    std::string change;
    if (entries.recorded) {
        change = describeModelChange(record, runModel);
        if (change.empty()) return binding;
        change += ", recorded in '" + recordPath + "'";
    } else if (entries.bound.empty()) {
        return binding; // a dataset that never ran
    } else {
        change = "'" + recordPath + "' is missing, and the face files of an earlier run tell " +
                 "what the lists were written for";
    }
    binding.notes = describeUnboundEntries(entries, runModel.faceCount, false);

    // The bound entries by the face they select now, and why a number is not the face it was.
    std::map<int, std::vector<const ListEntry*>> uses;
    std::map<int, std::string> verdicts;
    for (const ListEntry& entry : entries.bound) {
        const double number = entryNumber(entry);
        if (!selectsFace(number, runModel.faceCount)) continue; // the export says so
        uses[int(number)].push_back(&entry);
        // It selected nothing then: whatever it selects now, the list did not mean it.
        if (!selectsFace(number, record.modelFaces)) {
            verdicts[int(number)] = "it selected no face of the model the list was written for";
        }
    }
    std::vector<int> toMatch;
    for (const auto& [number, used] : uses) {
        if (!verdicts.count(number)) toMatch.push_back(number);
    }
    const std::vector<FaceMatch> answers = followRecordedFaces(root, record, toMatch, model);
    for (std::size_t i = 0; i < toMatch.size(); ++i) {
        const std::string why = describeFaceAnswer(toMatch[i], answers[i]);
        if (!why.empty()) verdicts[toMatch[i]] = why;
    }

    std::vector<std::pair<const ListEntry*, std::string>> lines;
    for (const auto& [number, verdict] : verdicts) {
        binding.staleFaces.push_back(number);
        const bool untold = verdict.rfind("it cannot be told", 0) == 0;
        for (const ListEntry* entry : uses[number]) {
            lines.emplace_back(entry,
                               describeEntryPlace(*entry) + ": face " +
                                   formatReal(entryNumber(*entry)) +
                                   (untold ? " cannot be told to be the face this list was "
                                             "written for ("
                                           : " is no longer the face this list was written for (") +
                                   verdict + "): " + change + "; " + describeWaysOut(root));
        }
    }
    // In reading order: the bound entries are, and each line points at one of them.
    std::sort(lines.begin(), lines.end());
    for (auto& line : lines) binding.problems.push_back(std::move(line.second));
    binding.rebound = binding.problems.empty();
    // Without a record, faces that are exactly those of their files need no word.
    if (binding.problems.empty() && !uses.empty() && entries.recorded) {
        binding.notes.push_back(change + ", and the " + counted(uses.size(), "face", "faces") +
                                " its lists name " + (uses.size() == 1 ? "is" : "are") +
                                " still the " + (uses.size() == 1 ? "face" : "faces") +
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
           " no longer what the lists were written for; " + describeWaysOut(root);
}
