#include "solid_match.hpp"

#include "gmsh_model.hpp"

#include <gmsh.h>

#include <cmath>
#include <map>

#include <BRepGProp.hxx>
#include <GProp_GProps.hxx>
#include <TopExp_Explorer.hxx>

namespace {

// What healing does to a solid: the large one of the corpus model lost 5e-5 of its volume, and its
// centre moved by 1.1e-4 of its size, when faces narrower than the healing's tolerance went.
constexpr double alike = 1e-3;

bool isSolid(const ModelSolid& solid, double volume, const gp_Pnt& centre)
{
    const double length = std::cbrt(std::abs(solid.volume));
    return std::abs(std::abs(volume) - std::abs(solid.volume)) <= alike * std::abs(solid.volume) &&
           centre.Distance(solid.centre) <= alike * length;
}

} // namespace

std::vector<ModelSolid> measureSolids(const TopoDS_Shape& modelShape)
{
    std::vector<ModelSolid> solids;
    for (TopExp_Explorer explorer(modelShape, TopAbs_SOLID); explorer.More(); explorer.Next()) {
        GProp_GProps props;
        BRepGProp::VolumeProperties(explorer.Current(), props);
        solids.push_back({int(solids.size()) + 1, props.Mass(), props.CentreOfMass()});
    }
    return solids;
}

std::string matchVolumes(const std::vector<ModelSolid>& solids,
                         std::vector<std::vector<int>>& volumesOfSolids)
{
    volumesOfSolids.assign(solids.size(), {});
    for (const int tag : listGmshEntities(3)) {
        double volume = 0, x = 0, y = 0, z = 0;
        gmsh::model::occ::getMass(3, tag, volume);
        gmsh::model::occ::getCenterOfMass(3, tag, x, y, z);
        bool found = false;
        // A solid the model holds twice is one volume of gmsh's, in the groups of both.
        for (std::size_t k = 0; k < solids.size(); ++k) {
            if (!isSolid(solids[k], volume, gp_Pnt(x, y, z))) continue;
            volumesOfSolids[k].push_back(tag);
            found = true;
        }
        if (!found) {
            return "gmsh volume " + std::to_string(tag) + " is none of the model's solids (the "
                   "healing changed it)";
        }
    }
    for (std::size_t k = 0; k < solids.size(); ++k) {
        if (volumesOfSolids[k].size() > 1) {
            return "solid " + std::to_string(k + 1) + " of the model is several gmsh volumes";
        }
        if (volumesOfSolids[k].empty()) {
            return "solid " + std::to_string(k + 1) + " of the model has no gmsh volume";
        }
    }
    return {};
}

std::vector<std::string> followFragments(const VolumePieces& pieces,
                                         std::vector<std::vector<int>>& volumesOfSolids)
{
    std::map<int, std::vector<int>> holders; // each volume after the fragment, its solids
    for (std::size_t k = 0; k < volumesOfSolids.size(); ++k) {
        std::vector<int> after;
        for (const int volume : volumesOfSolids[k]) {
            const auto found = pieces.find(volume);
            if (found == pieces.end()) continue;
            after.insert(after.end(), found->second.begin(), found->second.end());
        }
        for (const int volume : after) holders[volume].push_back(int(k) + 1);
        volumesOfSolids[k] = after;
    }
    std::vector<std::string> notes;
    for (const auto& [volume, solids] : holders) {
        if (solids.size() < 2) continue;
        std::string names;
        for (std::size_t i = 0; i < solids.size(); ++i) {
            names += (i == 0 ? "" : i + 1 == solids.size() ? " and " : ", ") +
                     std::to_string(solids[i]);
        }
        notes.push_back("solids " + names + " overlap: gmsh volume " + std::to_string(volume) +
                        ", their common part, is in the group of each");
    }
    return notes;
}
