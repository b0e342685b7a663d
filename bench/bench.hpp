#pragma once

#include <array>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include <TopoDS_Shape.hxx>

class STEPControl_Reader;

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

// ---- processes and their figures (processes.cpp) -------------------------------------------

/// What one run of a process cost; NaN where it could not be measured.
struct ProcessFigures {
    double wallMs = NAN;     ///< posix_spawn to waitpid
    double cpuMs = NAN;      ///< user + system time of the command
    double systemMs = NAN;   ///< system time of the command alone
    double peakRssMiB = NAN; ///< the command's ru_maxrss, as GNU time reports it
    int exitStatus = -1;     ///< exit status, or 128 + signal
};

/// Milliseconds since `start`.
double msSince(Clock::time_point start);

/// The median of `values`, NaN when there are none.
double median(std::vector<double> values);

/// One field of every run, in run order.
std::vector<double> fieldOf(const std::vector<ProcessFigures>& runs, double ProcessFigures::*field);

/// runs[i].field / baseline[i].field for every round i that both have.
std::vector<double> pairedRatios(const std::vector<ProcessFigures>& runs,
                                 const std::vector<ProcessFigures>& baseline,
                                 double ProcessFigures::*field);

/// `ms` with fewer decimals the larger it is; "-" for NaN.
std::string formatMs(double ms);

/// `value` with `digits` decimals; "-" for NaN.
std::string formatFixed(double value, int digits);

/// "median (min-max)" of `values` with `digits` decimals, just the value when there is one.
std::string formatSpread(const std::vector<double>& values, int digits);

/// Runs `command` with stdout on /dev/null, and stderr too unless `errorFile` names a file for
/// it; `scratch` is a file it may use.
ProcessFigures runProcess(const std::vector<std::string>& command, const fs::path& scratch,
                          const fs::path& errorFile = {});

/// The allocator libraries (mimalloc, jemalloc, tcmalloc) the dynamic linker loads for
/// `executable`, as ldd would list them.
std::vector<std::string> loadedAllocators(const std::string& executable);

/// Points fd 1 at /dev/null; returns the saved descriptor for restoreStdout.
int silenceStdout();

/// Puts back the stdout that silenceStdout saved.
void restoreStdout(int saved);

// ---- the face files runs leave (face_files.cpp) -------------------------------------------

/// The face<N>.brep files of `directory`, sorted by name.
std::vector<fs::path> listFaceFiles(const fs::path& directory);

/// Leaves `directory` as a new directory with its other entries and no face files.
void removeFaceFiles(const fs::path& directory);

/// The sizes of `files` added up.
std::uintmax_t totalBytes(const std::vector<fs::path>& files);

/// True when both directories hold face files of the same names and the same bytes.
bool sameFaceFiles(const fs::path& directoryA, const fs::path& directoryB);

/// Makes `to` a copy of the face files of `from`, and nothing else.
void copyFaceFiles(const fs::path& from, const fs::path& to);

/// Reads `file` once so that timed reads find it in the page cache.
void warmPageCache(const fs::path& file);

// ---- datasets (datasets.cpp) ---------------------------------------------------------------

/// One dataset root made for a model.
struct Dataset {
    std::string name;    ///< "10", "10%", "all" or "10k-list"
    fs::path root;
    int selected = 0;    ///< distinct faces the lists select
    std::size_t forceEntries = 0, restraintEntries = 0;
};

/// The dataset kinds, in the order they are measured.
const std::vector<std::string>& datasetKinds();

/// Builds the datasets of the kinds in `kinds` for `model` under `directory`, each with a
/// selection.bin of the selected face numbers for the floors.
std::vector<Dataset> makeDatasets(const fs::path& directory, const std::string& label,
                                  const fs::path& model, int faceCount,
                                  const std::vector<std::string>& kinds);

/// Sets `model` to the plate of about `faces` faces in work/models, generating it when missing.
bool ensurePlate(const fs::path& work, const fs::path& makeModels, int faces, fs::path& model);

/// Makes `count` dataset roots d000, d001, ... under `directory`, each naming `model` by its
/// absolute path and listing `listed` faces of its own, half as forces and half as restraints,
/// with a selection.bin of them for the floor.
std::vector<fs::path> makeBatchDatasets(const fs::path& directory, const fs::path& model,
                                        int faceCount, int count, int listed);

/// The face numbers that makeDatasets stored in a selection.bin.
std::vector<std::int32_t> readSelection(const fs::path& file);

// ---- the floors (floors.cpp) ---------------------------------------------------------------

/// The library's costs, one field per step; the floors leave `check` at 0.
struct ImportTimes {
    double read = 0, check = 0, transfer = 0;
};

/// ReadFile and TransferRoots with nothing else, timed; a null shape when the read fails.
TopoDS_Shape importBare(STEPControl_Reader& reader, const std::string& model, ImportTimes& times);

/// BRepTools::Write of the faces numbered in `selection` (sorted) to prefix + N + ".brep", in one
/// explorer walk. Returns the number written.
int writeSelectedBare(const TopoDS_Shape& shape, const std::vector<std::int32_t>& selection,
                      const std::string& prefix);

/// The floor as a process of its own: `floor` is "bare" or "prescribed". Returns its exit status.
int runFloorProcess(const std::string& floor, const std::string& model,
                    const fs::path& selectionFile, const fs::path& out);

/// The batch's floor as a process of its own: one read of `model` as `floor` ("bare" or
/// "prescribed") reads it, then the bare writes of the selection of every dataset root listed in
/// `list`. Returns its exit status.
int runBatchFloorProcess(const std::string& floor, const fs::path& model, const fs::path& list);

/// The number of faces a TopExp_Explorer visits in `shape`.
int countFaces(const TopoDS_Shape& shape);

// ---- what is measured ----------------------------------------------------------------------

/// Index of the kind of whole run: into a new directory, or over the previous run's face files.
enum RunKind { firstRun, reRun, runKinds };

/// Index of what runs as a whole process: the tool, and the two floors.
enum Runner { toolRunner, bareRunner, prescribedRunner, runners };

/// One model with one dataset, and everything measured on it.
struct Case {
    std::string model; ///< label
    fs::path modelPath;
    int faces = 0;
    Dataset dataset;
    // In one process, ms; NaN when the phases were not measured.
    double walk = NAN, read = NAN, check = NAN, transfer = NAN, export_ = NAN, writes = NAN,
           enumeration = NAN;
    double floorRead = NAN, floorTransfer = NAN, floorExport = NAN;
    /// Whole processes, runs[kind][runner], one entry per round.
    std::array<std::array<std::vector<ProcessFigures>, runners>, runKinds> runs;
    std::array<bool, runKinds> sameAsFloors{}; ///< every round's tool output matched both floors'
    std::size_t files = 0;                     ///< face files of the tool's last run
    std::uintmax_t bytes = 0;

    double toolTotal() const { return walk + read + check + transfer + export_; }
    double floorTotal() const { return floorRead + floorTransfer + floorExport; }
};

/// One allocator variant of the tool against the glibc variant, on one case.
struct AllocatorRow {
    std::string model, dataset, variant;
    int faces = 0;
    std::vector<ProcessFigures> runs, glibcRuns; ///< one entry per round
    bool identical = false;                      ///< every run's face files matched glibc's
};

/// How the bench was asked to run.
struct Settings {
    fs::path work, makeModels, tool, corpus;
    std::vector<int> sizes;
    std::vector<std::string> datasets;
    std::set<std::string> measure; ///< of "phases", "runs", "allocators"
    int pairs = 3;
    std::string allocatorDataset = "10";
    std::vector<std::pair<std::string, std::string>> variants; ///< name, executable
};

// ---- the in-process phases (phases.cpp) ----------------------------------------------------

/// Reads a small model once, so that no timed reader pays the library's one-off set-up.
void warmUpLibrary(const fs::path& model);

/// Times the tool's calls on `model` and on each dataset made for it, appending one case per
/// dataset, then the bare floor's on the same cases.
void measurePhases(const fs::path& model, const std::string& label, const Settings& settings,
                   std::vector<Case>& cases);

/// Appends one case per dataset without timing anything in process (one bare read to count
/// the faces).
void makeCases(const fs::path& model, const std::string& label, const Settings& settings,
               std::vector<Case>& cases);

// ---- whole runs (whole_runs.cpp) -----------------------------------------------------------

/// Runs the tool and both floors as processes, alternating, first runs and re-runs, `pairs`
/// rounds, on cases[first..].
void measureWholeRuns(const fs::path& self, const Settings& settings, std::vector<Case>& cases,
                      std::size_t first);

/// Prints which allocator each executable loads; false when the glibc variant loads another.
bool showAllocators(const Settings& settings);

/// Runs every variant (glibc's first) on `c`'s dataset, alternating, `pairs` rounds; one row per
/// variant other than glibc.
std::vector<AllocatorRow> compareAllocators(const Settings& settings, const Case& c);

// ---- many datasets in one command (many_follow.cpp) -----------------------------------------

/// Prints what `tarnfold-faces D1 ... D20 --follow` and `--since` cost against one dataset
/// alone: 20 datasets under `directory`, each listing 10 faces of their own of `original`
/// (`faceCount` faces), run by `tool` on it before `drilled` is written over `model`, the file
/// they all name. In `rounds` alternating rounds; `original` is put back at the end.
void measureManyDatasets(const fs::path& directory, const fs::path& original,
                         const fs::path& drilled, const fs::path& model, int faceCount,
                         const fs::path& tool, const fs::path& facesTool, int rounds);

// ---- the report (report.cpp) ---------------------------------------------------------------

/// Says how every figure was taken.
void printMethod(const Settings& settings, std::ostream& out);

/// The in-process table, the whole-run tables and, when there are rows, the allocator table.
void printTables(const std::vector<Case>& cases, const std::vector<AllocatorRow>& allocators,
                 std::ostream& out);

/// Writes results.csv, runs.csv and allocators.csv into `work`.
void writeCsv(const std::vector<Case>& cases, const std::vector<AllocatorRow>& allocators,
              const fs::path& work);

/// Plots time against faces for the generated plates to work/times.png with gnuplot.
void plot(const std::vector<Case>& cases, const fs::path& work);
