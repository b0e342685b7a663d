#pragma once

#include <string>
#include <vector>

#include <TopoDS_Face.hxx>

struct RunState;

/// One of gmsh's surfaces, as an OCCT face, and its tag.
struct GmshSurface {
    int tag = 0;
    TopoDS_Face face;
};

/// Every surface of gmsh's model as gmsh holds it. gmsh writes its model to `scratchFile` (a
/// name that ends in ".brep"), which is read back and removed; each face read back is paired
/// with a surface of gmsh's by geometry, never by the order of the file: the same area and centre
/// of area, bounds that agree, and a point of the face on the surface. Returns the surfaces in
/// increasing order of tags; none, with `error` set, when the file cannot be written or read or
/// a surface pairs with no face. The file, while it exists, is recorded in `state`.
std::vector<GmshSurface> readGmshSurfaces(const std::string& scratchFile, std::string& error,
                                          RunState* state);
