// cache_bench: the model cache, as whole processes, on one model.
//
//   cache_bench --work <dir> --tool <exe> --batch <exe> [--rounds 5] <model.step>
//
// In rounds whose order rotates: tarnfold on a dataset of 10 listed faces without a cache,
// through a filled cache, and through an empty one (a first run that leaves the entry); on a
// dataset of every face, through the filled cache, without a cache, through an empty one, and
// the bare library floor that reads, transfers and writes every face. Then tarnfold-batch on 30
// datasets of 10 faces sharing the model, against one tarnfold run on one of them. Every run
// through the cache must write the face files of the same run without it. It prints figures
// and never fails on a time.
//
//   cache_bench --floor bare <model.step> <selection.bin> <out>
// is the floor as a process of its own.
#include "bench.hpp"

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <map>

#include <OSD.hxx>
#include <STEPControl_Reader.hxx>

namespace {

struct BenchSettings {
    fs::path self, work, tool, batch, model;
    int rounds = 5;
};

// Each kind of run, in the order a round starts with.
enum Run { tenWithout, tenFound, tenKept, allFound, allWithout, allKept, allFloor, runCount };

const char* const runNames[runCount] = {
    "10 faces, no cache",    "10 faces, found in the cache", "10 faces, kept in an empty cache",
    "every face, found",     "every face, no cache",         "every face, kept in an empty cache",
    "every face, bare floor"};

void printLoad(const char* when)
{
    std::ifstream loadavg("/proc/loadavg");
    std::string one, five, fifteen;
    loadavg >> one >> five >> fifteen;
    std::cout << "load average " << when << ": " << one << ' ' << five << ' ' << fifteen
              << std::endl;
}

int facesOf(const fs::path& model)
{
    const int saved = silenceStdout();
    STEPControl_Reader reader;
    ImportTimes times;
    const int faces = countFaces(importBare(reader, model.string(), times));
    restoreStdout(saved);
    return faces;
}

ProcessFigures runOne(const BenchSettings& settings, Run run, const Dataset& ten,
                      const Dataset& all)
{
    const fs::path filled = settings.work / "filled-cache", empty = settings.work / "empty-cache";
    const Dataset& dataset = run <= tenKept ? ten : all;
    const fs::path rss = settings.work / "rss.txt";
    if (run == allFloor) {
        removeFaceFiles(dataset.root / "floor");
        return runProcess({settings.self.string(), "--floor", "bare", settings.model.string(),
                           (dataset.root / "selection.bin").string(),
                           (dataset.root / "floor").string()},
                          rss);
    }
    removeFaceFiles(dataset.root / "data");
    fs::remove(dataset.root / "data" / "last-run.tsv");
    fs::remove(dataset.root / "data" / "last-run-model.tsv");
    std::vector<std::string> command = {settings.tool.string()};
    if (run == tenFound || run == allFound) {
        command.push_back("--cache");
        command.push_back(filled.string());
    }
    if (run == tenKept || run == allKept) {
        fs::remove_all(empty);
        command.push_back("--cache");
        command.push_back(empty.string());
    }
    command.push_back(dataset.root.string());
    return runProcess(command, rss);
}

std::string ratios(const std::vector<ProcessFigures>& runs, const std::vector<ProcessFigures>& base,
                   double ProcessFigures::*field = &ProcessFigures::wallMs)
{
    return formatSpread(pairedRatios(runs, base, field), 3);
}

std::string seconds(const std::vector<ProcessFigures>& runs)
{
    std::vector<double> values = fieldOf(runs, &ProcessFigures::wallMs);
    for (double& value : values) value /= 1000;
    return formatSpread(values, 3) + " s";
}

std::string memory(const std::vector<ProcessFigures>& runs)
{
    return formatSpread(fieldOf(runs, &ProcessFigures::peakRssMiB), 0) + " MiB";
}

// 30 datasets of 10 faces that share the model, in one tarnfold-batch run against one tarnfold
// run on the first of them, without a cache, alternating.
void measureBatch(const BenchSettings& settings, int faces)
{
    const std::vector<fs::path> roots =
        makeBatchDatasets(settings.work / "batch", settings.model, faces, 30, 10);
    const fs::path list = settings.work / "batch.txt";
    {
        std::ofstream out(list);
        for (const fs::path& root : roots) out << root.string() << '\n';
    }
    std::vector<ProcessFigures> batch, one;
    for (int round = 0; round < settings.rounds; ++round) {
        for (int k = 0; k < 2; ++k) {
            if ((k + round) % 2 == 0) {
                for (const fs::path& root : roots) removeFaceFiles(root / "data");
                batch.push_back(runProcess({settings.batch.string(), "--from", list.string()},
                                           settings.work / "rss.txt"));
            } else {
                removeFaceFiles(roots.front() / "data");
                one.push_back(runProcess({settings.tool.string(), roots.front().string()},
                                         settings.work / "rss.txt"));
            }
        }
        std::cout << "  batch round " << round + 1 << ": batch " << formatMs(batch.back().wallMs)
                  << " ms, one run " << formatMs(one.back().wallMs) << " ms" << std::endl;
    }
    std::cout << "\n30 datasets of 10 faces in one tarnfold-batch run, no cache: " << seconds(batch)
              << "; one tarnfold run: " << seconds(one) << "\n  batch / one run: wall "
              << ratios(batch, one) << ", CPU " << ratios(batch, one, &ProcessFigures::cpuMs)
              << " (goal: at most 1.1)" << std::endl;
}

std::string parseArguments(int argc, char** argv, BenchSettings& settings)
{
    for (int i = 1; i < argc; ++i) {
        const std::string option = argv[i];
        if (i + 1 == argc) {
            settings.model = option;
            break;
        }
        const std::string value = argv[++i];
        if (option == "--work")
            settings.work = fs::absolute(value);
        else if (option == "--tool")
            settings.tool = value;
        else if (option == "--batch")
            settings.batch = value;
        else if (option == "--rounds")
            settings.rounds = std::max(1, std::atoi(value.c_str()));
        else
            return "unknown option " + option;
    }
    if (settings.work.empty() || settings.tool.empty() || settings.batch.empty() ||
        settings.model.empty()) {
        return "--work, --tool, --batch and a model are needed";
    }
    return {};
}

} // namespace

int main(int argc, char** argv)
{
    if (argc == 6 && std::strcmp(argv[1], "--floor") == 0) {
        return runFloorProcess(argv[2], argv[3], argv[4], argv[5]);
    }
    BenchSettings settings;
    const std::string problem = parseArguments(argc, argv, settings);
    if (!problem.empty()) {
        std::cerr << "cache_bench: error: " << problem << '\n';
        return 2;
    }
    if (!fs::exists(settings.model)) {
        std::cout << "no model " << settings.model.string() << ": nothing measured" << std::endl;
        return 0;
    }
    settings.self = fs::canonical("/proc/self/exe");
    OSD::SetSignal(Standard_False);
    const Clock::time_point start = Clock::now();
    printLoad("at the start");
    const int faces = facesOf(settings.model);
    const std::vector<Dataset> datasets =
        makeDatasets(settings.work / "datasets", "model", settings.model, faces, {"10", "all"});
    const Dataset& ten = datasets.at(0);
    const Dataset& all = datasets.at(1);
    fs::create_directories(all.root / "floor");
    std::cout << settings.model.string() << ": " << faces << " faces" << std::endl;
    warmPageCache(settings.model);
    // The filled cache: one run leaves the model's entry in it.
    fs::remove_all(settings.work / "filled-cache");
    runProcess({settings.tool.string(), "--cache", (settings.work / "filled-cache").string(),
                ten.root.string()},
               settings.work / "rss.txt");

    std::array<std::vector<ProcessFigures>, runCount> runs;
    bool identical = true;
    for (int round = 0; round < settings.rounds; ++round) {
        std::cout << "  round " << round + 1 << ':';
        std::map<int, fs::path> kept; // each run's face files, to compare
        for (int k = 0; k < runCount; ++k) {
            const Run run = Run((k + round) % runCount);
            runs[run].push_back(runOne(settings, run, ten, all));
            std::cout << ' ' << formatMs(runs[run].back().wallMs);
            if (runs[run].back().exitStatus != 0)
                std::cout << " (exit " << runs[run].back().exitStatus << ')';
            const Dataset& dataset = run <= tenKept ? ten : all;
            const fs::path copy = settings.work / "copies" / std::to_string(run);
            copyFaceFiles(dataset.root / (run == allFloor ? "floor" : "data"), copy);
            kept[run] = copy;
        }
        std::cout << " ms" << std::endl;
        for (const Run run : {tenFound, tenKept})
            identical = identical && sameFaceFiles(kept[run], kept[tenWithout]);
        for (const Run run : {allFound, allKept, allFloor})
            identical = identical && sameFaceFiles(kept[run], kept[allWithout]);
    }

    std::cout << "\nmedians (min-max) over " << settings.rounds << " rounds; ratios pair by pair\n";
    for (int run = 0; run < runCount; ++run) {
        std::cout << "  " << runNames[run] << ": " << seconds(runs[run]) << ", peak "
                  << memory(runs[run]) << '\n';
    }
    std::cout << "  10 faces found in the cache / no cache: "
              << ratios(runs[tenFound], runs[tenWithout]) << " (goal: at most 0.15)\n"
              << "  every face found in the cache / the bare floor: "
              << ratios(runs[allFound], runs[allFloor]) << " (goal: at most 0.35)\n"
              << "  a first run that leaves its entry / no cache, 10 faces: "
              << ratios(runs[tenKept], runs[tenWithout]) << ", CPU "
              << ratios(runs[tenKept], runs[tenWithout], &ProcessFigures::cpuMs)
              << "; every face: " << ratios(runs[allKept], runs[allWithout]) << ", CPU "
              << ratios(runs[allKept], runs[allWithout], &ProcessFigures::cpuMs)
              << " (goal: at most 1.03)\n"
              << "  peak memory, 10 faces: no cache " << memory(runs[tenWithout]) << ", found "
              << memory(runs[tenFound]) << ", kept " << memory(runs[tenKept]) << '\n'
              << "  face files through the cache against without it, and every face against the "
                 "floor: "
              << (identical ? "byte-identical in every round" : "DIFFERENT") << std::endl;
    measureBatch(settings, faces);
    printLoad("at the end");
    std::cout << "\nbench-cache took " << formatFixed(msSince(start) / 60000, 1) << " min"
              << std::endl;
    return identical ? 0 : 1;
}
