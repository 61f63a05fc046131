// SPDX-License-Identifier: MIT
// A platform whose every call fails with ERROR_CALL_NOT_IMPLEMENTED (120), as
// the base of the hand-written fakes: a fake overrides only what its tests
// use, and a call it does not expect fails plainly instead of answering
// something made up. The single-instance calls find no other copy, and
// ExitProcess aborts.
#pragma once

#include <cstdlib>

#include "platform/platform.h"

namespace sabrel::test {

class FailingPlatform : public platform::Platform {
  public:
    using DWORD = platform::DWORD;
    using BOOL = platform::BOOL;
    using UINT = platform::UINT;
    using LONG = platform::LONG;

    DWORD GetLastError() override { return LastError(); }
    void SetLastError(DWORD code) override { LastError() = code; }

    BOOL GetVersionExA(platform::OsVersionInfo*) override { return Fail(); }
    UINT GetWindowsDirectoryA(char*, UINT) override { return Fail(); }
    BOOL GetUserNameA(char*, DWORD*) override { return Fail(); }
    int GetDbcsEnabled() override { return Fail(); }
    UINT GetACP() override { return Fail(); }
    BOOL GetCPInfo(UINT, platform::CpInfo*) override { return Fail(); }
    int GetLocaleInfoA(platform::LCID, platform::LCTYPE, char*, int) override { return Fail(); }

    DWORD GetFileAttributesA(const char*) override {
        Fail();
        return platform::kInvalidFileAttributes;
    }
    BOOL SetFileAttributesA(const char*, DWORD) override { return Fail(); }
    BOOL DeleteFileA(const char*) override { return Fail(); }
    BOOL CopyFileA(const char*, const char*, BOOL) override { return Fail(); }
    BOOL MoveFileA(const char*, const char*) override { return Fail(); }
    BOOL CreateDirectoryA(const char*) override { return Fail(); }
    BOOL RemoveDirectoryA(const char*) override { return Fail(); }
    platform::FindHandle FindFirstFileA(const char*, platform::FindData*) override {
        Fail();
        return platform::kInvalidFindHandle;
    }
    BOOL FindNextFileA(platform::FindHandle, platform::FindData*) override { return Fail(); }
    BOOL FindClose(platform::FindHandle) override { return Fail(); }
    DWORD GetShortPathNameA(const char*, char*, DWORD) override { return Fail(); }
    BOOL ReadWholeFile(const char*, std::vector<std::uint8_t>*) override { return Fail(); }
    BOOL GetFileSizeByPath(const char*, std::uint64_t*) override { return Fail(); }
    BOOL WriteWholeFile(const char*, const void*, std::size_t) override { return Fail(); }
    BOOL WritePrivateProfileStringA(const char*, const char*, const char*, const char*) override {
        return Fail();
    }
    DWORD GetPrivateProfileStringA(const char*, const char*, const char*, char*, DWORD,
                                   const char*) override {
        return Fail();
    }

    LONG RegOpenKeyExA(platform::HKEY, const char*, DWORD, platform::REGSAM,
                       platform::HKEY*) override {
        return RegFail();
    }
    LONG RegCloseKey(platform::HKEY) override { return RegFail(); }
    LONG RegLoadKeyA(platform::HKEY, const char*, const char*) override { return RegFail(); }
    LONG RegSaveKeyA(platform::HKEY, const char*, void*) override { return RegFail(); }
    LONG RegUnLoadKeyA(platform::HKEY, const char*) override { return RegFail(); }

    BOOL CreateThread(platform::ThreadProc, void*, DWORD*) override { return Fail(); }
    [[noreturn]] void ExitProcess(UINT) override { std::abort(); }
    void Sleep(DWORD) override {}
    BOOL ExitWindowsEx(UINT, DWORD) override { return Fail(); }
    platform::HMODULE LoadLibraryA(const char*) override {
        Fail();
        return nullptr;
    }
    void* GetProcAddress(platform::HMODULE, const char*) override {
        Fail();
        return nullptr;
    }
    BOOL FreeLibrary(platform::HMODULE) override { return Fail(); }
    bool FindRunningInstance(const char*, const char*) override { return false; }
    void ClaimInstance(const char*) override {}

  protected:
    // Where the last error lives: one value for the platform unless a fake
    // that runs threads keeps one per thread.
    virtual DWORD& LastError() { return lastError_; }
    // Sets the last error and returns 0, for `return Fail(code);`.
    BOOL Fail(DWORD code = platform::kErrorCallNotImplemented) {
        LastError() = code;
        return 0;
    }
    // The registry calls answer with their code and set the last error too.
    LONG RegFail() { return static_cast<LONG>(LastError() = platform::kErrorCallNotImplemented); }

  private:
    DWORD lastError_ = 0;
};

}  // namespace sabrel::test
