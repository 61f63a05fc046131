// SPDX-License-Identifier: MIT
// The offline platform's files and folders: DOS paths mapped onto the host,
// DOS wildcards, attributes, and whole-file reads and writes.
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <memory>
#include <vector>

#include "platform/offline/dos_attributes.h"
#include "platform/offline/host_files.h"
#include "platform/offline/offline_state.h"

namespace sabrel::platform::offline {

namespace {

constexpr DWORD kErrorDirectoryInvalid = 267;

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
    DosPaths::Mapping m;
    if (!MapExisting(state_->paths, path, &m)) return kInvalidFileAttributes;
    DWORD attrs = ReadDosAttributes(m.host);
    if (attrs == kInvalidFileAttributes) FailErrno();
    return attrs;
}

BOOL OfflinePlatform::SetFileAttributesA(const char* path, DWORD attributes) {
    if (!path) return Fail(kErrorInvalidParameter);
    DosPaths::Mapping m;
    if (!MapExisting(state_->paths, path, &m)) return false;
    if (!WriteDosAttributes(m.host, attributes)) {
        return errno == ENOTSUP ? Fail(kErrorInvalidFunction) : FailErrno();
    }
    return true;
}

BOOL OfflinePlatform::DeleteFileA(const char* path) {
    if (!path) return Fail(kErrorInvalidParameter);
    DosPaths::Mapping m;
    if (!MapExisting(state_->paths, path, &m)) return false;
    if (IsDir(m.host)) return Fail(kErrorAccessDenied);
    DWORD attrs = ReadDosAttributes(m.host);
    if (attrs != kInvalidFileAttributes && (attrs & kAttrReadOnly)) return Fail(kErrorAccessDenied);
    if (::unlink(m.host.c_str()) != 0) return FailErrno();
    return true;
}

BOOL OfflinePlatform::CopyFileA(const char* from, const char* to, BOOL failIfExists) {
    if (!from || !to) return Fail(kErrorInvalidParameter);
    DosPaths::Mapping src, dst;
    if (!MapExisting(state_->paths, from, &src)) return false;
    if (IsDir(src.host)) return Fail(kErrorAccessDenied);
    if (!state_->paths.Map(to, &dst)) return Fail(dst.missingError);
    if (dst.exists) {
        if (failIfExists) return Fail(kErrorFileExists);
        if (IsDir(dst.host)) return Fail(kErrorAccessDenied);
        DWORD attrs = ReadDosAttributes(dst.host);
        if (attrs != kInvalidFileAttributes && (attrs & kAttrReadOnly))
            return Fail(kErrorAccessDenied);
        if (dst.host == src.host) return Fail(kErrorSharingViolation);
    }
    std::vector<std::uint8_t> data;
    if (!ReadHostFile(src.host, &data)) return FailErrno();
    DWORD srcAttrs = ReadDosAttributes(src.host);
    if (!WriteHostFileAtomically(dst.host, data.data(), data.size(), NewFileMode())) return false;
    // The copy takes the source's attributes, as on Windows.
    if (srcAttrs != kInvalidFileAttributes) WriteDosAttributes(dst.host, srcAttrs | kAttrArchive);
    return true;
}

BOOL OfflinePlatform::MoveFileA(const char* from, const char* to) {
    if (!from || !to) return Fail(kErrorInvalidParameter);
    DosPaths::Mapping src, dst;
    if (!MapExisting(state_->paths, from, &src)) return false;
    if (!state_->paths.Map(to, &dst)) return Fail(dst.missingError);
    if (dst.exists && dst.host != src.host) return Fail(kErrorAlreadyExists);
    if (::rename(src.host.c_str(), dst.host.c_str()) == 0) return true;
    if (errno != EXDEV || IsDir(src.host)) return FailErrno();
    // Across file systems: copy, then remove the source.
    std::vector<std::uint8_t> data;
    if (!ReadHostFile(src.host, &data)) return FailErrno();
    DWORD attrs = ReadDosAttributes(src.host);
    if (!WriteHostFileAtomically(dst.host, data.data(), data.size(), NewFileMode())) return false;
    if (attrs != kInvalidFileAttributes) WriteDosAttributes(dst.host, attrs);
    if (::unlink(src.host.c_str()) != 0) return FailErrno();
    return true;
}

BOOL OfflinePlatform::CreateDirectoryA(const char* path) {
    if (!path) return Fail(kErrorInvalidParameter);
    DosPaths::Mapping m;
    if (!state_->paths.Map(path, &m)) return Fail(m.missingError);
    if (m.exists) return Fail(kErrorAlreadyExists);
    if (::mkdir(m.host.c_str(), 0777) != 0) {
        return errno == EEXIST ? Fail(kErrorAlreadyExists)
                               : (errno == ENOENT ? Fail(kErrorPathNotFound) : FailErrno());
    }
    return true;
}

BOOL OfflinePlatform::RemoveDirectoryA(const char* path) {
    if (!path) return Fail(kErrorInvalidParameter);
    DosPaths::Mapping m;
    if (!MapExisting(state_->paths, path, &m)) return false;
    if (!IsDir(m.host)) return Fail(kErrorDirectoryInvalid);
    if (::rmdir(m.host.c_str()) != 0) {
        return (errno == ENOTEMPTY || errno == EEXIST) ? Fail(kErrorDirNotEmpty) : FailErrno();
    }
    return true;
}

FindHandle OfflinePlatform::FindFirstFileA(const char* pattern, FindData* data) {
    if (!pattern || !data) return Fail(kErrorInvalidParameter), kInvalidFindHandle;
    std::string folder, last;
    state_->paths.SplitLast(pattern, &folder, &last);
    if (last.empty()) return Fail(kErrorFileNotFound), kInvalidFindHandle;
    std::string hostDir;
    if (folder.empty()) {
        char cwd[4096];
        if (!getcwd(cwd, sizeof cwd)) return FailErrno(), kInvalidFindHandle;
        hostDir = cwd;
    } else {
        DosPaths::Mapping m;
        if (!state_->paths.Map(folder, &m) || !m.exists)
            return Fail(kErrorPathNotFound), kInvalidFindHandle;
        hostDir = m.host;
        if (!IsDir(hostDir)) return Fail(kErrorPathNotFound), kInvalidFindHandle;
    }
    const CodePage& cp = state_->cp;
    auto state = std::make_unique<FindState>();
    // Every folder but a drive's root lists "." and "..", as on Windows.
    bool root = hostDir == state_->paths.driveC();
    if (!root) {
        for (const char* dot : {".", ".."}) {
            if (!MatchesPattern(last, dot, cp)) continue;
            FindData d;
            d.dwFileAttributes = ReadDosAttributes(hostDir);
            if (d.dwFileAttributes == kInvalidFileAttributes) d.dwFileAttributes = kAttrDirectory;
            d.cFileName = dot;
            state->entries.push_back(d);
        }
    }
    std::vector<DosDirEntry> entries;
    if (!ListDosDirectory(hostDir, cp, &entries)) return FailErrno(), kInvalidFindHandle;
    for (const auto& e : entries) {
        if (!MatchesPattern(last, e.longName, cp) && !MatchesPattern(last, e.alias, cp)) continue;
        std::string host = hostDir + "/" + e.hostName;
        struct stat st;
        if (::stat(host.c_str(), &st) != 0) continue;  // dangling link or gone since
        FindData d;
        d.dwFileAttributes = ReadDosAttributes(host);
        if (d.dwFileAttributes == kInvalidFileAttributes) continue;
        d.nFileSize = S_ISDIR(st.st_mode) ? 0 : static_cast<std::uint64_t>(st.st_size);
        d.cFileName = e.longName;
        if (e.alias != e.longName) d.cAlternateFileName = e.alias;
        state->entries.push_back(std::move(d));
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
    DWORD error = 0;
    if (!state_->paths.ShortPath(longPath, &shortPath, &error)) return Fail(error);
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
    DosPaths::Mapping m;
    if (!MapExisting(state_->paths, path, &m)) return false;
    if (!ReadHostFile(m.host, out)) return FailErrno();
    return true;
}

BOOL OfflinePlatform::GetFileSizeByPath(const char* path, std::uint64_t* size) {
    if (!path || !size) return Fail(kErrorInvalidParameter);
    DosPaths::Mapping m;
    if (!MapExisting(state_->paths, path, &m)) return false;
    struct stat st;
    if (::stat(m.host.c_str(), &st) != 0) return FailErrno();
    if (S_ISDIR(st.st_mode)) return Fail(kErrorAccessDenied);
    *size = static_cast<std::uint64_t>(st.st_size);
    return true;
}

BOOL OfflinePlatform::WriteWholeFile(const char* path, const void* data, std::size_t size) {
    if (!path || (!data && size > 0)) return Fail(kErrorInvalidParameter);
    DosPaths::Mapping m;
    if (!state_->paths.Map(path, &m)) return Fail(m.missingError);
    DWORD attrs = kInvalidFileAttributes;
    if (m.exists) {
        if (IsDir(m.host)) return Fail(kErrorAccessDenied);
        attrs = ReadDosAttributes(m.host);
        if (attrs != kInvalidFileAttributes && (attrs & kAttrReadOnly))
            return Fail(kErrorAccessDenied);
    }
    if (!WriteHostFileAtomically(m.host, data, size, NewFileMode())) return false;
    // A replaced file keeps its hidden and system attributes.
    if (attrs != kInvalidFileAttributes) WriteDosAttributes(m.host, attrs | kAttrArchive);
    return true;
}

}  // namespace sabrel::platform::offline
