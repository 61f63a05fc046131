// SPDX-License-Identifier: MIT
// What the offline platform's service files share: the platform's state and
// the small helpers that report failures through the thread's last error.
// Internal to platform/offline.
#pragma once

#include <sys/types.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <set>
#include <string>

#include "platform/offline/codepage.h"
#include "platform/offline/dos_paths.h"
#include "platform/offline/file_store.h"
#include "platform/offline/host_files.h"
#include "platform/offline/offline_platform.h"
#include "platform/offline/registry/registry_engine.h"
#include "platform/offline/restart.h"
#include "platform/offline/win32_errors.h"

namespace sabrel::platform::offline {

// Windows 98 (second edition's build 2222).
inline constexpr DWORD kDefaultMajor = 4;
inline constexpr DWORD kDefaultMinor = 10;
inline constexpr DWORD kDefaultBuild = 0x040A08AE;
inline constexpr UINT kDefaultCodePage = 932;
inline constexpr DWORD kErrorDirectoryInvalid = 267;

struct OfflinePlatform::State {
    std::string hostWindir;
    // On a disk image: the Windows folder as a DOS path ("C:\WINDOWS").
    std::string imageWindir;
    std::unique_ptr<FileStore> store;
    DWORD major = kDefaultMajor, minor = kDefaultMinor, build = kDefaultBuild;
    DWORD platformId = kVerPlatformWin32Windows;
    bool hasUser = false;
    std::string user;  // ANSI
    CodePage cp{kDefaultCodePage};
    DosPaths paths{std::string(), CodePage(kDefaultCodePage)};
    RegistryEngine registry;
    std::mutex libsMutex;
    std::multiset<void*> libraries;
    std::atomic<DWORD> nextThreadId{0x100};
    int instanceFd = -1;
    int installationFd = -1;
    std::atomic<bool> strictRestart{false};
    mutable std::mutex restartMutex;
    RestartResult lastRestart;
    std::string thousandSeparator = ",";  // ANSI
};

// An environment variable's value; null when it is unset or empty.
inline const char* Env(const char* name) {
    const char* v = std::getenv(name);
    return (v && *v) ? v : nullptr;
}

// Sets the thread's last error and returns false, for `return Fail(code);`.
inline bool Fail(DWORD code) {
    ThreadLastError() = code;
    return false;
}

inline bool FailErrno(int err = errno) {
    return Fail(Win32FromErrno(err));
}

bool IsDir(const std::string& host);

// Maps a DOS path that must name an existing file or folder. False with the
// last error set: the path's own error, else 2.
inline bool MapExisting(const DosPaths& paths, const std::string& dosPath, DosPaths::Mapping* m) {
    if (paths.Map(dosPath, m) && m->exists) return true;
    return Fail(m->missingError ? m->missingError : kErrorFileNotFound);
}

// Writes `data` to a new file beside `host` and renames it over `host`, so
// that the file appears whole or not at all. False with the last error set.
inline bool WriteHostFileAtomically(const std::string& host, const void* data, std::size_t size,
                                    mode_t mode) {
    DWORD code = WriteHostFileBytes(host, kTempPrefix, Publish::kReplace, mode, data, size);
    return code == 0 || Fail(code);
}

}  // namespace sabrel::platform::offline
