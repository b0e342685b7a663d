#pragma once

#include "../paths/file_status.hpp"

#include <cstdint>
#include <string>

#include <STEPControl_Reader.hxx>
#include <TopoDS_Shape.hxx>

struct RunState;

/// The model file as the reader took it in.
struct ModelFileRead {
    FileStatus opened;      ///< which file was opened, and its time then
    std::uint64_t size = 0; ///< the bytes read
    std::string sha256;     ///< of them all; "" unless a regular file was read to its end
};

/// Reads the STEP file with the reader's settings pinned (pinReaderSettings), prints the
/// reader's load check and transfers every root. Returns the last shape the transfer gave. When
/// the file cannot be read, holds a real that is not a finite double (nothing is transferred
/// then), or gives no face, a null shape is returned, `error` says why and `reason`, when given,
/// holds the reason alone; otherwise both are left alone. The model and the phase (reading,
/// transferring) are recorded in `state`; with a state, a stop asked for in it ends the transfer
/// and the process (see runAnsweringStops). `read`, when given, gets what was read, so that the
/// model's bytes need no second reading for their digest.
TopoDS_Shape importStepModel(STEPControl_Reader& reader, const std::string& modelPath,
                             std::string& error, RunState* state = nullptr,
                             std::string* reason = nullptr, ModelFileRead* read = nullptr);

/// The reason that a file that cannot be opened for `error` is given: the system's words, and
/// for a relative path that names nothing, the working directory it was taken from.
std::string describeOpenFailure(const std::string& path, int error);

/// The message for a STEP model that cannot be read, for `reason` ("No such file or
/// directory", "not a valid STEP file", ...).
std::string describeUnreadableModel(const std::string& modelPath, const std::string& reason);

/// How many shapes the transfer gave; the model is the last of them.
int countTransferredShapes(const STEPControl_Reader& reader);

/// "" for a transfer that gave at most one shape; otherwise a note that only the last shape's
/// faces are numbered, such as "faces of the last of 3 transferred shapes".
std::string describeShapeChoice(int shapeCount);
