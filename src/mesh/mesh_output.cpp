#include "mesh_output.hpp"

#include "../console/error_printer.hpp"
#include "../output/whole_file.hpp"
#include "../run/run_state.hpp"
#include "../run/temporaries.hpp"

#include <gmsh.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <fstream>

#include <fcntl.h>
#include <unistd.h>

namespace {

void addGroup(int dim, std::vector<int> tags, int groupTag, const char* name)
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

void addPhysicalGroups(const std::vector<ListedFace>& faces,
                       const std::vector<SurfaceMatch>& matches, const std::vector<int>& volumes)
{
    std::vector<int> force, restraint;
    for (std::size_t i = 0; i < faces.size(); ++i) {
        if (faces[i].force) force.push_back(matches[i].tag);
        if (faces[i].restraint) restraint.push_back(matches[i].tag);
    }
    addGroup(2, force, 1, forceGroup);
    addGroup(2, restraint, 2, restraintGroup);
    addGroup(3, volumes, 3, solidGroup);
}

void generateMesh(const MeshSettings& settings)
{
    gmsh::option::setNumber("Mesh.MeshSizeMax", settings.size);
    // Holes and fillets get elements that follow them, whatever the largest size.
    gmsh::option::setNumber("Mesh.MeshSizeFromCurvature", 12);
    gmsh::option::setNumber("Mesh.ElementOrder", settings.order);
    gmsh::model::mesh::generate(3);
}

std::string writeMeshFile(const std::string& fileName, const MeshSettings& settings,
                          RunState* state)
{
    gmsh::option::setNumber("Mesh.MshFileVersion", settings.format == "4.1" ? 4.1 : 2.2);
    gmsh::option::setNumber("Mesh.Binary", 0);
    gmsh::option::setNumber("Mesh.SaveAll", 0);
    // gmsh tells the format by the name's ending, so the temporary ends as a mesh file does.
    const std::string temporary = endingTemporaryName(fileName, ::getpid());
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
    if (problem.empty() && std::rename(temporary.c_str(), fileName.c_str()) != 0) {
        problem = "cannot write '" + fileName + "': " + systemReason(errno);
    }
    if (!problem.empty()) std::remove(temporary.c_str());
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
