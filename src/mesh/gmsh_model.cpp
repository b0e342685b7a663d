#include "gmsh_model.hpp"

#include "../console/error_printer.hpp"
#include "../output/whole_file.hpp"
#include "../run/run_state.hpp"

#include <gmsh.h>

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <locale>

#include <BRepTools.hxx>
#include <BRep_Builder.hxx>
#include <Standard_Failure.hxx>
#include <Standard_Version.hxx>
#include <TopoDS.hxx>
#include <TopoDS_Iterator.hxx>

#include <unistd.h>

namespace {

bool gmshStarted = false;
std::size_t warningsTaken = 0;

// A file of our own for gmsh to write to, named so that gmsh takes it for BRep; "" when none
// can be made, `error` then saying why.
std::string makeScratchFile(std::string& error, RunState* state)
{
    const char* directory = std::getenv("TMPDIR");
    std::string name = std::string(directory && *directory ? directory : "/tmp") +
                       "/tarnfold-mesh-surfaces-XXXXXX.brep";
    recordTemporary(state, "");
    const int fd = ::mkstemps(name.data(), 5);
    if (fd < 0) {
        error = "cannot create a file in the temporary directory for gmsh's surfaces: " +
                systemReason(errno);
        return {};
    }
    ::close(fd);
    recordTemporary(state, name.c_str());
    return name;
}

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

std::vector<std::string> takeGmshWarnings()
{
    std::vector<std::string> log, warnings;
    gmsh::logger::get(log);
    const std::string prefix = "Warning: ";
    for (std::size_t i = warningsTaken; i < log.size(); ++i) {
        if (log[i].compare(0, prefix.size(), prefix) == 0) {
            warnings.push_back(log[i].substr(prefix.size()));
        }
    }
    warningsTaken = log.size();
    return warnings;
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

std::vector<int> importIntoGmsh(const TopoDS_Shape& modelShape)
{
    gmsh::vectorpair entities;
    gmsh::model::occ::importShapesNativePointer(&modelShape, entities, false);
    gmsh::model::occ::synchronize();
    gmsh::vectorpair volumes;
    gmsh::model::getEntities(volumes, 3);
    std::vector<int> tags;
    for (const auto& [dim, tag] : volumes) tags.push_back(tag);
    return tags;
}

std::vector<GmshSurface> readGmshSurfaces(std::string& error, RunState* state)
{
    gmsh::vectorpair surfaces, copies;
    gmsh::model::getEntities(surfaces, 2);
    if (surfaces.empty()) return {};
    const std::string file = makeScratchFile(error, state);
    if (file.empty()) return {};
    // gmsh writes only what stands on its own: the volumes, whose surfaces it does not name,
    // and then every surface that bounds no volume, in increasing order of tags. Copies of the
    // surfaces stand on their own, with tags above all others: they come last, in order.
    gmsh::model::occ::copy(surfaces, copies);
    gmsh::model::occ::synchronize();
    try {
        gmsh::write(file);
    } catch (...) {
        ::unlink(file.c_str());
        recordTemporary(state, "");
        throw;
    }
    gmsh::model::occ::remove(copies, true);
    gmsh::model::occ::synchronize();

    TopoDS_Shape written;
    {
        std::ifstream stream(file, std::ios::binary);
        stream.imbue(std::locale::classic());
        try {
            BRep_Builder builder;
            BRepTools::Read(written, stream, builder);
        } catch (const Standard_Failure&) {
            written.Nullify();
        }
    }
    ::unlink(file.c_str());
    recordTemporary(state, "");

    std::vector<TopoDS_Face> faces;
    if (!written.IsNull()) {
        for (TopoDS_Iterator child(written); child.More(); child.Next()) {
            if (child.Value().ShapeType() == TopAbs_FACE) faces.push_back(TopoDS::Face(child.Value()));
        }
    }
    if (faces.size() < copies.size()) {
        error = "gmsh's surfaces could not be read back: " + std::to_string(faces.size()) +
                " faces for " + std::to_string(copies.size()) + " surfaces";
        return {};
    }
    std::vector<GmshSurface> result;
    const std::size_t first = faces.size() - copies.size();
    for (std::size_t i = 0; i < copies.size(); ++i) {
        result.push_back({surfaces[i].second, faces[first + i]});
    }
    return result;
}

std::string describeGmshVersion()
{
    startGmsh();
    std::string version;
    gmsh::option::getString("General.Version", version);
    return "gmsh " + version;
}
