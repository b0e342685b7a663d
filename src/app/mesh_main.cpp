// tarnfold-mesh <dataset-root> <mesh.msh>: meshes a dataset's model with gmsh, its listed faces
// the physical surfaces "force" and "restraint", its solids physical volumes.
#include "../command_line/mesh_arguments.hpp"
#include "../console/error_printer.hpp"
#include "../mesh/gmsh_model.hpp"
#include "../mesh/mesh_run.hpp"
#include "../run_state/run_state.hpp"
#include "../run/supervisor.hpp"
#include "../run/temporaries.hpp"
#include "../run/worker.hpp"

#include <csignal>
#include <cstring>
#include <iostream>
#include <stdexcept>

#include <Standard_Version.hxx>

int main(int argc, char** argv)
{
    nameCommand(commands::mesh);
    for (int i = 1; i < argc && std::strcmp(argv[i], "--") != 0; ++i) {
        if (std::strcmp(argv[i], "-h") == 0 || std::strcmp(argv[i], "--help") == 0) {
            std::cout << meshHelpText();
            return 0;
        }
        if (std::strcmp(argv[i], "--version") == 0) {
            std::cout << commandName() << " " TARNFOLD_VERSION " (" << describeGmshVersion()
                      << ", OpenCASCADE " OCC_VERSION_COMPLETE ")\n";
            return 0;
        }
    }
    MeshOptions options;
    try {
        options = parseMeshArguments(argc, argv);
    } catch (const std::invalid_argument& e) {
        printError(std::cerr, std::string(e.what()) + "; see " + commandName() + " --help");
        return 2;
    }
    // As in tarnfold: past a file-size limit a write fails and is reported, and the run happens
    // in a worker, so that whatever the libraries do to it ends in one line on stderr.
    std::signal(SIGXFSZ, SIG_IGN);
    const auto work = [&options](RunState& state) -> int {
        const int status = runReportingFailures(std::cerr, [&] {
            const MeshReport report = runMesh(options, state);
            printNotes(std::cerr, report.notes);
            for (const std::string& error : report.errors) printError(std::cerr, error);
            for (const std::string& line : report.summary) std::cout << line << '\n';
            return report.status;
        });
        enterPhase(&state, RunPhase::finished);
        endWorker(status);
    };
    return superviseRun(meshProducts(options.meshFile), work, std::cerr);
}
