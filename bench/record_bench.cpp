// record_bench: what the record of a run costs the run, and what following the lists from the
// record costs against following them from the old model file.
//
//   record_bench --work <dir> --tool <tarnfold> --faces-tool <tarnfold-faces>
//                --make-models <exe> [--rounds n] <model.step>...
//
// For each model, a dataset that lists every face, on a copy of the model in <dir>. In rounds:
// in this process, the record's share of a run with the tool's own calls (the model's hash, the
// lists read and hashed, the check against the last record, the face files' hashes, the outline
// and the writing of both files), and whole runs of tarnfold on the dataset, a first run into an
// emptied data directory and a run again over its face files. Then, with a hole drilled through
// the model (make_models drill) written over the copy, whole runs of
// `tarnfold-faces <dataset> --follow` and `tarnfold-faces <dataset> --since <model>`, with 10
// faces listed and with every face, in alternating order; and 20 datasets of 10 faces sharing
// the model in one command of each, against one alone. Medians with their spread (min-max);
// it never fails on a time.
#include "bench.hpp"

#include "binding/list_binding.hpp"
#include "model/face_numbering.hpp"
#include "model/step_import.hpp"
#include "record/record_keeping.hpp"
#include "record/sha256.hpp"

#include <cstring>
#include <ctime>
#include <iostream>

#include <OSD.hxx>

namespace {

struct RecordFigures {
    std::vector<double> hashModel, check, hashFaces, keep; ///< CPU time of each step, ms
    std::vector<double> total, totalWall;                 ///< of them all: CPU and wall, ms
    std::vector<ProcessFigures> firstRuns, reRuns;
    std::size_t faceBytes = 0, recordBytes = 0, outlineBytes = 0;
};

struct FollowFigures {
    std::vector<ProcessFigures> follow, since;
};

// CPU time of this process so far, ms: on a shared machine the wall clock tells the load.
double cpuMs()
{
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return double(now.tv_sec) * 1e3 + double(now.tv_nsec) / 1e6;
}

// The record's part of a run, timed step by step with the tool's own calls.
void measureRecordSteps(const Dataset& dataset, const fs::path& model, RecordFigures& figures)
{
    const std::string root = dataset.root.string();
    double start = cpuMs(), wall = 0;
    Clock::time_point wallStart = Clock::now();
    RunModel run = takeModelFile(model.string());
    const double hashModel = cpuMs() - start;
    wall += msSince(wallStart);

    STEPControl_Reader reader;
    std::string error;
    const int saved = silenceStdout();
    const TopoDS_Shape shape = importStepModel(reader, model.string(), error);
    restoreStdout(saved);
    if (!error.empty()) std::cerr << "record_bench: " << error << '\n';

    start = cpuMs();
    wallStart = Clock::now();
    settleRunModel(run, shape);
    SampledModel sampled{&run, {}};
    const ListBinding binding = checkListBinding(root, sampled);
    const std::vector<ListFileNow>& lists = binding.lists;
    const double check = cpuMs() - start;
    wall += msSince(wallStart);
    if (!binding.problems.empty()) std::cerr << "record_bench: " << binding.problems[0] << '\n';

    // The export hashes each face file's bytes while it has them; the bytes are made here
    // beforehand, so that only the hashing is timed.
    std::vector<std::string> bytes;
    std::vector<int> numbers;
    const std::vector<std::pair<int, FaceList>> listed = listedFaces(lists, run.faceCount);
    auto next = listed.begin();
    visitFaces(shape, [&](int number, const TopoDS_Face& face) {
        if (next == listed.end() || next->first != number) return;
        ++next;
        numbers.push_back(number);
        bytes.push_back(faceFileBytes(face));
    });
    FaceHashes hashes;
    figures.faceBytes = 0;
    start = cpuMs();
    wallStart = Clock::now();
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        hashes.emplace_back(numbers[i], sha256Hex(bytes[i]));
        figures.faceBytes += bytes[i].size();
    }
    const double hashFaces = cpuMs() - start;
    wall += msSince(wallStart);

    start = cpuMs();
    wallStart = Clock::now();
    const std::string problem = keepRunRecord(root, run, lists, hashes, nullptr);
    const double keep = cpuMs() - start;
    wall += msSince(wallStart);
    if (!problem.empty()) std::cerr << "record_bench: " << problem << '\n';
    figures.recordBytes = fs::file_size(dataset.root / "data" / "last-run.tsv");
    figures.outlineBytes = fs::file_size(dataset.root / "data" / "last-run-model.tsv");

    figures.hashModel.push_back(hashModel);
    figures.check.push_back(check);
    figures.hashFaces.push_back(hashFaces);
    figures.keep.push_back(keep);
    figures.total.push_back(hashModel + check + hashFaces + keep);
    figures.totalWall.push_back(wall);
}

void measureWholeRuns(const fs::path& tool, const Dataset& dataset, const fs::path& work,
                      RecordFigures& figures)
{
    removeFaceFiles(dataset.root / "data");
    figures.firstRuns.push_back(
        runProcess({tool.string(), dataset.root.string()}, work / "time.txt"));
    figures.reRuns.push_back(runProcess({tool.string(), dataset.root.string()}, work / "time.txt"));
}

std::vector<double> shares(const std::vector<double>& parts, const std::vector<ProcessFigures>& runs,
                           double ProcessFigures::*field)
{
    std::vector<double> values;
    for (std::size_t i = 0; i < parts.size() && i < runs.size(); ++i) {
        values.push_back(100 * parts[i] / (runs[i].*field));
    }
    return values;
}

void printRecordFigures(const std::string& name, int faces, const RecordFigures& f)
{
    std::cout << name << ", " << faces << " faces, every face listed: the record's part of a run "
                                             "(CPU time)\n"
              << "  the model's SHA-256           " << formatSpread(f.hashModel, 1) << " ms\n"
              << "  lists read, checked           " << formatSpread(f.check, 1) << " ms\n"
              << "  face files' SHA-256           " << formatSpread(f.hashFaces, 1) << " ms ("
              << f.faceBytes / 1000 << " kB, "
              << (hasSha256Instructions() ? "SHA instructions" : "no SHA instructions") << ")\n"
              << "  outline, record written       " << formatSpread(f.keep, 1) << " ms ("
              << f.recordBytes / 1000 << " kB record, " << f.outlineBytes / 1000
              << " kB outline)\n"
              << "  the record in all             " << formatSpread(f.total, 1) << " ms CPU, "
              << formatSpread(f.totalWall, 1) << " ms wall\n"
              << "  whole first run               "
              << formatSpread(fieldOf(f.firstRuns, &ProcessFigures::wallMs), 0) << " ms, CPU "
              << formatSpread(fieldOf(f.firstRuns, &ProcessFigures::cpuMs), 0) << " ms\n"
              << "  whole run again               "
              << formatSpread(fieldOf(f.reRuns, &ProcessFigures::wallMs), 0) << " ms, CPU "
              << formatSpread(fieldOf(f.reRuns, &ProcessFigures::cpuMs), 0) << " ms\n"
              << "  record / first run            CPU "
              << formatSpread(shares(f.total, f.firstRuns, &ProcessFigures::cpuMs), 2)
              << " %, wall " << formatSpread(shares(f.totalWall, f.firstRuns, &ProcessFigures::wallMs), 2)
              << " %\n"
              << "  record / run again            CPU "
              << formatSpread(shares(f.total, f.reRuns, &ProcessFigures::cpuMs), 2) << " %, wall "
              << formatSpread(shares(f.totalWall, f.reRuns, &ProcessFigures::wallMs), 2) << " %\n\n";
}

void printFollowFigures(const std::string& name, const FollowFigures& f)
{
    const std::vector<double> wall =
        pairedRatios(f.follow, f.since, &ProcessFigures::wallMs);
    const std::vector<double> cpu = pairedRatios(f.follow, f.since, &ProcessFigures::cpuMs);
    std::cout << "  " << name << "\n"
              << "    --follow   " << formatSpread(fieldOf(f.follow, &ProcessFigures::wallMs), 0)
              << " ms, CPU " << formatSpread(fieldOf(f.follow, &ProcessFigures::cpuMs), 0)
              << " ms, peak " << formatSpread(fieldOf(f.follow, &ProcessFigures::peakRssMiB), 0)
              << " MiB\n"
              << "    --since    " << formatSpread(fieldOf(f.since, &ProcessFigures::wallMs), 0)
              << " ms, CPU " << formatSpread(fieldOf(f.since, &ProcessFigures::cpuMs), 0)
              << " ms, peak " << formatSpread(fieldOf(f.since, &ProcessFigures::peakRssMiB), 0)
              << " MiB\n"
              << "    --follow / --since   " << formatSpread(wall, 2) << " (CPU "
              << formatSpread(cpu, 2) << ")\n";
}

void measureModel(const fs::path& original, const fs::path& work, const fs::path& tool,
                  const fs::path& facesTool, const fs::path& makeModels, int rounds)
{
    const std::string label = original.stem().string();
    const fs::path directory = work / label;
    fs::create_directories(directory);
    const fs::path model = directory / "model.step";
    fs::copy_file(original, model, fs::copy_options::overwrite_existing);
    const fs::path drilled = directory / "drilled.step";
    if (!fs::exists(drilled)) {
        const ProcessFigures made = runProcess(
            {makeModels.string(), "drill", original.string(), drilled.string()}, work / "time.txt");
        if (made.exitStatus != 0) std::cerr << "record_bench: cannot drill " << original << '\n';
    }
    warmPageCache(original);
    warmPageCache(drilled);

    STEPControl_Reader reader;
    std::string error;
    const int saved = silenceStdout();
    const int faces = countFaces(importStepModel(reader, model.string(), error));
    restoreStdout(saved);
    const std::vector<Dataset> datasets =
        makeDatasets(directory, label, model, faces, {"10", "all"});

    RecordFigures record;
    for (int round = 0; round < rounds; ++round) {
        measureRecordSteps(datasets.back(), model, record);
        measureWholeRuns(tool, datasets.back(), work, record);
    }
    printRecordFigures(original.filename().string(), faces, record);

    std::cout << original.filename().string()
              << " with a hole drilled through it: the lists followed from the record of the "
                 "last run, and from the old model\n";
    for (const Dataset& dataset : datasets) {
        fs::copy_file(original, model, fs::copy_options::overwrite_existing);
        runProcess({tool.string(), dataset.root.string()}, work / "time.txt");
        fs::copy_file(drilled, model, fs::copy_options::overwrite_existing);
        FollowFigures figures;
        for (int round = 0; round < rounds; ++round) {
            const auto follow = [&] {
                figures.follow.push_back(runProcess(
                    {facesTool.string(), dataset.root.string(), "--follow"}, work / "time.txt"));
            };
            const auto since = [&] {
                figures.since.push_back(
                    runProcess({facesTool.string(), dataset.root.string(), "--since",
                                original.string()},
                               work / "time.txt"));
            };
            if (round % 2 == 0) {
                follow();
                since();
            } else {
                since();
                follow();
            }
        }
        printFollowFigures(std::to_string(dataset.selected) + " faces listed", figures);
    }
    measureManyDatasets(directory, original, drilled, model, faces, tool, facesTool, rounds);
    fs::copy_file(original, model, fs::copy_options::overwrite_existing);
    std::cout << '\n';
}

} // namespace

int main(int argc, char** argv)
{
    fs::path work, tool, facesTool, makeModels;
    int rounds = 3;
    std::vector<fs::path> models;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        const bool hasValue = i + 1 < argc;
        if (argument == "--work" && hasValue) {
            work = argv[++i];
        } else if (argument == "--tool" && hasValue) {
            tool = argv[++i];
        } else if (argument == "--faces-tool" && hasValue) {
            facesTool = argv[++i];
        } else if (argument == "--make-models" && hasValue) {
            makeModels = argv[++i];
        } else if (argument == "--rounds" && hasValue) {
            rounds = std::max(1, std::atoi(argv[++i]));
        } else {
            models.push_back(argument);
        }
    }
    if (work.empty() || tool.empty() || facesTool.empty() || makeModels.empty() || models.empty()) {
        std::cerr << "usage: record_bench --work <dir> --tool <exe> --faces-tool <exe> "
                     "--make-models <exe> [--rounds n] <model.step>...\n";
        return 2;
    }
    OSD::SetSignal(Standard_False);
    fs::create_directories(work);
    std::cout << "The record of a run, and tarnfold-faces --follow against --since; medians "
                 "(min-max) of "
              << rounds << " rounds\n\n";
    for (const fs::path& model : models) {
        if (!fs::exists(model)) {
            std::cout << model.string() << ": not found, skipped\n\n";
            continue;
        }
        measureModel(model, work, tool, facesTool, makeModels, rounds);
    }
    return 0;
}
