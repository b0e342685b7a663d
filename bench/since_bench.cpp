// since_bench: how many faces comparing two revisions follows, and what it costs.
//
//   since_bench --work <dir> --make-models <exe> --faces-tool <exe> [--rounds n]
//               [--measure pairs,costs] [--list] <model.step>...
//
// pairs: generated revision pairs (parts moved, moved and drilled, framed anew, one dimension
// changed, an end or a corner cut away, symmetric parts revised, parts written again), and each
// model turned and shifted, and moved and drilled, written to STEP, read back and matched; what
// became of each old face is counted against the modelling history, by group and by what the
// history says.
// costs: for each model, a revision with a hole drilled through the middle (make_models drill)
// and one moved and drilled, kept in <dir>; then in rounds, in this process, the reading, the
// sampling and the matching in each mode (all of it, without the search for a motion, without
// the reshaped faces), and whole runs of `tarnfold-faces --model <new> --since <model>` with
// their peak memory. Medians with their spread (min-max); it never fails on a time. --list
// names every face of the pairs that has no certain answer.
#include "bench.hpp"
#include "since_counts.hpp"
#include "since_pairs.hpp"

#include "match/face_sampling.hpp"
#include "match/revision_match.hpp"
#include "model/step_import.hpp"

#include <ctime>
#include <iostream>
#include <map>

#include <OSD.hxx>
#include <STEPControl_Writer.hxx>

namespace {

struct SinceFigures {
    std::vector<double> readOld, readNew, sampleOld, sampleNew, whole, peakMiB;
    // Each mode of the matching, in wall and in CPU time: all of it, without the search for a
    // motion, without the reshaped faces.
    std::vector<double> match, inPlace, unshaped, matchCpu, inPlaceCpu, unshapedCpu;
    std::map<std::string, int> answers;
    std::string motion;
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

// The CPU time this process has used, ms: on a shared machine it moves less than wall time.
double cpuMs()
{
    return 1000.0 * double(std::clock()) / CLOCKS_PER_SEC;
}

void timedMatch(const std::vector<SampledFace>& oldFaces,
                const std::vector<SampledFace>& newFaces, const MatchOptions& options,
                RevisionMatch& match, std::vector<double>& wall, std::vector<double>& cpu)
{
    const Clock::time_point start = Clock::now();
    const double cpuStart = cpuMs();
    match = compareRevisions(oldFaces, newFaces, options);
    wall.push_back(msSince(start));
    cpu.push_back(cpuMs() - cpuStart);
}

void measureRound(const fs::path& model, const fs::path& revised, const fs::path& facesTool,
                  const fs::path& work, SinceFigures& figures)
{
    const TopoDS_Shape oldShape = importTimed(model, figures.readOld);
    const TopoDS_Shape newShape = importTimed(revised, figures.readNew);
    Clock::time_point start = Clock::now();
    const std::vector<SampledFace> oldFaces = sampleModelFaces(oldShape);
    figures.sampleOld.push_back(msSince(start));
    start = Clock::now();
    const std::vector<SampledFace> newFaces = sampleModelFaces(newShape);
    figures.sampleNew.push_back(msSince(start));
    RevisionMatch match, other;
    MatchOptions inPlace, unshaped;
    inPlace.followMotion = false;
    unshaped.findReshaped = false;
    timedMatch(oldFaces, newFaces, {}, match, figures.match, figures.matchCpu);
    timedMatch(oldFaces, newFaces, inPlace, other, figures.inPlace, figures.inPlaceCpu);
    timedMatch(oldFaces, newFaces, unshaped, other, figures.unshaped, figures.unshapedCpu);

    figures.answers.clear();
    for (const FaceMatch& face : match.faces) ++figures.answers[matchKindName(face.kind)];
    figures.motion = match.motion;
    figures.oldFaces = countVisits(oldFaces);
    figures.newFaces = countVisits(newFaces);

    const ProcessFigures run =
        runProcess({facesTool.string(), "--model", revised.string(), "--since", model.string()},
                   work / "time.txt");
    figures.whole.push_back(run.wallMs);
    figures.peakMiB.push_back(run.peakRssMiB);
}

void printFigures(const std::string& name, const std::string& revision, const SinceFigures& f)
{
    std::vector<double> reads, ratios;
    for (std::size_t i = 0; i < f.readOld.size(); ++i)
        reads.push_back(f.readOld[i] + f.readNew[i]);
    for (std::size_t i = 0; i < f.whole.size(); ++i) ratios.push_back(f.whole[i] / reads[i]);
    std::cout << name << ", " << revision << ": " << f.oldFaces << " faces, then " << f.newFaces
              << "\n"
              << "  read both (in process)     " << formatSpread(reads, 0) << " ms\n"
              << "  sample old / new           " << formatSpread(f.sampleOld, 0) << " / "
              << formatSpread(f.sampleNew, 0) << " ms\n"
              << "  match, all of it           " << formatSpread(f.match, 0) << " ms, CPU "
              << formatSpread(f.matchCpu, 0) << " ms\n"
              << "  match, no motion search    " << formatSpread(f.inPlace, 0) << " ms, CPU "
              << formatSpread(f.inPlaceCpu, 0) << " ms\n"
              << "  match, no reshaped faces   " << formatSpread(f.unshaped, 0) << " ms, CPU "
              << formatSpread(f.unshapedCpu, 0) << " ms\n"
              << "  whole --since run          " << formatSpread(f.whole, 0) << " ms, peak "
              << formatSpread(f.peakMiB, 0) << " MiB\n"
              << "  whole run / read both      " << formatSpread(ratios, 2) << "\n"
              << "  motion: " << (f.motion.empty() ? "none" : f.motion) << "\n  answers:";
    for (const auto& [kind, count] : f.answers) std::cout << ' ' << kind << ' ' << count;
    std::cout << "\n\n";
}

std::string percent(int part, int whole)
{
    return whole > 0 ? formatFixed(100.0 * part / whole, 1) + "%" : "-";
}

void printCounts(const std::map<std::string, FollowCount>& groups)
{
    std::cout << "| group | pairs | old faces | right | wrong | faces on changed surfaces | "
                 "followed as reshaped | other answers than by place alone |\n"
                 "|---|--:|--:|--:|--:|--:|--:|--:|\n";
    for (const auto& [group, c] : groups) {
        int right = 0;
        for (const auto& kind : c.kinds) right += kind.second.right;
        std::cout << "| " << group << " | " << c.pairs << " | " << c.faces << " | " << right
                  << " (" << percent(right, c.faces) << ") | " << c.wrong << " | "
                  << c.onChangedSurfaces << " | " << c.reshaped << " ("
                  << percent(c.reshaped, c.onChangedSurfaces) << ") | " << c.otherAnswersChanged
                  << " |\n";
    }
    // The old faces of every group by what the history says became of them.
    std::map<std::string, KindCount> kinds;
    KindCount all;
    for (const auto& [group, c] : groups) {
        for (const auto& [kind, k] : c.kinds) {
            for (KindCount* sum : {&kinds[kind], &all}) {
                sum->faces += k.faces;
                sum->right += k.right;
                sum->wrong += k.wrong;
            }
        }
    }
    kinds["all"] = all;
    std::cout << "\n| the history says | old faces | right | wrong |\n|---|--:|--:|--:|\n";
    for (const auto& [kind, k] : kinds) {
        std::cout << "| " << kind << " | " << k.faces << " | " << k.right << " ("
                  << percent(k.right, k.faces) << ") | " << k.wrong << " |\n";
    }
    for (const auto& [group, c] : groups) {
        for (const std::string& note : c.notes) std::cout << "  " << group << ": " << note << '\n';
    }
    std::cout << '\n';
}

// Counts the generated pairs, and each model turned, shifted and drilled.
void measurePairs(const std::vector<fs::path>& models, const fs::path& work, bool list)
{
    std::cout << "Faces followed over revision pairs, against the modelling history\n\n";
    std::map<std::string, FollowCount> groups;
    for (const RevisionPair& pair : makeRevisionPairs()) {
        groups[pair.group].listUncertain = list;
        countFollowed(pair, work, groups[pair.group]);
    }
    printCounts(groups);
    for (const fs::path& model : models) {
        if (!fs::exists(model)) continue;
        std::vector<double> ignored;
        std::map<std::string, FollowCount> mine;
        for (const RevisionPair& pair :
             makeModelPairs(importTimed(model, ignored), model.filename().string())) {
            mine[pair.name].listUncertain = list;
            countFollowed(pair, work, mine[pair.name]);
        }
        printCounts(mine);
    }
}

// The model turned, shifted and drilled, as a file beside the drilled one.
bool writeMovedAndDrilled(const fs::path& model, const fs::path& out)
{
    std::vector<double> ignored;
    const std::vector<RevisionPair> pairs = makeModelPairs(importTimed(model, ignored), "");
    const int saved = silenceStdout();
    STEPControl_Writer writer;
    const bool written =
        writer.Transfer(pairs.back().revision.after, STEPControl_AsIs) == IFSelect_RetDone &&
        writer.Write(out.c_str()) == IFSelect_RetDone;
    restoreStdout(saved);
    return written;
}

void measureCosts(const std::vector<fs::path>& models, const fs::path& work,
                  const fs::path& makeModels, const fs::path& facesTool, int rounds)
{
    std::cout << "tarnfold-faces --since: each model against itself drilled through its middle, "
                 "and moved and drilled; medians (min-max) of "
              << rounds << " rounds\n\n";
    for (const fs::path& model : models) {
        if (!fs::exists(model)) {
            std::cout << model.string() << ": not found, skipped\n\n";
            continue;
        }
        const fs::path drilled = work / (model.stem().string() + "-drilled.step");
        const fs::path movedDrilled = work / (model.stem().string() + "-moved-drilled.step");
        if (!fs::exists(drilled) &&
            runProcess({makeModels.string(), "drill", model.string(), drilled.string()},
                       work / "time.txt")
                    .exitStatus != 0) {
            std::cerr << "since_bench: cannot drill " << model << '\n';
            continue;
        }
        if (!fs::exists(movedDrilled) && !writeMovedAndDrilled(model, movedDrilled)) {
            std::cerr << "since_bench: cannot move and drill " << model << '\n';
            continue;
        }
        for (const auto& [revised, what] :
             {std::pair{drilled, "drilled"}, std::pair{movedDrilled, "moved and drilled"}}) {
            warmPageCache(model);
            warmPageCache(revised);
            SinceFigures figures;
            for (int round = 0; round < rounds; ++round) {
                measureRound(model, revised, facesTool, work, figures);
            }
            printFigures(model.filename().string(), what, figures);
        }
    }
}

} // namespace

int main(int argc, char** argv)
{
    fs::path work, makeModels, facesTool;
    int rounds = 3;
    std::string measure = "pairs,costs";
    bool list = false;
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
        } else if (argument == "--measure" && hasValue) {
            measure = argv[++i];
        } else if (argument == "--list") {
            list = true;
        } else {
            models.push_back(argument);
        }
    }
    if (work.empty() || makeModels.empty() || facesTool.empty()) {
        std::cerr << "usage: since_bench --work <dir> --make-models <exe> --faces-tool <exe> "
                     "[--rounds n] [--measure pairs,costs] [--list] <model.step>...\n";
        return 2;
    }
    OSD::SetSignal(Standard_False);
    fs::create_directories(work);
    if (measure.find("pairs") != std::string::npos) measurePairs(models, work, list);
    if (measure.find("costs") != std::string::npos) {
        measureCosts(models, work, makeModels, facesTool, rounds);
    }
    return 0;
}
