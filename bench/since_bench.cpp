// since_bench: what comparing two revisions costs, next to what reading them costs.
//
//   since_bench --work <dir> --make-models <exe> --faces-tool <exe> [--rounds n] <model.step>...
//
// For each model it makes a revision with a hole drilled through the middle (make_models drill,
// kept in <dir>), then, in rounds: in this process, the reading of both revisions (the tool's
// own import), the sampling of their faces and the matching, each timed; and whole runs of
// `tarnfold-faces --model <drilled> --since <model>`, with their peak memory. It prints medians
// with their spread (min-max) and the answers of the last match; it never fails on a time.
#include "bench.hpp"

#include "follow/face_sampling.hpp"
#include "follow/revision_match.hpp"
#include "model/step_import.hpp"

#include <cstring>
#include <iostream>
#include <map>

#include <OSD.hxx>

namespace {

struct SinceFigures {
    std::vector<double> readOld, readNew, sampleOld, sampleNew, match, whole, peakMiB;
    std::map<std::string, int> answers;
    int oldFaces = 0, newFaces = 0;
};

TopoDS_Shape importTimed(const fs::path& model, std::vector<double>& times)
{
    STEPControl_Reader reader;
    std::string error;
    const int saved = silenceStdout(); // the load check and transfer trace
    const Clock::time_point start = Clock::now();
    TopoDS_Shape shape = importStepModel(reader, model.string(), error);
    times.push_back(msSince(start));
    restoreStdout(saved);
    if (!error.empty()) std::cerr << "since_bench: " << error << '\n';
    return shape;
}

void measureRound(const fs::path& model, const fs::path& drilled, const fs::path& facesTool,
                  const fs::path& work, SinceFigures& figures)
{
    const TopoDS_Shape oldShape = importTimed(model, figures.readOld);
    const TopoDS_Shape newShape = importTimed(drilled, figures.readNew);
    Clock::time_point start = Clock::now();
    const std::vector<SampledFace> oldFaces = sampleModelFaces(oldShape);
    figures.sampleOld.push_back(msSince(start));
    start = Clock::now();
    const std::vector<SampledFace> newFaces = sampleModelFaces(newShape);
    figures.sampleNew.push_back(msSince(start));
    start = Clock::now();
    const std::vector<FaceMatch> matches = matchRevisions(oldFaces, newFaces);
    figures.match.push_back(msSince(start));

    figures.answers.clear();
    for (const FaceMatch& match : matches) ++figures.answers[matchKindName(match.kind)];
    figures.oldFaces = countVisits(oldFaces);
    figures.newFaces = countVisits(newFaces);

    const ProcessFigures run = runProcess(
        {facesTool.string(), "--model", drilled.string(), "--since", model.string()},
        work / "time.txt");
    figures.whole.push_back(run.wallMs);
    figures.peakMiB.push_back(run.peakRssMiB);
}

void printFigures(const std::string& name, const SinceFigures& f)
{
    std::vector<double> reads, phases;
    for (std::size_t i = 0; i < f.readOld.size(); ++i) {
        reads.push_back(f.readOld[i] + f.readNew[i]);
        phases.push_back(f.sampleOld[i] + f.sampleNew[i] + f.match[i]);
    }
    std::vector<double> ratios;
    for (std::size_t i = 0; i < f.whole.size(); ++i) ratios.push_back(f.whole[i] / reads[i]);
    std::cout << name << ": " << f.oldFaces << " faces, drilled: " << f.newFaces << " faces\n"
              << "  read both (in process)   " << formatSpread(reads, 0) << " ms\n"
              << "    old / new              " << formatSpread(f.readOld, 0) << " / "
              << formatSpread(f.readNew, 0) << " ms\n"
              << "  sample old / new         " << formatSpread(f.sampleOld, 0) << " / "
              << formatSpread(f.sampleNew, 0) << " ms\n"
              << "  match                    " << formatSpread(f.match, 0) << " ms\n"
              << "  sample and match         " << formatSpread(phases, 0) << " ms\n"
              << "  whole --since run        " << formatSpread(f.whole, 0) << " ms, peak "
              << formatSpread(f.peakMiB, 0) << " MiB\n"
              << "  whole run / read both    " << formatSpread(ratios, 2) << "\n"
              << "  answers:";
    for (const auto& [kind, count] : f.answers) std::cout << ' ' << kind << ' ' << count;
    std::cout << "\n\n";
}

} // namespace

int main(int argc, char** argv)
{
    fs::path work, makeModels, facesTool;
    int rounds = 3;
    std::vector<fs::path> models;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        const bool hasValue = i + 1 < argc;
        if (argument == "--work" && hasValue) {
            work = argv[++i];
        } else if (argument == "--make-models" && hasValue) {
            makeModels = argv[++i];
        } else if (argument == "--faces-tool" && hasValue) {
            facesTool = argv[++i];
        } else if (argument == "--rounds" && hasValue) {
            rounds = std::max(1, std::atoi(argv[++i]));
        } else {
            models.push_back(argument);
        }
    }
    if (work.empty() || makeModels.empty() || facesTool.empty() || models.empty()) {
        std::cerr << "usage: since_bench --work <dir> --make-models <exe> --faces-tool <exe> "
                     "[--rounds n] <model.step>...\n";
        return 2;
    }
    OSD::SetSignal(Standard_False);
    fs::create_directories(work);
    std::cout << "tarnfold-faces --since: each model against itself with a hole drilled through "
                 "its middle; medians (min-max) of "
              << rounds << " rounds\n\n";
    for (const fs::path& model : models) {
        if (!fs::exists(model)) {
            std::cout << model.string() << ": not found, skipped\n\n";
            continue;
        }
        const fs::path drilled = work / (model.stem().string() + "-drilled.step");
        if (!fs::exists(drilled)) {
            const ProcessFigures made =
                runProcess({makeModels.string(), "drill", model.string(), drilled.string()},
                           work / "time.txt");
            if (made.exitStatus != 0) {
                std::cerr << "since_bench: cannot drill " << model << '\n';
                continue;
            }
        }
        warmPageCache(model);
        warmPageCache(drilled);
        SinceFigures figures;
        for (int round = 0; round < rounds; ++round) {
            measureRound(model, drilled, facesTool, work, figures);
        }
        printFigures(model.filename().string(), figures);
    }
    return 0;
}
