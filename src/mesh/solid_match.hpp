#pragma once

#include "gmsh_model.hpp"

#include <string>
#include <vector>

#include <TopoDS_Shape.hxx>
#include <gp_Pnt.hxx>

/// A solid of the model, numbered from 1 in the order in which the explorer visits the solids,
/// as faces are numbered.
struct ModelSolid {
    int number = 0;
    double volume = 0;
    gp_Pnt centre; ///< centre of volume
};

/// The solids of `modelShape`, in order.
std::vector<ModelSolid> measureSolids(const TopoDS_Shape& modelShape);

/// For each of `solids`, the gmsh volume that is it, found by geometry: the same volume and
/// centre, within what healing changes. Every gmsh volume must be a solid, and every solid one
/// volume (a solid that the model holds twice is one volume of both): "" when each is, otherwise
/// which volume or solid has no counterpart.
std::string matchVolumes(const std::vector<ModelSolid>& solids,
                         std::vector<std::vector<int>>& volumesOfSolids);

/// Replaces each solid's volumes by the volumes that a fragment made of them. Returns a note for
/// each volume that several solids hold (they overlap there), naming the solids.
std::vector<std::string> followFragments(const VolumePieces& pieces,
                                         std::vector<std::vector<int>>& volumesOfSolids);
