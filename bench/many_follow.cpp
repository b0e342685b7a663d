// Many datasets that share one model, followed in one command against one dataset alone: the
// model is read once for all of them, so twenty should cost little more than one.
#include "bench.hpp"

#include <iostream>

namespace {

constexpr int datasetCount = 20;

std::vector<double> ratios(const std::vector<ProcessFigures>& many,
                           const std::vector<ProcessFigures>& one)
{
    return pairedRatios(many, one, &ProcessFigures::wallMs);
}

void printMode(const std::string& mode, const std::vector<ProcessFigures>& one,
               const std::vector<ProcessFigures>& many)
{
    std::cout << "    " << mode << "   one " << formatSpread(fieldOf(one, &ProcessFigures::wallMs), 0)
              << " ms, " << datasetCount << " datasets "
              << formatSpread(fieldOf(many, &ProcessFigures::wallMs), 0) << " ms (peak "
              << formatSpread(fieldOf(many, &ProcessFigures::peakRssMiB), 0) << " MiB); "
              << datasetCount << " / one " << formatSpread(ratios(many, one), 2) << " (CPU "
              << formatSpread(pairedRatios(many, one, &ProcessFigures::cpuMs), 2) << ")\n";
}

} // namespace

void measureManyDatasets(const fs::path& directory, const fs::path& original,
                         const fs::path& drilled, const fs::path& model, int faceCount,
                         const fs::path& tool, const fs::path& facesTool, int rounds)
{
    fs::copy_file(original, model, fs::copy_options::overwrite_existing);
    const std::vector<fs::path> roots =
        makeBatchDatasets(directory / "many", model, faceCount, datasetCount, 10);
    for (const fs::path& root : roots) {
        const ProcessFigures run = runProcess({tool.string(), root.string()}, directory / "t");
        if (run.exitStatus != 0) std::cerr << "record_bench: tarnfold failed on " << root << '\n';
    }
    fs::copy_file(drilled, model, fs::copy_options::overwrite_existing);

    std::cout << "  " << datasetCount << " datasets of 10 faces each sharing the model, in one "
              << "command, against the first alone\n";
    for (const bool follow : {true, false}) {
        std::vector<std::string> many = {facesTool.string()};
        for (const fs::path& root : roots) many.push_back(root.string());
        std::vector<std::string> one = {facesTool.string(), roots.front().string()};
        for (std::vector<std::string>* command : {&many, &one}) {
            if (follow) {
                command->push_back("--follow");
            } else {
                command->insert(command->end(), {"--since", original.string()});
            }
        }
        std::vector<ProcessFigures> oneRuns, manyRuns;
        for (int round = 0; round < rounds; ++round) {
            const auto runOne = [&] { oneRuns.push_back(runProcess(one, directory / "t")); };
            const auto runMany = [&] { manyRuns.push_back(runProcess(many, directory / "t")); };
            if (round % 2 == 0) {
                runOne();
                runMany();
            } else {
                runMany();
                runOne();
            }
        }
        printMode(follow ? "--follow" : "--since ", oneRuns, manyRuns);
    }
    fs::copy_file(original, model, fs::copy_options::overwrite_existing);
}
