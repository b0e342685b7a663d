// tarnfold-batch [options] <dataset-root>...: does for every dataset what tarnfold does for one,
// reading each model once for all the datasets that name it.
#include "../batch/batch_arguments.hpp"
#include "../batch/batch_run.hpp"
#include "../console/error_printer.hpp"

#include <csignal>
#include <cstring>
#include <iostream>
#include <stdexcept>

#include <Standard_Version.hxx>

int main(int argc, char** argv)
{
    nameCommand(commands::batch);
    if (argc < 2) {
        std::cerr << batchUsageText;
        return 2;
    }
    for (int i = 1; i < argc && std::strcmp(argv[i], "--") != 0; ++i) {
        if (std::strcmp(argv[i], "-h") == 0 || std::strcmp(argv[i], "--help") == 0) {
            std::cout << batchHelpText();
            return 0;
        }
        if (std::strcmp(argv[i], "--version") == 0) {
            std::cout << commandName() << " " TARNFOLD_VERSION " (OpenCASCADE " OCC_VERSION_COMPLETE
                      ")\n";
            return 0;
        }
    }
    BatchOptions options;
    try {
        options = parseBatchArguments(argc, argv);
    } catch (const std::invalid_argument& e) {
        printError(std::cerr, std::string(e.what()) + "; see " + commandName() + " --help");
        return 2;
    }
    // As in tarnfold: past a file-size limit a face write fails and is reported.
    std::signal(SIGXFSZ, SIG_IGN);
    return runBatch(options, std::cout, std::cerr);
}
