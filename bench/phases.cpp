// The in-process phases: the tool's own code and the library calls it makes, timed one by one
// in this process, next to the bare floor's steps on the same model and datasets.
#include "bench.hpp"

#include "intake/dataset_inputs.hpp"
#include "model/face_export.hpp"

#include <fstream>
#include <iostream>
#include <locale>

#include <IFSelect_PrintCount.hxx>
#include <STEPControl_Reader.hxx>
#include <TopExp_Explorer.hxx>
#include <TopoDS.hxx>
#include <TopoDS_Face.hxx>
#include <Transfer_TransientProcess.hxx>
#include <XSControl_WorkSession.hxx>

namespace {

// The public calls importStepModel makes, in its order, with a clock around each group.
TopoDS_Shape importLikeTool(STEPControl_Reader& reader, const std::string& model,
                            ImportTimes& times)
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

Case newCase(const std::string& label, const fs::path& model, int faceCount, const Dataset& dataset)
{
    Case c;
    c.model = label;
    c.modelPath = model;
    c.faces = faceCount;
    c.dataset = dataset;
    return c;
}

// The tool's phases on one dataset: the walk, exportFaceFiles whole, and the same faces through
// writeFaceFile alone (gathered beforehand), each into a new directory.
void measureToolPhases(const TopoDS_Shape& shape, Case& c)
{
    const fs::path dataDir = c.dataset.root / "data";
    const int saved = silenceStdout();
    std::ifstream stream;
    stream.imbue(std::locale::classic());
    DatasetInputs inputs;
    Clock::time_point start = Clock::now();
    walkDataset(c.dataset.root, stream, inputs);
    c.walk = msSince(start);

    removeFaceFiles(dataDir);
    start = Clock::now();
    exportFaceFiles(shape, inputs, c.dataset.root);
    c.export_ = msSince(start);

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
    if (walked != c.faces) std::cerr << "tarnfold_bench: face count changed\n";
}

void measureFloorPhases(const fs::path& model, std::vector<Case>& cases, std::size_t first)
{
    STEPControl_Reader reader;
    ImportTimes times;
    int saved = silenceStdout();
    const TopoDS_Shape shape = importBare(reader, model.string(), times);
    restoreStdout(saved);
    std::cout << "  import (floor): read " << formatMs(times.read) << " ms, transfer "
              << formatMs(times.transfer) << " ms" << std::endl;
    for (std::size_t i = first; i < cases.size(); ++i) {
        Case& c = cases[i];
        const fs::path out = c.dataset.root / "floor-bare";
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

} // namespace

void warmUpLibrary(const fs::path& model)
{
    const int saved = silenceStdout();
    STEPControl_Reader reader;
    if (reader.ReadFile(model.string().c_str()) == IFSelect_RetDone) reader.TransferRoots();
    restoreStdout(saved);
}

namespace {

// One import with the tool's calls, then the tool's phases on each dataset made for the model.
void measureToolOnModel(const fs::path& model, const std::string& label, const Settings& settings,
                        std::vector<Case>& cases)
{
    STEPControl_Reader reader;
    ImportTimes times;
    const int saved = silenceStdout();
    const TopoDS_Shape shape = importLikeTool(reader, model.string(), times);
    restoreStdout(saved);
    const int faceCount = countFaces(shape);
    std::cout << "  import (tool's calls): read " << formatMs(times.read) << " ms, check "
              << formatMs(times.check) << " ms, transfer " << formatMs(times.transfer)
              << " ms; " << faceCount << " faces" << std::endl;

    for (const Dataset& dataset :
         makeDatasets(settings.work / "datasets", label, model, faceCount, settings.datasets)) {
        Case c = newCase(label, model, faceCount, dataset);
        c.read = times.read;
        c.check = times.check;
        c.transfer = times.transfer;
        measureToolPhases(shape, c);
        cases.push_back(c);
    }
}

} // namespace

void measurePhases(const fs::path& model, const std::string& label, const Settings& settings,
                   std::vector<Case>& cases)
{
    const std::size_t first = cases.size();
    // The tool's reader is gone before the floor's reads: one model in memory at a time.
    measureToolOnModel(model, label, settings, cases);
    measureFloorPhases(model, cases, first);
}

void makeCases(const fs::path& model, const std::string& label, const Settings& settings,
               std::vector<Case>& cases)
{
    STEPControl_Reader reader;
    ImportTimes times;
    const int saved = silenceStdout();
    const int faceCount = countFaces(importBare(reader, model.string(), times));
    restoreStdout(saved);
    std::cout << "  " << faceCount << " faces" << std::endl;
    for (const Dataset& dataset :
         makeDatasets(settings.work / "datasets", label, model, faceCount, settings.datasets)) {
        cases.push_back(newCase(label, model, faceCount, dataset));
    }
}
