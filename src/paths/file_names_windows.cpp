// Names on disk through their wide paths, so that what is removed, renamed or made is the file
// the user sees, whatever the code page.
#include "file_names.hpp"

#include "narrow_form.hpp"
#include "windows_errors.hpp"

#include <cerrno>
#include <cstdio>
#include <system_error>

#include <windows.h>

namespace {

// The wide path of a narrow name; false for a name that is no narrow text, which names nothing.
bool widen(const std::string& narrow, std::wstring& wide)
{
    try {
        wide = nativePath(narrow).native();
        return true;
    } catch (const std::system_error&) {
        return false;
    }
}

int lastError()
{
    return errnoOfWindowsError(GetLastError());
}

} // namespace

int removeFile(const std::string& name)
{
    std::wstring wide;
    if (!widen(name, wide)) return ENOENT;
    return DeleteFileW(wide.c_str()) ? 0 : lastError();
}

int renameFile(const std::string& from, const std::string& to)
{
    std::wstring wideFrom, wideTo;
    if (!widen(from, wideFrom) || !widen(to, wideTo)) return ENOENT;
    return MoveFileExW(wideFrom.c_str(), wideTo.c_str(), MOVEFILE_REPLACE_EXISTING) ? 0
                                                                                     : lastError();
}

int makeDirectory(const std::string& name)
{
    std::wstring wide;
    if (!widen(name, wide)) return ENOENT;
    return CreateDirectoryW(wide.c_str(), nullptr) ? 0 : lastError();
}

int removeDirectory(const std::string& name)
{
    std::wstring wide;
    if (!widen(name, wide)) return ENOENT;
    return RemoveDirectoryW(wide.c_str()) ? 0 : lastError();
}

// Windows keeps no permission bits: its files' access lies in their ACLs, which stay as they are.
int giveMode(const std::string&, unsigned)
{
    return 0;
}

int touchFile(const std::string& name)
{
    std::wstring wide;
    if (!widen(name, wide)) return ENOENT;
    const HANDLE file = CreateFileW(wide.c_str(), FILE_WRITE_ATTRIBUTES,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                    nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return lastError();
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    const int error = SetFileTime(file, nullptr, nullptr, &now) ? 0 : lastError();
    CloseHandle(file);
    return error;
}

std::vector<std::string> listDirectory(const std::string& directory)
{
    std::vector<std::string> names;
    std::wstring wide;
    if (!widen(directory.empty() ? "." : directory, wide)) return names;
    WIN32_FIND_DATAW found;
    const HANDLE search = FindFirstFileW((wide + L"\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return names;
    do {
        const std::wstring name = found.cFileName;
        if (name == L"." || name == L"..") continue;
        try {
            names.push_back(narrowForm(name));
        } catch (const std::system_error&) {
        }
    } while (FindNextFileW(search, &found));
    FindClose(search);
    return names;
}

unsigned usableProcessors()
{
    DWORD_PTR process = 0, system = 0;
    unsigned count = 0;
    if (GetProcessAffinityMask(GetCurrentProcess(), &process, &system)) {
        for (; process != 0; process &= process - 1) ++count;
    }
    return count > 0 ? count : 1;
}

DirectoryLock::~DirectoryLock()
{
    if (handle == -1) return;
    const auto mutex = reinterpret_cast<HANDLE>(handle);
    ReleaseMutex(mutex);
    CloseHandle(mutex);
}

// A directory cannot be locked as a file is; the lock is a named mutex of the session, named
// after the directory's final path (links resolved, as the system spells it).
bool lockDirectory(const std::string& directory, DirectoryLock& lock)
{
    std::wstring wide;
    if (!widen(directory.empty() ? "." : directory, wide)) return true;
    const HANDLE opened = CreateFileW(wide.c_str(), 0,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (opened == INVALID_HANDLE_VALUE) return true;
    std::wstring final(32768, L'\0');
    const DWORD length =
        GetFinalPathNameByHandleW(opened, final.data(), DWORD(final.size()), FILE_NAME_NORMALIZED);
    CloseHandle(opened);
    if (length == 0 || length >= final.size()) return true;
    final.resize(length);
    CharUpperBuffW(final.data(), length); // the file system ignores case; so must the lock
    std::uint64_t hash = 14695981039346656037ULL; // FNV-1a
    for (const wchar_t c : final) {
        hash = (hash ^ std::uint64_t(c)) * 1099511628211ULL;
    }
    wchar_t name[64];
    std::swprintf(name, 64, L"Local\\tarnfold-directory-%016llx",
                  static_cast<unsigned long long>(hash));
    const HANDLE mutex = CreateMutexW(nullptr, FALSE, name);
    if (!mutex) return true;
    const DWORD held = WaitForSingleObject(mutex, 0);
    if (held != WAIT_OBJECT_0 && held != WAIT_ABANDONED) {
        CloseHandle(mutex);
        return false;
    }
    lock.handle = reinterpret_cast<std::intptr_t>(mutex);
    return true;
}
