#include "listed_faces.hpp"

#include "../intake/dataset_inputs.hpp"
#include "../intake/list_entries.hpp"
#include "../model/face_numbering.hpp"

#include <algorithm>

std::vector<std::string> takeListedFaces(const TopoDS_Shape& modelShape,
                                         const DatasetInputs& inputs,
                                         std::vector<ListedFace>& faces)
{
    const std::vector<int> force = listedFaceNumbers({&inputs.forceFaces});
    const std::vector<int> restraint = listedFaceNumbers({&inputs.restraintFaces});
    const auto lists = [](const std::vector<int>& numbers, int number) {
        return std::binary_search(numbers.begin(), numbers.end(), number);
    };
    const int faceCount = visitFaces(modelShape, [&](int number, const TopoDS_Face& face) {
        const bool inForce = lists(force, number), inRestraint = lists(restraint, number);
        if (inForce || inRestraint) faces.push_back({number, inForce, inRestraint, face});
    });
    std::vector<std::string> problems;
    for (const auto& [list, name] : {std::pair{&inputs.forceFaces, "force"},
                                     std::pair{&inputs.restraintFaces, "restraint"}}) {
        std::vector<std::string> unselected = describeUnselectedEntries(*list, name, faceCount);
        problems.insert(problems.end(), unselected.begin(), unselected.end());
    }
    return problems;
}
