#include "step_import.hpp"

#include "reader_settings.hpp"
#include "scanned_file.hpp"

#include "../console/error_printer.hpp"
#include "../paths/narrow_form.hpp"
#include "../run_state/run_state.hpp"
#include "../run/stop_signals.hpp"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <system_error>

#include <IFSelect_PrintCount.hxx>
#include <Interface_CheckIterator.hxx>
#include <Interface_CheckTool.hxx>
#include <Interface_HGraph.hxx>
#include <Message.hxx>
#include <Message_Messenger.hxx>
#include <Message_ProgressIndicator.hxx>
#include <Message_ProgressScope.hxx>
#include <TopExp_Explorer.hxx>
#include <Transfer_TransientProcess.hxx>
#include <XSControl_WorkSession.hxx>

namespace {

// Hands the library's own progress through the transfer to the run state, for the progress
// line, and answers a stop that the supervisor asks for: the library then ends the transfer at
// its next step, and the worker ends on its own (see runAnsweringStops).
class TransferProgress : public Message_ProgressIndicator {
public:
    explicit TransferProgress(RunState& state) : state_(state) {}

    Standard_Boolean UserBreak() override { return state_.stopRequest.load() != 0; }

protected:
    void Show(const Message_ProgressScope&, const Standard_Boolean) override
    {
        state_.transferPermille.store(static_cast<int>(GetPosition() * 1000));
    }

private:
    RunState& state_;
};

// Prints what XSControl_Reader::PrintCheckLoad(false, IFSelect_ItemsByEntity) prints, the same
// check list in the same words. The library's own call builds a second graph of the whole model
// to check it against, which alone raised the run's peak memory by some 14%; this check shares
// the work session's graph, which describes the same model.
void printLoadCheck(STEPControl_Reader& reader)
{
    const Handle(XSControl_WorkSession)& session = reader.WS();
    Interface_CheckIterator checks;
    if (session->IsLoaded()) {
        Interface_CheckTool tool(session->HGraph());
        checks = tool.CompleteCheckList();
        checks.SetName("Model Complete Check List");
    } else {
        checks.CCheck(0)->AddFail("DATA NOT AVAILABLE FOR CHECK");
    }
    Message_Messenger::StreamBuffer console = Message::SendInfo();
    session->PrintCheckList(console, checks, Standard_False, IFSelect_ItemsByEntity);
}

// What was printed so far reaches the log before the library takes over: if it crashes, its
// messages up to the crash are what a user reads to find the bad entity.
void flushConsole()
{
    std::cout.flush();
    std::fflush(stdout);
}

// Reads the file through `file`, which checks its numbers on the way.
IFSelect_ReturnStatus readModel(STEPControl_Reader& reader, const std::string& modelPath,
                                ScannedFile& file)
{
    if (!file.open(modelPath)) return IFSelect_RetError;
    std::istream stream(&file);
    return reader.ReadStream(modelPath.c_str(), stream);
}

// Whether a model path is taken from the working directory: on Windows, D:\m.step and \\host\m
// are not.
bool isRelative(const std::string& path)
{
    try {
        return nativePath(path).is_relative();
    } catch (const std::system_error&) {
        return true; // no text in the narrow encoding: the open failed on the bytes themselves
    }
}

// Why a model that was read gives nothing to number, or "".
std::string describeMissingFaces(const STEPControl_Reader& reader, const TopoDS_Shape& shape)
{
    if (reader.NbShapes() == 0) return "its transfer gives no shape";
    if (!TopExp_Explorer(shape, TopAbs_FACE).More()) {
        return "the last shape of its transfer has no face";
    }
    return "";
}

} // namespace

std::string describeOpenFailure(const std::string& path, int error)
{
    std::string reason = systemReason(error);
    // A relative path is taken from the working directory of the run, which may not be where
    // the user thinks; say which it was.
    if ((error == ENOENT || error == ENOTDIR) && !path.empty() && isRelative(path)) {
        std::error_code unknown;
        const std::filesystem::path directory = std::filesystem::current_path(unknown);
        if (!unknown) {
            reason += " (taken relative to the working directory '" + shownForm(directory) + "')";
        }
    }
    return reason;
}

std::string describeUnreadableModel(const std::string& modelPath, const std::string& reason)
{
    return "cannot read STEP model '" + modelPath + "': " + reason;
}

TopoDS_Shape importStepModel(STEPControl_Reader& reader, const std::string& modelPath,
                             std::string& error, RunState* state, std::string* reason,
                             ModelFileRead* read)
{
    if (state) recordText(state->modelPath, modelPath);
    enterPhase(state, RunPhase::reading);
    flushConsole();
    pinReaderSettings();
    ScannedFile file;
    const IFSelect_ReturnStatus status = readModel(reader, modelPath, file);
    // Every byte, for the digest, whatever the reader left after the data.
    if (status == IFSelect_RetDone) file.readToEnd();
    if (read) *read = {file.opened, file.size, file.sha256};

    // Trace level 2 makes the transfer report its warnings as well as its failures.
    const Handle(Transfer_TransientProcess) process = reader.WS()->MapReader();
    if (!process.IsNull()) process->SetTraceLevel(2);
    printLoadCheck(reader);

    TopoDS_Shape modelShape;
    const auto fail = [&](const std::string& why) {
        error = describeUnreadableModel(modelPath, why);
        if (reason) *reason = why;
        return TopoDS_Shape();
    };
    // After a failed read the reader holds no usable model, and asking it for its roots crashes
    // inside the library; there is nothing to transfer anyway.
    if (file.noWriter) return fail("it is a named pipe that no program writes to");
    if (file.error != 0) return fail(describeOpenFailure(modelPath, file.error));
    if (status == IFSelect_RetVoid) return fail("it holds no STEP data");
    if (status != IFSelect_RetDone) return fail("not a valid STEP file");
    // A value no double holds, or one the library takes for infinite, sends its healing round
    // for ever: refused before it.
    if (file.scan.found) {
        return fail(describeNonFiniteReal(file.scan.first) + "; nothing was transferred");
    }

    enterPhase(state, RunPhase::transferring);
    flushConsole();
    // Supervised, the library's progress is followed: for the progress line, and so that a stop
    // ends the transfer at its next step.
    Handle(Message_ProgressIndicator) progress;
    if (state) progress = new TransferProgress(*state);
    runAnsweringStops(state, [&] {
        Message_ProgressScope scope(progress.IsNull() ? Message_ProgressRange() : progress->Start(),
                                    "transfer", std::max(reader.NbRootsForTransfer(), 1));
        // The count is asked again after every transfer, as a transfer may change it.
        for (Standard_Integer i = 1; i <= reader.NbRootsForTransfer() && scope.More(); ++i) {
            reader.TransferRoot(i, scope.Next());
        }
    });
    // The model is the last shape the transfer gave, not a compound of all of them.
    for (Standard_Integer i = 1; i <= reader.NbShapes(); ++i) modelShape = reader.Shape(i);
    if (const std::string missing = describeMissingFaces(reader, modelShape); !missing.empty()) {
        return fail(missing);
    }
    return modelShape;
}

int countTransferredShapes(const STEPControl_Reader& reader)
{
    return reader.NbShapes();
}

std::string describeShapeChoice(int shapeCount)
{
    if (shapeCount <= 1) return "";
    return "faces of the last of " + std::to_string(shapeCount) + " transferred shapes";
}
