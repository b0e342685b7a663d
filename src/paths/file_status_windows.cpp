// Through the wide path, with the identity Windows gives a file: its volume and file index.
#include "file_status.hpp"

#include "narrow_form.hpp"
#include "windows_errors.hpp"

#include <cerrno>
#include <system_error>

#include <fcntl.h>
#include <io.h>

#include <windows.h>

namespace {

int statusOf(HANDLE file, FileStatus& status)
{
    BY_HANDLE_FILE_INFORMATION info = {};
    if (!GetFileInformationByHandle(file, &info)) return errnoOfWindowsError(GetLastError());
    status.regular = GetFileType(file) == FILE_TYPE_DISK &&
                     !(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
    status.link = (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
    status.directory = !status.link && (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    if (status.link) status.regular = false;
    status.device = info.dwVolumeSerialNumber;
    status.inode = (std::uint64_t(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
    status.size = (std::uint64_t(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
    // FILETIME counts 100 ns from 1601; as on Linux, the time is counted from 1970.
    constexpr long long from1601To1970 = 116444736000000000LL;
    status.modified =
        (static_cast<long long>((std::uint64_t(info.ftLastWriteTime.dwHighDateTime) << 32) |
                                info.ftLastWriteTime.dwLowDateTime) -
         from1601To1970) *
        100;
    return 0;
}

} // namespace

int openToRead(const std::string& name, bool)
{
    try {
        // Binary: the bytes as they are, as Linux reads them.
        return ::_wopen(nativePath(name).c_str(), _O_RDONLY | _O_BINARY | _O_NOINHERIT);
    } catch (const std::system_error&) {
        errno = ENOENT;
        return -1;
    }
}

int readToEnd(const std::string& name, std::string& bytes, bool wait)
{
    const int fd = openToRead(name, wait);
    if (fd < 0) return errno;
    bytes.clear();
    FileStatus status;
    if (statusOf(fd, status) == 0 && status.regular) bytes.reserve(std::size_t(status.size));
    char buffer[65536];
    for (;;) {
        const int n = ::_read(fd, buffer, sizeof buffer);
        if (n <= 0) {
            const int error = n < 0 ? errno : 0;
            ::_close(fd);
            return error;
        }
        bytes.append(buffer, std::size_t(n));
    }
}

// Files here are opened waiting: nothing to undo.
void waitOnReads(int) {}

int statusOf(int fd, FileStatus& status)
{
    const auto file = reinterpret_cast<HANDLE>(::_get_osfhandle(fd));
    if (file == INVALID_HANDLE_VALUE) return EBADF;
    return statusOf(file, status);
}

namespace {

// The status of what `name` names, through its wide path; `flags` decide whether a reparse point
// is followed.
int statusOfName(const std::string& name, DWORD flags, FileStatus& status)
{
    std::wstring wide;
    try {
        wide = nativePath(name).native();
    } catch (const std::system_error&) {
        return ENOENT;
    }
    // Opened for its attributes only; a directory needs FILE_FLAG_BACKUP_SEMANTICS.
    const HANDLE file = CreateFileW(wide.c_str(), 0,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | flags, nullptr);
    if (file == INVALID_HANDLE_VALUE) return errnoOfWindowsError(GetLastError());
    const int error = statusOf(file, status);
    CloseHandle(file);
    return error;
}

} // namespace

int statusOf(const std::string& name, FileStatus& status)
{
    return statusOfName(name, 0, status);
}

int linkStatusOf(const std::string& name, FileStatus& status)
{
    return statusOfName(name, FILE_FLAG_OPEN_REPARSE_POINT, status);
}
