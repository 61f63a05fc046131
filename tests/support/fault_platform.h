// SPDX-License-Identifier: MIT
// A Platform that wraps another and fails the Nth call of a chosen kind with a
// realistic Win32 code, or ends the process at the Nth call of any kind, as a
// power cut would. Without either it only counts, so that a clean run tells a
// sweep how many calls of each kind there are.
//
// The interface is coarse (whole-file writes, copies), so some kinds are
// modelled on the calls that contain them: "create" fails a call that would
// create a file, before anything is written; "flush" lets a copy or a hive
// save run and then leaves half of the file behind and fails, as a write-back
// that fails at the disk does; "close" leaves the whole file and fails all
// the same. WriteWholeFile replaces its file whole or not at all on both
// platforms, so every kind fails it without effect. A kill at a copy or a
// save can likewise leave half a file ("torn").
#pragma once

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <initializer_list>
#include <mutex>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace sabrel::test {

enum class FaultKind {
    kCreate,      // WriteWholeFile, CopyFileA, RegSaveKeyA onto a missing file
    kWrite,       // WriteWholeFile
    kFlush,       // file writes: half the data lands, then failure
    kClose,       // file writes: all the data lands, then failure
    kMove,        // MoveFileA
    kDelete,      // DeleteFileA, RemoveDirectoryA
    kCopy,        // CopyFileA
    kAttributes,  // SetFileAttributesA
    kIniWrite,    // WritePrivateProfileStringA
    kMkdir,       // CreateDirectoryA
    kRegLoad,
    kRegSave,
    kRegUnload,
    kLibrary,  // LoadLibraryA, GetProcAddress
    kThread,   // CreateThread
    kCount,
};

const char* KindName(FaultKind kind);

class FaultPlatform : public platform::Platform {
  public:
    explicit FaultPlatform(platform::Platform* inner) : inner_(inner) {}

    // Fails the `n`th call (from 1) of `kind` with `code`.
    void FailAt(FaultKind kind, int n, platform::DWORD code);
    // Ends the process with _exit(`exitCode`) at the `n`th call of any kind
    // (counted in the order they come); `torn`: a file write at that call
    // lands half of its data first.
    void KillAt(int n, bool torn, int exitCode);

    int Calls(FaultKind kind) const { return calls_[static_cast<int>(kind)].load(); }
    int TotalCalls() const { return total_.load(); }
    bool Fired() const { return fired_.load(); }
    // The numbers (from 1, in the count of all calls) of the calls that wrote
    // a file: where a torn write can happen.
    std::vector<int> FileWriteCalls() const;
    // "kind call code" of the fault that fired, for messages.
    std::string FiredText() const;
    // The flags given to ExitWindowsEx (-1: never called). Nothing is carried
    // out: the test restarts the installation itself.
    int exitWindowsFlags = -1;

    platform::DWORD GetLastError() override { return inner_->GetLastError(); }
    void SetLastError(platform::DWORD code) override { inner_->SetLastError(code); }
    platform::BOOL GetVersionExA(platform::OsVersionInfo* info) override {
        return inner_->GetVersionExA(info);
    }
    platform::UINT GetWindowsDirectoryA(char* buffer, platform::UINT size) override {
        return inner_->GetWindowsDirectoryA(buffer, size);
    }
    platform::BOOL GetUserNameA(char* buffer, platform::DWORD* size) override {
        return inner_->GetUserNameA(buffer, size);
    }
    int GetDbcsEnabled() override { return inner_->GetDbcsEnabled(); }
    platform::UINT GetACP() override { return inner_->GetACP(); }
    platform::BOOL GetCPInfo(platform::UINT cp, platform::CpInfo* info) override {
        return inner_->GetCPInfo(cp, info);
    }
    int GetLocaleInfoA(platform::LCID locale, platform::LCTYPE type, char* data,
                       int size) override {
        return inner_->GetLocaleInfoA(locale, type, data, size);
    }
    platform::DWORD GetFileAttributesA(const char* path) override {
        return inner_->GetFileAttributesA(path);
    }
    platform::BOOL SetFileAttributesA(const char* path, platform::DWORD attributes) override;
    platform::BOOL DeleteFileA(const char* path) override;
    platform::BOOL CopyFileA(const char* from, const char* to,
                             platform::BOOL failIfExists) override;
    platform::BOOL MoveFileA(const char* from, const char* to) override;
    platform::BOOL CreateDirectoryA(const char* path) override;
    platform::BOOL RemoveDirectoryA(const char* path) override;
    platform::FindHandle FindFirstFileA(const char* pattern, platform::FindData* data) override {
        return inner_->FindFirstFileA(pattern, data);
    }
    platform::BOOL FindNextFileA(platform::FindHandle h, platform::FindData* data) override {
        return inner_->FindNextFileA(h, data);
    }
    platform::BOOL FindClose(platform::FindHandle h) override { return inner_->FindClose(h); }
    platform::DWORD GetShortPathNameA(const char* path, char* buffer,
                                      platform::DWORD size) override {
        return inner_->GetShortPathNameA(path, buffer, size);
    }
    platform::BOOL ReadWholeFile(const char* path, std::vector<std::uint8_t>* out) override {
        return inner_->ReadWholeFile(path, out);
    }
    platform::BOOL GetFileDosTime(const char* path, std::uint16_t* date,
                                  std::uint16_t* time) override {
        return inner_->GetFileDosTime(path, date, time);
    }
    platform::BOOL GetFileSizeByPath(const char* path, std::uint64_t* size) override {
        return inner_->GetFileSizeByPath(path, size);
    }
    platform::BOOL WriteWholeFile(const char* path, const void* data, std::size_t size) override;
    platform::BOOL WritePrivateProfileStringA(const char* section, const char* key,
                                              const char* value, const char* file) override;
    platform::DWORD GetPrivateProfileStringA(const char* section, const char* key, const char* def,
                                             char* buffer, platform::DWORD size,
                                             const char* file) override {
        return inner_->GetPrivateProfileStringA(section, key, def, buffer, size, file);
    }
    platform::LONG RegOpenKeyExA(platform::HKEY root, const char* subKey, platform::DWORD options,
                                 platform::REGSAM access, platform::HKEY* result) override {
        return inner_->RegOpenKeyExA(root, subKey, options, access, result);
    }
    platform::LONG RegCloseKey(platform::HKEY key) override { return inner_->RegCloseKey(key); }
    platform::LONG RegLoadKeyA(platform::HKEY root, const char* subKey, const char* file) override;
    platform::LONG RegSaveKeyA(platform::HKEY key, const char* file, void* sa) override;
    platform::LONG RegUnLoadKeyA(platform::HKEY root, const char* subKey) override;
    platform::BOOL CreateThread(platform::ThreadProc proc, void* param,
                                platform::DWORD* threadId) override;
    [[noreturn]] void ExitProcess(platform::UINT exitCode) override {
        inner_->ExitProcess(exitCode);
        std::_Exit(static_cast<int>(exitCode));
    }
    void Sleep(platform::DWORD ms) override { inner_->Sleep(ms); }
    platform::BOOL ExitWindowsEx(platform::UINT flags, platform::DWORD) override {
        exitWindowsFlags = static_cast<int>(flags);
        return 1;
    }
    platform::HMODULE LoadLibraryA(const char* name) override;
    void* GetProcAddress(platform::HMODULE module, const char* name) override;
    platform::BOOL FreeLibrary(platform::HMODULE module) override {
        return inner_->FreeLibrary(module);
    }
    bool FindRunningInstance(const char* windowClass, const char* title) override {
        return inner_->FindRunningInstance(windowClass, title);
    }
    void ClaimInstance(const char* title) override { inner_->ClaimInstance(title); }

  private:
    enum class Outcome { kPass, kFail, kFlush, kClose, kTorn };
    // Counts one call that may be any of `kinds`; decides its fate. Kills the
    // process here unless the call is torn (the caller then writes first).
    Outcome Enter(std::initializer_list<FaultKind> kinds, bool tearable = false);
    // A file write: runs `write` unless the call fails outright, then applies
    // the flush, close or torn outcome to the written file at `path` when the
    // write can be torn (otherwise they fail it outright).
    platform::BOOL FileWrite(std::initializer_list<FaultKind> kinds, const char* path,
                             bool tearable, const std::function<platform::BOOL()>& write);
    bool Missing(const char* path) { return inner_->GetFileAttributesA(path) == 0xFFFFFFFFu; }

    platform::Platform* inner_;
    mutable std::mutex mutex_;
    std::atomic<int> calls_[static_cast<int>(FaultKind::kCount)] = {};
    std::atomic<int> total_{0};
    std::atomic<bool> fired_{false};
    FaultKind failKind_ = FaultKind::kCount;
    int failAt_ = 0;
    platform::DWORD failCode_ = 0;
    int killAt_ = 0;
    bool torn_ = false;
    int killExit_ = 0;
    std::string firedText_;
    std::vector<int> fileWrites_;
};

}  // namespace sabrel::test
