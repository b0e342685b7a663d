#pragma once

#include <cstddef>
#include <vector>

#include <TopoDS_Face.hxx>
#include <gp_Pnt2d.hxx>

/// Points (u, v) inside the meshed `face` where its number can stand, best first: each as far
/// from the face's boundary as the mesh allows, and each farther from the ones before it than
/// from the boundary, so that the later ones are real alternatives. At most `maxCount`; empty
/// when the face has no usable mesh and no parameter point inside it is found.
std::vector<gp_Pnt2d> findLabelPoints(const TopoDS_Face& face, std::size_t maxCount);
