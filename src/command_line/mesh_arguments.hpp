#pragma once

#include "../cache/model_cache.hpp"

#include <string>

/// What the command line of tarnfold-mesh asks for.
struct MeshOptions {
    std::string datasetRoot;
    std::string meshFile;       ///< the .msh file to write
    double size = 0;            ///< largest element size; 0 for a twentieth of the model's size
    int order = 1;              ///< 1: linear elements, 2: quadratic
    std::string format = "2.2"; ///< the MSH format version written: 2.2 or 4.1
    CacheSettings cache;        ///< where the model read is left for tarnfold to find
    double tryTimeout = 60;     ///< seconds each try of gmsh's may take
    std::string tryTimeoutText = "60"; ///< that limit as given, for the lines that name it
};

/// The usage line, ended by a newline.
extern const char* const meshUsageText;

/// The text of --help.
std::string meshHelpText();

/// Reads the arguments after the command's name. Throws std::invalid_argument, worded for the
/// user, for a command line it cannot follow.
MeshOptions parseMeshArguments(int argc, char** argv);
