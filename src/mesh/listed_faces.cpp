#include "listed_faces.hpp"

#include "../intake/dataset_inputs.hpp"
#include "../intake/list_entries.hpp"
#include "../console/error_printer.hpp"
#include "../output/whole_file.hpp"

#include <algorithm>
#include <cerrno>
#include <fstream>
#include <locale>

#include <BRepTools.hxx>
#include <BRep_Builder.hxx>
#include <Standard_Failure.hxx>
#include <TopExp_Explorer.hxx>
#include <TopoDS.hxx>

namespace {

// The one face a face file holds; "" or why there is none.
std::string readFaceFile(const std::string& file, TopoDS_Face& face)
{
    std::ifstream stream(file, std::ios::binary);
    stream.imbue(std::locale::classic());
    if (!stream) {
        return "cannot read face file '" + file + "': " + systemReason(errno) +
               " (tarnfold writes it)";
    }
    TopoDS_Shape shape;
    try {
        BRep_Builder builder;
        BRepTools::Read(shape, stream, builder);
    } catch (const Standard_Failure&) {
        shape.Nullify();
    }
    int faces = 0;
    if (!shape.IsNull()) {
        for (TopExp_Explorer explorer(shape, TopAbs_FACE); explorer.More(); explorer.Next()) {
            if (++faces == 1) face = TopoDS::Face(explorer.Current());
        }
    }
    if (faces == 1) return {};
    if (shape.IsNull()) return "face file '" + file + "' is not a BRep file";
    return "face file '" + file + "' holds " + std::to_string(faces) + " faces, not one";
}

} // namespace

std::vector<std::string> readListedFaces(const std::filesystem::path& root,
                                         const DatasetInputs& inputs, int faceCount,
                                         std::vector<ListedFace>& faces)
{
    std::vector<std::string> problems;
    const std::string prefix = root.string() + "/data/face";
    const std::vector<int> force = listedFaceNumbers({&inputs.forceFaces});
    const std::vector<int> restraint = listedFaceNumbers({&inputs.restraintFaces});
    for (const int number : listedFaceNumbers({&inputs.forceFaces, &inputs.restraintFaces})) {
        if (number > faceCount) break;
        ListedFace listed;
        listed.number = number;
        listed.force = std::binary_search(force.begin(), force.end(), number);
        listed.restraint = std::binary_search(restraint.begin(), restraint.end(), number);
        listed.file = prefix + std::to_string(number) + ".brep";
        std::string problem = readFaceFile(listed.file, listed.face);
        if (problem.empty()) {
            faces.push_back(std::move(listed));
        } else {
            problems.push_back(std::move(problem));
        }
    }
    for (const auto& [list, name] : {std::pair{&inputs.forceFaces, "force"},
                                     std::pair{&inputs.restraintFaces, "restraint"}}) {
        std::vector<std::string> unselected = describeUnselectedEntries(*list, name, faceCount);
        problems.insert(problems.end(), unselected.begin(), unselected.end());
    }
    return problems;
}
