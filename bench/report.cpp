// The report: how the figures were taken, and the tables printed at the end of a run.
#include "bench.hpp"

#include <map>
#include <ostream>

#include <unistd.h>

namespace {

double medianOf(const std::vector<ProcessFigures>& runs, double ProcessFigures::*field)
{
    return median(fieldOf(runs, field));
}

// The distinct exit statuses of `runs`, e.g. "0" or "0,1".
std::string exitsOf(const std::vector<ProcessFigures>& runs)
{
    std::set<int> statuses;
    for (const ProcessFigures& run : runs) statuses.insert(run.exitStatus);
    std::string text;
    for (const int status : statuses) text += (text.empty() ? "" : ",") + std::to_string(status);
    return text;
}

std::string selectedCell(const Case& c)
{
    return std::to_string(c.dataset.selected) + " (" + c.dataset.name + ")";
}

void printPhaseTable(const std::vector<Case>& cases, std::ostream& out)
{
    out << "\n### In one process (ms)\n\n"
           "| model | faces | selected | walk | read | check | transfer | export | of which writes "
           "| tool total | floor | tool/floor | not read/transfer | peak RSS MiB (tool / floor) |\n"
           "|---|--:|--:|--:|--:|--:|--:|--:|--:|--:|--:|--:|--:|--:|\n";
    for (const Case& c : cases) {
        const double ours = c.walk + c.check + c.export_;
        const auto& first = c.runs[firstRun];
        out << "| " << c.model << " | " << c.faces << " | " << selectedCell(c) << " | "
            << formatMs(c.walk) << " | " << formatMs(c.read) << " | " << formatMs(c.check) << " | "
            << formatMs(c.transfer) << " | " << formatMs(c.export_) << " | " << formatMs(c.writes)
            << " | " << formatMs(c.toolTotal()) << " | " << formatMs(c.floorTotal()) << " | "
            << formatFixed(c.toolTotal() / c.floorTotal(), 3) << " | "
            << formatFixed(100 * ours / c.toolTotal(), 1) << "% | "
            << formatFixed(medianOf(first[toolRunner], &ProcessFigures::peakRssMiB), 0) << " / "
            << formatFixed(medianOf(first[bareRunner], &ProcessFigures::peakRssMiB), 0) << " |\n";
    }
}

void printTimeTable(const std::vector<Case>& cases, int kind, std::ostream& out)
{
    out << (kind == firstRun ? "\n### Whole processes, first run (into a new directory)"
                             : "\n### Whole processes, re-run (over the previous run's face files)")
        << ": time\n\n"
           "| model | faces | selected | tool wall ms | bare wall ms | prescribed wall ms "
           "| tool/bare wall | tool/prescribed wall | tool CPU ms | tool/bare CPU "
           "| tool/prescribed CPU | system ms (tool / bare / prescribed) | same bytes as floors "
           "| exit (tool / bare / prescribed) |\n"
           "|---|--:|--:|--:|--:|--:|--:|--:|--:|--:|--:|--:|---|--:|\n";
    constexpr auto wall = &ProcessFigures::wallMs;
    constexpr auto cpu = &ProcessFigures::cpuMs;
    constexpr auto system = &ProcessFigures::systemMs;
    for (const Case& c : cases) {
        const auto& runs = c.runs[kind];
        if (runs[toolRunner].empty()) continue;
        out << "| " << c.model << " | " << c.faces << " | " << selectedCell(c) << " | "
            << formatSpread(fieldOf(runs[toolRunner], wall), 0) << " | "
            << formatSpread(fieldOf(runs[bareRunner], wall), 0) << " | "
            << formatSpread(fieldOf(runs[prescribedRunner], wall), 0) << " | "
            << formatSpread(pairedRatios(runs[toolRunner], runs[bareRunner], wall), 3) << " | "
            << formatSpread(pairedRatios(runs[toolRunner], runs[prescribedRunner], wall), 3)
            << " | " << formatSpread(fieldOf(runs[toolRunner], cpu), 0) << " | "
            << formatSpread(pairedRatios(runs[toolRunner], runs[bareRunner], cpu), 3) << " | "
            << formatSpread(pairedRatios(runs[toolRunner], runs[prescribedRunner], cpu), 3)
            << " | " << formatFixed(medianOf(runs[toolRunner], system), 0) << " / "
            << formatFixed(medianOf(runs[bareRunner], system), 0) << " / "
            << formatFixed(medianOf(runs[prescribedRunner], system), 0) << " | "
            << (c.sameAsFloors[kind] ? "yes" : "NO") << " | " << exitsOf(runs[toolRunner])
            << " / " << exitsOf(runs[bareRunner]) << " / " << exitsOf(runs[prescribedRunner])
            << " |\n";
    }
}

void printMemoryTable(const std::vector<Case>& cases, std::ostream& out)
{
    out << "\n### Whole processes: peak RSS (MiB) and output\n\n"
           "| model | faces | selected | run | tool | bare | prescribed | tool/bare "
           "| tool/prescribed | face files | bytes |\n"
           "|---|--:|--:|---|--:|--:|--:|--:|--:|--:|--:|\n";
    constexpr auto rss = &ProcessFigures::peakRssMiB;
    for (const Case& c : cases) {
        for (const int kind : {firstRun, reRun}) {
            const auto& runs = c.runs[kind];
            if (runs[toolRunner].empty()) continue;
            out << "| " << c.model << " | " << c.faces << " | " << selectedCell(c) << " | "
                << (kind == firstRun ? "first" : "re-run") << " | "
                << formatSpread(fieldOf(runs[toolRunner], rss), 1) << " | "
                << formatSpread(fieldOf(runs[bareRunner], rss), 1) << " | "
                << formatSpread(fieldOf(runs[prescribedRunner], rss), 1) << " | "
                << formatSpread(pairedRatios(runs[toolRunner], runs[bareRunner], rss), 3) << " | "
                << formatSpread(pairedRatios(runs[toolRunner], runs[prescribedRunner], rss), 3)
                << " | " << c.files << " | " << c.bytes << " |\n";
        }
    }
}

void printAllocatorTable(const std::vector<AllocatorRow>& rows, std::ostream& out)
{
    const std::size_t rounds = rows.empty() ? 0 : rows.front().runs.size();
    out << "\n### Allocators (whole first runs of each variant of the tool on the "
        << (rows.empty() ? "" : rows.front().dataset) << " dataset, " << rounds
        << (rounds == 1 ? " round" : " rounds") << "; ratios to the glibc variant)\n\n"
           "| model | faces | variant | wall ms | glibc wall ms | ratio of medians | paired wall "
           "ratio | paired CPU ratio | peak RSS MiB | glibc RSS MiB | paired RSS ratio "
           "| identical bytes |\n"
           "|---|--:|---|--:|--:|--:|--:|--:|--:|--:|--:|---|\n";
    constexpr auto wall = &ProcessFigures::wallMs;
    constexpr auto rss = &ProcessFigures::peakRssMiB;
    // Adoption needs: at least 5% faster at every size, at most 10% more memory, same bytes.
    std::map<std::string, bool> meets;
    for (const AllocatorRow& r : rows) {
        const double wallRatio = medianOf(r.runs, wall) / medianOf(r.glibcRuns, wall);
        const double pairedWall = median(pairedRatios(r.runs, r.glibcRuns, wall));
        const double rssRatio = medianOf(r.runs, rss) / medianOf(r.glibcRuns, rss);
        out << "| " << r.model << " | " << r.faces << " | " << r.variant << " | "
            << formatSpread(fieldOf(r.runs, wall), 0) << " | "
            << formatSpread(fieldOf(r.glibcRuns, wall), 0) << " | " << formatFixed(wallRatio, 3)
            << " | " << formatSpread(pairedRatios(r.runs, r.glibcRuns, wall), 3) << " | "
            << formatSpread(pairedRatios(r.runs, r.glibcRuns, &ProcessFigures::cpuMs), 3) << " | "
            << formatSpread(fieldOf(r.runs, rss), 1) << " | "
            << formatSpread(fieldOf(r.glibcRuns, rss), 1) << " | "
            << formatSpread(pairedRatios(r.runs, r.glibcRuns, rss), 3) << " | "
            << (r.identical ? "yes" : "NO") << " |\n";
        const bool ok = pairedWall <= 0.95 && wallRatio <= 0.95 && rssRatio <= 1.10 && r.identical;
        bool& meetsAll = meets.emplace(r.variant, true).first->second;
        meetsAll = meetsAll && ok;
    }
    out << "\nAdoption test (>= 5% faster at every size, <= 10% more peak memory, identical bytes):";
    for (const auto& [variant, ok] : meets) out << ' ' << variant << (ok ? " passes;" : " fails;");
    out << '\n';
}

} // namespace

void printMethod(const Settings& settings, std::ostream& out)
{
    out << "\nMachine: " << ::sysconf(_SC_NPROCESSORS_ONLN) << " CPUs online. Times from "
           "std::chrono::steady_clock.\n";
    if (settings.measure.count("phases") != 0) {
        out << "In one process: walk = walkDataset; read = ReadFile; check = SetTraceLevel(2) + "
               "PrintCheckLoad; transfer = the TransferRoot(i) loop and the last shape (the calls "
               "importStepModel makes, made here one by one, read once per model); export = "
               "exportFaceFiles whole (walk, list scans, writes); of which writes = the same "
               "faces through writeFaceFile alone. Floor = ReadFile + TransferRoots + one "
               "explorer walk + BRepTools::Write of the same faces. Library output to /dev/null "
               "for both.\n";
    }
    if (settings.measure.count("runs") + settings.measure.count("allocators") != 0) {
        out << "Whole processes: the real binaries, stdout and stderr to /dev/null, "
            << settings.pairs << (settings.pairs == 1 ? " round" : " rounds")
            << ". Wall time around posix_spawn..waitpid; CPU and system time from wait4; peak "
               "RSS = the command's ru_maxrss as GNU time reports it (%M). Figures are median "
               "(min-max); ratios are the median (min-max) of the per-round ratios.\n";
    }
    if (settings.measure.count("runs") != 0) {
        out << "Against the floors: in each round the tool and the two floors make a first run "
               "into a new directory, then each re-runs over the face files of its own first "
               "run; the order rotates. Bare floor = tarnfold_bench --floor bare (ReadFile, "
               "TransferRoots, one explorer walk, BRepTools::Write, which truncates an existing "
               "file in place); prescribed floor = bare + trace level 2 + "
               "PrintCheckLoad(false, IFSelect_ItemsByEntity).\n";
    }
    if (settings.measure.count("allocators") != 0) {
        out << "Allocators: in each round every variant of the tool makes one first run on the "
            << settings.allocatorDataset
            << " dataset of each plate; the order rotates; glibc's first run is the reference "
               "for the bytes of every other.\n";
    }
}

void printTables(const std::vector<Case>& cases, const std::vector<AllocatorRow>& allocators,
                 std::ostream& out)
{
    bool phases = false, wholeRuns = false;
    for (const Case& c : cases) {
        phases = phases || !std::isnan(c.read);
        wholeRuns = wholeRuns || !c.runs[firstRun][toolRunner].empty();
    }
    if (phases) printPhaseTable(cases, out);
    if (wholeRuns) {
        printTimeTable(cases, firstRun, out);
        printTimeTable(cases, reRun, out);
        printMemoryTable(cases, out);
    }
    if (!allocators.empty()) printAllocatorTable(allocators, out);
}
