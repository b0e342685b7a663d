#pragma once

#include "step_reals.hpp"

#include "../digest/sha256.hpp"
#include "../paths/file_status.hpp"

#include <cstdint>
#include <streambuf>
#include <string>
#include <vector>

/// A STEP file's bytes for the library's reader, read once and scanned as they pass
/// (scanStepText), so that a check costs no second reading and works on a pipe too. A regular
/// file's bytes are hashed on the way as well, for the record of the run.
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
    FileStatus opened;     ///< the file as it was opened: which one, and its time
    std::uint64_t size = 0; ///< bytes read so far
    std::string sha256;    ///< of every byte, once a regular file was read to its end

    /// Reads what the library's reader left unread, so that the digest covers every byte.
    void readToEnd();

protected:
    int_type underflow() override;

private:
    int fd_ = -1;
    std::vector<char> buffer_ = std::vector<char>(65536);
    long pending_ = 0; ///< bytes of buffer_ read by open, not yet handed over
    Sha256 digest_;    ///< of the bytes read so far; a regular file's only
};
