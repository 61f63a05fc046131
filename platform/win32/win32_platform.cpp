// SPDX-License-Identifier: MIT
#include "platform/win32/win32_platform.h"

#include <windows.h>

#include <memory>
#include <new>
#include <string>

#include "common/paths.h"

namespace sabrel::platform::win32 {

namespace {

::HKEY ToHkey(HKEY key) {
    return reinterpret_cast<::HKEY>(key);
}

// Keeps the failing call's error code across clean-up calls that may change it.
BOOL FailWith(::DWORD code) {
    ::SetLastError(code);
    return FALSE;
}

void CopyFindData(const WIN32_FIND_DATAA& from, FindData* to) {
    to->dwFileAttributes = from.dwFileAttributes;
    to->nFileSize = (std::uint64_t{from.nFileSizeHigh} << 32) | from.nFileSizeLow;
    to->cFileName = from.cFileName;
    to->cAlternateFileName = from.cAlternateFileName;
}

// Flushes a file that another call has written and closed to the disk. A
// file that cannot be opened for writing (read-only) is left to the system;
// a failing flush is the caller's failure, with its code.
BOOL FlushWrittenFile(const char* path) {
    ::HANDLE file = ::CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return TRUE;
    BOOL ok = ::FlushFileBuffers(file);
    ::DWORD error = ok ? NO_ERROR : ::GetLastError();
    ::CloseHandle(file);
    return ok ? TRUE : FailWith(error);
}

struct ThreadStart {
    ThreadProc proc;
    void* param;
};

::DWORD WINAPI ThreadEntry(LPVOID p) {
    ThreadStart start = *static_cast<ThreadStart*>(p);
    delete static_cast<ThreadStart*>(p);
    return start.proc(start.param);
}

// Writes all of `data` to the open file; FALSE with the error on a short write.
BOOL WriteAll(::HANDLE file, const void* data, std::size_t size) {
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    while (size > 0) {
        ::DWORD chunk = size > 0x10000 ? 0x10000 : static_cast<::DWORD>(size);
        ::DWORD written = 0;
        if (!::WriteFile(file, bytes, chunk, &written, nullptr)) return FALSE;
        if (written != chunk) return FailWith(ERROR_DISK_FULL);
        bytes += chunk;
        size -= chunk;
    }
    return TRUE;
}

// The size of an open file; 0xFFFFFFFF is a valid low part when the call
// leaves no error.
::DWORD SizeOf(::HANDLE file, ::DWORD* low, ::DWORD* high) {
    ::SetLastError(NO_ERROR);
    *low = ::GetFileSize(file, high);
    return *low == INVALID_FILE_SIZE ? ::GetLastError() : NO_ERROR;
}

}  // namespace

DWORD Win32Platform::GetLastError() {
    return ::GetLastError();
}

void Win32Platform::SetLastError(DWORD code) {
    ::SetLastError(code);
}

// --- System information -----------------------------------------------------

BOOL Win32Platform::GetVersionExA(OsVersionInfo* info) {
    if (!info) return FailWith(ERROR_INVALID_PARAMETER);
    OSVERSIONINFOA v{};
    v.dwOSVersionInfoSize = info->dwOSVersionInfoSize;
    if (!::GetVersionExA(&v)) return FALSE;
    info->dwMajorVersion = v.dwMajorVersion;
    info->dwMinorVersion = v.dwMinorVersion;
    info->dwBuildNumber = v.dwBuildNumber;
    info->dwPlatformId = v.dwPlatformId;
    static_assert(sizeof(info->szCSDVersion) == sizeof(v.szCSDVersion), "service-pack text");
    for (std::size_t i = 0; i < sizeof(v.szCSDVersion); ++i)
        info->szCSDVersion[i] = v.szCSDVersion[i];
    return TRUE;
}

UINT Win32Platform::GetWindowsDirectoryA(char* buffer, UINT size) {
    return ::GetWindowsDirectoryA(buffer, size);
}

BOOL Win32Platform::GetUserNameA(char* buffer, DWORD* size) {
    if (!size) return FailWith(ERROR_INVALID_PARAMETER);
    ::DWORD n = *size;
    BOOL ok = ::GetUserNameA(buffer, &n);
    *size = n;
    return ok;
}

int Win32Platform::GetDbcsEnabled() {
    return ::GetSystemMetrics(SM_DBCSENABLED);
}

int Win32Platform::GetLocaleInfoA(LCID locale, LCTYPE type, char* data, int size) {
    return ::GetLocaleInfoA(locale, type, data, size);
}

UINT Win32Platform::GetACP() {
    return ::GetACP();
}

BOOL Win32Platform::GetCPInfo(UINT codePage, CpInfo* info) {
    if (!info) return FailWith(ERROR_INVALID_PARAMETER);
    CPINFO cp{};
    if (!::GetCPInfo(codePage, &cp)) return FALSE;
    info->MaxCharSize = cp.MaxCharSize;
    info->DefaultChar[0] = cp.DefaultChar[0];
    info->DefaultChar[1] = cp.DefaultChar[1];
    static_assert(sizeof(info->LeadByte) == MAX_LEADBYTES, "lead-byte ranges");
    for (int i = 0; i < MAX_LEADBYTES; ++i) info->LeadByte[i] = cp.LeadByte[i];
    return TRUE;
}

// --- Files and folders ------------------------------------------------------

DWORD Win32Platform::GetFileAttributesA(const char* path) {
    return ::GetFileAttributesA(path);
}

BOOL Win32Platform::SetFileAttributesA(const char* path, DWORD attributes) {
    return ::SetFileAttributesA(path, attributes);
}

BOOL Win32Platform::DeleteFileA(const char* path) {
    return ::DeleteFileA(path);
}

BOOL Win32Platform::CopyFileA(const char* from, const char* to, BOOL failIfExists) {
    // A backup counts only once it is on the disk.
    return ::CopyFileA(from, to, failIfExists) && FlushWrittenFile(to);
}

BOOL Win32Platform::MoveFileA(const char* from, const char* to) {
    return ::MoveFileA(from, to);
}

BOOL Win32Platform::CreateDirectoryA(const char* path) {
    return ::CreateDirectoryA(path, nullptr);
}

BOOL Win32Platform::RemoveDirectoryA(const char* path) {
    return ::RemoveDirectoryA(path);
}

FindHandle Win32Platform::FindFirstFileA(const char* pattern, FindData* data) {
    if (!data) {
        ::SetLastError(ERROR_INVALID_PARAMETER);
        return kInvalidFindHandle;
    }
    WIN32_FIND_DATAA found{};
    ::HANDLE h = ::FindFirstFileA(pattern, &found);
    if (h == INVALID_HANDLE_VALUE) return kInvalidFindHandle;
    try {
        CopyFindData(found, data);
    } catch (const std::bad_alloc&) {
        ::FindClose(h);
        ::SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return kInvalidFindHandle;
    }
    return h;
}

BOOL Win32Platform::FindNextFileA(FindHandle handle, FindData* data) {
    if (!data) return FailWith(ERROR_INVALID_PARAMETER);
    WIN32_FIND_DATAA found{};
    if (!::FindNextFileA(handle, &found)) return FALSE;
    try {
        CopyFindData(found, data);
    } catch (const std::bad_alloc&) {
        return FailWith(ERROR_NOT_ENOUGH_MEMORY);
    }
    return TRUE;
}

BOOL Win32Platform::FindClose(FindHandle handle) {
    return ::FindClose(handle);
}

DWORD Win32Platform::GetShortPathNameA(const char* longPath, char* buffer, DWORD size) {
    return ::GetShortPathNameA(longPath, buffer, size);
}

namespace {

// A file mapped with MapViewOfFile; the view keeps the mapping alive.
class ViewImage : public FileImage {
  public:
    ViewImage(const void* view, std::size_t size) : view_(view) {
        data_ = static_cast<const std::uint8_t*>(view);
        size_ = size;
    }
    ~ViewImage() override { ::UnmapViewOfFile(view_); }

  private:
    const void* view_;
};

}  // namespace

// Mapped read-only (on Windows 9x in the shared arena); an empty file, or one
// the system will not map, is read with ReadWholeFile instead.
std::unique_ptr<FileImage> Win32Platform::OpenFileImage(const char* path) {
    if (!path) {
        FailWith(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    ::HANDLE file = ::CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return nullptr;
    ::DWORD high = 0;
    ::DWORD low = 0;
    ::DWORD error = SizeOf(file, &low, &high);
    if (error == NO_ERROR && (high != 0 || low > 0x7FFFFFFFu)) error = ERROR_NOT_ENOUGH_MEMORY;
    if (error != NO_ERROR) {
        ::CloseHandle(file);
        FailWith(error);
        return nullptr;
    }
    const void* view = nullptr;
    if (low > 0) {
        ::HANDLE mapping = ::CreateFileMappingA(file, nullptr, PAGE_READONLY, 0, 0, nullptr);
        if (mapping) {
            view = ::MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0);
            ::CloseHandle(mapping);
        }
    }
    ::CloseHandle(file);
    if (view) {
        try {
            return std::make_unique<ViewImage>(view, low);
        } catch (const std::bad_alloc&) {
            ::UnmapViewOfFile(view);
            FailWith(ERROR_NOT_ENOUGH_MEMORY);
            return nullptr;
        }
    }
    return Platform::OpenFileImage(path);
}

BOOL Win32Platform::ReadWholeFile(const char* path, std::vector<std::uint8_t>* out) {
    if (!path || !out) return FailWith(ERROR_INVALID_PARAMETER);
    // Nothing of an earlier content survives a failure.
    out->clear();
    ::HANDLE file = ::CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return FALSE;
    ::DWORD high = 0;
    ::DWORD low = 0;
    ::DWORD error = SizeOf(file, &low, &high);
    // Hives are limited to what a 32-bit offset reaches; nothing larger is read.
    if (error == NO_ERROR && (high != 0 || low > 0x7FFFFFFFu)) error = ERROR_NOT_ENOUGH_MEMORY;
    if (error == NO_ERROR) {
        try {
            out->assign(low, 0);
        } catch (const std::bad_alloc&) {
            error = ERROR_NOT_ENOUGH_MEMORY;
        }
    }
    if (error == NO_ERROR && low > 0) {
        ::DWORD read = 0;
        if (!::ReadFile(file, out->data(), low, &read, nullptr)) {
            error = ::GetLastError();
        } else if (read != low) {
            error = ERROR_HANDLE_EOF;
        }
    }
    if (!::CloseHandle(file) && error == NO_ERROR) error = ::GetLastError();
    if (error != NO_ERROR) {
        out->clear();
        return FailWith(error);
    }
    return TRUE;
}

BOOL Win32Platform::GetFileSizeByPath(const char* path, std::uint64_t* size) {
    if (!path || !size) return FailWith(ERROR_INVALID_PARAMETER);
    ::HANDLE file = ::CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return FALSE;
    ::DWORD high = 0;
    ::DWORD low = 0;
    ::DWORD error = SizeOf(file, &low, &high);
    if (!::CloseHandle(file) && error == NO_ERROR) error = ::GetLastError();
    if (error != NO_ERROR) return FailWith(error);
    *size = (std::uint64_t{high} << 32) | low;
    return TRUE;
}

// The bytes go to a temporary file beside the target first, which then takes
// the target's place: a full disk or a failed write leaves the old file whole.
// Windows 9x has no atomic replacement (MoveFileExA is missing there), so the
// old file is deleted just before the rename.
BOOL Win32Platform::WriteWholeFile(const char* path, const void* data, std::size_t size) {
    if (!path || (!data && size > 0)) return FailWith(ERROR_INVALID_PARAMETER);
    const ::DWORD attrs = ::GetFileAttributesA(path);
    if (attrs != INVALID_FILE_ATTRIBUTES &&
        (attrs & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY))) {
        return FailWith(ERROR_ACCESS_DENIED);
    }
    std::string folder = ExtractFileDir(path);
    if (folder.empty()) folder = ".";
    char temp[MAX_PATH + 1] = {};
    if (!::GetTempFileNameA(folder.c_str(), "SBR", 0, temp)) return FALSE;
    ::HANDLE file = ::CreateFileA(temp, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        ::DWORD error = ::GetLastError();
        ::DeleteFileA(temp);
        return FailWith(error);
    }
    ::DWORD error = WriteAll(file, data, size) ? NO_ERROR : ::GetLastError();
    if (error == NO_ERROR && !::FlushFileBuffers(file)) error = ::GetLastError();
    if (!::CloseHandle(file) && error == NO_ERROR) error = ::GetLastError();
    if (error == NO_ERROR && attrs != INVALID_FILE_ATTRIBUTES && !::DeleteFileA(path)) {
        error = ::GetLastError();
    }
    if (error != NO_ERROR) {
        ::DeleteFileA(temp);
        return FailWith(error);
    }
    // Should the rename fail, the new bytes stay in the temporary file.
    if (!::MoveFileA(temp, path)) return FALSE;
    // A replaced file keeps its hidden and system attributes.
    if (attrs != INVALID_FILE_ATTRIBUTES) {
        ::SetFileAttributesA(path, (attrs & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM)) |
                                       FILE_ATTRIBUTE_ARCHIVE);
    }
    return TRUE;
}

// --- Private profile --------------------------------------------------------

BOOL Win32Platform::WritePrivateProfileStringA(const char* section, const char* key,
                                               const char* value, const char* file) {
    if (!::WritePrivateProfileStringA(section, key, value, file)) return FALSE;
    if (!section || !file) return TRUE;
    // The system caches profile writes; an entry of WININIT.INI must be on
    // the disk before the program goes on. All four null flushes the cache.
    ::WritePrivateProfileStringA(nullptr, nullptr, nullptr, file);
    std::string path = file;
    // A bare name lives in the Windows folder; a trail byte 0x5C in it (as in
    // "表") is no separator. '/' is never a trail byte.
    if (ExtractFileName(path) == path && path.find('/') == std::string::npos) {
        char windir[MAX_PATH + 1] = {};
        ::UINT n = ::GetWindowsDirectoryA(windir, MAX_PATH);
        if (n == 0 || n > MAX_PATH) return TRUE;
        path = std::string(windir) + "\\" + path;
    }
    return FlushWrittenFile(path.c_str());
}

DWORD Win32Platform::GetPrivateProfileStringA(const char* section, const char* key,
                                              const char* defaultValue, char* buffer, DWORD size,
                                              const char* file) {
    return ::GetPrivateProfileStringA(section, key, defaultValue, buffer, size, file);
}

// --- Registry -----------------------------------------------------------------
// The system's own results, and the thread's last error as the system leaves
// it: the messages that show the last error after a registry call show that.

LONG Win32Platform::RegOpenKeyExA(HKEY root, const char* subKey, DWORD options, REGSAM access,
                                  HKEY* result) {
    ::HKEY opened = nullptr;
    LONG rc = ::RegOpenKeyExA(ToHkey(root), subKey, options, access, &opened);
    if (result) *result = rc == ERROR_SUCCESS ? reinterpret_cast<HKEY>(opened) : 0;
    return rc;
}

LONG Win32Platform::RegCloseKey(HKEY key) {
    return ::RegCloseKey(ToHkey(key));
}

LONG Win32Platform::RegLoadKeyA(HKEY root, const char* subKey, const char* file) {
    return ::RegLoadKeyA(ToHkey(root), subKey, file);
}

// The order of durability that the replacement at the next start relies on:
// the rebuilt file is flushed here, before the caller writes the WININIT.INI
// entry naming it, and that entry is flushed when it is written. On FAT a
// file's flush also commits its directory entry.
LONG Win32Platform::RegSaveKeyA(HKEY key, const char* file, void* securityAttributes) {
    LONG rc =
        ::RegSaveKeyA(ToHkey(key), file, static_cast<LPSECURITY_ATTRIBUTES>(securityAttributes));
    // A failed flush leaves its own error as the thread's last error.
    if (rc == ERROR_SUCCESS && file && !FlushWrittenFile(file)) {
        rc = static_cast<LONG>(::GetLastError());
    }
    return rc;
}

LONG Win32Platform::RegUnLoadKeyA(HKEY root, const char* subKey) {
    return ::RegUnLoadKeyA(ToHkey(root), subKey);
}

// --- Threads and process ----------------------------------------------------

BOOL Win32Platform::CreateThread(ThreadProc proc, void* param, DWORD* threadId) {
    if (!proc) return FailWith(ERROR_INVALID_PARAMETER);
    auto* start = new (std::nothrow) ThreadStart{proc, param};
    if (!start) return FailWith(ERROR_NOT_ENOUGH_MEMORY);
    // Windows 95 needs somewhere to store the identifier.
    ::DWORD id = 0;
    ::HANDLE h = ::CreateThread(nullptr, 0, ThreadEntry, start, 0, &id);
    if (!h) {
        ::DWORD error = ::GetLastError();
        delete start;
        return FailWith(error);
    }
    // Nothing ever waits for the thread.
    ::CloseHandle(h);
    if (threadId) *threadId = id;
    return TRUE;
}

void Win32Platform::ExitProcess(UINT exitCode) {
    ::ExitProcess(exitCode);
}

void Win32Platform::Sleep(DWORD milliseconds) {
    ::Sleep(milliseconds);
}

BOOL Win32Platform::ExitWindowsEx(UINT flags, DWORD reserved) {
    return ::ExitWindowsEx(flags, reserved);
}

// --- Dynamic libraries --------------------------------------------------------

HMODULE Win32Platform::LoadLibraryA(const char* name) {
    return ::LoadLibraryA(name);
}

void* Win32Platform::GetProcAddress(HMODULE module, const char* name) {
    return reinterpret_cast<void*>(::GetProcAddress(static_cast<::HMODULE>(module), name));
}

BOOL Win32Platform::FreeLibrary(HMODULE module) {
    return ::FreeLibrary(static_cast<::HMODULE>(module));
}

// --- Single instance --------------------------------------------------------

bool Win32Platform::FindRunningInstance(const char* windowClass, const char* title) {
    return ::FindWindowA(windowClass, title) != nullptr;
}

void Win32Platform::ClaimInstance(const char*) {}

}  // namespace sabrel::platform::win32
