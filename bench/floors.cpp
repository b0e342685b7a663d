// The floors: the library doing the tool's job and nothing else. "bare" reads, transfers, walks
// the faces once and writes the selected ones with BRepTools::Write. "prescribed" is bare plus
// the library work the tool is asked to do: trace level 2 on the transfer process and the
// printed load check. Measuring against both shows our own cost apart from the printed output.
#include "bench.hpp"

#include <fstream>

#include <BRepTools.hxx>
#include <IFSelect_PrintCount.hxx>
#include <STEPControl_Reader.hxx>
#include <TopExp_Explorer.hxx>
#include <Transfer_TransientProcess.hxx>
#include <XSControl_WorkSession.hxx>

TopoDS_Shape importBare(STEPControl_Reader& reader, const std::string& model, ImportTimes& times)
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
        // Over an earlier run's file this truncates it in place: the library's way of re-running.
        if (BRepTools::Write(explorer.Current(), name.c_str())) ++written;
    }
    return written;
}

namespace {

// The tool's import steps, in its order, with its settings; the transfer as bare does it.
TopoDS_Shape importPrescribed(STEPControl_Reader& reader, const std::string& model)
{
    const bool read = reader.ReadFile(model.c_str()) == IFSelect_RetDone;
    const Handle(Transfer_TransientProcess) process = reader.WS()->MapReader();
    if (!process.IsNull()) process->SetTraceLevel(2);
    reader.PrintCheckLoad(Standard_False, IFSelect_ItemsByEntity);
    if (!read) return {};
    reader.TransferRoots();
    return reader.NbShapes() > 0 ? reader.Shape(reader.NbShapes()) : TopoDS_Shape();
}

} // namespace

int runFloorProcess(const std::string& floor, const std::string& model,
                    const fs::path& selectionFile, const fs::path& out)
{
    if (floor != "bare" && floor != "prescribed") return 2;
    const std::vector<std::int32_t> selection = readSelection(selectionFile);
    STEPControl_Reader reader;
    ImportTimes times;
    const TopoDS_Shape shape =
        floor == "bare" ? importBare(reader, model, times) : importPrescribed(reader, model);
    if (shape.IsNull()) return 1;
    const int written = writeSelectedBare(shape, selection, (out / "face").string());
    return written == static_cast<int>(selection.size()) ? 0 : 1;
}

// What a batch cannot do better than: one read, then the writes, every dataset's own.
int runBatchFloorProcess(const std::string& floor, const fs::path& model, const fs::path& list)
{
    if (floor != "bare" && floor != "prescribed") return 2;
    STEPControl_Reader reader;
    ImportTimes times;
    const TopoDS_Shape shape = floor == "bare" ? importBare(reader, model.string(), times)
                                               : importPrescribed(reader, model.string());
    if (shape.IsNull()) return 1;
    std::ifstream roots(list);
    bool whole = true;
    for (std::string root; std::getline(roots, root);) {
        const std::vector<std::int32_t> selection = readSelection(fs::path(root) / "selection.bin");
        const int written =
            writeSelectedBare(shape, selection, (fs::path(root) / "data" / "face").string());
        whole = whole && written == static_cast<int>(selection.size());
    }
    return whole ? 0 : 1;
}

int countFaces(const TopoDS_Shape& shape)
{
    int count = 0;
    for (TopExp_Explorer explorer(shape, TopAbs_FACE); explorer.More(); explorer.Next()) ++count;
    return count;
}
