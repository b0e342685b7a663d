// mesh_bench: tarnfold-mesh over real models and the models its tests build: how many it meshed,
// on which try, in how long and with how much memory.
//
//   mesh_bench --work <dir> --mesh-tool <exe> [--rounds n] [--try-timeout s] <model or dir>...
//
// Each model gets a dataset that lists its face 1 as a force and face 2 as a restraint, and is
// meshed `rounds` times, at the command's default size (the built ones at the tests' size). A directory stands for the .step and
// .stp files in it. It prints one line per model and a summary; it never fails on a time.
#include "bench.hpp"
#include "mesh_models.hpp"

#include <algorithm>
#include <fstream>
#include <iostream>
#include <map>
#include <sstream>

namespace {

struct MeshFigures {
    std::string name;
    std::vector<double> seconds, peakMiB;
    int status = -1;     ///< of the last round
    int meshedOnTry = 0; ///< 0 when there is no mesh
    bool oneShape = true;
    std::string reason;  ///< the error line, when there is no mesh
};

std::string readText(const fs::path& file)
{
    std::ifstream in(file);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// The try that gave the mesh, from the command's note ("meshed on try 3 (...)"), 1 without one.
int findTry(const std::string& err)
{
    const std::string note = "note: meshed on try ";
    const std::size_t at = err.find(note);
    return at == std::string::npos ? 1 : std::atoi(err.c_str() + at + note.size());
}

std::string findError(const std::string& err)
{
    const std::string prefix = "tarnfold-mesh: error: ";
    const std::size_t at = err.find(prefix);
    if (at == std::string::npos) return err.empty() ? "no reason given" : err.substr(0, 200);
    return err.substr(at + prefix.size(), err.find('\n', at) - at - prefix.size());
}

MeshFigures meshModel(const std::string& dataset, const MeshModel& model, const fs::path& work,
                      const fs::path& tool, int rounds, const std::string& tryTimeout)
{
    const fs::path root = work / "datasets" / dataset;
    fs::create_directories(root / "data" / "force");
    fs::create_directories(root / "data" / "restraint");
    std::ofstream(root / "data" / "address.txt") << fs::absolute(model.path).string() << '\n';
    std::ofstream(root / "data" / "force" / "loads.txt") << "1 0 -100\n";
    std::ofstream(root / "data" / "restraint" / "fixed.txt") << "2 1 1 1 0 0 0\n";

    MeshFigures figures;
    figures.name = model.name;
    std::vector<std::string> command{tool.string(), "--try-timeout", tryTimeout};
    if (!model.size.empty()) command.insert(command.end(), {"--size", model.size});
    const fs::path mesh = work / "mesh.msh", err = work / "err.txt";
    command.insert(command.end(), {root.string(), mesh.string()});
    for (int round = 0; round < rounds; ++round) {
        const ProcessFigures run = runProcess(command, work / "time.txt", err);
        figures.seconds.push_back(run.wallMs / 1000);
        figures.peakMiB.push_back(run.peakRssMiB);
        figures.status = run.exitStatus;
        const std::string text = readText(err);
        figures.oneShape = text.find("transferred shapes") == std::string::npos;
        figures.meshedOnTry = run.exitStatus == 0 ? findTry(text) : 0;
        figures.reason = run.exitStatus == 0 ? "" : findError(text);
        fs::remove(mesh);
    }
    return figures;
}

void printModel(const MeshFigures& f)
{
    std::cout << "  " << f.name << (f.oneShape ? "" : " (several shapes)") << ": ";
    if (f.meshedOnTry > 0) {
        std::cout << "meshed on try " << f.meshedOnTry;
    } else {
        std::cout << "no mesh (status " << f.status << ")";
    }
    std::cout << ", " << formatSpread(f.seconds, 1) << " s, " << formatSpread(f.peakMiB, 0)
              << " MiB\n";
    if (f.meshedOnTry == 0) std::cout << "    " << f.reason << '\n';
}

void printSummary(const std::vector<MeshFigures>& all)
{
    int meshed = 0, oneShape = 0, oneShapeMeshed = 0, unreasoned = 0;
    double longestFailure = 0;
    std::map<int, int> byTry;
    for (const MeshFigures& f : all) {
        meshed += f.meshedOnTry > 0;
        oneShape += f.oneShape;
        oneShapeMeshed += f.oneShape && f.meshedOnTry > 0;
        if (f.meshedOnTry > 0) {
            ++byTry[f.meshedOnTry];
        } else {
            longestFailure = std::max(longestFailure, *std::max_element(f.seconds.begin(), f.seconds.end()));
            unreasoned += f.reason == "no reason given";
        }
    }
    std::cout << "\nmeshed: " << meshed << " of " << all.size() << " models; one-shape models: "
              << oneShapeMeshed << " of " << oneShape << "\nby try:";
    for (const auto& [attempt, count] : byTry) std::cout << " " << attempt << ": " << count << ";";
    std::cout << "\nwithout a mesh: " << all.size() - std::size_t(meshed) << ", the longest "
              << formatFixed(longestFailure, 1) << " s, " << unreasoned << " without a reason\n";
}

} // namespace

int main(int argc, char** argv)
{
    fs::path work, tool;
    int rounds = 1;
    std::string tryTimeout = "60";
    std::vector<fs::path> inputs;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        const bool hasValue = i + 1 < argc;
        if (argument == "--work" && hasValue) {
            work = argv[++i];
        } else if (argument == "--mesh-tool" && hasValue) {
            tool = argv[++i];
        } else if (argument == "--rounds" && hasValue) {
            rounds = std::max(1, std::atoi(argv[++i]));
        } else if (argument == "--try-timeout" && hasValue) {
            tryTimeout = argv[++i];
        } else {
            inputs.push_back(argument);
        }
    }
    if (work.empty() || tool.empty()) {
        std::cerr << "usage: mesh_bench --work <dir> --mesh-tool <exe> [--rounds n] "
                     "[--try-timeout s] <model or dir>...\n";
        return 2;
    }
    fs::create_directories(work);
    std::vector<MeshModel> models;
    for (const fs::path& input : inputs) {
        if (fs::is_directory(input)) {
            std::vector<fs::path> found;
            for (const fs::directory_entry& entry : fs::directory_iterator(input)) {
                const std::string extension = entry.path().extension().string();
                if (extension == ".step" || extension == ".stp") found.push_back(entry.path());
            }
            std::sort(found.begin(), found.end());
            for (const fs::path& model : found) models.push_back({model.filename().string(), model, ""});
        } else if (fs::exists(input)) {
            models.push_back({input.filename().string(), input, ""});
        } else {
            std::cout << input.string() << ": not found, skipped\n";
        }
    }
    const std::size_t real = models.size();
    const auto built = writeMeshModels(work / "models");
    models.insert(models.end(), built.begin(), built.end());

    std::cout << "tarnfold-mesh, each try stopped after " << tryTimeout
              << " s: wall time and peak memory (GNU time's largest resident set of the run's "
                 "processes), median (min-max) of "
              << rounds << (rounds == 1 ? " round" : " rounds") << "\n";
    std::vector<MeshFigures> all;
    for (std::size_t i = 0; i < models.size(); ++i) {
        if (i == 0 && real > 0) std::cout << "\nreal models\n";
        if (i == real) std::cout << "\nmodels the tests build\n";
        all.push_back(meshModel("m" + std::to_string(i + 1), models[i], work, tool, rounds,
                                tryTimeout));
        printModel(all.back());
    }
    printSummary(all);
    return 0;
}
