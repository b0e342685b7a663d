// What the tests of tarnfold-mesh share: models, lists, and a mesh file read back by gmsh.
#include "mesh_support.hpp"

#include "test_support.hpp"

#include "intake/dataset_inputs.hpp"
#include "mesh/gmsh_model.hpp"
#include "model/face_numbering.hpp"

#include <gmsh.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <sstream>

#include <BRepGProp.hxx>
#include <BRepTools.hxx>
#include <BRep_Builder.hxx>
#include <GProp_GProps.hxx>

namespace fs = std::filesystem;

namespace {

// Twelve elements to a full turn: the triangles of a cylinder fall short of its area by
// 1 - sin(15°)/(15° in radians), 1.1%, and a plane's holes shrink by more of theirs.
const double meshShare = 1.5 * (1 - std::sin(M_PI / 12) / (M_PI / 12));

// Calls visit(dim, name, elementTags, nodeTags, nodesPerElement) for each element block of each
// entity of each physical group of the mesh file.
template <typename Visit>
void visitGroups(const fs::path& meshFile, Visit&& visit)
{
    startGmsh();
    gmsh::open(meshFile.string());
    gmsh::vectorpair physical;
    gmsh::model::getPhysicalGroups(physical);
    for (const auto& [dim, tag] : physical) {
        std::string name;
        gmsh::model::getPhysicalName(dim, tag, name);
        std::vector<int> entities;
        gmsh::model::getEntitiesForPhysicalGroup(dim, tag, entities);
        for (const int entity : entities) {
            std::vector<int> types;
            std::vector<std::vector<std::size_t>> elements, nodes;
            gmsh::model::mesh::getElements(types, elements, nodes, dim, entity);
            visit(dim, name, entity, elements, nodes);
        }
    }
}

gp_Pnt nodeAt(std::size_t tag)
{
    std::vector<double> xyz, uvw;
    gmsh::model::mesh::getNode(tag, xyz, uvw);
    return gp_Pnt(xyz[0], xyz[1], xyz[2]);
}

} // namespace

Patch measureFace(const TopoDS_Shape& face)
{
    GProp_GProps props;
    BRepGProp::SurfaceProperties(face, props);
    return {props.Mass(), props.CentreOfMass()};
}

std::map<std::string, std::vector<Patch>> readGroups(const fs::path& meshFile)
{
    std::map<std::string, std::vector<Patch>> groups;
    visitGroups(meshFile, [&](int dim, const std::string& name, int,
                              const std::vector<std::vector<std::size_t>>& elements,
                              const std::vector<std::vector<std::size_t>>& nodes) {
        Patch patch;
        gp_XYZ moment(0, 0, 0);
        for (std::size_t t = 0; t < elements.size(); ++t) {
            if (dim != 2) {
                patch.area += double(elements[t].size());
                continue;
            }
            const std::size_t perElement = nodes[t].size() / elements[t].size();
            // MSH 2.2 repeats an element for each group it is in; once is enough here.
            std::set<std::array<std::size_t, 3>> seen;
            for (std::size_t e = 0; e < elements[t].size(); ++e) {
                std::array<std::size_t, 3> corners{nodes[t][e * perElement],
                                                   nodes[t][e * perElement + 1],
                                                   nodes[t][e * perElement + 2]};
                std::sort(corners.begin(), corners.end());
                if (!seen.insert(corners).second) continue;
                gp_Pnt corner[3];
                for (std::size_t c = 0; c < 3; ++c) corner[c] = nodeAt(nodes[t][e * perElement + c]);
                const double area = 0.5 * gp_Vec(corner[0], corner[1])
                                              .Crossed(gp_Vec(corner[0], corner[2]))
                                              .Magnitude();
                patch.area += area;
                moment += area * (corner[0].XYZ() + corner[1].XYZ() + corner[2].XYZ()) / 3;
            }
        }
        if (dim == 2 && patch.area > 0) patch.centre = gp_Pnt(moment / patch.area);
        groups[name].push_back(patch);
    });
    return groups;
}

std::map<std::string, std::set<std::size_t>> readNodesAtX(const fs::path& meshFile, double x)
{
    std::map<std::string, std::set<std::size_t>> found;
    visitGroups(meshFile, [&](int, const std::string& name, int,
                              const std::vector<std::vector<std::size_t>>&,
                              const std::vector<std::vector<std::size_t>>& nodes) {
        for (const auto& ofType : nodes) {
            for (const std::size_t node : ofType) {
                if (std::abs(nodeAt(node).X() - x) < 1e-9) found[name].insert(node);
            }
        }
    });
    return found;
}

void expectGroupHolds(const std::vector<Patch>& group, const std::vector<TopoDS_Shape>& faces,
                      double size, const std::string& name)
{
    ASSERT_EQ(group.size(), faces.size()) << name;
    std::vector<bool> taken(group.size(), false);
    double meshed = 0, listed = 0;
    for (std::size_t f = 0; f < faces.size(); ++f) {
        const Patch expected = measureFace(faces[f]);
        std::size_t nearest = group.size();
        for (std::size_t i = 0; i < group.size(); ++i) {
            if (taken[i]) continue;
            if (nearest == group.size() || group[i].centre.Distance(expected.centre) <
                                               group[nearest].centre.Distance(expected.centre)) {
                nearest = i;
            }
        }
        ASSERT_LT(nearest, group.size()) << name << ": face " << f;
        taken[nearest] = true;
        EXPECT_LT(group[nearest].centre.Distance(expected.centre), 0.01 * size)
            << name << ": face " << f;
        EXPECT_NEAR(group[nearest].area, expected.area, meshShare * expected.area)
            << name << ": face " << f;
        meshed += group[nearest].area;
        listed += expected.area;
    }
    EXPECT_NEAR(meshed, listed, meshShare * listed) << name;
}

std::vector<TopoDS_Shape> readFaceFiles(const std::vector<fs::path>& files)
{
    std::vector<TopoDS_Shape> faces;
    for (const fs::path& file : files) {
        TopoDS_Shape face;
        BRep_Builder builder;
        EXPECT_TRUE(BRepTools::Read(face, file.c_str(), builder)) << file;
        faces.push_back(face);
    }
    return faces;
}

std::vector<TopoDS_Shape> facesOf(const TopoDS_Shape& shape, const std::vector<int>& numbers)
{
    std::vector<TopoDS_Shape> faces(numbers.size());
    visitFaces(shape, [&](int n, const TopoDS_Face& face) {
        for (std::size_t i = 0; i < numbers.size(); ++i) {
            if (numbers[i] == n) faces[i] = face;
        }
    });
    return faces;
}

std::string recordsOf(const std::vector<int>& faces, int length)
{
    std::ostringstream text;
    for (const int face : faces) {
        text << face;
        for (int i = 1; i < length; ++i) text << " 0";
        text << '\n';
    }
    return text.str();
}

std::vector<fs::path> faceFilesOf(const fs::path& root, const std::vector<int>& faces)
{
    std::vector<fs::path> files;
    for (const int face : faces) files.push_back(root / "data" / ("face" + std::to_string(face) + ".brep"));
    return files;
}

std::vector<ListedFace> listEveryFace(const TopoDS_Shape& shape)
{
    DatasetInputs inputs;
    visitFaces(shape, [&](int n, const TopoDS_Face&) { inputs.forceFaces.push_back(n); });
    std::vector<ListedFace> faces;
    EXPECT_TRUE(takeListedFaces(shape, inputs, faces).empty());
    return faces;
}
