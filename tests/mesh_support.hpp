#pragma once

#include "mesh/listed_faces.hpp"

#include <filesystem>
#include <map>
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

/// Fails the test unless each face file's face is one patch of `group`, near its centre and of
/// its area within what the mesh allows, and the group holds no other patch. `size` is the
/// model's.
void expectGroupHolds(const std::vector<Patch>& group,
                      const std::vector<std::filesystem::path>& faceFiles, double size,
                      const std::string& name);

/// A plate with a grid of perSide x perSide holes through it, of slightly different radii.
TopoDS_Shape makeHoledPlate(int perSide);

/// A list file's text: one record of `length` numbers a face, the further ones zero.
std::string recordsOf(const std::vector<int>& faces, int length);

/// root/data/face<N>.brep for each face.
std::vector<std::filesystem::path> faceFilesOf(const std::filesystem::path& root,
                                               const std::vector<int>& faces);

/// Face files of every face of `shape` under root, as tarnfold writes them, read back as
/// tarnfold-mesh reads them.
std::vector<ListedFace> listEveryFace(const TopoDS_Shape& shape,
                                      const std::filesystem::path& root);
