#include "mesh_arguments.hpp"

#include "cache_options.hpp"
#include "option_value.hpp"

#include <cmath>
#include <locale>
#include <sstream>
#include <stdexcept>
#include <vector>

const char* const meshUsageText = "usage: tarnfold-mesh [options] <dataset-root> <mesh.msh>\n";

std::string meshHelpText()
{
    return std::string(meshUsageText)
           + "\nMeshes the model that <dataset-root>/data/address.txt names with gmsh and\n"
                 "writes <mesh.msh>. The faces of the dataset's force and restraint lists are the\n"
                 "physical surfaces \"force\" and \"restraint\"; the model's solids are physical\n"
                 "volumes, \"solid\" or, when there are several, \"solid1\", \"solid2\", ...\n"
                 "fragmented into one conformal mesh; a model without a solid is a surface mesh,\n"
                 "its faces the physical surface \"shell\". The lists are checked against the\n"
                 "record of the last run as tarnfold checks them; each listed face is taken\n"
                 "from the model and found among gmsh's surfaces by its geometry. A try that\n"
                 "fails is followed by the next: as imported, healed, with gmsh's HXT (or for\n"
                 "shells MeshAdapt) algorithm, with 24 elements a turn on curved faces, twice\n"
                 "as coarse.\n\n"
                 "  --size LENGTH       largest element size, in the model's units (default: a\n"
                 "                      twentieth of the model's diagonal); curved faces get\n"
                 "                      finer elements, 12 to a full turn\n"
                 "  --order N           1 for linear elements (default), 2 for quadratic\n"
                 "  --format V          MSH format version 2.2 (default) or 4.1, in ASCII\n"
                 "  --try-timeout SECS  stop a try after SECS seconds (default 60); the tries\n"
                 "                      together take at most twice that\n"
           + cacheOptionsHelp
           + "  -h, --help          show this help\n"
                 "  --version           show the version of tarnfold-mesh, gmsh and OpenCASCADE\n\n"
                 "Only the elements of the groups are written. stdout carries the STEP reader's\n"
                 "messages and a summary of the mesh; notes (which try gave the mesh, faces that\n"
                 "the healing split or merged, gmsh's warnings) and errors go to stderr. Exit\n"
                 "status: 0 when the mesh was written, 1 when an error was reported on stderr\n"
                 "(then no mesh file is written), 2 for a usage error, 128+N when stopped by\n"
                 "signal N. The model cache (see tarnfold --help) is where the model read is\n"
                 "left for tarnfold to find; this command reads the STEP file itself.\n";
}

namespace {

double readPositive(const std::string& name, const std::string& text)
{
    std::istringstream stream(text);
    stream.imbue(std::locale::classic());
    double value = 0;
    char rest = 0;
    if (!(stream >> value) || stream >> rest || !std::isfinite(value) || value <= 0) {
        throw std::invalid_argument("option " + name + " needs a positive number, not '" + text +
                                    "'");
    }
    return value;
}

} // namespace

MeshOptions parseMeshArguments(int argc, char** argv)
{
    MeshOptions options;
    options.cache = cacheFromEnvironment();
    std::vector<std::string> operands;
    walkArguments(argc, argv, operands, options.cache, [&](const std::string& argument, int& i) {
        std::string value;
        if (takeOptionValue("--size", argc, argv, i, value)) {
            options.size = readPositive("--size", value);
        } else if (takeOptionValue("--order", argc, argv, i, value)) {
            if (value != "1" && value != "2") {
                throw std::invalid_argument("option --order takes 1 or 2, not '" + value + "'");
            }
            options.order = value == "1" ? 1 : 2;
        } else if (takeOptionValue("--try-timeout", argc, argv, i, value)) {
            options.tryTimeout = readPositive("--try-timeout", value);
            options.tryTimeoutText = value;
        } else if (takeOptionValue("--format", argc, argv, i, value)) {
            if (value != "2.2" && value != "4.1") {
                throw std::invalid_argument("option --format takes 2.2 or 4.1, not '" + value +
                                            "'");
            }
            options.format = value;
        } else {
            return false;
        }
        return true;
    });
    if (operands.size() != 2) {
        throw std::invalid_argument(operands.size() < 2 ? "a dataset root and a mesh file are needed"
                                                        : "too many arguments");
    }
    options.datasetRoot = operands[0];
    options.meshFile = operands[1];
    return options;
}
