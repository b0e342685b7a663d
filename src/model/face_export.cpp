#include "face_export.hpp"

#include "face_numbering.hpp"

#include "../intake/dataset_inputs.hpp"
#include "../intake/list_entries.hpp"
#include "../output/whole_file.hpp"
#include "../run/run_state.hpp"

#include <algorithm>
#include <iterator>
#include <sstream>

#include <BRepTools.hxx>

namespace {

// How many face files the export will write: the distinct entries that select a face.
int countListedFaces(const DatasetInputs& inputs, int faceCount)
{
    std::vector<double> listed;
    for (const std::vector<double>* list : {&inputs.forceFaces, &inputs.restraintFaces}) {
        std::copy_if(list->begin(), list->end(), std::back_inserter(listed),
                     [&](double entry) { return selectsFace(entry, faceCount); });
    }
    std::sort(listed.begin(), listed.end());
    return static_cast<int>(std::unique(listed.begin(), listed.end()) - listed.begin());
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
    if (state && state->showsProgress.load()) {
        const int faceCount = visitFaces(modelShape, [](int, const TopoDS_Face&) {});
        state->facesToWrite.store(countListedFaces(inputs, faceCount));
    }
    const int faceCount = visitFaces(modelShape, [&](int faceNumber, const TopoDS_Face& face) {
        const double number = faceNumber;
        // Both lists are scanned whole for every face; they are short next to the model.
        const bool listed =
            std::count(inputs.forceFaces.begin(), inputs.forceFaces.end(), number) +
                std::count(inputs.restraintFaces.begin(), inputs.restraintFaces.end(), number) >
            0;
        if (!listed) return;
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
