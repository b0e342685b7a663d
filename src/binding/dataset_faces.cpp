#include "dataset_faces.hpp"

#include "../digest/sha256.hpp"
#include "../model/face_export.hpp"
#include "../model/face_numbering.hpp"
#include "../record/record_keeping.hpp"
#include "../run_state/run_state.hpp"

#include <algorithm>
#include <filesystem>
#include <map>

DatasetWrite writeDatasetFaces(const std::string& root, const ListBinding& binding,
                               SampledModel& model,
                               const FaceFileWriter& writeFaces, RunState* state)
{
    DatasetWrite write;
    RunModel& runModel = *model.model;
    RemovedFaceFiles removed, again;
    if (binding.rebound) {
        // The lists name the new model's faces, whatever ends this run: recorded before the face
        // files are written, a run stopped half way is not refused the next time.
        enterPhase(state, RunPhase::recording);
        const std::string problem =
            keepRunRecord(root, runModel, binding.lists,
                          hashListedFaces(runModel, binding.lists), state, &removed);
        if (!problem.empty()) write.problems.push_back(problem);
    }
    FaceHashes hashes;
    const std::vector<std::string> written = writeFaces(hashes);
    write.problems.insert(write.problems.end(), written.begin(), written.end());
    enterPhase(state, RunPhase::recording);
    const std::string problem =
        keepRunRecord(root, runModel, binding.lists, hashes, state, &again);
    if (!problem.empty()) write.problems.push_back(problem);
    // Those of faces listed still were written again by this run: only the others are gone.
    removed.unlisted += again.unlisted;
    removed.changed = 0;
    for (const RemovedFaceFiles* files : {&removed, &again}) {
        write.problems.insert(write.problems.end(), files->problems.begin(),
                              files->problems.end());
    }
    const std::string note = describeRemovedFaceFiles(removed, root);
    if (!note.empty()) write.notes.push_back(note);

    enterPhase(state, RunPhase::checking);
    std::vector<int> listed;
    for (const auto& [number, hash] : hashes) listed.push_back(number);
    const std::vector<std::string> untrue = checkUnlistedFaceFiles(root, listed, model);
    write.problems.insert(write.problems.end(), untrue.begin(), untrue.end());
    return write;
}

std::vector<std::string> checkUnlistedFaceFiles(const std::string& root,
                                                const std::vector<int>& listed,
                                                SampledModel& model)
{
    // Each as the face it holds now, for the matching to tell where that face is.
    RunRecord files;
    std::vector<int> numbers;
    for (const int number : findFaceFileNumbers(root)) {
        const std::string path = dataFilePath(root, faceFileName(number));
        if (std::binary_search(listed.begin(), listed.end(), number) || !mayBeFaceFile(path)) {
            continue;
        }
        std::string bytes, problem, sha256;
        if (readRegularFile(path, bytes, problem) == FileReading::read) {
            sha256 = sha256Hex(bytes);
        }
        files.faces.push_back({number, FaceList::none, {number}, faceFileName(number), sha256});
        numbers.push_back(number);
    }
    std::vector<std::string> problems;
    if (numbers.empty()) return problems;
    const RunModel& runModel = *model.model;
    // A single face is where it is, or not: no outline of a whole model to guard a match with.
    const std::vector<FaceMatch> answers =
        followRecordedFaces(root, files, numbers, model, false);
    for (std::size_t i = 0; i < numbers.size(); ++i) {
        const int number = numbers[i];
        const std::string why = describeFaceAnswer(number, answers[i]);
        if (why.empty()) continue;
        const std::string path = dataFilePath(root, faceFileName(number));
        const std::string face = "face " + std::to_string(number);
        std::string line;
        if (number > runModel.faceCount) {
            line = "'" + path + "' cannot hold " + face + " of the model '" + runModel.path +
                   "', which has " + std::to_string(runModel.faceCount) + " faces";
        } else if (answers[i].kind == MatchKind::unsure) {
            line = "'" + path + "' cannot be told to hold " + face + " of the model '" +
                   runModel.path + "' (" + answers[i].reason + ")";
        } else {
            line = "'" + path + "' holds another face than " + face + " of the model '" +
                   runModel.path + "' (" + why + ")";
        }
        problems.push_back(line + "; no list names " + face + " and no run recorded writing " +
                           "the file, which is left as it is");
    }
    return problems;
}
