#include "scanned_file.hpp"

#include "../paths/file_status.hpp"

#include <algorithm>
#include <cerrno>

#include <unistd.h>

namespace {

long readSome(int fd, std::vector<char>& buffer)
{
    ssize_t got;
    while ((got = ::read(fd, buffer.data(), buffer.size())) < 0 && errno == EINTR) {}
    return got;
}

} // namespace

ScannedFile::~ScannedFile()
{
    if (fd_ >= 0) ::close(fd_);
}

bool ScannedFile::open(const std::string& path)
{
    // A named pipe that no program writes to would hold the run for ever: it is opened without
    // waiting, and a first read tells whether a writer has it open (no writer: the end at once;
    // one that has written nothing yet: EAGAIN).
    fd_ = openToRead(path, false);
    if (fd_ < 0) {
        error = errno;
        return false;
    }
    FileStatus& status = opened;
    if (statusOf(fd_, status) == 0 && status.regular) digest_ = startSha256();
    if (status.pipe) {
        const long got = readSome(fd_, buffer_);
        if (got < 0 && errno != EAGAIN) error = errno;
        noWriter = got == 0;
        if (noWriter || error != 0) {
            ::close(fd_);
            fd_ = -1;
            return false;
        }
        pending_ = std::max(got, 0L);
    }
    // From here on a read waits for the writer's next bytes, as for a disk's.
    waitOnReads(fd_);
    return true;
}

ScannedFile::int_type ScannedFile::underflow()
{
    if (gptr() < egptr()) return traits_type::to_int_type(*gptr());
    if (fd_ < 0) return traits_type::eof();
    const long got = pending_ > 0 ? pending_ : readSome(fd_, buffer_);
    pending_ = 0;
    if (got <= 0) {
        // A failed read (a directory, say) ends the bytes like the end of the file, and is told.
        if (got < 0) error = errno;
        if (got == 0 && digest_.context) sha256 = finishSha256(digest_);
        ::close(fd_);
        fd_ = -1;
        return traits_type::eof();
    }
    scanStepText(scan, buffer_.data(), static_cast<std::size_t>(got));
    if (digest_.context) addToSha256(digest_, buffer_.data(), static_cast<std::size_t>(got));
    size += static_cast<std::uint64_t>(got);
    setg(buffer_.data(), buffer_.data(), buffer_.data() + got);
    return traits_type::to_int_type(*gptr());
}

void ScannedFile::readToEnd()
{
    while (underflow() != traits_type::eof()) setg(eback(), egptr(), egptr());
}
