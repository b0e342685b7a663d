// tarnfold_bench: how far tarnfold is from the bare library doing the same job.
//
//   tarnfold_bench --work <dir> --make-models <exe> --tool <exe> [--variant name=<exe>]...
//                  [--sizes 1000,10000,50000] [--repeats 3] [--corpus <model.step>]
//   tarnfold_bench --floor <model.step> <selection.bin> <out-dir>
//
// The first form generates the plate models once (kept in <dir>/models), builds the datasets,
// times the tool's phases in this process, runs the real binaries as processes and prints the
// figures. The second form is the floor as a process of its own, for whole-run time and memory:
// read, transfer, one explorer walk and BRepTools::Write of the selected faces, nothing else.
// It only prints figures; it never fails on a time.
#include "intake/dataset_inputs.hpp"
#include "model/face_export.hpp"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iomanip>
#include <iostream>
#include <locale>
#include <map>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <BRepTools.hxx>
#include <IFSelect_PrintCount.hxx>
#include <OSD.hxx>
#include <STEPControl_Reader.hxx>
#include <TopExp_Explorer.hxx>
#include <TopoDS.hxx>
#include <TopoDS_Face.hxx>
#include <Transfer_TransientProcess.hxx>
#include <XSControl_WorkSession.hxx>

extern char** environ;

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

double msSince(Clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

double median(std::vector<double> values)
{
    if (values.empty()) return NAN;
    std::sort(values.begin(), values.end());
    const std::size_t middle = values.size() / 2;
    return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

// The library prints its load check and transfer trace on std::cout. While timing, fd 1 points
// at /dev/null, for the tool's phases and the floor's alike, so both pay the same for output.
int silenceStdout()
{
    std::cout.flush();
    std::fflush(stdout);
    const int saved = ::dup(STDOUT_FILENO);
    const int devNull = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
    ::dup2(devNull, STDOUT_FILENO);
    ::close(devNull);
    return saved;
}

void restoreStdout(int saved)
{
    std::cout.flush();
    std::fflush(stdout);
    ::dup2(saved, STDOUT_FILENO);
    ::close(saved);
}

std::string formatMs(double ms)
{
    std::ostringstream text;
    text << std::fixed << std::setprecision(ms < 10 ? 2 : ms < 1000 ? 1 : 0) << ms;
    return text.str();
}

std::string formatFixed(double value, int digits)
{
    std::ostringstream text;
    text << std::fixed << std::setprecision(digits) << value;
    return text.str();
}

// ---- processes -----------------------------------------------------------------------------

struct ProcessFigures {
    double wallMs = 0;
    double peakRssMiB = 0;
    int exitStatus = -1;
};

// The child's peak RSS cannot come from our own wait4: Linux carries a process's high-water mark
// across exec, so a child spawned from this (large) process would report at least our size.
// GNU time forks the command from a small process of its own and reports the command's
// ru_maxrss; its %M is in KiB. posix_spawn rather than fork here, so that copying our page
// tables stays out of the wall time, which is measured around spawn..wait for tool and floor
// alike. The command's stdout and stderr go to /dev/null.
ProcessFigures runProcess(const std::vector<std::string>& command, const fs::path& rssFile)
{
    static const bool haveTime = ::access("/usr/bin/time", X_OK) == 0;
    std::vector<std::string> arguments;
    if (haveTime) arguments = {"/usr/bin/time", "-f", "%M", "-o", rssFile.string()};
    arguments.insert(arguments.end(), command.begin(), command.end());
    std::vector<char*> argv;
    for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);

    ProcessFigures figures;
    figures.peakRssMiB = NAN;
    const Clock::time_point start = Clock::now();
    pid_t pid = 0;
    const int spawnError = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawnError != 0) {
        std::cerr << "tarnfold_bench: cannot run " << arguments[0] << ": "
                  << std::strerror(spawnError) << '\n';
        return figures;
    }
    int status = 0;
    if (::waitpid(pid, &status, 0) < 0) return figures;
    figures.wallMs = msSince(start);
    figures.exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    if (haveTime) {
        // GNU time writes "Command exited with non-zero status N" before the figures then.
        std::ifstream in(rssFile);
        std::string line, last;
        while (std::getline(in, line)) {
            if (!line.empty()) last = line;
        }
        if (!last.empty() && std::isdigit(static_cast<unsigned char>(last[0]))) {
            figures.peakRssMiB = std::stod(last) / 1024;
        }
        fs::remove(rssFile);
    }
    return figures;
}

// ---- files ---------------------------------------------------------------------------------

std::vector<fs::path> listFaceFiles(const fs::path& directory)
{
    std::vector<fs::path> files;
    if (!fs::is_directory(directory)) return files;
    for (const fs::directory_entry& entry : fs::directory_iterator(directory)) {
        const std::string name = entry.path().filename().string();
        if (name.rfind("face", 0) == 0 && entry.path().extension() == ".brep") {
            files.push_back(entry.path());
        }
    }
    std::sort(files.begin(), files.end());
    return files;
}

// Leaves `directory` without face files, and as a new directory. Creating files is much slower
// in some directories that earlier runs have filled and emptied (here, the same 2,046 face files:
// 2.9 s in a reused data directory, 1.4 s in a new one, for the tool and the floor alike), so
// every timed run starts in a new one, or the figures would tell the directory's history.
void removeFaceFiles(const fs::path& directory)
{
    if (!fs::is_directory(directory)) return;
    const fs::path fresh = directory.string() + ".fresh";
    fs::remove_all(fresh);
    fs::create_directory(fresh);
    for (const fs::directory_entry& entry : fs::directory_iterator(directory)) {
        const std::string name = entry.path().filename().string();
        const bool faceFile = name.rfind("face", 0) == 0 && entry.path().extension() == ".brep";
        if (!faceFile) fs::rename(entry.path(), fresh / entry.path().filename());
    }
    fs::remove_all(directory);
    fs::rename(fresh, directory);
}

std::uintmax_t totalBytes(const std::vector<fs::path>& files)
{
    std::uintmax_t bytes = 0;
    for (const fs::path& file : files) bytes += fs::file_size(file);
    return bytes;
}

bool sameBytes(const fs::path& a, const fs::path& b)
{
    std::ifstream first(a, std::ios::binary), second(b, std::ios::binary);
    if (!first || !second) return false;
    return std::equal(std::istreambuf_iterator<char>(first), std::istreambuf_iterator<char>(),
                      std::istreambuf_iterator<char>(second), std::istreambuf_iterator<char>());
}

// Same file names and every file byte-identical.
bool sameFaceFiles(const fs::path& directoryA, const fs::path& directoryB)
{
    const std::vector<fs::path> a = listFaceFiles(directoryA), b = listFaceFiles(directoryB);
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (a[i].filename() != b[i].filename() || !sameBytes(a[i], b[i])) return false;
    }
    return true;
}

void copyFaceFiles(const fs::path& from, const fs::path& to)
{
    fs::remove_all(to);
    fs::create_directories(to);
    for (const fs::path& file : listFaceFiles(from)) fs::copy_file(file, to / file.filename());
}

// Reads the model once so that every timed read finds it in the page cache.
void warmPageCache(const fs::path& file)
{
    std::ifstream in(file, std::ios::binary);
    std::vector<char> buffer(1 << 20);
    while (in.read(buffer.data(), static_cast<std::streamsize>(buffer.size()))) {
    }
}

// ---- the floor -----------------------------------------------------------------------------

struct FloorTimes {
    double read = 0, transfer = 0, export_ = 0;
};

std::vector<std::int32_t> readSelection(const fs::path& file)
{
    std::ifstream in(file, std::ios::binary);
    std::vector<std::int32_t> faces(static_cast<std::size_t>(fs::file_size(file)) / 4);
    in.read(reinterpret_cast<char*>(faces.data()), static_cast<std::streamsize>(faces.size() * 4));
    return faces;
}

TopoDS_Shape importBare(STEPControl_Reader& reader, const std::string& model, FloorTimes& times)
{
    Clock::time_point start = Clock::now();
    const bool read = reader.ReadFile(model.c_str()) == IFSelect_RetDone;
    times.read = msSince(start);
    if (!read) return {};
    start = Clock::now();
    reader.TransferRoots();
    TopoDS_Shape shape = reader.NbShapes() > 0 ? reader.Shape(reader.NbShapes()) : TopoDS_Shape();
    times.transfer = msSince(start);
    return shape;
}

// One explorer walk over every face, BRepTools::Write for the selected ones (sorted numbers).
int writeSelectedBare(const TopoDS_Shape& shape, const std::vector<std::int32_t>& selection,
                      const std::string& prefix)
{
    std::size_t next = 0;
    int faceNumber = 1, written = 0;
    for (TopExp_Explorer explorer(shape, TopAbs_FACE); explorer.More();
         explorer.Next(), ++faceNumber) {
        if (next == selection.size() || selection[next] != faceNumber) continue;
        ++next;
        const std::string name = prefix + std::to_string(faceNumber) + ".brep";
        if (BRepTools::Write(explorer.Current(), name.c_str())) ++written;
    }
    return written;
}

int runFloorProcess(const std::string& model, const fs::path& selectionFile, const fs::path& out)
{
    const std::vector<std::int32_t> selection = readSelection(selectionFile);
    STEPControl_Reader reader;
    FloorTimes times;
    const TopoDS_Shape shape = importBare(reader, model, times);
    if (shape.IsNull()) return 1;
    const int written = writeSelectedBare(shape, selection, (out / "face").string());
    return written == static_cast<int>(selection.size()) ? 0 : 1;
}

// ---- the tool's phases, in process ---------------------------------------------------------

struct ToolImportTimes {
    double read = 0, check = 0, transfer = 0;
};

// The public calls importStepModel makes, in its order, with a clock around each group.
TopoDS_Shape importLikeTool(STEPControl_Reader& reader, const std::string& model,
                            ToolImportTimes& times)
{
    Clock::time_point start = Clock::now();
    const IFSelect_ReturnStatus status = reader.ReadFile(model.c_str());
    times.read = msSince(start);

    start = Clock::now();
    const Handle(Transfer_TransientProcess) process = reader.WS()->MapReader();
    if (!process.IsNull()) process->SetTraceLevel(2);
    reader.PrintCheckLoad(Standard_False, IFSelect_ItemsByEntity);
    times.check = msSince(start);
    if (status != IFSelect_RetDone) return {};

    start = Clock::now();
    TopoDS_Shape shape;
    for (Standard_Integer i = 1; i <= reader.NbRootsForTransfer(); ++i) reader.TransferRoot(i);
    for (Standard_Integer i = 1; i <= reader.NbShapes(); ++i) shape = reader.Shape(i);
    times.transfer = msSince(start);
    return shape;
}

int countFaces(const TopoDS_Shape& shape)
{
    int count = 0;
    for (TopExp_Explorer explorer(shape, TopAbs_FACE); explorer.More(); explorer.Next()) ++count;
    return count;
}

// ---- datasets ------------------------------------------------------------------------------

struct Dataset {
    std::string name;    // "10", "10%", "all", "10k-list"
    fs::path root;
    int selected = 0;    // distinct faces the lists select
    std::size_t forceEntries = 0, restraintEntries = 0;
};

struct Case {
    std::string model;   // label
    fs::path modelPath;
    int faces = 0;
    Dataset dataset;
    // in process, ms
    double walk = 0, read = 0, check = 0, transfer = 0, export_ = 0, writes = 0, enumeration = 0;
    double floorRead = 0, floorTransfer = 0, floorExport = 0;
    // whole processes
    ProcessFigures tool, floor;
    std::size_t files = 0;
    std::uintmax_t bytes = 0;
    bool sameAsFloor = false;

    double toolTotal() const { return walk + read + check + transfer + export_; }
    double floorTotal() const { return floorRead + floorTransfer + floorExport; }
};

void writeLists(const fs::path& root, const std::vector<double>& force,
                const std::vector<double>& restraint)
{
    fs::remove_all(root / "data");
    fs::create_directories(root / "data" / "force");
    fs::create_directories(root / "data" / "restraint");
    std::ofstream forceFile(root / "data" / "force" / "loads.txt");
    forceFile.imbue(std::locale::classic());
    for (std::size_t i = 0; i < force.size(); ++i) {
        const double load = static_cast<double>(i % 7) * 12.5;
        forceFile << force[i] << ' ' << load << ' ' << -250.0 - load << '\n';
    }
    std::ofstream restraintFile(root / "data" / "restraint" / "supports.txt");
    restraintFile.imbue(std::locale::classic());
    for (const double face : restraint) restraintFile << face << " 1 1 1 0 0 0\n";
}

// Builds one dataset: the force list names `faces` (shuffled, as a user's file would be), the
// restraint list every second of them; selection.bin holds the distinct selected numbers, sorted,
// for the floor.
Dataset makeDataset(const fs::path& root, const std::string& name, const fs::path& model,
                    std::vector<double> force, std::vector<double> restraint, int faceCount)
{
    std::mt19937 random(12345);
    std::shuffle(force.begin(), force.end(), random);
    std::shuffle(restraint.begin(), restraint.end(), random);
    writeLists(root, force, restraint);
    std::ofstream(root / "data" / "address.txt") << fs::absolute(model).string() << '\n';

    std::set<std::int32_t> selected;
    for (const std::vector<double>* list : {&force, &restraint}) {
        for (const double entry : *list) {
            if (entry >= 1 && entry <= faceCount && entry == std::floor(entry)) {
                selected.insert(static_cast<std::int32_t>(entry));
            }
        }
    }
    const std::vector<std::int32_t> sorted(selected.begin(), selected.end());
    std::ofstream(root / "selection.bin", std::ios::binary)
        .write(reinterpret_cast<const char*>(sorted.data()),
               static_cast<std::streamsize>(sorted.size() * 4));

    Dataset dataset;
    dataset.name = name;
    dataset.root = root;
    dataset.selected = static_cast<int>(sorted.size());
    dataset.forceEntries = force.size();
    dataset.restraintEntries = restraint.size();
    return dataset;
}

std::vector<double> spreadFaces(int count, int faceCount)
{
    std::vector<double> faces;
    count = std::min(count, faceCount);
    for (int i = 0; i < count; ++i) {
        faces.push_back(1 + std::floor(static_cast<double>(i) * faceCount / count));
    }
    return faces;
}

std::vector<double> everySecond(const std::vector<double>& faces)
{
    std::vector<double> chosen;
    for (std::size_t i = 0; i < faces.size(); i += 2) chosen.push_back(faces[i]);
    return chosen;
}

std::vector<Dataset> makeDatasets(const fs::path& directory, const std::string& label,
                                  const fs::path& model, int faceCount)
{
    std::vector<Dataset> datasets;
    const auto add = [&](const std::string& name, const std::string& dirName,
                         const std::vector<double>& force, const std::vector<double>& restraint) {
        datasets.push_back(
            makeDataset(directory / (label + "-" + dirName), name, model, force, restraint,
                        faceCount));
    };
    const std::vector<double> ten = spreadFaces(10, faceCount);
    const std::vector<double> tenth = spreadFaces(std::max(1, faceCount / 10), faceCount);
    const std::vector<double> all = spreadFaces(faceCount, faceCount);
    add("10", "ten", ten, everySecond(ten));
    add("10%", "tenth", tenth, everySecond(tenth));
    add("all", "all", all, everySecond(all));

    // 10,000 force entries: 1,000 name 100 faces ten times over, 9,000 name faces the model does
    // not have (a list left over from another revision of the part).
    std::vector<double> longList;
    const std::vector<double> hundred = spreadFaces(100, faceCount);
    for (int i = 0; i < 1000; ++i) longList.push_back(hundred[static_cast<std::size_t>(i) % hundred.size()]);
    for (int i = 0; i < 9000; ++i) longList.push_back(faceCount + 1 + i);
    add("10k-list", "longlist", longList, ten);
    return datasets;
}

// ---- measuring one model -------------------------------------------------------------------

struct Settings {
    fs::path work, makeModels, tool, corpus;
    std::vector<int> sizes;
    int repeats = 3;
    std::vector<std::pair<std::string, std::string>> variants; // name, executable
};

void measureToolInProcess(const fs::path& model, std::vector<Case>& cases, const fs::path& work,
                          const std::string& label, int& faceCount)
{
    STEPControl_Reader reader;
    ToolImportTimes importTimes;
    int saved = silenceStdout();
    const TopoDS_Shape shape = importLikeTool(reader, model.string(), importTimes);
    restoreStdout(saved);
    faceCount = countFaces(shape);
    std::cout << "  import (tool's calls): read " << formatMs(importTimes.read) << " ms, check "
              << formatMs(importTimes.check) << " ms, transfer " << formatMs(importTimes.transfer)
              << " ms; " << faceCount << " faces" << std::endl;

    for (Dataset& dataset : makeDatasets(work / "datasets", label, model, faceCount)) {
        Case c;
        c.model = label;
        c.modelPath = model;
        c.faces = faceCount;
        c.dataset = dataset;
        c.read = importTimes.read;
        c.check = importTimes.check;
        c.transfer = importTimes.transfer;
        const fs::path dataDir = dataset.root / "data";

        saved = silenceStdout();
        std::ifstream stream;
        stream.imbue(std::locale::classic());
        DatasetInputs inputs;
        Clock::time_point start = Clock::now();
        walkDataset(dataset.root, stream, inputs);
        c.walk = msSince(start);

        removeFaceFiles(dataDir);
        start = Clock::now();
        exportFaceFiles(shape, inputs, dataset.root);
        c.export_ = msSince(start);

        // The writes on their own: the same faces through writeFaceFile, gathered beforehand.
        std::set<double> listed(inputs.forceFaces.begin(), inputs.forceFaces.end());
        listed.insert(inputs.restraintFaces.begin(), inputs.restraintFaces.end());
        std::vector<std::pair<TopoDS_Face, std::string>> toWrite;
        int faceNumber = 1;
        for (TopExp_Explorer explorer(shape, TopAbs_FACE); explorer.More();
             explorer.Next(), ++faceNumber) {
            if (listed.count(faceNumber) == 0) continue;
            toWrite.emplace_back(TopoDS::Face(explorer.Current().Composed(shape.Orientation())),
                                 (dataDir / ("face" + std::to_string(faceNumber) + ".brep")).string());
        }
        removeFaceFiles(dataDir);
        start = Clock::now();
        for (const auto& [face, name] : toWrite) writeFaceFile(face, name);
        c.writes = msSince(start);

        start = Clock::now();
        const int walked = countFaces(shape);
        c.enumeration = msSince(start);
        restoreStdout(saved);
        if (walked != faceCount) std::cerr << "tarnfold_bench: face count changed\n";
        cases.push_back(c);
    }
}

void measureFloorInProcess(const fs::path& model, std::vector<Case>& cases, std::size_t first)
{
    STEPControl_Reader reader;
    FloorTimes times;
    int saved = silenceStdout();
    const TopoDS_Shape shape = importBare(reader, model.string(), times);
    restoreStdout(saved);
    std::cout << "  import (floor): read " << formatMs(times.read) << " ms, transfer "
              << formatMs(times.transfer) << " ms" << std::endl;
    for (std::size_t i = first; i < cases.size(); ++i) {
        Case& c = cases[i];
        const fs::path out = c.dataset.root / "floor";
        fs::create_directories(out);
        removeFaceFiles(out);
        const std::vector<std::int32_t> selection = readSelection(c.dataset.root / "selection.bin");
        saved = silenceStdout();
        const Clock::time_point start = Clock::now();
        writeSelectedBare(shape, selection, (out / "face").string());
        c.floorExport = msSince(start);
        restoreStdout(saved);
        c.floorRead = times.read;
        c.floorTransfer = times.transfer;
    }
}

ProcessFigures runTool(const std::string& executable, const Dataset& dataset)
{
    removeFaceFiles(dataset.root / "data");
    return runProcess({executable, dataset.root.string()}, dataset.root / "rss.txt");
}

ProcessFigures runFloor(const fs::path& self, const Case& c)
{
    const fs::path out = c.dataset.root / "floor";
    fs::create_directories(out);
    removeFaceFiles(out);
    return runProcess({self.string(), "--floor", c.modelPath.string(),
                       (c.dataset.root / "selection.bin").string(), out.string()},
                      c.dataset.root / "rss.txt");
}

void countOutput(Case& c)
{
    const std::vector<fs::path> files = listFaceFiles(c.dataset.root / "data");
    c.files = files.size();
    c.bytes = totalBytes(files);
    c.sameAsFloor = sameFaceFiles(c.dataset.root / "data", c.dataset.root / "floor");
}

// One run each of the tool and the floor per dataset. For `floorOnly` (the dataset the allocator
// comparison runs on), the tool's figures come from that comparison's glibc runs instead.
void measureProcesses(const fs::path& self, const Settings& settings, std::vector<Case>& cases,
                      std::size_t first, const std::string& floorOnly)
{
    for (std::size_t i = first; i < cases.size(); ++i) {
        Case& c = cases[i];
        if (c.dataset.name == floorOnly) {
            c.floor = runFloor(self, c);
            std::cout << "  " << std::left << std::setw(9) << c.dataset.name << std::right
                      << " floor " << formatMs(c.floor.wallMs) << " ms (exit "
                      << c.floor.exitStatus << "); tool: see the allocator rounds" << std::endl;
            continue;
        }
        // Alternate which goes first, so that neither always finds the other's leftovers.
        if (i % 2 == 0) {
            c.tool = runTool(settings.tool.string(), c.dataset);
            c.floor = runFloor(self, c);
        } else {
            c.floor = runFloor(self, c);
            c.tool = runTool(settings.tool.string(), c.dataset);
        }
        countOutput(c);
        std::cout << "  " << std::left << std::setw(9) << c.dataset.name << std::right
                  << " tool " << formatMs(c.tool.wallMs) << " ms (exit " << c.tool.exitStatus
                  << "), floor " << formatMs(c.floor.wallMs) << " ms (exit "
                  << c.floor.exitStatus << ")" << std::endl;
    }
}

// ---- allocators ----------------------------------------------------------------------------

struct AllocatorRow {
    std::string model, variant;
    int faces = 0;
    double medianMs = 0, medianRssMiB = 0, glibcMs = 0, glibcRssMiB = 0, pairedRatio = 0;
    bool identical = false;
};

// The allocator comparison runs on the 10-face dataset: the import, where nearly all allocation
// happens, dominates it, and it is spared the disk's writeback noise of tens of thousands of files.
constexpr const char* allocatorDataset = "10";

// Every variant against glibc's malloc: in each round every executable runs once, the order
// rotating from round to round; medians over the rounds.
std::vector<AllocatorRow> compareAllocators(const Settings& settings, Case& c)
{
    std::vector<std::pair<std::string, std::string>> executables = {{"glibc", settings.tool.string()}};
    executables.insert(executables.end(), settings.variants.begin(), settings.variants.end());
    std::map<std::string, std::vector<double>> wall, rss;
    int glibcExit = -1;
    std::map<std::string, bool> identical;
    const fs::path dataDir = c.dataset.root / "data";
    const fs::path reference = c.dataset.root / "glibc-faces";

    for (int round = 0; round < settings.repeats; ++round) {
        for (std::size_t k = 0; k < executables.size(); ++k) {
            const auto& [name, executable] =
                executables[(k + static_cast<std::size_t>(round)) % executables.size()];
            const ProcessFigures figures = runTool(executable, c.dataset);
            wall[name].push_back(figures.wallMs);
            rss[name].push_back(figures.peakRssMiB);
            if (name == "glibc") glibcExit = figures.exitStatus;
            // glibc's first run is the reference; every variant run must match it byte for byte.
            if (name == "glibc") {
                if (round == 0) copyFaceFiles(dataDir, reference);
            } else {
                const bool same = fs::exists(reference) && sameFaceFiles(dataDir, reference);
                identical[name] = identical.count(name) ? identical[name] && same : same;
            }
        }
        std::cout << "  round " << round + 1 << ":";
        for (const auto& [name, executable] : executables) {
            std::cout << ' ' << name << ' ' << formatMs(wall[name].back()) << " ms";
        }
        std::cout << std::endl;
    }

    // The dataset's whole-run row: glibc's medians; the output files are the same for all.
    c.tool.wallMs = median(wall["glibc"]);
    c.tool.peakRssMiB = median(rss["glibc"]);
    c.tool.exitStatus = glibcExit;
    countOutput(c);

    std::vector<AllocatorRow> rows;
    for (std::size_t k = 1; k < executables.size(); ++k) {
        const std::string& name = executables[k].first;
        AllocatorRow row;
        row.model = c.model;
        row.faces = c.faces;
        row.variant = name;
        row.medianMs = median(wall[name]);
        row.medianRssMiB = median(rss[name]);
        row.glibcMs = median(wall["glibc"]);
        row.glibcRssMiB = median(rss["glibc"]);
        std::vector<double> ratios;
        for (std::size_t r = 0; r < wall[name].size(); ++r) ratios.push_back(wall[name][r] / wall["glibc"][r]);
        row.pairedRatio = median(ratios);
        row.identical = identical[name];
        rows.push_back(row);
    }
    fs::remove_all(reference);
    return rows;
}

// ---- output --------------------------------------------------------------------------------

void printTables(const std::vector<Case>& cases, std::ostream& out)
{
    out << "\n### In one process (ms)\n\n"
           "| model | faces | selected | walk | read | check | transfer | export | of which writes "
           "| tool total | floor | tool/floor | not read/transfer | peak RSS MiB (tool / floor) |\n"
           "|---|--:|--:|--:|--:|--:|--:|--:|--:|--:|--:|--:|--:|--:|\n";
    for (const Case& c : cases) {
        const double ours = c.walk + c.check + c.export_;
        out << "| " << c.model << " | " << c.faces << " | " << c.dataset.selected << " ("
            << c.dataset.name << ") | " << formatMs(c.walk) << " | " << formatMs(c.read) << " | "
            << formatMs(c.check) << " | " << formatMs(c.transfer) << " | " << formatMs(c.export_)
            << " | " << formatMs(c.writes) << " | " << formatMs(c.toolTotal()) << " | "
            << formatMs(c.floorTotal()) << " | " << formatFixed(c.toolTotal() / c.floorTotal(), 3)
            << " | " << formatFixed(100 * ours / c.toolTotal(), 1) << "% | "
            << formatFixed(c.tool.peakRssMiB, 0) << " / " << formatFixed(c.floor.peakRssMiB, 0)
            << " |\n";
    }
    out << "\n### Whole processes (wall ms, peak RSS MiB)\n\n"
           "| model | faces | selected | tool wall | floor wall | tool/floor | tool RSS | floor RSS "
           "| RSS ratio | face files | bytes | same bytes as floor | tool exit |\n"
           "|---|--:|--:|--:|--:|--:|--:|--:|--:|--:|--:|---|--:|\n";
    for (const Case& c : cases) {
        out << "| " << c.model << " | " << c.faces << " | " << c.dataset.selected << " ("
            << c.dataset.name << ") | " << formatMs(c.tool.wallMs) << " | "
            << formatMs(c.floor.wallMs) << " | " << formatFixed(c.tool.wallMs / c.floor.wallMs, 3)
            << " | " << formatFixed(c.tool.peakRssMiB, 1) << " | "
            << formatFixed(c.floor.peakRssMiB, 1) << " | "
            << formatFixed(c.tool.peakRssMiB / c.floor.peakRssMiB, 3) << " | " << c.files
            << " | " << c.bytes << " | " << (c.sameAsFloor ? "yes" : "NO") << " | "
            << c.tool.exitStatus << " |\n";
    }
}

void printAllocatorTable(const std::vector<AllocatorRow>& rows, int repeats, std::ostream& out)
{
    out << "\n### Allocators (whole runs of the tool on the 10-face dataset, median of "
        << repeats << ")\n\n"
           "| model | faces | variant | wall ms | glibc wall ms | ratio of medians | median paired "
           "ratio | peak RSS MiB | glibc RSS MiB | RSS ratio | identical bytes |\n"
           "|---|--:|---|--:|--:|--:|--:|--:|--:|--:|---|\n";
    for (const AllocatorRow& r : rows) {
        out << "| " << r.model << " | " << r.faces << " | " << r.variant << " | "
            << formatMs(r.medianMs) << " | " << formatMs(r.glibcMs) << " | "
            << formatFixed(r.medianMs / r.glibcMs, 3) << " | " << formatFixed(r.pairedRatio, 3)
            << " | " << formatFixed(r.medianRssMiB, 1) << " | " << formatFixed(r.glibcRssMiB, 1)
            << " | " << formatFixed(r.medianRssMiB / r.glibcRssMiB, 3) << " | "
            << (r.identical ? "yes" : "NO") << " |\n";
    }
    // Adoption needs: at least 5% faster at every size, at most 10% more memory, same bytes.
    std::map<std::string, bool> meets;
    for (const AllocatorRow& r : rows) meets.emplace(r.variant, true);
    for (const AllocatorRow& r : rows) {
        const bool ok = r.pairedRatio <= 0.95 && r.medianMs / r.glibcMs <= 0.95 &&
                        r.medianRssMiB / r.glibcRssMiB <= 1.10 && r.identical;
        meets[r.variant] = meets[r.variant] && ok;
    }
    out << "\nAdoption test (>= 5% faster at every size, <= 10% more peak memory, identical bytes):";
    for (const auto& [variant, ok] : meets) out << ' ' << variant << (ok ? " passes;" : " fails;");
    out << '\n';
}

void writeCsv(const std::vector<Case>& cases, const std::vector<AllocatorRow>& allocators,
              const fs::path& work)
{
    std::ofstream csv(work / "results.csv");
    csv << "model,faces,dataset,selected,force_entries,restraint_entries,walk_ms,read_ms,check_ms,"
           "transfer_ms,export_ms,writes_ms,enumeration_ms,tool_total_ms,floor_read_ms,"
           "floor_transfer_ms,floor_export_ms,floor_total_ms,ratio,tool_wall_ms,floor_wall_ms,"
           "wall_ratio,tool_rss_mib,floor_rss_mib,face_files,face_bytes,same_as_floor,"
           "tool_exit\n";
    for (const Case& c : cases) {
        csv << c.model << ',' << c.faces << ',' << c.dataset.name << ',' << c.dataset.selected
            << ',' << c.dataset.forceEntries << ',' << c.dataset.restraintEntries << ',' << c.walk
            << ',' << c.read << ',' << c.check << ',' << c.transfer << ',' << c.export_ << ','
            << c.writes << ',' << c.enumeration << ',' << c.toolTotal() << ',' << c.floorRead
            << ',' << c.floorTransfer << ',' << c.floorExport << ',' << c.floorTotal() << ','
            << c.toolTotal() / c.floorTotal() << ',' << c.tool.wallMs << ',' << c.floor.wallMs
            << ',' << c.tool.wallMs / c.floor.wallMs << ',' << c.tool.peakRssMiB << ','
            << c.floor.peakRssMiB << ',' << c.files << ',' << c.bytes << ','
            << (c.sameAsFloor ? 1 : 0) << ',' << c.tool.exitStatus << '\n';
    }
    std::ofstream allocatorCsv(work / "allocators.csv");
    allocatorCsv << "model,faces,variant,wall_ms,glibc_wall_ms,paired_ratio,rss_mib,glibc_rss_mib,"
                    "identical\n";
    for (const AllocatorRow& r : allocators) {
        allocatorCsv << r.model << ',' << r.faces << ',' << r.variant << ',' << r.medianMs << ','
                     << r.glibcMs << ',' << r.pairedRatio << ',' << r.medianRssMiB << ','
                     << r.glibcRssMiB << ',' << (r.identical ? 1 : 0) << '\n';
    }
}

// Time against face count for the generated plates, log-log, one line per dataset kind.
void plot(const std::vector<Case>& cases, const fs::path& work)
{
    std::ofstream data(work / "plot.dat");
    for (const char* kind : {"10", "all", "10k-list"}) {
        data << "# " << kind << "\n";
        for (const Case& c : cases) {
            if (c.dataset.name != kind || c.model.rfind("plate", 0) != 0) continue;
            data << c.faces << ' ' << c.toolTotal() << ' ' << c.floorTotal() << ' ' << c.export_
                 << ' ' << c.tool.wallMs << '\n';
        }
        data << "\n\n";
    }
    data.close();
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
              "plot f index 0 using 1:2 with linespoints title 'tool, 10 faces listed', \\\n"
              "     f index 0 using 1:3 with linespoints title 'floor, 10 faces', \\\n"
              "     f index 1 using 1:2 with linespoints title 'tool, every face listed', \\\n"
              "     f index 1 using 1:3 with linespoints title 'floor, every face', \\\n"
              "     f index 1 using 1:5 with linespoints dt 2 title 'tool whole run, every face', \\\n"
              "     f index 1 using 1:4 with linespoints title 'export phase, every face', \\\n"
              "     f index 2 using 1:4 with linespoints title 'export phase, 10,000-entry list'\n";
    script.close();
    const std::string command = "gnuplot '" + (work / "plot.gp").string() + "'";
    if (std::system(command.c_str()) != 0) std::cerr << "tarnfold_bench: gnuplot failed\n";
}

// ---- main ----------------------------------------------------------------------------------

std::vector<int> parseSizes(const std::string& text)
{
    std::vector<int> sizes;
    std::istringstream in(text);
    std::string item;
    while (std::getline(in, item, ',')) {
        if (!item.empty()) sizes.push_back(std::stoi(item));
    }
    return sizes;
}

bool parseArguments(int argc, char** argv, Settings& settings)
{
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string option = argv[i], value = argv[i + 1];
        if (option == "--work") settings.work = value;
        else if (option == "--make-models") settings.makeModels = value;
        else if (option == "--tool") settings.tool = value;
        else if (option == "--corpus") settings.corpus = value;
        else if (option == "--sizes") settings.sizes = parseSizes(value);
        else if (option == "--repeats") settings.repeats = std::max(1, std::stoi(value));
        else if (option == "--variant" && value.find('=') != std::string::npos) {
            settings.variants.emplace_back(value.substr(0, value.find('=')),
                                           value.substr(value.find('=') + 1));
        } else {
            return false;
        }
    }
    return argc % 2 == 1 && !settings.work.empty() && !settings.makeModels.empty() &&
           !settings.tool.empty();
}

// Generated once: a later run finds the model and keeps it.
bool ensurePlate(const Settings& settings, int faces, fs::path& model)
{
    fs::create_directories(settings.work / "models");
    model = settings.work / "models" / ("plate" + std::to_string(faces) + ".step");
    if (fs::exists(model)) return true;
    std::cout << "generating " << model.string() << " ..." << std::flush;
    const ProcessFigures figures =
        runProcess({settings.makeModels.string(), "plate", std::to_string(faces), model.string()},
                   settings.work / "models" / "rss.txt");
    std::cout << " " << formatMs(figures.wallMs) << " ms" << std::endl;
    return figures.exitStatus == 0 && fs::exists(model);
}

// A small model read once before timing: the first reader pays for the library's one-off set-up
// (protocols, static parameters), which neither the tool nor the floor should carry alone.
void warmUpLibrary(const fs::path& model)
{
    const int saved = silenceStdout();
    STEPControl_Reader reader;
    if (reader.ReadFile(model.string().c_str()) == IFSelect_RetDone) reader.TransferRoots();
    restoreStdout(saved);
}

} // namespace

int main(int argc, char** argv)
{
    if (argc == 5 && std::strcmp(argv[1], "--floor") == 0) {
        return runFloorProcess(argv[2], argv[3], argv[4]);
    }
    Settings settings;
    if (!parseArguments(argc, argv, settings)) {
        std::cerr << "usage: tarnfold_bench --work <dir> --make-models <exe> --tool <exe> "
                     "[--variant name=<exe>]... [--sizes n,n,...] [--repeats n] [--corpus <step>]\n"
                     "       tarnfold_bench --floor <model.step> <selection.bin> <out-dir>\n";
        return 2;
    }
    settings.work = fs::absolute(settings.work);
    const fs::path self = fs::canonical("/proc/self/exe");
    // As the tool does before its import, so that both run under the same handlers.
    OSD::SetSignal(Standard_False);
    const Clock::time_point benchStart = Clock::now();

    std::vector<std::pair<std::string, fs::path>> models;
    for (const int size : settings.sizes) {
        fs::path model;
        if (!ensurePlate(settings, size, model)) {
            std::cerr << "tarnfold_bench: cannot generate the " << size << "-face model\n";
            return 1;
        }
        models.emplace_back("plate" + std::to_string(size), model);
    }
    if (!settings.corpus.empty() && fs::exists(settings.corpus)) {
        models.emplace_back(settings.corpus.stem().string(), settings.corpus);
    } else if (!settings.corpus.empty()) {
        std::cout << "no " << settings.corpus.string() << ": skipped" << std::endl;
    }
    if (models.empty()) return 1;
    warmUpLibrary(models.front().second);

    std::vector<Case> cases;
    std::vector<AllocatorRow> allocators;
    for (const auto& [label, model] : models) {
        std::cout << label << " (" << model.string() << ")" << std::endl;
        warmPageCache(model);
        const std::size_t first = cases.size();
        int faceCount = 0;
        measureToolInProcess(model, cases, settings.work, label, faceCount);
        measureFloorInProcess(model, cases, first);
        const bool compare = label.rfind("plate", 0) == 0 && !settings.variants.empty();
        measureProcesses(self, settings, cases, first, compare ? allocatorDataset : "");
        if (compare) {
            for (std::size_t i = first; i < cases.size(); ++i) {
                if (cases[i].dataset.name != allocatorDataset) continue;
                const std::vector<AllocatorRow> rows = compareAllocators(settings, cases[i]);
                allocators.insert(allocators.end(), rows.begin(), rows.end());
            }
        }
    }

    std::cout << "\nMachine: " << ::sysconf(_SC_NPROCESSORS_ONLN) << " CPUs online. Times from "
                 "std::chrono::steady_clock.\n"
                 "In one process: walk = walkDataset; read = ReadFile; check = SetTraceLevel(2) + "
                 "PrintCheckLoad; transfer = the TransferRoot(i) loop and the last shape (the calls "
                 "importStepModel makes, made here one by one, read once per model); export = "
                 "exportFaceFiles whole (walk, list scans, writes); of which writes = the same "
                 "faces through writeFaceFile alone. Floor = ReadFile + TransferRoots + one "
                 "explorer walk + BRepTools::Write of the same faces. Library output to /dev/null "
                 "for both.\n"
                 "Whole processes: the real binaries, stdout and stderr to /dev/null, wall time "
                 "around posix_spawn..waitpid, peak RSS = the command's ru_maxrss as GNU time "
                 "reports it (%M); floor = tarnfold_bench --floor.\n";
    printTables(cases, std::cout);
    if (!allocators.empty()) printAllocatorTable(allocators, settings.repeats, std::cout);
    writeCsv(cases, allocators, settings.work);
    plot(cases, settings.work);
    std::cout << "\nCSV: " << (settings.work / "results.csv").string() << ", "
              << (settings.work / "allocators.csv").string() << "\nplot: "
              << (settings.work / "times.png").string() << "\nbench took "
              << formatFixed(msSince(benchStart) / 60000, 1) << " min" << std::endl;
    return 0;
}
