#pragma once

#include "mesh_models.hpp"

#include "mesh/listed_faces.hpp"

#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <vector>

#include <TopoDS_Shape.hxx>
#include <gp_Pnt.hxx>

/// What a face or a meshed surface covers: its area and centre.
struct Patch {
    double area = 0;
    gp_Pnt centre;
};

/// The area and centre of area of a face.
Patch measureFace(const TopoDS_Shape& face);

/// The patches of each physical group of a mesh file, one per gmsh entity, read back by gmsh
/// itself; a volume's "area" is its number of elements.
std::map<std::string, std::vector<Patch>> readGroups(const std::filesystem::path& meshFile);

/// The nodes of the elements of each physical group of a mesh file that lie on the plane
/// x = `x`.
std::map<std::string, std::set<std::size_t>> readNodesAtX(const std::filesystem::path& meshFile,
                                                          double x);

/// Fails the test unless each face is one patch of `group`, near its centre and of its area
/// within what the mesh allows, and the group holds no other patch. `size` is the model's.
void expectGroupHolds(const std::vector<Patch>& group, const std::vector<TopoDS_Shape>& faces,
                      double size, const std::string& name);

/// The faces that face files hold.
std::vector<TopoDS_Shape> readFaceFiles(const std::vector<std::filesystem::path>& files);

/// The faces of `shape` numbered `numbers`, as tarnfold numbers them.
std::vector<TopoDS_Shape> facesOf(const TopoDS_Shape& shape, const std::vector<int>& numbers);

/// A list file's text: one record of `length` numbers a face, the further ones zero.
std::string recordsOf(const std::vector<int>& faces, int length);

/// root/data/face<N>.brep for each face.
std::vector<std::filesystem::path> faceFilesOf(const std::filesystem::path& root,
                                               const std::vector<int>& faces);

/// Every face of `shape`, listed in the force list, as tarnfold-mesh takes them from the model.
std::vector<ListedFace> listEveryFace(const TopoDS_Shape& shape);
