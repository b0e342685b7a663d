// tarnfold_bench: how far tarnfold is from the bare library doing the same job.
//
//   tarnfold_bench --work <dir> --make-models <exe> --tool <exe> [options]
//   tarnfold_bench --floor bare|prescribed <model.step> <selection.bin> <out-dir>
//
// The first form generates the plate models once (kept in <dir>/models), builds the datasets,
// measures and prints the figures, and writes results.csv, runs.csv, allocators.csv and times.png
// into <dir>. It only prints figures; it never fails on a time. Options:
//   --sizes 1000,10000,50000   face counts of the generated plates
//   --corpus <model.step>      one more model, measured when the file exists
//   --datasets 10,10%,all,10k-list
//                              which datasets to make for each model: 10 faces, a tenth of them,
//                              every face, a 10,000-entry list that mostly selects nothing
//   --measure phases,runs,allocators
//                              phases: the tool's steps timed in this process, against the bare
//                              floor's; runs: whole processes of the tool and both floors, first
//                              runs and re-runs; allocators: the allocator variants of the tool
//                              against the glibc one (plates only)
//   --pairs 3                  rounds of alternating runs (each round runs every executable once
//                              per kind of run); medians and spreads are over these
//   --variant name=<exe>       an allocator variant of the tool; one must be named glibc
//   --allocator-dataset 10     the dataset the variants run on
//
// The second form is a floor as a process of its own, for whole-run time and memory. bare: read,
// transfer, one explorer walk and BRepTools::Write of the selected faces, nothing else.
// prescribed: bare plus the trace level and the printed load check the tool is asked for.
#include "bench.hpp"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <sstream>

#include <OSD.hxx>

namespace {

constexpr const char* usage =
    "usage: tarnfold_bench --work <dir> --make-models <exe> --tool <exe> [--sizes n,n,...]\n"
    "         [--corpus <step>] [--datasets 10,10%,all,10k-list] [--measure phases,runs,allocators]\n"
    "         [--pairs n] [--variant name=<exe>]... [--allocator-dataset name]\n"
    "       tarnfold_bench --floor bare|prescribed <model.step> <selection.bin> <out-dir>\n";

std::vector<std::string> splitList(const std::string& text)
{
    std::vector<std::string> items;
    std::istringstream in(text);
    std::string item;
    while (std::getline(in, item, ',')) {
        if (!item.empty()) items.push_back(item);
    }
    return items;
}

bool allIn(const std::vector<std::string>& items, const std::vector<std::string>& known)
{
    return std::all_of(items.begin(), items.end(), [&](const std::string& item) {
        return std::find(known.begin(), known.end(), item) != known.end();
    });
}

// Returns "" or what is wrong with the arguments.
std::string parseArguments(int argc, char** argv, Settings& settings)
{
    std::vector<std::string> measure = {"phases", "runs", "allocators"};
    settings.datasets = datasetKinds();
    settings.sizes = {1000, 10000, 50000};
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string option = argv[i], value = argv[i + 1];
        if (option == "--work") settings.work = value;
        else if (option == "--make-models") settings.makeModels = value;
        else if (option == "--tool") settings.tool = value;
        else if (option == "--corpus") settings.corpus = value;
        else if (option == "--datasets") settings.datasets = splitList(value);
        else if (option == "--measure") measure = splitList(value);
        else if (option == "--pairs") settings.pairs = std::max(1, std::atoi(value.c_str()));
        else if (option == "--allocator-dataset") settings.allocatorDataset = value;
        else if (option == "--sizes") {
            settings.sizes.clear();
            for (const std::string& size : splitList(value)) {
                const int faces = std::atoi(size.c_str());
                if (faces <= 0) return "not a face count in --sizes: " + size;
                settings.sizes.push_back(faces);
            }
        } else if (option == "--variant" && value.find('=') != std::string::npos) {
            settings.variants.emplace_back(value.substr(0, value.find('=')),
                                           value.substr(value.find('=') + 1));
        } else {
            return "unknown option " + option;
        }
    }
    if (argc % 2 == 0) return "an option without a value";
    if (settings.work.empty() || settings.makeModels.empty() || settings.tool.empty()) {
        return "--work, --make-models and --tool are needed";
    }
    if (!allIn(settings.datasets, datasetKinds())) return "unknown dataset in --datasets";
    if (!allIn(measure, {"phases", "runs", "allocators"})) return "unknown item in --measure";
    settings.measure.insert(measure.begin(), measure.end());
    if (settings.measure.count("allocators") != 0) {
        // glibc's first: it is the reference of every round.
        const auto glibc = std::find_if(settings.variants.begin(), settings.variants.end(),
                                        [](const auto& variant) { return variant.first == "glibc"; });
        if (glibc == settings.variants.end()) return "the allocator comparison needs a glibc variant";
        std::rotate(settings.variants.begin(), glibc, glibc + 1);
        if (!allIn({settings.allocatorDataset}, datasetKinds())) return "unknown --allocator-dataset";
        if (!allIn({settings.allocatorDataset}, settings.datasets)) {
            settings.datasets.push_back(settings.allocatorDataset);
        }
    }
    return {};
}

// The plates of every size asked for, then the corpus model when it exists.
bool listModels(const Settings& settings, std::vector<std::pair<std::string, fs::path>>& models)
{
    for (const int size : settings.sizes) {
        fs::path model;
        if (!ensurePlate(settings.work, settings.makeModels, size, model)) {
            std::cerr << "tarnfold_bench: error: cannot generate the " << size << "-face model "
                      << model.string() << '\n';
            return false;
        }
        models.emplace_back("plate" + std::to_string(size), model);
    }
    if (!settings.corpus.empty() && fs::exists(settings.corpus)) {
        models.emplace_back(settings.corpus.stem().string(), settings.corpus);
    } else if (!settings.corpus.empty()) {
        std::cout << "no " << settings.corpus.string() << ": skipped" << std::endl;
    }
    return !models.empty();
}

} // namespace

int main(int argc, char** argv)
{
    if (argc == 6 && std::strcmp(argv[1], "--floor") == 0) {
        return runFloorProcess(argv[2], argv[3], argv[4], argv[5]);
    }
    Settings settings;
    const std::string problem = parseArguments(argc, argv, settings);
    if (!problem.empty()) {
        std::cerr << "tarnfold_bench: error: " << problem << '\n' << usage;
        return 2;
    }
    settings.work = fs::absolute(settings.work);
    const fs::path self = fs::canonical("/proc/self/exe");
    // As the tool does before its import, so that both run under the same handlers.
    OSD::SetSignal(Standard_False);
    const Clock::time_point benchStart = Clock::now();

    std::vector<std::pair<std::string, fs::path>> models;
    if (!listModels(settings, models)) return 1;
    const bool phases = settings.measure.count("phases") != 0;
    const bool wholeRuns = settings.measure.count("runs") != 0;
    bool allocators = settings.measure.count("allocators") != 0;
    if (!showAllocators(settings) && allocators) {
        std::cerr << "tarnfold_bench: error: the glibc variant loads another allocator: no "
                     "allocator comparison\n";
        allocators = false;
    }
    if (phases) warmUpLibrary(models.front().second);

    std::vector<Case> cases;
    std::vector<AllocatorRow> allocatorRows;
    for (const auto& [label, model] : models) {
        std::cout << label << " (" << model.string() << ")" << std::endl;
        warmPageCache(model);
        const std::size_t first = cases.size();
        if (phases) measurePhases(model, label, settings, cases);
        else makeCases(model, label, settings, cases);
        if (wholeRuns) measureWholeRuns(self, settings, cases, first);
        if (!allocators || label.rfind("plate", 0) != 0) continue;
        for (std::size_t i = first; i < cases.size(); ++i) {
            if (cases[i].dataset.name != settings.allocatorDataset) continue;
            const std::vector<AllocatorRow> rows = compareAllocators(settings, cases[i]);
            allocatorRows.insert(allocatorRows.end(), rows.begin(), rows.end());
        }
    }

    printMethod(settings, std::cout);
    printTables(cases, allocatorRows, std::cout);
    writeCsv(cases, allocatorRows, settings.work);
    if (phases) plot(cases, settings.work);
    std::cout << "\nCSV: " << (settings.work / "results.csv").string() << ", "
              << (settings.work / "runs.csv").string() << ", "
              << (settings.work / "allocators.csv").string();
    if (phases) std::cout << "\nplot: " << (settings.work / "times.png").string();
    std::cout << "\nbench took " << formatFixed(msSince(benchStart) / 60000, 1) << " min"
              << std::endl;
    return 0;
}
