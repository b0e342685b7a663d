#include "face_export.hpp"

#include "face_numbering.hpp"

#include "../intake/dataset_inputs.hpp"
#include "../intake/list_entries.hpp"
#include "../output/whole_file.hpp"
#include "../run/run_state.hpp"

#include <algorithm>
#include <limits>
#include <sstream>

#include <BRepTools.hxx>

namespace {

// The face numbers the lists name, each once and in order: entries that are whole numbers from
// 1 up. Looking faces up here rather than scanning both lists for every face keeps a long list
// on a large model (every face of 50,000, say) from costing billions of comparisons.
std::vector<int> listedFaceNumbers(const DatasetInputs& inputs)
{
    std::vector<int> numbers;
    for (const std::vector<double>* list : {&inputs.forceFaces, &inputs.restraintFaces}) {
        for (const double entry : *list) {
            if (selectsFace(entry, std::numeric_limits<int>::max())) {
                numbers.push_back(static_cast<int>(entry));
            }
        }
    }
    std::sort(numbers.begin(), numbers.end());
    numbers.erase(std::unique(numbers.begin(), numbers.end()), numbers.end());
    return numbers;
}

} // namespace

std::string writeFaceFile(const TopoDS_Shape& shape, const std::string& fileName,
                          RunState* state)
{
    std::ostringstream text;
    text << "DBRep_DrawableShape\n"; // what BRepTools::Write puts before the shape in a file
    BRepTools::Write(shape, text);
    return writeWholeFile(fileName, text.str(), state);
}

std::vector<std::string> exportFaceFiles(const TopoDS_Shape& modelShape,
                                         const DatasetInputs& inputs,
                                         const std::filesystem::path& root, RunState* state)
{
    std::vector<std::string> problems;
    const std::string namePrefix = root.string() + "/data/face";
    const std::vector<int> listed = listedFaceNumbers(inputs);
    if (state && state->showsProgress.load()) {
        const int faceCount = visitFaces(modelShape, [](int, const TopoDS_Face&) {});
        state->facesToWrite.store(static_cast<int>(
            std::upper_bound(listed.begin(), listed.end(), faceCount) - listed.begin()));
    }
    auto next = listed.begin(); // faces come in increasing numbers, and so do the listed ones
    const int faceCount = visitFaces(modelShape, [&](int faceNumber, const TopoDS_Face& face) {
        if (next == listed.end() || *next != faceNumber) return;
        ++next;
        enterFaceWrite(state, faceNumber);
        std::string problem =
            writeFaceFile(face, namePrefix + std::to_string(faceNumber) + ".brep", state);
        if (!problem.empty()) problems.push_back(std::move(problem));
    });

    for (const auto& [list, name] : {std::pair{&inputs.forceFaces, "force"},
                                     std::pair{&inputs.restraintFaces, "restraint"}}) {
        std::vector<std::string> unselected = describeUnselectedEntries(*list, name, faceCount);
        problems.insert(problems.end(), unselected.begin(), unselected.end());
    }
    return problems;
}
