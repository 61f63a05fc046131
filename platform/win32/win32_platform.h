// SPDX-License-Identifier: MIT
// The platform on Windows 95/98/Me itself: every operation is the Win32 ANSI
// function of the same name, called as the interface describes, with the
// system's own last-error codes. Only ANSI entry points are used, so that the
// program loads on the 9x family, where the wide ones are stubs that fail.
#pragma once

#include "platform/platform.h"

namespace sabrel::platform::win32 {

class Win32Platform : public Platform {
  public:
    Win32Platform() = default;
    Win32Platform(const Win32Platform&) = delete;
    Win32Platform& operator=(const Win32Platform&) = delete;

    DWORD GetLastError() override;
    void SetLastError(DWORD code) override;

    BOOL GetVersionExA(OsVersionInfo* info) override;
    UINT GetWindowsDirectoryA(char* buffer, UINT size) override;
    BOOL GetUserNameA(char* buffer, DWORD* size) override;
    int GetDbcsEnabled() override;
    UINT GetACP() override;
    BOOL GetCPInfo(UINT codePage, CpInfo* info) override;
    int GetLocaleInfoA(LCID locale, LCTYPE type, char* data, int size) override;

    DWORD GetFileAttributesA(const char* path) override;
    BOOL SetFileAttributesA(const char* path, DWORD attributes) override;
    BOOL DeleteFileA(const char* path) override;
    BOOL CopyFileA(const char* from, const char* to, BOOL failIfExists) override;
    BOOL MoveFileA(const char* from, const char* to) override;
    BOOL CreateDirectoryA(const char* path) override;
    BOOL RemoveDirectoryA(const char* path) override;
    FindHandle FindFirstFileA(const char* pattern, FindData* data) override;
    BOOL FindNextFileA(FindHandle handle, FindData* data) override;
    BOOL FindClose(FindHandle handle) override;
    DWORD GetShortPathNameA(const char* longPath, char* buffer, DWORD size) override;
    BOOL ReadWholeFile(const char* path, std::vector<std::uint8_t>* out) override;
    std::unique_ptr<FileImage> OpenFileImage(const char* path) override;
    BOOL GetFileSizeByPath(const char* path, std::uint64_t* size) override;
    BOOL WriteWholeFile(const char* path, const void* data, std::size_t size) override;

    BOOL WritePrivateProfileStringA(const char* section, const char* key, const char* value,
                                    const char* file) override;
    DWORD GetPrivateProfileStringA(const char* section, const char* key, const char* defaultValue,
                                   char* buffer, DWORD size, const char* file) override;

    LONG RegOpenKeyExA(HKEY root, const char* subKey, DWORD options, REGSAM access,
                       HKEY* result) override;
    LONG RegCloseKey(HKEY key) override;
    LONG RegLoadKeyA(HKEY root, const char* subKey, const char* file) override;
    LONG RegSaveKeyA(HKEY key, const char* file, void* securityAttributes) override;
    LONG RegUnLoadKeyA(HKEY root, const char* subKey) override;

    BOOL CreateThread(ThreadProc proc, void* param, DWORD* threadId) override;
    [[noreturn]] void ExitProcess(UINT exitCode) override;
    void Sleep(DWORD milliseconds) override;

    BOOL ExitWindowsEx(UINT flags, DWORD reserved) override;

    HMODULE LoadLibraryA(const char* name) override;
    void* GetProcAddress(HMODULE module, const char* name) override;
    BOOL FreeLibrary(HMODULE module) override;

    // FindWindowA(windowClass, title): the application window of a running
    // copy carries the title.
    bool FindRunningInstance(const char* windowClass, const char* title) override;
    // Nothing to do: the user interface's application window carries the title.
    void ClaimInstance(const char* title) override;
};

}  // namespace sabrel::platform::win32
