#pragma once

#include <map>
#include <string>
#include <vector>

#include <TopoDS_Shape.hxx>

/// Starts gmsh with an empty model, or empties the model of a gmsh already started: no
/// configuration file of the user's is read, and gmsh prints nothing itself. Its errors become
/// exceptions (std::string), but while it meshes; its warnings and errors are logged, for
/// takeGmshLog.
void startGmsh();

/// What gmsh has logged since the last call, each line as gmsh worded it.
struct GmshLog {
    std::vector<std::string> warnings, errors;
};

/// The warnings and errors gmsh has logged since the last call.
GmshLog takeGmshLog();

/// "" when gmsh was built on the OpenCASCADE version that this program was built on, as handing
/// it a shape needs; otherwise why not.
std::string checkGmshOpenCascade();

/// Hands `modelShape` itself to gmsh's OpenCASCADE kernel, as the model's geometry.
void importIntoGmsh(const TopoDS_Shape& modelShape);

/// Heals gmsh's model as gmsh users do after an import: degenerated edges fixed, edges and faces
/// smaller than `tolerance` taken away, and, when `sew`, faces sewn within it. Solids are never
/// sewn: sewing takes touching solids for one shell, and leaves no solid at all.
void healGmshModel(double tolerance, bool sew);

/// For each volume before a fragment, the volumes it became.
using VolumePieces = std::map<int, std::vector<int>>;

/// Fragments the volumes of gmsh's model into one conformal model, when it has more than one:
/// where two touch, they then share the surface between them; where two overlap, their common
/// part is a volume of its own. Returns what became of each volume.
VolumePieces fragmentGmshVolumes();

/// The tags of gmsh's entities of dimension `dim`, increasing.
std::vector<int> listGmshEntities(int dim);

/// "gmsh <version>", the version of the gmsh library in use (gmsh is started for it).
std::string describeGmshVersion();
