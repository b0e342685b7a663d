#pragma once

#include "step_reals.hpp"

#include <streambuf>
#include <string>
#include <vector>

/// A STEP file's bytes for the library's reader, read once and scanned as they pass
/// (scanStepText), so that a check costs no second reading and works on a pipe too.
class ScannedFile : public std::streambuf {
public:
    ScannedFile() = default;
    ScannedFile(const ScannedFile&) = delete;
    ~ScannedFile() override;

    /// Opens `path` for reading without waiting for a pipe's writer; false, with `error` or
    /// `noWriter` set, when it cannot be opened or is a named pipe that no program writes to.
    bool open(const std::string& path);

    int error = 0;         ///< the errno of the open or of a read that failed; 0 if none did
    bool noWriter = false; ///< a named pipe that no program had open for writing
    RealScan scan;         ///< what the scan found in the bytes read so far

protected:
    int_type underflow() override;

private:
    int fd_ = -1;
    std::vector<char> buffer_ = std::vector<char>(65536);
    long pending_ = 0; ///< bytes of buffer_ read by open, not yet handed over
};
