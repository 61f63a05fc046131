// SPDX-License-Identifier: MIT
#include "tests/support/fault_platform.h"

#include <sys/stat.h>
#include <unistd.h>

#include "platform/offline/dos_paths.h"

namespace sabrel::test {

namespace {

// Leaves the first half of a file that was just written, as a write-back
// that stopped half way does.
void TearFile(const char* dosPath) {
    std::string host = platform::offline::MapDosPathFromEnvironment(dosPath);
    struct stat st;
    if (!host.empty() && ::stat(host.c_str(), &st) == 0) {
        if (::truncate(host.c_str(), st.st_size / 2) != 0) ::unlink(host.c_str());
    }
}

}  // namespace

const char* KindName(FaultKind kind) {
    static const char* const names[] = {"create",  "write",   "flush",      "close",   "move",
                                        "delete",  "copy",    "attributes", "ini",     "mkdir",
                                        "regload", "regsave", "regunload",  "library", "thread"};
    return kind < FaultKind::kCount ? names[static_cast<int>(kind)] : "none";
}

void FaultPlatform::FailAt(FaultKind kind, int n, platform::DWORD code) {
    failKind_ = kind;
    failAt_ = n;
    failCode_ = code;
}

void FaultPlatform::KillAt(int n, bool torn, int exitCode) {
    killAt_ = n;
    torn_ = torn;
    killExit_ = exitCode;
}

std::vector<int> FaultPlatform::FileWriteCalls() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return fileWrites_;
}

std::string FaultPlatform::FiredText() const {
    return firedText_;
}

FaultPlatform::Outcome FaultPlatform::Enter(std::initializer_list<FaultKind> kinds, bool tearable) {
    std::lock_guard<std::mutex> lock(mutex_);
    int total = ++total_;
    Outcome outcome = Outcome::kPass;
    for (FaultKind k : kinds) {
        int n = ++calls_[static_cast<int>(k)];
        if (k == failKind_ && n == failAt_ && !fired_) {
            fired_ = true;
            firedText_ = std::string(KindName(k)) + " " + std::to_string(n) + " error " +
                         std::to_string(failCode_);
            outcome = k == FaultKind::kFlush   ? Outcome::kFlush
                      : k == FaultKind::kClose ? Outcome::kClose
                                               : Outcome::kFail;
        }
    }
    if (tearable) fileWrites_.push_back(total);
    if (killAt_ == total) {
        if (torn_ && tearable) return Outcome::kTorn;
        ::_exit(killExit_);
    }
    return outcome;
}

platform::BOOL FaultPlatform::FileWrite(std::initializer_list<FaultKind> kinds, const char* path,
                                        bool tearable,
                                        const std::function<platform::BOOL()>& write) {
    Outcome o = Enter(kinds, tearable);
    if (o == Outcome::kFail || (!tearable && (o == Outcome::kFlush || o == Outcome::kClose))) {
        inner_->SetLastError(failCode_);
        return 0;
    }
    platform::BOOL r = write();
    if (!r) return r;
    switch (o) {
        case Outcome::kTorn:
            TearFile(path);
            ::_exit(killExit_);
        case Outcome::kFlush:
            TearFile(path);
            inner_->SetLastError(failCode_);
            return 0;
        case Outcome::kClose:
            inner_->SetLastError(failCode_);
            return 0;
        default:
            return r;
    }
}

platform::BOOL FaultPlatform::SetFileAttributesA(const char* path, platform::DWORD attributes) {
    if (Enter({FaultKind::kAttributes}) == Outcome::kFail) {
        inner_->SetLastError(failCode_);
        return 0;
    }
    return inner_->SetFileAttributesA(path, attributes);
}

platform::BOOL FaultPlatform::DeleteFileA(const char* path) {
    if (Enter({FaultKind::kDelete}) == Outcome::kFail) {
        inner_->SetLastError(failCode_);
        return 0;
    }
    return inner_->DeleteFileA(path);
}

platform::BOOL FaultPlatform::RemoveDirectoryA(const char* path) {
    if (Enter({FaultKind::kDelete}) == Outcome::kFail) {
        inner_->SetLastError(failCode_);
        return 0;
    }
    return inner_->RemoveDirectoryA(path);
}

platform::BOOL FaultPlatform::CopyFileA(const char* from, const char* to,
                                        platform::BOOL failIfExists) {
    auto copy = [&] { return inner_->CopyFileA(from, to, failIfExists); };
    if (Missing(to)) {
        return FileWrite(
            {FaultKind::kCreate, FaultKind::kCopy, FaultKind::kFlush, FaultKind::kClose}, to, true,
            copy);
    }
    return FileWrite({FaultKind::kCopy, FaultKind::kFlush, FaultKind::kClose}, to, true, copy);
}

platform::BOOL FaultPlatform::MoveFileA(const char* from, const char* to) {
    if (Enter({FaultKind::kMove}) == Outcome::kFail) {
        inner_->SetLastError(failCode_);
        return 0;
    }
    return inner_->MoveFileA(from, to);
}

platform::BOOL FaultPlatform::CreateDirectoryA(const char* path) {
    if (Enter({FaultKind::kMkdir}) == Outcome::kFail) {
        inner_->SetLastError(failCode_);
        return 0;
    }
    return inner_->CreateDirectoryA(path);
}

platform::BOOL FaultPlatform::WriteWholeFile(const char* path, const void* data, std::size_t size) {
    auto write = [&] { return inner_->WriteWholeFile(path, data, size); };
    if (Missing(path)) {
        return FileWrite(
            {FaultKind::kCreate, FaultKind::kWrite, FaultKind::kFlush, FaultKind::kClose}, path,
            false, write);
    }
    return FileWrite({FaultKind::kWrite, FaultKind::kFlush, FaultKind::kClose}, path, false, write);
}

platform::BOOL FaultPlatform::WritePrivateProfileStringA(const char* section, const char* key,
                                                         const char* value, const char* file) {
    if (Enter({FaultKind::kIniWrite}) == Outcome::kFail) {
        inner_->SetLastError(failCode_);
        return 0;
    }
    return inner_->WritePrivateProfileStringA(section, key, value, file);
}

platform::LONG FaultPlatform::RegLoadKeyA(platform::HKEY root, const char* subKey,
                                          const char* file) {
    if (Enter({FaultKind::kRegLoad}) == Outcome::kFail) {
        inner_->SetLastError(failCode_);
        return static_cast<platform::LONG>(failCode_);
    }
    return inner_->RegLoadKeyA(root, subKey, file);
}

platform::LONG FaultPlatform::RegSaveKeyA(platform::HKEY key, const char* file, void* sa) {
    platform::LONG result = 0;
    platform::BOOL ok =
        FileWrite({FaultKind::kRegSave, FaultKind::kCreate, FaultKind::kFlush, FaultKind::kClose},
                  file, true, [&] {
                      result = inner_->RegSaveKeyA(key, file, sa);
                      return result == 0 ? 1 : 0;
                  });
    if (ok) return 0;
    return result != 0 ? result : static_cast<platform::LONG>(failCode_);
}

platform::LONG FaultPlatform::RegUnLoadKeyA(platform::HKEY root, const char* subKey) {
    if (Enter({FaultKind::kRegUnload}) == Outcome::kFail) {
        inner_->SetLastError(failCode_);
        return static_cast<platform::LONG>(failCode_);
    }
    return inner_->RegUnLoadKeyA(root, subKey);
}

platform::BOOL FaultPlatform::CreateThread(platform::ThreadProc proc, void* param,
                                           platform::DWORD* threadId) {
    if (Enter({FaultKind::kThread}) == Outcome::kFail) {
        inner_->SetLastError(failCode_);
        return 0;
    }
    return inner_->CreateThread(proc, param, threadId);
}

platform::HMODULE FaultPlatform::LoadLibraryA(const char* name) {
    if (Enter({FaultKind::kLibrary}) == Outcome::kFail) {
        inner_->SetLastError(failCode_);
        return nullptr;
    }
    return inner_->LoadLibraryA(name);
}

void* FaultPlatform::GetProcAddress(platform::HMODULE module, const char* name) {
    if (Enter({FaultKind::kLibrary}) == Outcome::kFail) {
        inner_->SetLastError(failCode_);
        return nullptr;
    }
    return inner_->GetProcAddress(module, name);
}

}  // namespace sabrel::test
