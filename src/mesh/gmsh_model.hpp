#pragma once

#include <string>
#include <vector>

#include <TopoDS_Face.hxx>
#include <TopoDS_Shape.hxx>

struct RunState;

/// Starts gmsh with an empty model, or empties the model of a gmsh already started: no
/// configuration file of the user's is read, and gmsh prints nothing itself. Its errors become
/// exceptions (std::string); its warnings are logged, for takeGmshWarnings.
void startGmsh();

/// The warnings gmsh has logged since the last call, each as gmsh worded it.
std::vector<std::string> takeGmshWarnings();

/// "" when gmsh was built on the OpenCASCADE version that this program was built on, as handing
/// it a shape needs; otherwise why not.
std::string checkGmshOpenCascade();

/// Hands `modelShape` itself to gmsh's OpenCASCADE kernel, as the model's geometry. Returns the
/// tags of gmsh's volumes.
std::vector<int> importIntoGmsh(const TopoDS_Shape& modelShape);

/// One of gmsh's surfaces, as an OCCT face, and its tag.
struct GmshSurface {
    int tag = 0;
    TopoDS_Face face;
};

/// Every surface of gmsh's model as gmsh holds it: gmsh copies them, writes the copies to a BRep
/// file in the temporary directory and drops them again, and the file is read back. Returns
/// them in increasing order of tags; none, with `error` set, when that fails. The file, while it
/// exists, is recorded in `state`.
std::vector<GmshSurface> readGmshSurfaces(std::string& error, RunState* state);

/// "gmsh <version>", the version of the gmsh library in use (gmsh is started for it).
std::string describeGmshVersion();
