#include "gmsh_model.hpp"

#include <gmsh.h>

#include <Standard_Version.hxx>

namespace {

bool gmshStarted = false;
std::size_t linesTaken = 0;

} // namespace

void startGmsh()
{
    if (!gmshStarted) {
        gmsh::initialize(0, nullptr, false);
        gmshStarted = true;
        gmsh::option::setNumber("General.Terminal", 0);
        gmsh::option::setNumber("General.Verbosity", 2);
        gmsh::logger::start();
    }
    gmsh::clear();
    // Every error ends the step it stops as an exception, which the command reports.
    gmsh::option::setNumber("General.AbortOnError", 2);
    // One thread: the same mesh on every run.
    gmsh::option::setNumber("General.NumThreads", 1);
}

GmshLog takeGmshLog()
{
    std::vector<std::string> lines;
    gmsh::logger::get(lines);
    GmshLog log;
    const std::string warning = "Warning: ", error = "Error: ";
    for (std::size_t i = linesTaken; i < lines.size(); ++i) {
        if (lines[i].compare(0, warning.size(), warning) == 0) {
            log.warnings.push_back(lines[i].substr(warning.size()));
        } else if (lines[i].compare(0, error.size(), error) == 0) {
            log.errors.push_back(lines[i].substr(error.size()));
        }
    }
    linesTaken = lines.size();
    return log;
}

std::string checkGmshOpenCascade()
{
    std::string info;
    gmsh::option::getString("General.BuildInfo", info);
    const std::string key = "OCC version: ";
    const std::size_t at = info.find(key);
    const std::string theirs =
        at == std::string::npos ? "none" : info.substr(at + key.size(), info.find(';', at) - at - key.size());
    if (theirs == OCC_VERSION_COMPLETE) return {};
    return "gmsh was built on OpenCASCADE " + theirs + ", tarnfold-mesh on " OCC_VERSION_COMPLETE
           ": gmsh cannot be handed the model";
}

void importIntoGmsh(const TopoDS_Shape& modelShape)
{
    gmsh::vectorpair entities;
    gmsh::model::occ::importShapesNativePointer(&modelShape, entities, false);
    gmsh::model::occ::synchronize();
}

void healGmshModel(double tolerance, bool sew)
{
    gmsh::vectorpair healed;
    gmsh::model::occ::healShapes(healed, {}, tolerance, true, true, true, sew, false);
    gmsh::model::occ::synchronize();
}

VolumePieces fragmentGmshVolumes()
{
    gmsh::vectorpair volumes, fragments;
    gmsh::model::occ::getEntities(volumes, 3);
    VolumePieces result;
    if (volumes.size() < 2) {
        for (const auto& volume : volumes) result[volume.second] = {volume.second};
        return result;
    }
    std::vector<gmsh::vectorpair> pieces;
    gmsh::model::occ::fragment(volumes, {}, fragments, pieces);
    gmsh::model::occ::synchronize();
    for (std::size_t i = 0; i < volumes.size() && i < pieces.size(); ++i) {
        for (const auto& piece : pieces[i]) {
            if (piece.first == 3) result[volumes[i].second].push_back(piece.second);
        }
    }
    return result;
}

std::vector<int> listGmshEntities(int dim)
{
    gmsh::vectorpair entities;
    gmsh::model::getEntities(entities, dim);
    std::vector<int> tags;
    for (const auto& entity : entities) tags.push_back(entity.second);
    return tags;
}

std::string describeGmshVersion()
{
    startGmsh();
    std::string version;
    gmsh::option::getString("General.Version", version);
    return "gmsh " + version;
}
