// tarnfold-faces: prints the table of a model's faces, numbered as tarnfold numbers them, draws
// the model with the faces of a dataset's lists coloured and numbered, and writes a 3D page to
// pick faces in a browser.
#include "../command_line/faces_arguments.hpp"
#include "../commands/faces_run.hpp"
#include "../console/error_printer.hpp"
#include "../paths/narrow_arguments.hpp"

#include <cstring>
#include <iostream>
#include <stdexcept>

#include <Standard_Version.hxx>

int main(int argc, char** argv)
{
    nameCommand(commands::faces);
    if (argc < 2) {
        std::cerr << facesUsageText;
        return 2;
    }
    // Dataset roots and files exactly as typed (see tarnfold's main).
    if (const std::string problem = takeNarrowArguments(argc, argv); !problem.empty()) {
        printError(std::cerr, problem);
        return 1;
    }
    for (int i = 1; i < argc && std::strcmp(argv[i], "--") != 0; ++i) {
        if (std::strcmp(argv[i], "-h") == 0 || std::strcmp(argv[i], "--help") == 0) {
            std::cout << facesHelpText();
            return 0;
        }
        if (std::strcmp(argv[i], "--version") == 0) {
            std::cout << commandName() << " " TARNFOLD_VERSION " (OpenCASCADE " OCC_VERSION_COMPLETE
                      ")\n";
            return 0;
        }
    }
    FacesOptions options;
    try {
        options = parseFacesArguments(argc, argv);
    } catch (const std::invalid_argument& e) {
        printError(std::cerr, std::string(e.what()) + "; see " + commandName() + " --help");
        return 2;
    }
    return superviseFaces(options, std::cout, std::cerr);
}
