// tarnfold_bench_batch: tarnfold-batch against tarnfold, as whole processes.
//
//   tarnfold_bench_batch --work <dir> --make-models <exe> --tool <exe> --batch <exe> [options]
//
// For each model (the corpus model with 100 datasets of 10 faces, a 10,000-face plate with 20),
// in rounds that rotate their order: the whole batch over every dataset, one tarnfold run on one
// of them, and the floor: the bare library reading the model once and writing every dataset's
// faces, which no batch can beat. Then, once, a tarnfold run on every dataset apart. The face
// files of the batch must be byte-identical to both. Then --jobs 2 against --jobs 1 over two
// different plates. It prints figures and never fails on a time. Options:
//   --corpus <model.step>   the real-world model, measured when the file exists
//   --rounds 3              rounds of alternating runs; medians and spreads are over these
//   --separate yes|no       whether to run every dataset apart with tarnfold (slow: minutes)
//   --measure cases,jobs    the batch against tarnfold and the floors, and --jobs 2 against 1
//
//   tarnfold_bench_batch --floor bare|prescribed <model.step> <list>
// is a floor as a process of its own.
#include "bench.hpp"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iomanip>
#include <iostream>
#include <sstream>

#include <OSD.hxx>
#include <STEPControl_Reader.hxx>

namespace {

struct BatchSettings {
    fs::path self, work, makeModels, tool, batch, corpus;
    int rounds = 3;
    bool separate = true;
    std::set<std::string> measure = {"cases", "jobs"};
};

// One model with its datasets, and what was measured on it.
struct BatchCase {
    std::string label;
    fs::path model;
    int faces = 0;
    std::vector<fs::path> roots;
    fs::path list; ///< the roots, one a line, for --from
    std::vector<ProcessFigures> batch, one, bare, prescribed, separate;
    bool identical = true;       ///< every dataset's face files, batch against tarnfold alone
    bool floorsIdentical = true; ///< the same, batch against both floors
};

// Other work on the machine moves wall times; its load average says how busy it was.
void printLoad(const char* when)
{
    std::ifstream loadavg("/proc/loadavg");
    std::string one, five, fifteen;
    loadavg >> one >> five >> fifteen;
    std::cout << "load average " << when << ": " << one << ' ' << five << ' ' << fifteen
              << std::endl;
}

double sumOf(const std::vector<double>& values)
{
    double sum = 0;
    for (const double value : values) sum += value;
    return sum;
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

// `faces` is the model's face count when known, 0 to count them here (a read of the model).
BatchCase makeCase(const BatchSettings& settings, const std::string& label, const fs::path& model,
                   int datasets, int faces = 0)
{
    BatchCase c;
    c.label = label;
    c.model = model;
    c.faces = faces > 0 ? faces : facesOf(model);
    c.roots = makeBatchDatasets(settings.work / "batch" / label, model, c.faces, datasets, 10);
    c.list = settings.work / "batch" / (label + ".txt");
    std::ofstream list(c.list);
    for (const fs::path& root : c.roots) list << root.string() << '\n';
    return c;
}

ProcessFigures runBatch(const BatchSettings& settings, const std::vector<fs::path>& roots,
                        const fs::path& list, const std::string& jobs)
{
    for (const fs::path& root : roots) removeFaceFiles(root / "data");
    return runProcess({settings.batch.string(), "--jobs", jobs, "--from", list.string()},
                      settings.work / "rss.txt");
}

ProcessFigures runOne(const BatchSettings& settings, const fs::path& root)
{
    removeFaceFiles(root / "data");
    return runProcess({settings.tool.string(), root.string()}, settings.work / "rss.txt");
}

void printRun(const char* name, const ProcessFigures& figures)
{
    std::cout << ' ' << name << ' ' << formatMs(figures.wallMs) << " ms";
    if (figures.exitStatus != 0) std::cout << " (exit " << figures.exitStatus << ')';
}

ProcessFigures runFloor(const BatchSettings& settings, const BatchCase& c, const char* floor)
{
    for (const fs::path& root : c.roots) removeFaceFiles(root / "data");
    return runProcess(
        {settings.self.string(), "--floor", floor, c.model.string(), c.list.string()},
        settings.work / "rss.txt");
}

void measureCase(const BatchSettings& settings, BatchCase& c)
{
    std::cout << c.label << ": " << c.faces << " faces, " << c.roots.size() << " datasets"
              << std::endl;
    warmPageCache(c.model);
    for (int round = 0; round < settings.rounds; ++round) {
        std::cout << "  round " << round + 1 << ':';
        // The batch goes first in the first round: its face files are the reference.
        for (int k = 0; k < 4; ++k) {
            switch ((k + round) % 4) {
            case 0:
                c.batch.push_back(runBatch(settings, c.roots, c.list, "1"));
                printRun("batch", c.batch.back());
                if (round > 0) break;
                for (const fs::path& root : c.roots) copyFaceFiles(root / "data", root / "batch");
                break;
            case 1:
                c.one.push_back(runOne(settings, c.roots.front()));
                printRun("one tarnfold run", c.one.back());
                break;
            default: {
                const bool bare = (k + round) % 4 == 2;
                std::vector<ProcessFigures>& runs = bare ? c.bare : c.prescribed;
                runs.push_back(runFloor(settings, c, bare ? "bare" : "prescribed"));
                printRun(bare ? "bare floor" : "prescribed floor", runs.back());
                for (const fs::path& root : c.roots) {
                    c.floorsIdentical = c.floorsIdentical &&
                                        sameFaceFiles(root / "data", root / "batch");
                }
            }
            }
        }
        std::cout << std::endl;
    }
    const std::size_t apart = settings.separate ? c.roots.size() : 1;
    for (std::size_t i = 0; i < apart; ++i) {
        const ProcessFigures figures = runOne(settings, c.roots[i]);
        if (settings.separate) c.separate.push_back(figures);
        c.identical = c.identical && sameFaceFiles(c.roots[i] / "data", c.roots[i] / "batch");
    }
    if (settings.separate) {
        std::cout << "  " << apart << " separate tarnfold runs: "
                  << formatFixed(sumOf(fieldOf(c.separate, &ProcessFigures::wallMs)) / 1000, 1)
                  << " s" << std::endl;
    }
}

std::vector<double> secondsOf(const std::vector<ProcessFigures>& runs)
{
    std::vector<double> seconds;
    for (const double ms : fieldOf(runs, &ProcessFigures::wallMs)) seconds.push_back(ms / 1000);
    return seconds;
}

// "a/b median (min-max)" of wall time and of CPU time, round by round.
std::string ratios(const std::vector<ProcessFigures>& a, const std::vector<ProcessFigures>& b)
{
    return formatSpread(pairedRatios(a, b, &ProcessFigures::wallMs), 2) + " (CPU " +
           formatSpread(pairedRatios(a, b, &ProcessFigures::cpuMs), 2) + ")";
}

void printCases(const std::vector<BatchCase>& cases)
{
    std::cout << "\nWhole batch (tarnfold-batch --jobs 1 --from, 10 faces per dataset) against one "
                 "tarnfold run on one of its datasets, and against the floors: one read (bare, "
                 "or with the trace level and printed load check the tool is asked for), then "
                 "every dataset's writes. Wall time, median (min-max) over rounds; CPU time, "
                 "less moved by other load on the machine, in brackets.\n";
    for (const BatchCase& c : cases) {
        const double separate = sumOf(fieldOf(c.separate, &ProcessFigures::wallMs));
        std::cout << "  " << c.label << ", " << c.faces << " faces, " << c.roots.size()
                  << " datasets:\n    batch " << formatSpread(secondsOf(c.batch), 2)
                  << " s, one tarnfold run " << formatSpread(secondsOf(c.one), 2)
                  << " s, bare floor " << formatSpread(secondsOf(c.bare), 2)
                  << " s, prescribed floor " << formatSpread(secondsOf(c.prescribed), 2) << " s\n"
                  << "    batch/one run " << ratios(c.batch, c.one) << ", batch/bare floor "
                  << ratios(c.batch, c.bare) << ", batch/prescribed floor "
                  << ratios(c.batch, c.prescribed) << "\n    bare floor/one run "
                  << ratios(c.bare, c.one) << '\n';
        if (!c.separate.empty()) {
            const double batch = median(fieldOf(c.batch, &ProcessFigures::wallMs));
            std::cout << "    " << c.separate.size() << " separate tarnfold runs "
                      << formatFixed(separate / 1000, 1) << " s (each "
                      << formatSpread(secondsOf(c.separate), 2) << " s), separate/batch "
                      << formatFixed(separate / batch, 1) << '\n';
        }
    }
    std::cout << "Peak memory, MiB (GNU time: the largest process, which is the worker): ";
    for (const BatchCase& c : cases) {
        std::cout << c.label << " batch "
                  << formatSpread(fieldOf(c.batch, &ProcessFigures::peakRssMiB), 0)
                  << ", one tarnfold run "
                  << formatSpread(fieldOf(c.one, &ProcessFigures::peakRssMiB), 0) << "; ";
    }
    std::cout << "\nFace files of every dataset, batch against tarnfold alone and against the "
                 "floors: ";
    for (const BatchCase& c : cases) {
        std::cout << c.label << (c.identical ? " byte-identical" : " DIFFERENT") << " and"
                  << (c.floorsIdentical ? " byte-identical; " : " DIFFERENT; ");
    }
    std::cout << std::endl;
}

// Two workers at once over two different plates, against one at a time, alternating.
void compareJobs(const BatchSettings& settings, const BatchCase& a, const BatchCase& b)
{
    std::vector<fs::path> roots = a.roots;
    roots.insert(roots.end(), b.roots.begin(), b.roots.end());
    const fs::path list = settings.work / "batch" / "two-models.txt";
    std::ofstream(list) << [&] {
        std::string text;
        for (const fs::path& root : roots) text += root.string() + '\n';
        return text;
    }();
    std::cout << "\n--jobs 2 against --jobs 1: " << a.label << " and " << b.label << ", "
              << a.roots.size() << " + " << b.roots.size() << " datasets" << std::endl;
    std::vector<ProcessFigures> one, two, aloneA, aloneB;
    for (int round = 0; round < settings.rounds; ++round) {
        std::cout << "  round " << round + 1 << ':';
        // Each kind of run in turn, the order rotating from round to round.
        struct Kind {
            const char* name;
            std::vector<ProcessFigures>& runs;
            const std::vector<fs::path>& roots;
            const fs::path& list;
            const char* jobs;
        };
        const Kind kinds[] = {{"--jobs 1", one, roots, list, "1"},
                              {"--jobs 2", two, roots, list, "2"},
                              {a.label.c_str(), aloneA, a.roots, a.list, "1"},
                              {b.label.c_str(), aloneB, b.roots, b.list, "1"}};
        for (int k = 0; k < 4; ++k) {
            const Kind& kind = kinds[(k + round) % 4];
            kind.runs.push_back(runBatch(settings, kind.roots, kind.list, kind.jobs));
            printRun(kind.name, kind.runs.back());
        }
        std::cout << std::endl;
    }
    // The best two workers can do: the longer of the two models' batches alone.
    std::vector<double> ideal;
    for (std::size_t i = 0; i < aloneA.size(); ++i) {
        ideal.push_back((aloneA[i].wallMs + aloneB[i].wallMs) /
                        std::max(aloneA[i].wallMs, aloneB[i].wallMs));
    }
    std::cout << "  speed-up, --jobs 1 / --jobs 2 wall time: "
              << formatSpread(pairedRatios(one, two, &ProcessFigures::wallMs), 2)
              << " (CPU time --jobs 2 / --jobs 1: "
              << formatSpread(pairedRatios(two, one, &ProcessFigures::cpuMs), 2) << ")"
              << " (ideal, from each model's batch alone: " << formatSpread(ideal, 2) << ")\n"
              << "  --jobs 1 " << formatSpread(fieldOf(one, &ProcessFigures::wallMs), 0)
              << " ms, --jobs 2 " << formatSpread(fieldOf(two, &ProcessFigures::wallMs), 0)
              << " ms; peak memory of the largest process, MiB: --jobs 1 "
              << formatSpread(fieldOf(one, &ProcessFigures::peakRssMiB), 0) << ", --jobs 2 "
              << formatSpread(fieldOf(two, &ProcessFigures::peakRssMiB), 0) << std::endl;
}

std::string parseArguments(int argc, char** argv, BatchSettings& settings)
{
    if (argc % 2 == 0) return "an option without a value";
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string option = argv[i], value = argv[i + 1];
        if (option == "--work") settings.work = fs::absolute(value);
        else if (option == "--make-models") settings.makeModels = value;
        else if (option == "--tool") settings.tool = value;
        else if (option == "--batch") settings.batch = value;
        else if (option == "--corpus") settings.corpus = value;
        else if (option == "--rounds") settings.rounds = std::max(1, std::atoi(value.c_str()));
        else if (option == "--separate") settings.separate = value == "yes";
        else if (option == "--measure") {
            settings.measure.clear();
            std::istringstream items(value);
            for (std::string item; std::getline(items, item, ',');) settings.measure.insert(item);
        }
        else return "unknown option " + option;
    }
    if (settings.work.empty() || settings.makeModels.empty() || settings.tool.empty() ||
        settings.batch.empty()) {
        return "--work, --make-models, --tool and --batch are needed";
    }
    return {};
}

} // namespace

int main(int argc, char** argv)
{
    if (argc == 5 && std::strcmp(argv[1], "--floor") == 0) {
        return runBatchFloorProcess(argv[2], argv[3], argv[4]);
    }
    BatchSettings settings;
    const std::string problem = parseArguments(argc, argv, settings);
    if (!problem.empty()) {
        std::cerr << "tarnfold_bench_batch: error: " << problem << '\n';
        return 2;
    }
    settings.self = fs::canonical("/proc/self/exe");
    OSD::SetSignal(Standard_False);
    const Clock::time_point start = Clock::now();
    printLoad("at the start");
    fs::path plate10k, plate9k;
    if (!ensurePlate(settings.work, settings.makeModels, 10000, plate10k) ||
        !ensurePlate(settings.work, settings.makeModels, 9000, plate9k)) {
        std::cerr << "tarnfold_bench_batch: error: cannot generate the plates\n";
        return 1;
    }
    int plateFaces = 0; // counted by the first case that reads the plate
    if (settings.measure.count("cases") != 0) {
        std::vector<BatchCase> cases;
        if (!settings.corpus.empty() && fs::exists(settings.corpus)) {
            cases.push_back(
                makeCase(settings, settings.corpus.stem().string(), settings.corpus, 100));
        } else {
            std::cout << "no corpus model " << settings.corpus.string() << ": skipped"
                      << std::endl;
        }
        cases.push_back(makeCase(settings, "plate10000", plate10k, 20));
        plateFaces = cases.back().faces;
        for (BatchCase& c : cases) measureCase(settings, c);
        printCases(cases);
    }
    if (settings.measure.count("jobs") != 0) {
        const BatchCase a = makeCase(settings, "plate10000-jobs", plate10k, 10, plateFaces);
        const BatchCase b = makeCase(settings, "plate9000-jobs", plate9k, 10);
        compareJobs(settings, a, b);
    }
    printLoad("at the end");
    std::cout << "\nbench-batch took " << formatFixed(msSince(start) / 60000, 1) << " min"
              << std::endl;
    return 0;
}
