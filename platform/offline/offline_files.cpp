// SPDX-License-Identifier: MIT
// The offline platform's files and folders: argument checks and DOS
// wildcards here, the files themselves in the platform's file store.
#include <cstring>
#include <memory>
#include <vector>

#include "platform/offline/file_store.h"
#include "platform/offline/offline_state.h"

namespace sabrel::platform::offline {

namespace {

struct FindState {
    std::vector<FindData> entries;
    std::size_t next = 0;
};

// DOS wildcard match ('*' any run, '?' one character), ASCII case ignored,
// double-byte characters taken whole.
bool WildcardMatch(const std::string& pattern, std::size_t pi, const std::string& name,
                   std::size_t ni, const CodePage& cp) {
    while (pi < pattern.size()) {
        char pc = pattern[pi];
        if (pc == '*') {
            while (pi < pattern.size() && pattern[pi] == '*') ++pi;
            if (pi == pattern.size()) return true;
            for (std::size_t k = ni; k <= name.size();) {
                if (WildcardMatch(pattern, pi, name, k, cp)) return true;
                if (k == name.size()) break;
                k += cp.IsLeadByte(static_cast<std::uint8_t>(name[k])) ? 2 : 1;
            }
            return false;
        }
        if (ni >= name.size()) {
            // A trailing ".*" or "." also matches a name without extension.
            if (pc == '.') {
                std::size_t rest = pi + 1;
                while (rest < pattern.size() && pattern[rest] == '*') ++rest;
                return rest == pattern.size();
            }
            return false;
        }
        std::size_t plen = cp.IsLeadByte(static_cast<std::uint8_t>(pc)) ? 2 : 1;
        std::size_t nlen = cp.IsLeadByte(static_cast<std::uint8_t>(name[ni])) ? 2 : 1;
        if (pc == '?') {
            pi += 1;
            ni += nlen;
            continue;
        }
        if (!cp.EqualNoCase(pattern.substr(pi, plen), name.substr(ni, nlen))) return false;
        pi += plen;
        ni += nlen;
    }
    return ni >= name.size();
}

bool MatchesPattern(const std::string& pattern, const std::string& name, const CodePage& cp) {
    if (pattern == "*.*" || pattern == "*") return true;
    return WildcardMatch(pattern, 0, name, 0, cp);
}

bool HasWildcard(const std::string& s) {
    return s.find_first_of("*?") != std::string::npos;
}

}  // namespace

// --- Files and folders ----------------------------------------------------------

DWORD OfflinePlatform::GetFileAttributesA(const char* path) {
    if (!path) return Fail(kErrorInvalidParameter), kInvalidFileAttributes;
    return state_->store->GetAttributes(path);
}

BOOL OfflinePlatform::SetFileAttributesA(const char* path, DWORD attributes) {
    if (!path) return Fail(kErrorInvalidParameter);
    return state_->store->SetAttributes(path, attributes);
}

BOOL OfflinePlatform::DeleteFileA(const char* path) {
    if (!path) return Fail(kErrorInvalidParameter);
    return state_->store->DeleteFile(path);
}

BOOL OfflinePlatform::CopyFileA(const char* from, const char* to, BOOL failIfExists) {
    if (!from || !to) return Fail(kErrorInvalidParameter);
    return state_->store->CopyFile(from, to, failIfExists != 0);
}

BOOL OfflinePlatform::MoveFileA(const char* from, const char* to) {
    if (!from || !to) return Fail(kErrorInvalidParameter);
    return state_->store->MoveFile(from, to);
}

BOOL OfflinePlatform::CreateDirectoryA(const char* path) {
    if (!path) return Fail(kErrorInvalidParameter);
    return state_->store->CreateDirectory(path);
}

BOOL OfflinePlatform::RemoveDirectoryA(const char* path) {
    if (!path) return Fail(kErrorInvalidParameter);
    return state_->store->RemoveDirectory(path);
}

FindHandle OfflinePlatform::FindFirstFileA(const char* pattern, FindData* data) {
    if (!pattern || !data) return Fail(kErrorInvalidParameter), kInvalidFindHandle;
    std::string folder, last;
    state_->paths.SplitLast(pattern, &folder, &last);
    if (last.empty()) return Fail(kErrorFileNotFound), kInvalidFindHandle;
    std::vector<FindData> entries;
    if (!state_->store->List(folder, &entries)) return kInvalidFindHandle;
    const CodePage& cp = state_->cp;
    auto state = std::make_unique<FindState>();
    for (auto& e : entries) {
        bool match =
            MatchesPattern(last, e.cFileName, cp) ||
            (!e.cAlternateFileName.empty() && MatchesPattern(last, e.cAlternateFileName, cp));
        if (match) state->entries.push_back(std::move(e));
    }
    if (state->entries.empty()) return Fail(kErrorFileNotFound), kInvalidFindHandle;
    *data = state->entries[0];
    state->next = 1;
    ThreadLastError() = kErrorSuccess;
    return state.release();
}

BOOL OfflinePlatform::FindNextFileA(FindHandle handle, FindData* data) {
    if (!handle || handle == kInvalidFindHandle || !data) return Fail(kErrorInvalidHandle);
    auto* state = static_cast<FindState*>(handle);
    if (state->next >= state->entries.size()) return Fail(kErrorNoMoreFiles);
    *data = state->entries[state->next++];
    return true;
}

BOOL OfflinePlatform::FindClose(FindHandle handle) {
    if (!handle || handle == kInvalidFindHandle) return Fail(kErrorInvalidHandle);
    delete static_cast<FindState*>(handle);
    return true;
}

DWORD OfflinePlatform::GetShortPathNameA(const char* longPath, char* buffer, DWORD size) {
    if (!longPath) return Fail(kErrorInvalidParameter);
    if (HasWildcard(longPath)) return Fail(kErrorInvalidName);
    std::string shortPath;
    if (!state_->store->ShortPath(longPath, &shortPath)) return 0;
    if (!buffer || shortPath.size() + 1 > size) {
        if (buffer && size > 0) buffer[0] = 0;
        ThreadLastError() = kErrorInsufficientBuffer;
        return static_cast<DWORD>(shortPath.size() + 1);
    }
    std::memcpy(buffer, shortPath.c_str(), shortPath.size() + 1);
    return static_cast<DWORD>(shortPath.size());
}

BOOL OfflinePlatform::ReadWholeFile(const char* path, std::vector<std::uint8_t>* out) {
    if (!path || !out) return Fail(kErrorInvalidParameter);
    return state_->store->ReadFile(path, out);
}

std::unique_ptr<FileImage> OfflinePlatform::OpenFileImage(const char* path) {
    if (!path) {
        Fail(kErrorInvalidParameter);
        return nullptr;
    }
    return state_->store->OpenImage(path);
}

BOOL OfflinePlatform::GetFileSizeByPath(const char* path, std::uint64_t* size) {
    if (!path || !size) return Fail(kErrorInvalidParameter);
    return state_->store->FileSize(path, size);
}

BOOL OfflinePlatform::GetFileDosTime(const char* path, std::uint16_t* date, std::uint16_t* time) {
    if (!path || !date || !time) return Fail(kErrorInvalidParameter);
    return state_->store->DosTime(path, date, time);
}

BOOL OfflinePlatform::WriteWholeFile(const char* path, const void* data, std::size_t size) {
    if (!path || (!data && size > 0)) return Fail(kErrorInvalidParameter);
    return state_->store->WriteFile(path, data, size);
}

}  // namespace sabrel::platform::offline
