// What the tests of tarnfold-mesh share: models, lists, and a mesh file read back by gmsh.
#include "mesh_support.hpp"

#include "test_support.hpp"

#include "intake/dataset_inputs.hpp"
#include "mesh/gmsh_model.hpp"
#include "model/face_export.hpp"
#include "model/face_numbering.hpp"

#include <gmsh.h>

#include <array>
#include <cmath>
#include <set>
#include <sstream>

#include <BRepAlgoAPI_Cut.hxx>
#include <BRepGProp.hxx>
#include <BRepPrimAPI_MakeBox.hxx>
#include <BRepPrimAPI_MakeCylinder.hxx>
#include <BRepTools.hxx>
#include <BRep_Builder.hxx>
#include <GProp_GProps.hxx>
#include <TopTools_ListOfShape.hxx>
#include <gp_Ax2.hxx>

namespace fs = std::filesystem;

namespace {

// Twelve elements to a full turn: the triangles of a cylinder fall short of its area by
// 1 - sin(15°)/(15° in radians), 1.1%, and a plane's holes shrink by more of theirs.
const double meshShare = 1.5 * (1 - std::sin(M_PI / 12) / (M_PI / 12));

} // namespace

Patch measureFace(const TopoDS_Shape& face)
{
    GProp_GProps props;
    BRepGProp::SurfaceProperties(face, props);
    return {props.Mass(), props.CentreOfMass()};
}

std::map<std::string, std::vector<Patch>> readGroups(const fs::path& meshFile)
{
    startGmsh();
    gmsh::open(meshFile.string());
    std::map<std::string, std::vector<Patch>> groups;
    gmsh::vectorpair physical;
    gmsh::model::getPhysicalGroups(physical);
    for (const auto& [dim, tag] : physical) {
        std::string name;
        gmsh::model::getPhysicalName(dim, tag, name);
        std::vector<int> entities;
        gmsh::model::getEntitiesForPhysicalGroup(dim, tag, entities);
        std::vector<Patch>& patches = groups[name];
        for (const int entity : entities) {
            Patch patch;
            gp_XYZ moment(0, 0, 0);
            std::vector<int> types;
            std::vector<std::vector<std::size_t>> elements, nodes;
            gmsh::model::mesh::getElements(types, elements, nodes, dim, entity);
            for (std::size_t t = 0; t < types.size(); ++t) {
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
                    for (int c = 0; c < 3; ++c) {
                        std::vector<double> xyz, uvw;
                        gmsh::model::mesh::getNode(nodes[t][e * perElement + std::size_t(c)], xyz,
                                                   uvw);
                        corner[c] = gp_Pnt(xyz[0], xyz[1], xyz[2]);
                    }
                    const double area = 0.5 * gp_Vec(corner[0], corner[1])
                                                  .Crossed(gp_Vec(corner[0], corner[2]))
                                                  .Magnitude();
                    patch.area += area;
                    moment += area * (corner[0].XYZ() + corner[1].XYZ() + corner[2].XYZ()) / 3;
                }
            }
            if (dim == 2 && patch.area > 0) patch.centre = gp_Pnt(moment / patch.area);
            patches.push_back(patch);
        }
    }
    return groups;
}

void expectGroupHolds(const std::vector<Patch>& group, const std::vector<fs::path>& faceFiles,
                      double size, const std::string& name)
{
    ASSERT_EQ(group.size(), faceFiles.size()) << name;
    std::vector<bool> taken(group.size(), false);
    double meshed = 0, listed = 0;
    for (const fs::path& file : faceFiles) {
        TopoDS_Shape face;
        BRep_Builder builder;
        ASSERT_TRUE(BRepTools::Read(face, file.c_str(), builder)) << file;
        const Patch expected = measureFace(face);
        std::size_t nearest = group.size();
        for (std::size_t i = 0; i < group.size(); ++i) {
            if (taken[i]) continue;
            if (nearest == group.size() || group[i].centre.Distance(expected.centre) <
                                               group[nearest].centre.Distance(expected.centre)) {
                nearest = i;
            }
        }
        ASSERT_LT(nearest, group.size()) << name << ": " << file;
        taken[nearest] = true;
        EXPECT_LT(group[nearest].centre.Distance(expected.centre), 0.01 * size)
            << name << ": " << file;
        EXPECT_NEAR(group[nearest].area, expected.area, meshShare * expected.area)
            << name << ": " << file;
        meshed += group[nearest].area;
        listed += expected.area;
    }
    EXPECT_NEAR(meshed, listed, meshShare * listed) << name;
}

TopoDS_Shape makeHoledPlate(int perSide)
{
    TopoDS_Shape plate = BRepPrimAPI_MakeBox(20.0 * perSide, 20.0 * perSide, 10).Shape();
    TopTools_ListOfShape holes;
    for (int i = 0; i < perSide; ++i) {
        for (int j = 0; j < perSide; ++j) {
            const gp_Ax2 axis(gp_Pnt(10 + 20.0 * i, 10 + 20.0 * j, -1), gp::DZ());
            holes.Append(BRepPrimAPI_MakeCylinder(axis, 3 + 0.1 * (i + j), 12).Shape());
        }
    }
    BRepAlgoAPI_Cut cut;
    TopTools_ListOfShape arguments;
    arguments.Append(plate);
    cut.SetArguments(arguments);
    cut.SetTools(holes);
    cut.Build();
    return cut.Shape();
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

std::vector<ListedFace> listEveryFace(const TopoDS_Shape& shape, const fs::path& root)
{
    DatasetInputs inputs;
    const int count = visitFaces(shape, [&](int n, const TopoDS_Face&) {
        inputs.forceFaces.push_back(n);
    });
    fs::create_directories(root / "data");
    EXPECT_TRUE(exportFaceFiles(shape, inputs, root).empty());
    std::vector<ListedFace> faces;
    EXPECT_TRUE(readListedFaces(root, inputs, count, faces).empty());
    EXPECT_EQ(int(faces.size()), count);
    return faces;
}

