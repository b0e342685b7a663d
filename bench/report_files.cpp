// The report's files: the figures as CSV for other tools, and a plot of time against model size.
#include "bench.hpp"

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <sstream>

namespace {

const char* const kindNames[runKinds] = {"first", "rerun"};
const char* const runnerNames[runners] = {"tool", "bare", "prescribed"};

void writeRunRows(std::ofstream& csv, const std::string& model, int faces,
                  const std::string& dataset, const std::string& kind, const std::string& runner,
                  const std::vector<ProcessFigures>& runs)
{
    for (std::size_t round = 0; round < runs.size(); ++round) {
        const ProcessFigures& r = runs[round];
        csv << model << ',' << faces << ',' << dataset << ',' << kind << ',' << round + 1 << ','
            << runner << ',' << r.wallMs << ',' << r.cpuMs << ',' << r.systemMs << ','
            << r.peakRssMiB << ',' << r.exitStatus << '\n';
    }
}

// One row per model and dataset: the in-process phases, then for first runs and re-runs the
// medians of each runner and the median paired ratios of the tool to each floor.
void writeResults(const std::vector<Case>& cases, const fs::path& file)
{
    std::ofstream csv(file);
    csv << "model,faces,dataset,selected,force_entries,restraint_entries,walk_ms,read_ms,check_ms,"
           "transfer_ms,export_ms,writes_ms,enumeration_ms,tool_total_ms,floor_read_ms,"
           "floor_transfer_ms,floor_export_ms,floor_total_ms,ratio";
    for (const char* kind : kindNames) {
        for (const char* runner : runnerNames) {
            csv << ',' << kind << '_' << runner << "_wall_ms," << kind << '_' << runner
                << "_cpu_ms," << kind << '_' << runner << "_rss_mib";
        }
        for (const char* floor : {"bare", "prescribed"}) {
            for (const char* figure : {"wall", "cpu", "rss"}) {
                csv << ',' << kind << "_tool_" << floor << '_' << figure << "_ratio";
            }
        }
        csv << ',' << kind << "_same_as_floors";
    }
    csv << ",face_files,face_bytes\n";
    for (const Case& c : cases) {
        csv << c.model << ',' << c.faces << ',' << c.dataset.name << ',' << c.dataset.selected
            << ',' << c.dataset.forceEntries << ',' << c.dataset.restraintEntries << ',' << c.walk
            << ',' << c.read << ',' << c.check << ',' << c.transfer << ',' << c.export_ << ','
            << c.writes << ',' << c.enumeration << ',' << c.toolTotal() << ',' << c.floorRead
            << ',' << c.floorTransfer << ',' << c.floorExport << ',' << c.floorTotal() << ','
            << c.toolTotal() / c.floorTotal();
        for (int kind = 0; kind < runKinds; ++kind) {
            const auto& runs = c.runs[kind];
            constexpr double ProcessFigures::*fields[] = {
                &ProcessFigures::wallMs, &ProcessFigures::cpuMs, &ProcessFigures::peakRssMiB};
            for (int runner = 0; runner < runners; ++runner) {
                for (const auto field : fields) csv << ',' << median(fieldOf(runs[runner], field));
            }
            for (const int floor : {bareRunner, prescribedRunner}) {
                for (const auto field : fields) {
                    csv << ',' << median(pairedRatios(runs[toolRunner], runs[floor], field));
                }
            }
            csv << ',' << (c.sameAsFloors[kind] ? 1 : 0);
        }
        csv << ',' << c.files << ',' << c.bytes << '\n';
    }
}

} // namespace

void writeCsv(const std::vector<Case>& cases, const std::vector<AllocatorRow>& allocators,
              const fs::path& work)
{
    writeResults(cases, work / "results.csv");

    // Every process run, so that any other statistic can be taken afterwards.
    std::ofstream runsCsv(work / "runs.csv");
    runsCsv << "model,faces,dataset,run,round,executable,wall_ms,cpu_ms,system_ms,rss_mib,exit\n";
    for (const Case& c : cases) {
        for (int kind = 0; kind < runKinds; ++kind) {
            for (int runner = 0; runner < runners; ++runner) {
                writeRunRows(runsCsv, c.model, c.faces, c.dataset.name, kindNames[kind],
                             runnerNames[runner], c.runs[kind][runner]);
            }
        }
    }
    std::ofstream allocatorCsv(work / "allocators.csv");
    allocatorCsv << "model,faces,variant,rounds,wall_ms,glibc_wall_ms,paired_ratio,"
                    "paired_cpu_ratio,rss_mib,glibc_rss_mib,paired_rss_ratio,identical\n";
    constexpr auto wall = &ProcessFigures::wallMs;
    constexpr auto rss = &ProcessFigures::peakRssMiB;
    for (const AllocatorRow& r : allocators) {
        allocatorCsv << r.model << ',' << r.faces << ',' << r.variant << ',' << r.runs.size()
                     << ',' << median(fieldOf(r.runs, wall)) << ','
                     << median(fieldOf(r.glibcRuns, wall)) << ','
                     << median(pairedRatios(r.runs, r.glibcRuns, wall)) << ','
                     << median(pairedRatios(r.runs, r.glibcRuns, &ProcessFigures::cpuMs)) << ','
                     << median(fieldOf(r.runs, rss)) << ',' << median(fieldOf(r.glibcRuns, rss))
                     << ',' << median(pairedRatios(r.runs, r.glibcRuns, rss)) << ','
                     << (r.identical ? 1 : 0) << '\n';
        writeRunRows(runsCsv, r.model, r.faces, r.dataset, "allocator", r.variant, r.runs);
    }
}

// Time against face count for the generated plates, log-log: the in-process totals and the export
// phase, and the tool's whole first run; a line only for the datasets that were measured.
void plot(const std::vector<Case>& cases, const fs::path& work)
{
    struct Line {
        const char* dataset;
        int column;
        const char* style;
        const char* title;
    };
    const Line lines[] = {
        {"10", 2, "", "tool, 10 faces listed"},
        {"10", 3, "", "floor, 10 faces"},
        {"all", 2, "", "tool, every face listed"},
        {"all", 3, "", "floor, every face"},
        {"all", 5, " dt 2", "tool whole run, every face"},
        {"all", 4, "", "export phase, every face"},
        {"10k-list", 4, "", "export phase, 10,000-entry list"},
    };
    std::ofstream data(work / "plot.dat");
    std::vector<std::string> plotted; // gnuplot's data set index is the position in this list
    for (const char* kind : {"10", "all", "10k-list"}) {
        std::ostringstream points;
        for (const Case& c : cases) {
            if (c.dataset.name != kind || c.model.rfind("plate", 0) != 0) continue;
            points << c.faces << ' ' << c.toolTotal() << ' ' << c.floorTotal() << ' ' << c.export_
                   << ' ' << median(fieldOf(c.runs[firstRun][toolRunner], &ProcessFigures::wallMs))
                   << '\n';
        }
        if (points.str().empty()) continue;
        data << "# " << kind << "\n" << points.str() << "\n\n";
        plotted.push_back(kind);
    }
    data.close();
    if (plotted.empty()) return;

    std::ofstream script(work / "plot.gp");
    script << "set terminal pngcairo size 1000,650\n"
              "set output '" << (work / "times.png").string() << "'\n"
              "set logscale xy\n"
              "set xlabel 'faces in the model'\n"
              "set ylabel 'ms'\n"
              "set key left top\n"
              "set grid\n"
              "set title 'tarnfold against the bare library (in one process; whole run dashed)'\n"
              "f='" << (work / "plot.dat").string() << "'\n"
              "plot";
    const char* separator = " ";
    for (const Line& line : lines) {
        const auto found = std::find(plotted.begin(), plotted.end(), line.dataset);
        if (found == plotted.end()) continue;
        script << separator << "f index " << found - plotted.begin() << " using 1:" << line.column
               << " with linespoints" << line.style << " title '" << line.title << "'";
        separator = ", \\\n     ";
    }
    script << '\n';
    script.close();
    const std::string command = "gnuplot '" + (work / "plot.gp").string() + "'";
    if (std::system(command.c_str()) != 0) std::cerr << "tarnfold_bench: gnuplot failed\n";
}
