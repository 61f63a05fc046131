// A platform that only knows files held in memory, for the tests of Check(path):
// existence, attributes, size, whole-file reads and the code-page queries.
// Everything else fails with "not implemented".
#pragma once

#include <cstdint>
#include <cstdlib>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace sabrel::hive::test {

class FilePlatform : public platform::Platform {
  public:
    using DWORD = platform::DWORD;
    using BOOL = platform::BOOL;
    using UINT = platform::UINT;
    using LONG = platform::LONG;

    std::map<std::string, std::vector<std::uint8_t>> files;
    std::set<std::string> directories;
    DWORD readError = 0;             // ReadWholeFile fails with it when set
    DWORD sizeError = 0;             // GetFileSizeByPath fails with it when set
    std::uint64_t reportedSize = 0;  // GetFileSizeByPath reports it when set
    int readCalls = 0;
    int dbcs = 1;
    bool cpInfoWorks = true;

    DWORD GetLastError() override { return lastError_; }
    void SetLastError(DWORD code) override { lastError_ = code; }

    BOOL GetVersionExA(platform::OsVersionInfo*) override { return Fail(); }
    UINT GetWindowsDirectoryA(char*, UINT) override { return Fail(); }
    BOOL GetUserNameA(char*, DWORD*) override { return Fail(); }
    int GetDbcsEnabled() override { return dbcs; }
    UINT GetACP() override { return 932; }
    int GetLocaleInfoA(platform::LCID, platform::LCTYPE, char*, int) override {
        NotImplemented();
        return 0;
    }
    BOOL GetCPInfo(UINT codePage, platform::CpInfo* info) override {
        if (!cpInfoWorks || codePage != 932) return Fail();
        *info = platform::CpInfo{};
        info->MaxCharSize = 2;
        const std::uint8_t ranges[] = {0x81, 0x9F, 0xE0, 0xFC};
        for (int i = 0; i < 4; ++i) info->LeadByte[i] = ranges[i];
        return 1;
    }

    DWORD GetFileAttributesA(const char* path) override {
        if (directories.count(path)) return platform::kAttrDirectory;
        if (files.count(path)) return platform::kAttrArchive;
        lastError_ = platform::kErrorFileNotFound;
        return platform::kInvalidFileAttributes;
    }
    BOOL GetFileSizeByPath(const char* path, std::uint64_t* size) override {
        if (sizeError) return Fail(sizeError);
        auto it = files.find(path);
        if (it == files.end()) return Fail(platform::kErrorFileNotFound);
        *size = reportedSize ? reportedSize : it->second.size();
        return 1;
    }
    BOOL ReadWholeFile(const char* path, std::vector<std::uint8_t>* out) override {
        ++readCalls;
        if (readError) return Fail(readError);
        auto it = files.find(path);
        if (it == files.end()) return Fail(platform::kErrorFileNotFound);
        *out = it->second;
        return 1;
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
        return NotImplemented();
    }
    LONG RegCloseKey(platform::HKEY) override { return NotImplemented(); }
    LONG RegLoadKeyA(platform::HKEY, const char*, const char*) override { return NotImplemented(); }
    LONG RegSaveKeyA(platform::HKEY, const char*, void*) override { return NotImplemented(); }
    LONG RegUnLoadKeyA(platform::HKEY, const char*) override { return NotImplemented(); }
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

  private:
    BOOL Fail(DWORD code = platform::kErrorCallNotImplemented) {
        lastError_ = code;
        return 0;
    }
    LONG NotImplemented() {
        lastError_ = platform::kErrorCallNotImplemented;
        return static_cast<LONG>(lastError_);
    }
    DWORD lastError_ = 0;
};

}  // namespace sabrel::hive::test
