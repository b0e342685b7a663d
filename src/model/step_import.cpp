#include "step_import.hpp"

#include "../run/run_state.hpp"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>

#include <IFSelect_PrintCount.hxx>
#include <Interface_CheckIterator.hxx>
#include <Interface_CheckTool.hxx>
#include <Interface_HGraph.hxx>
#include <Message.hxx>
#include <Message_Messenger.hxx>
#include <Message_ProgressIndicator.hxx>
#include <Message_ProgressScope.hxx>
#include <Transfer_TransientProcess.hxx>
#include <XSControl_WorkSession.hxx>

namespace {

std::string explainUnreadable(const std::string& modelPath, IFSelect_ReturnStatus status)
{
    errno = 0;
    std::ifstream probe(modelPath);
    if (!probe.is_open()) return errno != 0 ? std::strerror(errno) : "cannot open";
    if (status == IFSelect_RetVoid) return "it holds no STEP data";
    return "not a valid STEP file";
}

// Hands the library's own progress through the transfer to the run state, for the progress line.
class TransferProgress : public Message_ProgressIndicator {
public:
    explicit TransferProgress(RunState& state) : state_(state) {}

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

} // namespace

std::string describeUnreadableModel(const std::string& modelPath, const std::string& reason)
{
    return "cannot read STEP model '" + modelPath + "': " + reason;
}

TopoDS_Shape importStepModel(STEPControl_Reader& reader, const std::string& modelPath,
                             std::string& error, RunState* state, std::string* reason)
{
    if (state) recordText(state->modelPath, modelPath);
    enterPhase(state, RunPhase::reading);
    flushConsole();
    const IFSelect_ReturnStatus status = reader.ReadFile(modelPath.c_str());

    // Trace level 2 makes the transfer report its warnings as well as its failures.
    const Handle(Transfer_TransientProcess) process = reader.WS()->MapReader();
    if (!process.IsNull()) process->SetTraceLevel(2);
    printLoadCheck(reader);

    TopoDS_Shape modelShape;
    // After a failed read the reader holds no usable model, and asking it for its roots crashes
    // inside the library; there is nothing to transfer anyway.
    if (status != IFSelect_RetDone) {
        const std::string why = explainUnreadable(modelPath, status);
        error = describeUnreadableModel(modelPath, why);
        if (reason) *reason = why;
        return modelShape;
    }
    enterPhase(state, RunPhase::transferring);
    flushConsole();
    // Progress is followed only for a line on a terminal; otherwise the transfer runs exactly
    // as it always has.
    Handle(Message_ProgressIndicator) progress;
    if (state && state->showsProgress.load()) progress = new TransferProgress(*state);
    Message_ProgressScope scope(progress.IsNull() ? Message_ProgressRange() : progress->Start(),
                                "transfer", std::max(reader.NbRootsForTransfer(), 1));
    // The count is asked again after every transfer, as a transfer may change it.
    for (Standard_Integer i = 1; i <= reader.NbRootsForTransfer(); ++i) {
        reader.TransferRoot(i, scope.Next());
    }
    // The model is the last shape the transfer gave, not a compound of all of them.
    for (Standard_Integer i = 1; i <= reader.NbShapes(); ++i) modelShape = reader.Shape(i);
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
