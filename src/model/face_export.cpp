#include "face_export.hpp"

#include "face_numbering.hpp"

#include "../digest/sha256.hpp"
#include "../intake/dataset_inputs.hpp"
#include "../intake/list_entries.hpp"
#include "../output/whole_file.hpp"
#include "../paths/narrow_form.hpp"
#include "../run_state/run_state.hpp"

#include <algorithm>
#include <map>
#include <sstream>

#include <BRepTools.hxx>

std::string faceFileBytes(const TopoDS_Shape& shape)
{
    std::ostringstream text;
    text << "DBRep_DrawableShape\n"; // what BRepTools::Write puts before the shape in a file
    BRepTools::Write(shape, text);
    return text.str();
}

std::string writeFaceFile(const TopoDS_Shape& shape, const std::string& fileName,
                          RunState* state)
{
    return writeWholeFile(fileName, faceFileBytes(shape), state);
}

std::map<int, TopoDS_Face> findListedFaces(const TopoDS_Shape& modelShape,
                                           const DatasetInputs& inputs, int& faceCount)
{
    const std::vector<int> listed = listedFaceNumbers({&inputs.forceFaces, &inputs.restraintFaces});
    std::map<int, TopoDS_Face> faces;
    auto next = listed.begin(); // faces come in increasing numbers, and so do the listed ones
    faceCount = visitFaces(modelShape, [&](int faceNumber, const TopoDS_Face& face) {
        if (next == listed.end() || *next != faceNumber) return;
        ++next;
        faces.emplace(faceNumber, face);
    });
    return faces;
}

std::vector<std::string> exportFaceFiles(const TopoDS_Shape& modelShape,
                                         const DatasetInputs& inputs,
                                         const std::filesystem::path& root, RunState* state,
                                         FaceHashes* hashes)
{
    int faceCount = 0;
    const std::map<int, TopoDS_Face> faces = findListedFaces(modelShape, inputs, faceCount);
    return exportFaceBytes(
        faceCount, [&](int faceNumber) { return faceFileBytes(faces.at(faceNumber)); }, inputs,
        root, state, hashes);
}

std::vector<std::string> exportFaceBytes(int faceCount,
                                         const std::function<std::string(int)>& bytesOf,
                                         const DatasetInputs& inputs,
                                         const std::filesystem::path& root, RunState* state,
                                         FaceHashes* hashes)
{
    std::vector<std::string> problems;
    const std::string namePrefix = narrowForm(root) + "/data/face";
    const std::vector<int> listed = listedFaceNumbers({&inputs.forceFaces, &inputs.restraintFaces});
    const auto end = std::upper_bound(listed.begin(), listed.end(), faceCount);
    if (state && state->showsProgress.load()) {
        state->facesToWrite.store(static_cast<int>(end - listed.begin()));
    }
    for (auto number = listed.begin(); number != end; ++number) {
        enterFaceWrite(state, *number);
        const std::string bytes = bytesOf(*number);
        // Hashed while the bytes are at hand, for the record of the run.
        if (hashes) hashes->emplace_back(*number, sha256Hex(bytes));
        std::string problem =
            writeWholeFile(namePrefix + std::to_string(*number) + ".brep", bytes, state);
        if (!problem.empty()) problems.push_back(std::move(problem));
    }

    for (const auto& [list, name] : {std::pair{&inputs.forceFaces, "force"},
                                     std::pair{&inputs.restraintFaces, "restraint"}}) {
        std::vector<std::string> unselected = describeUnselectedEntries(*list, name, faceCount);
        problems.insert(problems.end(), unselected.begin(), unselected.end());
    }
    return problems;
}
