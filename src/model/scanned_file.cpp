#include "scanned_file.hpp"

#include "../paths/file_status.hpp"

#include <cerrno>

#include <unistd.h>

ScannedFile::~ScannedFile()
{
    if (fd_ >= 0) ::close(fd_);
}

bool ScannedFile::open(const std::string& path)
{
    fd_ = openToRead(path);
    error = fd_ < 0 ? errno : 0;
    return fd_ >= 0;
}

ScannedFile::int_type ScannedFile::underflow()
{
    if (gptr() < egptr()) return traits_type::to_int_type(*gptr());
    if (fd_ < 0) return traits_type::eof();
    ssize_t got;
    while ((got = ::read(fd_, buffer_.data(), buffer_.size())) < 0 && errno == EINTR) {}
    if (got <= 0) {
        // A failed read (a directory, say) ends the bytes like the end of the file, and is told.
        if (got < 0) error = errno;
        ::close(fd_);
        fd_ = -1;
        return traits_type::eof();
    }
    scanStepText(scan, buffer_.data(), static_cast<std::size_t>(got));
    setg(buffer_.data(), buffer_.data(), buffer_.data() + got);
    return traits_type::to_int_type(*gptr());
}
