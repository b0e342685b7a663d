// tarnfold <dataset-root>: writes the faces that a dataset's force and restraint lists name to
// <root>/data/face<N>.brep, one BRep file per face.
#include "../command_line/tool_arguments.hpp"
#include "../commands/dataset_run.hpp"
#include "../console/error_printer.hpp"
#include "../paths/narrow_arguments.hpp"

#include <iostream>
#include <stdexcept>

#include <Standard_Version.hxx>

int main(int argc, char** argv)
{
    nameCommand(commands::tool);
    // The arguments exactly as typed: a root whose characters the narrow file-name encoding
    // lacks ends the run here, before anything is read or written.
    if (const std::string problem = takeNarrowArguments(argc, argv); !problem.empty()) {
        printError(std::cerr, problem);
        return 1;
    }
    ToolArguments arguments;
    try {
        arguments = parseToolArguments(argc, argv);
    } catch (const std::invalid_argument& e) {
        printError(std::cerr, std::string(e.what()) + "; see " + commandName() + " --help");
        return 2;
    }
    switch (arguments.action) {
    case ToolAction::usage:
        std::cerr << toolUsageLine << '\n';
        return 2;
    case ToolAction::help:
        std::cout << toolHelpText();
        return 0;
    case ToolAction::version:
        std::cout << commandName() << " " TARNFOLD_VERSION " (OpenCASCADE " OCC_VERSION_COMPLETE
                     ")\n";
        return 0;
    case ToolAction::run:
        break;
    }
    return superviseDatasetRun(arguments, argv[0], std::cout, std::cerr);
}
