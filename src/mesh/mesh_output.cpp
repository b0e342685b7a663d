#include "mesh_output.hpp"

#include "../console/error_printer.hpp"
#include "../run_state/run_state.hpp"

#include <gmsh.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <fstream>

#include <fcntl.h>
#include <unistd.h>

namespace {

void addGroup(int dim, std::vector<int> tags, int groupTag, const std::string& name)
{
    if (tags.empty()) return;
    std::sort(tags.begin(), tags.end());
    tags.erase(std::unique(tags.begin(), tags.end()), tags.end());
    gmsh::model::addPhysicalGroup(dim, tags, groupTag);
    gmsh::model::setPhysicalName(dim, groupTag, name);
}

// Whether the file ends as gmsh ends a mesh file it wrote whole: with an "$End..." line.
bool endsWhole(const std::string& fileName)
{
    std::ifstream stream(fileName, std::ios::binary | std::ios::ate);
    const std::streamoff size = stream.tellg();
    if (!stream || size < 16) return false;
    std::string tail(64, '\0');
    const std::streamoff start = std::max<std::streamoff>(0, size - std::streamoff(tail.size()));
    stream.seekg(start);
    stream.read(tail.data(), std::streamsize(size - start));
    tail.resize(std::size_t(stream.gcount()));
    const std::size_t last = tail.rfind("\n$End", tail.size() - 2);
    return !tail.empty() && tail.back() == '\n' && last != std::string::npos;
}

const char* elementWord(int dim, std::size_t count)
{
    if (dim == 3) return count == 1 ? "tetrahedron" : "tetrahedra";
    return count == 1 ? "triangle" : "triangles";
}

} // namespace

void addPhysicalGroups(const MeshGroups& groups)
{
    addGroup(2, groups.force, 1, forceGroup);
    addGroup(2, groups.restraint, 2, restraintGroup);
    int tag = 3;
    for (std::size_t k = 0; k < groups.solids.size(); ++k, ++tag) {
        addGroup(3, groups.solids[k], tag,
                 groups.solids.size() == 1 ? solidGroup : solidGroup + std::to_string(k + 1));
    }
    addGroup(2, groups.shell, tag, shellGroup);
}

void generateMesh(const MeshSettings& settings)
{
    gmsh::option::setNumber("Mesh.MeshSizeMax", settings.size);
    // Holes and fillets get elements that follow them, whatever the largest size.
    gmsh::option::setNumber("Mesh.MeshSizeFromCurvature", settings.elementsPerTurn);
    gmsh::option::setNumber("Mesh.ElementOrder", settings.order);
    gmsh::option::setNumber("Mesh.Algorithm", settings.algorithm2D);
    gmsh::option::setNumber("Mesh.Algorithm3D", settings.algorithm3D);
    // An exception thrown inside one of gmsh's OpenMP loops would end the process: while it
    // meshes, an error only stops the meshing, and is logged.
    gmsh::option::setNumber("General.AbortOnError", 1);
    gmsh::model::mesh::generate(3);
    gmsh::option::setNumber("General.AbortOnError", 2);
}

std::string checkWritableBeside(const std::string& temporary, const std::string& fileName,
                                RunState* state)
{
    recordTemporary(state, temporary);
    const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    const int reason = errno;
    if (fd >= 0) {
        ::close(fd);
        ::unlink(temporary.c_str());
    }
    recordTemporary(state, "");
    return fd >= 0 ? "" : "cannot create a file beside '" + fileName + "': " + systemReason(reason);
}

std::string writeMeshTemporary(const std::string& temporary, const std::string& fileName,
                               const MeshSettings& settings, RunState* state)
{
    gmsh::option::setNumber("Mesh.MshFileVersion", settings.format == "4.1" ? 4.1 : 2.2);
    gmsh::option::setNumber("Mesh.Binary", 0);
    gmsh::option::setNumber("Mesh.SaveAll", 0);
    recordTemporary(state, temporary);
    const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) {
        const int reason = errno;
        recordTemporary(state, "");
        return "cannot create a file beside '" + fileName + "': " + systemReason(reason);
    }
    ::close(fd);
    std::string problem;
    try {
        gmsh::write(temporary);
        if (!endsWhole(temporary)) problem = "cannot write '" + fileName + "': written short";
    } catch (const std::string& message) {
        problem = "cannot write '" + fileName + "': gmsh: " + message;
    }
    if (!problem.empty()) {
        std::remove(temporary.c_str());
        recordTemporary(state, "");
    }
    return problem;
}

std::string placeMeshFile(const std::string& temporary, const std::string& fileName,
                          RunState* state)
{
    std::string problem;
    if (std::rename(temporary.c_str(), fileName.c_str()) != 0) {
        problem = "cannot write '" + fileName + "': " + systemReason(errno);
        std::remove(temporary.c_str());
    }
    recordTemporary(state, "");
    return problem;
}

std::vector<std::string> describeGroups()
{
    gmsh::vectorpair groups;
    gmsh::model::getPhysicalGroups(groups);
    std::vector<std::string> lines;
    for (const auto& [dim, tag] : groups) {
        std::string name;
        gmsh::model::getPhysicalName(dim, tag, name);
        std::vector<int> entities;
        gmsh::model::getEntitiesForPhysicalGroup(dim, tag, entities);
        std::size_t elements = 0;
        for (const int entity : entities) {
            std::vector<int> types;
            std::vector<std::vector<std::size_t>> tags, nodes;
            gmsh::model::mesh::getElements(types, tags, nodes, dim, entity);
            for (const auto& ofType : tags) elements += ofType.size();
        }
        const char* entityWord = dim == 3 ? (entities.size() == 1 ? "volume" : "volumes")
                                          : (entities.size() == 1 ? "surface" : "surfaces");
        lines.push_back(name + ": " + std::to_string(entities.size()) + " " + entityWord + ", " +
                        std::to_string(elements) + " " + elementWord(dim, elements));
    }
    return lines;
}
