// reals_bench: what the check of a STEP file's reals costs, next to a whole tarnfold run.
//
//   reals_bench --work <dir> --tool <exe> [--rounds n] <model.step>...
//
// For each model, in rounds: the check alone over the file's bytes in memory, in the pieces the
// reader reads; the library's read as the tool makes it (through the checking stream) and
// straight from the file (ReadFile), in alternating order; and a whole tarnfold run on a dataset
// that lists 10 faces. It prints medians with their spread (min-max) and the check's share of
// the whole run; it never fails on a time.
#include "bench.hpp"

#include "model/scanned_file.hpp"
#include "model/step_reals.hpp"

#include <cstring>
#include <fstream>
#include <iostream>
#include <sstream>

#include <OSD.hxx>
#include <STEPControl_Reader.hxx>

namespace {

struct RealsFigures {
    std::vector<double> check, readChecked, readStraight, whole;
};

double timeCheck(const std::string& bytes)
{
    const Clock::time_point start = Clock::now();
    RealScan scan;
    for (std::size_t at = 0; at < bytes.size(); at += 65536) {
        scanStepText(scan, bytes.data() + at, std::min<std::size_t>(65536, bytes.size() - at));
    }
    const double ms = msSince(start);
    if (scan.found) std::cerr << "reals_bench: the model holds " << scan.first.text << '\n';
    return ms;
}

double timeRead(const fs::path& model, bool checked)
{
    STEPControl_Reader reader;
    const int saved = silenceStdout(); // the reader's trace
    const Clock::time_point start = Clock::now();
    IFSelect_ReturnStatus status;
    if (checked) {
        ScannedFile file;
        file.open(model.string());
        std::istream stream(&file);
        status = reader.ReadStream(model.c_str(), stream);
    } else {
        status = reader.ReadFile(model.c_str());
    }
    const double ms = msSince(start);
    restoreStdout(saved);
    if (status != IFSelect_RetDone) std::cerr << "reals_bench: cannot read " << model << '\n';
    return ms;
}

void printFigures(const fs::path& model, std::uintmax_t size, const RealsFigures& f)
{
    std::vector<double> share, readRatio;
    for (std::size_t i = 0; i < f.whole.size(); ++i) {
        share.push_back(100 * f.check[i] / f.whole[i]);
        readRatio.push_back(f.readChecked[i] / f.readStraight[i]);
    }
    std::cout << model.filename().string() << ": " << formatFixed(double(size) / 1e6, 1)
              << " MB\n"
              << "  check alone                  " << formatSpread(f.check, 1) << " ms\n"
              << "  read through the check       " << formatSpread(f.readChecked, 0) << " ms\n"
              << "  read straight (ReadFile)     " << formatSpread(f.readStraight, 0) << " ms\n"
              << "  through / straight           " << formatSpread(readRatio, 3) << "\n"
              << "  whole tarnfold run, 10 faces " << formatSpread(f.whole, 0) << " ms\n"
              << "  check / whole run            " << formatSpread(share, 2) << " %\n\n";
}

} // namespace

int main(int argc, char** argv)
{
    fs::path work, tool;
    int rounds = 3;
    std::vector<fs::path> models;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        const bool hasValue = i + 1 < argc;
        if (argument == "--work" && hasValue) {
            work = argv[++i];
        } else if (argument == "--tool" && hasValue) {
            tool = argv[++i];
        } else if (argument == "--rounds" && hasValue) {
            rounds = std::max(1, std::atoi(argv[++i]));
        } else {
            models.push_back(argument);
        }
    }
    if (work.empty() || tool.empty() || models.empty()) {
        std::cerr << "usage: reals_bench --work <dir> --tool <exe> [--rounds n] <model.step>...\n";
        return 2;
    }
    OSD::SetSignal(Standard_False);
    fs::create_directories(work);
    std::cout << "The check of a STEP file's reals: medians (min-max) of " << rounds
              << " rounds\n\n";
    for (const fs::path& model : models) {
        if (!fs::exists(model)) {
            std::cout << model.string() << ": not found, skipped\n\n";
            continue;
        }
        const fs::path root = work / model.stem();
        fs::create_directories(root / "data" / "force");
        std::ofstream(root / "data" / "address.txt") << fs::absolute(model).string() << '\n';
        std::ofstream list(root / "data" / "force" / "loads.txt");
        for (int face = 1; face <= 10; ++face) list << face << " 0 0\n";
        list.close();
        std::ifstream in(model, std::ios::binary);
        std::ostringstream bytes;
        bytes << in.rdbuf();
        warmPageCache(model);

        RealsFigures figures;
        for (int round = 0; round < rounds; ++round) {
            figures.check.push_back(timeCheck(bytes.str()));
            const bool checkedFirst = round % 2 == 0;
            const double first = timeRead(model, checkedFirst);
            const double second = timeRead(model, !checkedFirst);
            figures.readChecked.push_back(checkedFirst ? first : second);
            figures.readStraight.push_back(checkedFirst ? second : first);
            const ProcessFigures run = runProcess({tool.string(), root.string()}, work / "time.txt");
            figures.whole.push_back(run.wallMs);
        }
        printFigures(model, fs::file_size(model), figures);
    }
    return 0;
}
