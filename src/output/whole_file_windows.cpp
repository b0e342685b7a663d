// Whole files on Windows: every name is opened through its wide path, made from the narrow name
// exactly, so that a file lands where its user sees it whatever the code page; a file appears
// through MoveFileExW from a temporary beside it, whole or not at all.
#include "whole_file.hpp"

#include "../paths/file_status.hpp"
#include "../paths/narrow_form.hpp"
#include "../paths/windows_errors.hpp"
#include "../run_state/run_state.hpp"
#include "../run/temporaries.hpp"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <io.h>
#include <process.h>
#include <system_error>

#include <windows.h>

namespace {

// The wide name of a narrow one; false, with `error` set, for a name that is no narrow text.
bool widen(const std::string& narrow, std::wstring& wide, std::string& error)
{
    try {
        wide = nativePath(narrow).native();
        return true;
    } catch (const std::system_error& e) {
        error = "cannot write '" + narrow + "': " + e.what();
        return false;
    }
}

bool writeAll(HANDLE file, const std::string& bytes)
{
    std::size_t written = 0;
    while (written < bytes.size()) {
        const DWORD chunk = DWORD(std::min<std::size_t>(bytes.size() - written, 1u << 30));
        DWORD n = 0;
        if (!WriteFile(file, bytes.data() + written, chunk, &n, nullptr) || n == 0) return false;
        written += n;
    }
    return true;
}

// A regular file at the name that already holds exactly `bytes` is kept and only given the time
// of this write, as on Linux. A link at the name is looked at, not followed.
bool touchIfSame(const std::wstring& name, const std::string& bytes)
{
    const HANDLE file =
        CreateFileW(name.c_str(), GENERIC_READ | FILE_WRITE_ATTRIBUTES,
                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                    FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    BY_HANDLE_FILE_INFORMATION info = {};
    bool same = GetFileType(file) == FILE_TYPE_DISK && GetFileInformationByHandle(file, &info) &&
                !(info.dwFileAttributes &
                  (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) &&
                ((std::uint64_t(info.nFileSizeHigh) << 32) | info.nFileSizeLow) == bytes.size();
    if (same) {
        std::string held(bytes.size() + 1, '\0');
        std::size_t got = 0;
        DWORD n = 1;
        while (n > 0 && got < held.size()) {
            const DWORD chunk = DWORD(std::min<std::size_t>(held.size() - got, 1u << 30));
            if (!ReadFile(file, held.data() + got, chunk, &n, nullptr)) n = 0;
            got += n;
        }
        FILETIME now;
        GetSystemTimeAsFileTime(&now);
        same = got == bytes.size() && held.compare(0, got, bytes) == 0 &&
               SetFileTime(file, nullptr, nullptr, &now);
    }
    CloseHandle(file);
    return same;
}

// Writes `bytes` to a new temporary beside `fileName` and moves it to the name: over what stands
// there when `replace`, otherwise only onto a free name (ERROR_ALREADY_EXISTS then). Returns 0 or
// the system's error, with `error` set to the message. The temporary's name is recorded in
// `state` before it is created, and never outlives the call.
DWORD moveInTemporary(const std::string& fileName, const std::string& bytes, bool replace,
                      RunState* state, std::string& error)
{
    std::wstring target, temporary;
    if (!widen(fileName, target, error)) return ERROR_INVALID_NAME;
    HANDLE file = INVALID_HANDLE_VALUE;
    DWORD reason = 0;
    for (int attempt = 0; attempt < temporaryAttempts && file == INVALID_HANDLE_VALUE; ++attempt) {
        const std::string name = temporaryName(fileName, ::_getpid(), attempt);
        if (!widen(name, temporary, error)) return ERROR_INVALID_NAME;
        recordTemporary(state, name);
        // CREATE_NEW refuses any name that is taken, a link included.
        file = CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE) break;
        recordTemporary(state, "");
        reason = GetLastError();
        if (reason != ERROR_FILE_EXISTS && reason != ERROR_ALREADY_EXISTS) {
            error = "cannot create a file beside '" + fileName +
                    "': " + describeWindowsError(reason);
            return reason;
        }
    }
    if (file == INVALID_HANDLE_VALUE) {
        error = "cannot create a file beside '" + fileName + "': no free temporary name";
        return reason;
    }
    reason = writeAll(file, bytes) ? 0 : GetLastError();
    if (!CloseHandle(file) && reason == 0) reason = GetLastError();
    if (reason == 0 &&
        MoveFileExW(temporary.c_str(), target.c_str(), replace ? MOVEFILE_REPLACE_EXISTING : 0)) {
        recordTemporary(state, "");
        return 0;
    }
    if (reason == 0) reason = GetLastError();
    DeleteFileW(temporary.c_str());
    recordTemporary(state, "");
    error = "cannot write '" + fileName + "': " + describeWindowsError(reason);
    return reason;
}

} // namespace

std::string writeWholeFile(const std::string& fileName, const std::string& bytes, RunState* state)
{
    std::wstring name;
    std::string error;
    if (!widen(fileName, name, error)) return error;
    if (!touchIfSame(name, bytes)) moveInTemporary(fileName, bytes, true, state, error);
    if (error.empty() && state) state->filesWritten.fetch_add(1, std::memory_order_relaxed);
    return error;
}

NewFile writeNewFile(const std::string& fileName, const std::string& bytes, std::string& error)
{
    const DWORD reason = moveInTemporary(fileName, bytes, false, nullptr, error);
    if (reason == 0) return NewFile::written;
    if (reason == ERROR_ALREADY_EXISTS || reason == ERROR_FILE_EXISTS) {
        error.clear();
        return NewFile::taken;
    }
    return NewFile::failed;
}
