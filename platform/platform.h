// SPDX-License-Identifier: MIT
// The services that the core calls, shaped like the Win32 ANSI API of the
// Windows 95/98/Me family. Every operation returns what its Win32 counterpart
// returns and, on failure, sets a last-error code in Win32's numbers, read back
// with GetLastError() on the same thread. Strings are bytes in the system's
// ANSI code page (932 on the systems Sabrel is made for).
//
// Two implementations: platform/win32 (the real API) and platform/offline
// (a Windows 9x installation on disk, seen from Linux). The core reaches the
// one in use through platform::Get().
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "common/win32_types.h"

namespace sabrel::platform {

using namespace winapi;

// Registry.
constexpr HKEY kHkeyUsers = 0x80000003u;
constexpr REGSAM kKeyRead = 0x20019;
constexpr REGSAM kKeyAllAccess = 0xF003F;

// Locale queries: the user's locale, and the thousands separator.
constexpr LCID kLocaleUserDefault = 0x0400;
constexpr LCTYPE kLocaleSThousand = 0x000F;

// ExitWindowsEx flags.
constexpr UINT kEwxShutdown = 1;
constexpr UINT kEwxReboot = 2;

// Platform identifiers of the version record.
constexpr DWORD kVerPlatformWin32s = 0;
constexpr DWORD kVerPlatformWin32Windows = 1;
constexpr DWORD kVerPlatformWin32Nt = 2;

// OSVERSIONINFOA: 148 bytes on Win32; only the four numbers are used.
struct OsVersionInfo {
    DWORD dwOSVersionInfoSize = 148;
    DWORD dwMajorVersion = 0;
    DWORD dwMinorVersion = 0;
    DWORD dwBuildNumber = 0;
    DWORD dwPlatformId = 0;
    char szCSDVersion[128] = {};
};
static_assert(sizeof(OsVersionInfo) == 148, "OSVERSIONINFOA is 148 bytes");

// CPINFO: lead-byte ranges as pairs, ended by a pair of zeros.
struct CpInfo {
    UINT MaxCharSize = 1;
    std::uint8_t DefaultChar[2] = {'?', 0};
    std::uint8_t LeadByte[12] = {};
};

// WIN32_FIND_DATAA, reduced to what Sabrel reads.
struct FindData {
    DWORD dwFileAttributes = 0;
    std::uint64_t nFileSize = 0;
    std::string cFileName;           // long name, ANSI bytes
    std::string cAlternateFileName;  // 8.3 alias, empty when the long name is already 8.3
};

using FindHandle = void*;
inline FindHandle const kInvalidFindHandle = reinterpret_cast<FindHandle>(~std::uintptr_t{0});

using ThreadProc = DWORD (*)(void* param);

// A whole file held for reading: mapped into memory where the system maps
// files, else read into one buffer. Its bytes stay as they are until it is
// destroyed.
class FileImage {
  public:
    FileImage() = default;
    FileImage(const FileImage&) = delete;
    FileImage& operator=(const FileImage&) = delete;
    virtual ~FileImage() = default;
    const std::uint8_t* data() const { return data_; }
    std::size_t size() const { return size_; }

  protected:
    const std::uint8_t* data_ = nullptr;
    std::size_t size_ = 0;
};

// An image that holds bytes read into memory. Throws std::bad_alloc.
std::unique_ptr<FileImage> FileImageOfBytes(std::vector<std::uint8_t> bytes);

class Platform {
  public:
    virtual ~Platform() = default;

    // --- Errors -------------------------------------------------------------
    virtual DWORD GetLastError() = 0;
    virtual void SetLastError(DWORD code) = 0;

    // --- System information -------------------------------------------------
    virtual BOOL GetVersionExA(OsVersionInfo* info) = 0;
    // Returns the length copied (without NUL), the size needed (with NUL) when
    // the buffer is too small, 0 on failure. The path has no trailing '\'.
    virtual UINT GetWindowsDirectoryA(char* buffer, UINT size) = 0;
    // *size in: buffer size; out: length with NUL. FALSE with 122 when too small.
    virtual BOOL GetUserNameA(char* buffer, DWORD* size) = 0;
    // GetSystemMetrics(SM_DBCSENABLED).
    virtual int GetDbcsEnabled() = 0;
    virtual UINT GetACP() = 0;
    virtual BOOL GetCPInfo(UINT codePage, CpInfo* info) = 0;
    // GetLocaleInfoA: copies the item with its NUL and returns that length;
    // with size 0, returns the length needed. 0 on failure (122 when the
    // buffer is too small).
    virtual int GetLocaleInfoA(LCID locale, LCTYPE type, char* data, int size) = 0;

    // --- Files and folders --------------------------------------------------
    virtual DWORD GetFileAttributesA(const char* path) = 0;
    virtual BOOL SetFileAttributesA(const char* path, DWORD attributes) = 0;
    // Refused (5) on a read-only file, as on Windows.
    virtual BOOL DeleteFileA(const char* path) = 0;
    virtual BOOL CopyFileA(const char* from, const char* to, BOOL failIfExists) = 0;
    virtual BOOL MoveFileA(const char* from, const char* to) = 0;
    // One level; 183 when it exists.
    virtual BOOL CreateDirectoryA(const char* path) = 0;
    virtual BOOL RemoveDirectoryA(const char* path) = 0;
    virtual FindHandle FindFirstFileA(const char* pattern, FindData* data) = 0;
    virtual BOOL FindNextFileA(FindHandle handle, FindData* data) = 0;
    virtual BOOL FindClose(FindHandle handle) = 0;
    // Returns the length (without NUL); the size needed when too small; 0 when
    // the path does not exist or cannot be shortened.
    virtual DWORD GetShortPathNameA(const char* longPath, char* buffer, DWORD size) = 0;
    // Opens for reading with both sharing modes, reads the whole file in one
    // read, closes it. FALSE with the error code on any failure.
    virtual BOOL ReadWholeFile(const char* path, std::vector<std::uint8_t>* out) = 0;
    // The whole file for reading, opened with both sharing modes: mapped
    // where the platform maps files, else read with ReadWholeFile (which is
    // what this does). nullptr with the error code on any failure.
    virtual std::unique_ptr<FileImage> OpenFileImage(const char* path);
    // Size of the file opened for reading with both sharing modes.
    virtual BOOL GetFileSizeByPath(const char* path, std::uint64_t* size) = 0;
    // The file's last write as DOS keeps it: local date and time, 2-second
    // steps. A platform that has no such query answers FALSE.
    virtual BOOL GetFileDosTime(const char* path, std::uint16_t* date, std::uint16_t* time) {
        (void)path, (void)date, (void)time;
        return 0;
    }
    // Creates or replaces the file with exactly these bytes.
    virtual BOOL WriteWholeFile(const char* path, const void* data, std::size_t size) = 0;

    // --- Private profile (INI) ----------------------------------------------
    // value == nullptr deletes the key; key == nullptr deletes the section.
    virtual BOOL WritePrivateProfileStringA(const char* section, const char* key, const char* value,
                                            const char* file) = 0;
    // Returns the number of bytes copied, without NUL.
    virtual DWORD GetPrivateProfileStringA(const char* section, const char* key,
                                           const char* defaultValue, char* buffer, DWORD size,
                                           const char* file) = 0;

    // --- Registry (root HKEY_USERS only) ------------------------------------
    // Results are Win32 error codes (0 success). The thread's last error is
    // not where they report: it is whatever the system leaves there (the
    // offline platform leaves it unchanged, see offline_platform.cpp).
    virtual LONG RegOpenKeyExA(HKEY root, const char* subKey, DWORD options, REGSAM access,
                               HKEY* result) = 0;
    virtual LONG RegCloseKey(HKEY key) = 0;
    virtual LONG RegLoadKeyA(HKEY root, const char* subKey, const char* file) = 0;
    virtual LONG RegSaveKeyA(HKEY key, const char* file, void* securityAttributes) = 0;
    virtual LONG RegUnLoadKeyA(HKEY root, const char* subKey) = 0;

    // --- Threads and process ------------------------------------------------
    // Starts a thread at once with default security and stack size.
    virtual BOOL CreateThread(ThreadProc proc, void* param, DWORD* threadId) = 0;
    [[noreturn]] virtual void ExitProcess(UINT exitCode) = 0;
    virtual void Sleep(DWORD milliseconds) = 0;

    // --- Restart and shutdown -----------------------------------------------
    virtual BOOL ExitWindowsEx(UINT flags, DWORD reserved) = 0;

    // --- Dynamic libraries --------------------------------------------------
    virtual HMODULE LoadLibraryA(const char* name) = 0;
    virtual void* GetProcAddress(HMODULE module, const char* name) = 0;
    virtual BOOL FreeLibrary(HMODULE module) = 0;

    // --- Single instance ----------------------------------------------------
    // True when another running copy holds the application title `title`
    // (FindWindowA with the application window's class on Windows).
    virtual bool FindRunningInstance(const char* windowClass, const char* title) = 0;
    // Marks this copy as the running one (on Windows the window title does it).
    virtual void ClaimInstance(const char* title) = 0;
};

// The implementation in use. Set once at start-up (or per test).
Platform& Get();
void Set(Platform* platform);

// True when a file or folder of that name exists on the platform in use. A
// found name leaves the thread's last error as it was.
bool FileExists(const std::string& path);

}  // namespace sabrel::platform
