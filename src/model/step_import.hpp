#pragma once

#include <string>

#include <STEPControl_Reader.hxx>
#include <TopoDS_Shape.hxx>

struct RunState;

/// Reads the STEP file, prints the reader's load check and transfers every root. Returns the
/// last shape the transfer gave (null when there is none). When the file cannot be read, nothing
/// is transferred, a null shape is returned, `error` says why and `reason`, when given, holds
/// the reason alone; otherwise both are left alone. The model and the phase (reading,
/// transferring) are recorded in `state`.
TopoDS_Shape importStepModel(STEPControl_Reader& reader, const std::string& modelPath,
                             std::string& error, RunState* state = nullptr,
                             std::string* reason = nullptr);

/// The message for a STEP model that cannot be read, for `reason` ("No such file or
/// directory", "not a valid STEP file", ...).
std::string describeUnreadableModel(const std::string& modelPath, const std::string& reason);

/// How many shapes the transfer gave; the model is the last of them.
int countTransferredShapes(const STEPControl_Reader& reader);

/// "" for a transfer that gave at most one shape; otherwise a note that only the last shape's
/// faces are numbered, such as "faces of the last of 3 transferred shapes".
std::string describeShapeChoice(int shapeCount);
