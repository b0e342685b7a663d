// Whole runs: the real executables as processes, in rounds where the tool and the floors (or the
// allocator variants) alternate, so that a change in the machine's load between runs falls on
// all of them alike and the ratios can be taken pair by pair.
#include "bench.hpp"

#include <iomanip>
#include <iostream>
#include <map>

namespace {

const char* runnerName(int runner)
{
    static const char* const names[runners] = {"tool", "bare", "prescribed"};
    return names[runner];
}

fs::path outputDirectory(const Case& c, int runner)
{
    return runner == toolRunner ? c.dataset.root / "data"
                                : c.dataset.root / (std::string("floor-") + runnerName(runner));
}

std::vector<std::string> commandFor(const fs::path& self, const Settings& settings, const Case& c,
                                    int runner)
{
    if (runner == toolRunner) return {settings.tool.string(), c.dataset.root.string()};
    return {self.string(),
            "--floor",
            runnerName(runner),
            c.modelPath.string(),
            (c.dataset.root / "selection.bin").string(),
            outputDirectory(c, runner).string()};
}

void printRound(const Case& c, int round)
{
    std::cout << "  " << std::left << std::setw(9) << c.dataset.name << std::right << " round "
              << round + 1;
    for (const int kind : {firstRun, reRun}) {
        std::cout << (kind == firstRun ? "  first run:" : "  re-run:");
        for (int runner = 0; runner < runners; ++runner) {
            const ProcessFigures& figures = c.runs[kind][runner].back();
            std::cout << ' ' << runnerName(runner) << ' ' << formatMs(figures.wallMs);
            if (figures.exitStatus != 0) std::cout << " (exit " << figures.exitStatus << ')';
        }
    }
    std::cout << " ms" << std::endl;
}

} // namespace

// In each round every runner makes a first run into a new directory, then all of them re-run
// over the face files their own first run left, as running a batch again does. The order
// rotates from round to round and from case to case, so that no runner always goes first or
// always finds another's writeback still in progress.
void measureWholeRuns(const fs::path& self, const Settings& settings, std::vector<Case>& cases,
                      std::size_t first)
{
    for (std::size_t i = first; i < cases.size(); ++i) {
        Case& c = cases[i];
        c.sameAsFloors = {true, true};
        for (int round = 0; round < settings.pairs; ++round) {
            for (const int kind : {firstRun, reRun}) {
                for (int k = 0; k < runners; ++k) {
                    const int runner = static_cast<int>((static_cast<std::size_t>(k + round) + i) % runners);
                    if (kind == firstRun) removeFaceFiles(outputDirectory(c, runner));
                    c.runs[kind][runner].push_back(runProcess(
                        commandFor(self, settings, c, runner), c.dataset.root / "rss.txt"));
                }
                const fs::path toolOutput = outputDirectory(c, toolRunner);
                const bool same = sameFaceFiles(toolOutput, outputDirectory(c, bareRunner)) &&
                                  sameFaceFiles(toolOutput, outputDirectory(c, prescribedRunner));
                c.sameAsFloors[kind] = c.sameAsFloors[kind] && same;
            }
            printRound(c, round);
        }
        const std::vector<fs::path> files = listFaceFiles(outputDirectory(c, toolRunner));
        c.files = files.size();
        c.bytes = totalBytes(files);
    }
}

bool showAllocators(const Settings& settings)
{
    std::vector<std::pair<std::string, std::string>> executables = {{"tarnfold", settings.tool.string()}};
    executables.insert(executables.end(), settings.variants.begin(), settings.variants.end());
    bool glibcClean = true;
    std::cout << "Allocators loaded:";
    for (const auto& [name, executable] : executables) {
        const std::vector<std::string> found = loadedAllocators(executable);
        std::string libraries;
        for (const std::string& library : found) libraries += (libraries.empty() ? "" : ", ") + library;
        std::cout << ' ' << name << ": " << (found.empty() ? "glibc's malloc" : libraries) << ';';
        if (name == "glibc" && !found.empty()) glibcClean = false;
    }
    std::cout << std::endl;
    return glibcClean;
}

// In each round every variant runs once into a new directory, the order rotating from round to
// round; glibc's first run is the reference every other run must match byte for byte.
std::vector<AllocatorRow> compareAllocators(const Settings& settings, const Case& c)
{
    const std::vector<std::pair<std::string, std::string>>& executables = settings.variants;
    std::map<std::string, std::vector<ProcessFigures>> runs;
    std::map<std::string, bool> identical;
    const fs::path dataDir = c.dataset.root / "data";
    const fs::path reference = c.dataset.root / "glibc-faces";

    std::cout << "  allocators on the " << c.dataset.name << " dataset" << std::endl;
    for (int round = 0; round < settings.pairs; ++round) {
        for (std::size_t k = 0; k < executables.size(); ++k) {
            const auto& [name, executable] =
                executables[(k + static_cast<std::size_t>(round)) % executables.size()];
            removeFaceFiles(dataDir);
            runs[name].push_back(
                runProcess({executable, c.dataset.root.string()}, c.dataset.root / "rss.txt"));
            if (name == "glibc") {
                if (round == 0) copyFaceFiles(dataDir, reference);
            } else {
                const bool same = fs::exists(reference) && sameFaceFiles(dataDir, reference);
                identical[name] = identical.count(name) ? identical[name] && same : same;
            }
        }
        std::cout << "  round " << round + 1 << ":";
        for (const auto& [name, executable] : executables) {
            std::cout << ' ' << name << ' ' << formatMs(runs[name].back().wallMs) << " ms";
        }
        std::cout << std::endl;
    }
    fs::remove_all(reference);

    std::vector<AllocatorRow> rows;
    for (const auto& [name, executable] : executables) {
        if (name == "glibc") continue;
        AllocatorRow row;
        row.model = c.model;
        row.dataset = c.dataset.name;
        row.faces = c.faces;
        row.variant = name;
        row.runs = runs[name];
        row.glibcRuns = runs["glibc"];
        row.identical = identical[name];
        rows.push_back(row);
    }
    return rows;
}
