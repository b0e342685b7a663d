#pragma once

// Models that tarnfold-mesh is tried on, by its tests and by bench-mesh: what users hand it.

#include <filesystem>
#include <string>
#include <vector>

#include <TopoDS_Shape.hxx>

/// A plate with a grid of perSide x perSide holes through it, of slightly different radii.
TopoDS_Shape makeHoledPlate(int perSide);

/// A cylinder of radius 3 and height 10 on the xy plane, with a slot cut down into it from its
/// top to z = 2: `width` wide along y, from x = -halfLength to halfLength, its outer wall at
/// y = 3 - `wallGap`. Where the wall left between the slot and the cylinder is thinner than
/// the chords of the cylinder's elements are deep, the surface mesh cuts through itself.
TopoDS_Shape makeSlottedCylinder(double halfLength, double wallGap, double width);

/// The six faces of a 10 x 10 x 10 box sewn into a shell, and no solid.
TopoDS_Shape makeShellBox();

/// Two 10 x 10 x 10 boxes side by side, touching on the plane x = 10: solid 1 below x = 10.
TopoDS_Shape makeTouchingBoxes();

/// A model that bench-mesh meshes.
struct MeshModel {
    std::string name;
    std::filesystem::path path;
    std::string size; ///< the largest element size to ask for, as the tests do; "" for the default
};

/// The models above as bench-mesh meshes them, written as STEP files into `directory` (once:
/// those already there are kept). None when one cannot be written.
std::vector<MeshModel> writeMeshModels(const std::filesystem::path& directory);
