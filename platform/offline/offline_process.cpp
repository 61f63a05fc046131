// SPDX-License-Identifier: MIT
// The offline platform's threads, restart, dynamic libraries and the lock
// that keeps one copy at a time on an installation.
#include <dirent.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <strings.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <thread>
#include <vector>

#include "platform/offline/file_store.h"
#include "platform/offline/host_files.h"
#include "platform/offline/offline_state.h"

namespace sabrel::platform::offline {

namespace {

std::string HostDirOf(const std::string& host) {
    auto slash = host.find_last_of('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : host.substr(0, slash);
}

using AttachFunction = void (*)(Platform*);
constexpr const char* kAttachSymbol = "SabrelAttachPlatform";

std::string HexOf(const std::string& s) {
    static const char* digits = "0123456789abcdef";
    std::string out;
    for (unsigned char c : s) {
        out += digits[c >> 4];
        out += digits[c & 15];
    }
    return out;
}

}  // namespace

// --- Threads and process -------------------------------------------------------------

BOOL OfflinePlatform::CreateThread(ThreadProc proc, void* param, DWORD* threadId) {
    if (!proc) return Fail(kErrorInvalidParameter);
    DWORD id = state_->nextThreadId.fetch_add(4);
    try {
        std::thread([proc, param] { proc(param); }).detach();
    } catch (const std::exception&) {
        return Fail(kErrorNotEnoughMemory);
    }
    if (threadId) *threadId = id;
    return true;
}

void OfflinePlatform::ExitProcess(UINT exitCode) {
    // No static destructors: a worker thread may still be running.
    std::fflush(nullptr);
    std::_Exit(static_cast<int>(exitCode));
}

void OfflinePlatform::Sleep(DWORD milliseconds) {
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

// --- Restart and shutdown -------------------------------------------------------------

BOOL OfflinePlatform::ExitWindowsEx(UINT flags, DWORD) {
    if (!(flags & kEwxReboot) || (state_->hostWindir.empty() && state_->imageWindir.empty()))
        return true;
    RestartMode mode = state_->strictRestart ? RestartMode::kStrict : RestartMode::kSafe;
    RestartResult r = state_->store->CarryOutRestart(mode);
    {
        std::lock_guard<std::mutex> lock(state_->restartMutex);
        state_->lastRestart = r;
    }
    if (r.claimError) {
        std::fprintf(stderr,
                     "WININIT: WININIT.INI could not be taken up, nothing carried out [%u]\n",
                     static_cast<unsigned>(r.claimError));
        return Fail(r.claimError);
    }
    // Entries left undone are told on stderr, as the boot screen would show
    // them; the host files say the rest.
    for (const RenameOutcome& o : r.outcomes) {
        const char* k = o.key.c_str();
        const char* v = o.value.c_str();
        switch (o.result) {
            case RenameOutcome::Result::kSourceMissing:
                std::fprintf(stderr, "WININIT: %s=%s skipped: the source is missing\n", k, v);
                break;
            case RenameOutcome::Result::kDestinationLost:
                std::fprintf(stderr, "WININIT: %s=%s: the source is missing, %s deleted (LOST)\n",
                             k, v, k);
                break;
            case RenameOutcome::Result::kFailed:
                std::fprintf(stderr, "WININIT: %s=%s failed [%u]\n", k, v,
                             static_cast<unsigned>(o.error));
                break;
            case RenameOutcome::Result::kReplaced:
            case RenameOutcome::Result::kDeleted:
                break;
        }
    }
    return true;
}

void OfflinePlatform::SetStrictRestart(bool strict) {
    state_->strictRestart = strict;
}

RestartResult OfflinePlatform::lastRestart() const {
    std::lock_guard<std::mutex> lock(state_->restartMutex);
    return state_->lastRestart;
}

// --- Dynamic libraries ------------------------------------------------------------------

HMODULE OfflinePlatform::LoadLibraryA(const char* name) {
    if (!name || !*name) return Fail(kErrorInvalidParameter), nullptr;
    // The module's own name, after the last separator, with ASCII letters in
    // lower case; the trail byte of a double-byte character is neither.
    std::string base;
    for (const char* c = name; *c; ++c) {
        auto b = static_cast<std::uint8_t>(*c);
        if (state_->cp.IsLeadByte(b) && c[1]) {
            base.append(c, 2);
            ++c;
        } else if (b == '\\' || b == '/' || b == ':') {
            base.clear();
        } else {
            base.push_back(static_cast<char>(b >= 'A' && b <= 'Z' ? b + 32 : b));
        }
    }
    if (base.size() > 4 && base.compare(base.size() - 4, 4, ".dll") == 0)
        base.resize(base.size() - 4);
    else if (base.find('.') != std::string::npos)
        return Fail(kErrorModNotFound), nullptr;
    std::string host;
    const char* over = Env("SABREL_UNLHA_PATH");
    if (base == "unlha32" && over) {
        host = over;
    } else {
        char exe[4096];
        ssize_t n = ::readlink("/proc/self/exe", exe, sizeof exe - 1);
        if (n <= 0) return Fail(kErrorModNotFound), nullptr;
        exe[n] = 0;
        host = HostDirOf(exe) + "/lib" + base + ".so";
    }
    struct stat st;
    if (::stat(host.c_str(), &st) != 0 || S_ISDIR(st.st_mode))
        return Fail(kErrorModNotFound), nullptr;
    void* handle = ::dlopen(host.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) return Fail(kErrorBadFormat), nullptr;
    // A library that works on the system's files uses this platform's when
    // they are on a disk image, which one engine alone may write.
    if (!state_->imageWindir.empty()) {
        if (auto attach = reinterpret_cast<AttachFunction>(::dlsym(handle, kAttachSymbol)))
            attach(this);
    }
    std::lock_guard<std::mutex> lock(state_->libsMutex);
    state_->libraries.insert(handle);
    return handle;
}

void* OfflinePlatform::GetProcAddress(HMODULE module, const char* name) {
    {
        std::lock_guard<std::mutex> lock(state_->libsMutex);
        if (!module || state_->libraries.count(module) == 0)
            return Fail(kErrorInvalidHandle), nullptr;
    }
    if (!name) return Fail(kErrorProcNotFound), nullptr;
    void* fn = ::dlsym(module, name);
    if (!fn) return Fail(kErrorProcNotFound), nullptr;
    return fn;
}

BOOL OfflinePlatform::FreeLibrary(HMODULE module) {
    {
        std::lock_guard<std::mutex> lock(state_->libsMutex);
        auto it = state_->libraries.find(module);
        if (!module || it == state_->libraries.end()) return Fail(kErrorInvalidHandle);
        state_->libraries.erase(it);
        if (!state_->imageWindir.empty() && state_->libraries.count(module) == 0) {
            if (auto attach = reinterpret_cast<AttachFunction>(::dlsym(module, kAttachSymbol)))
                attach(nullptr);
        }
    }
    ::dlclose(module);
    return true;
}

// --- Single instance ----------------------------------------------------------------------

namespace {

std::string InstanceLockPath(const char* title) {
    std::string dir;
    if (const char* d = Env("SABREL_RUNTIME_DIR")) {
        dir = d;
    } else if (const char* x = Env("XDG_RUNTIME_DIR")) {
        dir = std::string(x) + "/sabrel";
    } else {
        dir = "/tmp/sabrel-" + std::to_string(::getuid());
    }
    ::mkdir(dir.c_str(), 0700);
    return dir + "/instance-" + HexOf(title ? title : "") + ".lock";
}

// A copy on the same installation holds a lock on its Windows folder,
// whatever its runtime folder.
bool InstallationHeld(const std::string& hostWindir) {
    if (hostWindir.empty()) return false;
    int fd = ::open(hostWindir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return false;
    bool held = ::flock(fd, LOCK_SH | LOCK_NB) != 0 && errno == EWOULDBLOCK;
    ::close(fd);
    return held;
}

// The folders that a run writes into: the Windows folder, HELP and every
// profile's folder.
std::vector<std::string> FoldersWeWrite(const std::string& hostWindir) {
    std::vector<std::string> folders{hostWindir};
    std::vector<std::string> profiles;
    if (DIR* dir = ::opendir(hostWindir.c_str())) {
        while (dirent* e = ::readdir(dir)) {
            std::string path = hostWindir + "/" + e->d_name;
            if (::strcasecmp(e->d_name, "HELP") == 0 && IsDir(path)) folders.push_back(path);
            if (::strcasecmp(e->d_name, "Profiles") == 0 && IsDir(path)) profiles.push_back(path);
        }
        ::closedir(dir);
    }
    for (const std::string& p : profiles) {
        DIR* dir = ::opendir(p.c_str());
        if (!dir) continue;
        while (dirent* e = ::readdir(dir)) {
            std::string name = e->d_name;
            if (name != "." && name != ".." && IsDir(p + "/" + name))
                folders.push_back(p + "/" + name);
        }
        ::closedir(dir);
    }
    return folders;
}

}  // namespace

bool OfflinePlatform::FindRunningInstance(const char*, const char* title) {
    if (InstallationHeld(state_->hostWindir)) return true;
    int fd = ::open(InstanceLockPath(title).c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;  // never claimed
    bool held = ::flock(fd, LOCK_SH | LOCK_NB) != 0 && errno == EWOULDBLOCK;
    ::close(fd);
    return held;
}

void OfflinePlatform::ClaimInstance(const char* title) {
    State& s = *state_;
    int fd = ::open(InstanceLockPath(title).c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd >= 0 && ::flock(fd, LOCK_EX | LOCK_NB) == 0) {
        if (s.instanceFd >= 0) ::close(s.instanceFd);
        s.instanceFd = fd;
    } else if (fd >= 0) {
        ::close(fd);
    }
    if (s.hostWindir.empty() || s.installationFd >= 0) return;
    int dir = ::open(s.hostWindir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir < 0) return;
    if (::flock(dir, LOCK_EX | LOCK_NB) != 0) {
        ::close(dir);
        return;
    }
    s.installationFd = dir;
    // With the installation to itself, this copy clears what killed runs
    // left behind.
    for (const std::string& folder : FoldersWeWrite(s.hostWindir))
        RemoveStaleTemporaryFiles(folder);
}

}  // namespace sabrel::platform::offline
