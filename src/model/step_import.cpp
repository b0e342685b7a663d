#include "step_import.hpp"

#include "../run/run_state.hpp"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>

#include <IFSelect_PrintCount.hxx>
#include <Transfer_TransientProcess.hxx>
#include <XSControl_WorkSession.hxx>

namespace {

std::string describeUnreadable(const std::string& modelPath, IFSelect_ReturnStatus status)
{
    std::string reason;
    errno = 0;
    std::ifstream probe(modelPath);
    if (!probe.is_open()) {
        reason = errno != 0 ? std::strerror(errno) : "cannot open";
    } else if (status == IFSelect_RetVoid) {
        reason = "it holds no STEP data";
    } else {
        reason = "not a valid STEP file";
    }
    return "cannot read STEP model '" + modelPath + "': " + reason;
}

// What was printed so far reaches the log before the library takes over: if it crashes, its
// messages up to the crash are what a user reads to find the bad entity.
void flushConsole()
{
    std::cout.flush();
    std::fflush(stdout);
}

} // namespace

TopoDS_Shape importStepModel(STEPControl_Reader& reader, const std::string& modelPath,
                             std::string& error, RunState* state)
{
    if (state) recordText(state->modelPath, sizeof state->modelPath, modelPath.c_str());
    enterPhase(state, RunPhase::reading);
    flushConsole();
    const IFSelect_ReturnStatus status = reader.ReadFile(modelPath.c_str());

    // Trace level 2 makes the transfer report its warnings as well as its failures.
    const Handle(Transfer_TransientProcess) process = reader.WS()->MapReader();
    if (!process.IsNull()) process->SetTraceLevel(2);
    reader.PrintCheckLoad(Standard_False, IFSelect_ItemsByEntity);

    TopoDS_Shape modelShape;
    // After a failed read the reader holds no usable model, and asking it for its roots crashes
    // inside the library; there is nothing to transfer anyway.
    if (status != IFSelect_RetDone) {
        error = describeUnreadable(modelPath, status);
        return modelShape;
    }
    enterPhase(state, RunPhase::transferring);
    flushConsole();
    // The count is asked again after every transfer, as a transfer may change it.
    for (Standard_Integer i = 1; i <= reader.NbRootsForTransfer(); ++i) reader.TransferRoot(i);
    // The model is the last shape the transfer gave, not a compound of all of them.
    for (Standard_Integer i = 1; i <= reader.NbShapes(); ++i) modelShape = reader.Shape(i);
    return modelShape;
}
