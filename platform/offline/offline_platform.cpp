#include "platform/offline/offline_platform.h"

#include <dirent.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <strings.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <set>
#include <thread>

#include "platform/offline/codepage.h"
#include "platform/offline/dos_attributes.h"
#include "platform/offline/dos_paths.h"
#include "platform/offline/host_files.h"
#include "platform/offline/profile.h"
#include "platform/offline/registry/registry_engine.h"
#include "platform/offline/restart.h"
#include "platform/offline/win32_errors.h"

namespace sabrel::platform::offline {

namespace {

constexpr DWORD kErrorNotLoggedOn = 1245;
constexpr DWORD kErrorDirectoryInvalid = 267;

// Windows 98 (second edition's build 2222).
constexpr DWORD kDefaultMajor = 4;
constexpr DWORD kDefaultMinor = 10;
constexpr DWORD kDefaultBuild = 0x040A08AE;
constexpr UINT kDefaultCodePage = 932;

const char* Env(const char* name) {
    const char* v = std::getenv(name);
    return (v && *v) ? v : nullptr;
}

// On the 9x family the build field carries major and minor version in its
// high word; a plain build number is widened to that form.
DWORD BuildField(DWORD major, DWORD minor, DWORD build, DWORD platformId) {
    if (platformId != kVerPlatformWin32Windows || build > 0xFFFF) return build;
    return (major & 0xFF) << 24 | (minor & 0xFF) << 16 | build;
}

bool ParseVersion(const char* text, DWORD* major, DWORD* minor, DWORD* build) {
    unsigned long a = 0, b = 0, c = 0;
    char tail = 0;
    if (std::sscanf(text, "%lu.%lu.%lu%c", &a, &b, &c, &tail) != 3) return false;
    *major = static_cast<DWORD>(a);
    *minor = static_cast<DWORD>(b);
    *build = static_cast<DWORD>(c);
    return true;
}

bool Fail(DWORD code) {
    ThreadLastError() = code;
    return false;
}

bool FailErrno(int err = errno) {
    return Fail(Win32FromErrno(err));
}

bool IsDir(const std::string& host) {
    struct stat st;
    return ::stat(host.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string HostDirOf(const std::string& host) {
    auto slash = host.find_last_of('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : host.substr(0, slash);
}

// Reads a whole host file. False with errno set.
bool ReadHostFile(const std::string& host, std::vector<std::uint8_t>* out) {
    int fd = ::open(host.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    struct stat st;
    if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
        int err = S_ISDIR(st.st_mode) ? EACCES : errno;
        ::close(fd);
        errno = err;
        return false;
    }
    std::vector<std::uint8_t> data;
    try {
        data.reserve(static_cast<std::size_t>(st.st_size));
    } catch (const std::bad_alloc&) {
        ::close(fd);
        errno = ENOMEM;
        return false;
    }
    std::uint8_t buf[65536];
    for (;;) {
        ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0) {
            if (errno == EINTR) continue;
            int err = errno;
            ::close(fd);
            errno = err;
            return false;
        }
        if (n == 0) break;
        data.insert(data.end(), buf, buf + n);
    }
    ::close(fd);
    *out = std::move(data);
    return true;
}

// Writes `data` to a new file beside `host` and renames it over `host`, so
// that the file appears whole or not at all. False with the last error set.
bool WriteHostFileAtomically(const std::string& host, const void* data, std::size_t size,
                             mode_t mode) {
    DWORD code = WriteHostFileBytes(host, kTempPrefix, Publish::kReplace, mode, data, size);
    return code == 0 || Fail(code);
}

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

std::string HexOf(const std::string& s) {
    static const char* digits = "0123456789abcdef";
    std::string out;
    for (unsigned char c : s) {
        out += digits[c >> 4];
        out += digits[c & 15];
    }
    return out;
}

// The entry of a host folder whose DOS name is `name` (ANSI, any case); empty
// when there is none.
std::string FindEntry(const std::string& hostDir, const std::string& name, const CodePage& cp) {
    std::vector<DosDirEntry> entries;
    if (ListDosDirectory(hostDir, cp, &entries)) {
        for (const auto& e : entries) {
            if (cp.EqualNoCase(e.longName, name)) return hostDir + "/" + e.hostName;
        }
    }
    return std::string();
}

// The installation's SYSTEM.DAT, whatever the case of its host name.
std::string FindSystemDat(const std::string& hostWindir) {
    std::string path = FindEntry(hostWindir, "SYSTEM.DAT", CodePage(kDefaultCodePage));
    return path.empty() ? hostWindir + "/SYSTEM.DAT" : path;
}

// The USER.DAT that Windows loads as HKEY_CURRENT_USER: with user profiles on,
// the logged-on user's in the folder Profiles (when it is there), else the
// Windows folder's own. Empty when there is none.
std::string FindUserDat(const std::string& hostWindir, bool userProfiles, const std::string& user,
                        const CodePage& cp) {
    if (userProfiles && !user.empty()) {
        std::string folder = FindEntry(hostWindir, "Profiles", cp);
        if (!folder.empty()) folder = FindEntry(folder, user, cp);
        std::string hive = folder.empty() ? folder : FindEntry(folder, "USER.DAT", cp);
        if (!hive.empty()) return hive;
    }
    return FindEntry(hostWindir, "USER.DAT", cp);
}

}  // namespace

struct OfflinePlatform::State {
    std::string hostWindir;
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

OfflinePlatform::OfflinePlatform() : state_(std::make_unique<State>()) {
    State& s = *state_;
    NewFileMode();  // reads the umask before any thread creates files
    s.hostWindir = HostWindowsDirectoryFromEnvironment();

    DWORD rawBuild = kDefaultBuild & 0xFFFF;
    UINT codePage = kDefaultCodePage;
    InstallationInfo info;
    if (!s.hostWindir.empty() && ReadInstallationInfo(FindSystemDat(s.hostWindir), &info)) {
        if (info.hasVersion) {
            s.major = info.major;
            s.minor = info.minor;
            rawBuild = info.build;
        }
        if (info.hasUser) {
            s.hasUser = true;
            s.user = info.user;
        }
        if (info.hasCodePage) codePage = info.codePage;
    }
    if (const char* v = Env("SABREL_VERSION")) ParseVersion(v, &s.major, &s.minor, &rawBuild);
    if (const char* p = Env("SABREL_PLATFORM")) s.platformId = static_cast<DWORD>(std::atoi(p));
    if (const char* c = Env("SABREL_CODEPAGE")) codePage = static_cast<UINT>(std::atoi(c));
    s.build = BuildField(s.major, s.minor, rawBuild, s.platformId);
    s.cp = CodePage(codePage);
    if (const char* u = Env("SABREL_USER")) {
        // The environment is UTF-8; a name that is not is taken as ANSI bytes.
        s.hasUser = true;
        if (!s.cp.FromHost(u, &s.user)) s.user = u;
    }
    s.paths = DosPaths(DriveCOf(s.hostWindir), s.cp);
    if (const char* strict = Env("SABREL_RESTART_STRICT")) s.strictRestart = std::atoi(strict) != 0;
    if (!s.hostWindir.empty()) {
        const std::string userDat =
            FindUserDat(s.hostWindir, info.userProfiles, s.hasUser ? s.user : "", s.cp);
        std::string separator;
        if (!userDat.empty() && ReadThousandSeparator(userDat, &separator)) {
            s.thousandSeparator = separator;
        }
    }
}

OfflinePlatform::~OfflinePlatform() {
    if (state_->instanceFd >= 0) ::close(state_->instanceFd);
    if (state_->installationFd >= 0) ::close(state_->installationFd);
}

RegistryEngine& OfflinePlatform::registry() {
    return state_->registry;
}
const std::string& OfflinePlatform::hostWindowsDirectory() const {
    return state_->hostWindir;
}

// --- Errors -----------------------------------------------------------------

DWORD OfflinePlatform::GetLastError() {
    return ThreadLastError();
}
void OfflinePlatform::SetLastError(DWORD code) {
    ThreadLastError() = code;
}

// --- System information -------------------------------------------------------

BOOL OfflinePlatform::GetVersionExA(OsVersionInfo* info) {
    if (!info) return Fail(kErrorInvalidParameter);
    if (info->dwOSVersionInfoSize != sizeof(OsVersionInfo) && info->dwOSVersionInfoSize != 156)
        return Fail(kErrorInsufficientBuffer);
    info->dwMajorVersion = state_->major;
    info->dwMinorVersion = state_->minor;
    info->dwBuildNumber = state_->build;
    info->dwPlatformId = state_->platformId;
    std::memset(info->szCSDVersion, 0, sizeof info->szCSDVersion);
    return true;
}

UINT OfflinePlatform::GetWindowsDirectoryA(char* buffer, UINT size) {
    const std::string& windir = state_->hostWindir;
    if (windir.empty()) return Fail(kErrorPathNotFound);
    std::string name = windir.substr(windir.find_last_of('/') + 1);
    std::string ansi;
    bool lossless = false;
    if (!state_->cp.FromHost(name, &ansi, &lossless) || !lossless) return Fail(kErrorInvalidName);
    std::string path = "C:\\" + ansi;
    if (!buffer || path.size() + 1 > size) {
        // Nothing usable goes into a buffer that is too small.
        if (buffer && size > 0) buffer[0] = 0;
        ThreadLastError() = kErrorInsufficientBuffer;
        return static_cast<UINT>(path.size() + 1);
    }
    std::memcpy(buffer, path.c_str(), path.size() + 1);
    return static_cast<UINT>(path.size());
}

BOOL OfflinePlatform::GetUserNameA(char* buffer, DWORD* size) {
    if (!size) return Fail(kErrorInvalidParameter);
    if (!state_->hasUser) return Fail(kErrorNotLoggedOn);
    const std::string& user = state_->user;
    DWORD needed = static_cast<DWORD>(user.size() + 1);
    if (!buffer || *size < needed) {
        if (buffer && *size > 0) buffer[0] = 0;
        *size = needed;
        return Fail(kErrorInsufficientBuffer);
    }
    std::memcpy(buffer, user.c_str(), needed);
    *size = needed;
    return true;
}

int OfflinePlatform::GetDbcsEnabled() {
    return state_->cp.IsDoubleByte() ? 1 : 0;
}

UINT OfflinePlatform::GetACP() {
    return state_->cp.number();
}

BOOL OfflinePlatform::GetCPInfo(UINT codePage, CpInfo* info) {
    if (!info) return Fail(kErrorInvalidParameter);
    // CP_ACP (0) and CP_THREAD_ACP (3) name the system's ANSI code page.
    if (codePage == 0 || codePage == 3) codePage = state_->cp.number();
    if (!DescribeCodePage(codePage, info)) return Fail(kErrorInvalidParameter);
    return true;
}

int OfflinePlatform::GetLocaleInfoA(LCID locale, LCTYPE type, char* data, int size) {
    if (locale != kLocaleUserDefault || size < 0 || (size > 0 && !data)) {
        Fail(kErrorInvalidParameter);
        return 0;
    }
    if (type != kLocaleSThousand) {
        Fail(kErrorInvalidFlags);
        return 0;
    }
    const std::string& text = state_->thousandSeparator;
    const int needed = static_cast<int>(text.size() + 1);
    if (size == 0) return needed;
    if (size < needed) {
        Fail(kErrorInsufficientBuffer);
        return 0;
    }
    std::memcpy(data, text.c_str(), text.size() + 1);
    return needed;
}

// --- Files and folders ----------------------------------------------------------

DWORD OfflinePlatform::GetFileAttributesA(const char* path) {
    if (!path) return Fail(kErrorInvalidParameter), kInvalidFileAttributes;
    DosPaths::Mapping m;
    if (!state_->paths.Map(path, &m) || !m.exists) {
        Fail(m.missingError ? m.missingError : kErrorFileNotFound);
        return kInvalidFileAttributes;
    }
    DWORD attrs = ReadDosAttributes(m.host);
    if (attrs == kInvalidFileAttributes) FailErrno();
    return attrs;
}

BOOL OfflinePlatform::SetFileAttributesA(const char* path, DWORD attributes) {
    if (!path) return Fail(kErrorInvalidParameter);
    DosPaths::Mapping m;
    if (!state_->paths.Map(path, &m) || !m.exists)
        return Fail(m.missingError ? m.missingError : kErrorFileNotFound);
    if (!WriteDosAttributes(m.host, attributes)) {
        return errno == ENOTSUP ? Fail(kErrorInvalidFunction) : FailErrno();
    }
    return true;
}

BOOL OfflinePlatform::DeleteFileA(const char* path) {
    if (!path) return Fail(kErrorInvalidParameter);
    DosPaths::Mapping m;
    if (!state_->paths.Map(path, &m) || !m.exists)
        return Fail(m.missingError ? m.missingError : kErrorFileNotFound);
    if (IsDir(m.host)) return Fail(kErrorAccessDenied);
    DWORD attrs = ReadDosAttributes(m.host);
    if (attrs != kInvalidFileAttributes && (attrs & kAttrReadOnly)) return Fail(kErrorAccessDenied);
    if (::unlink(m.host.c_str()) != 0) return FailErrno();
    return true;
}

BOOL OfflinePlatform::CopyFileA(const char* from, const char* to, BOOL failIfExists) {
    if (!from || !to) return Fail(kErrorInvalidParameter);
    DosPaths::Mapping src, dst;
    if (!state_->paths.Map(from, &src) || !src.exists)
        return Fail(src.missingError ? src.missingError : kErrorFileNotFound);
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
    if (!state_->paths.Map(from, &src) || !src.exists)
        return Fail(src.missingError ? src.missingError : kErrorFileNotFound);
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
    if (!state_->paths.Map(path, &m) || !m.exists)
        return Fail(m.missingError ? m.missingError : kErrorFileNotFound);
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
    if (!state_->paths.Map(path, &m) || !m.exists)
        return Fail(m.missingError ? m.missingError : kErrorFileNotFound);
    if (!ReadHostFile(m.host, out)) return FailErrno();
    return true;
}

BOOL OfflinePlatform::GetFileSizeByPath(const char* path, std::uint64_t* size) {
    if (!path || !size) return Fail(kErrorInvalidParameter);
    DosPaths::Mapping m;
    if (!state_->paths.Map(path, &m) || !m.exists)
        return Fail(m.missingError ? m.missingError : kErrorFileNotFound);
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

// --- Private profile --------------------------------------------------------------

namespace {

// A profile name without a folder lives in the Windows directory.
std::string ProfilePath(const char* file, const std::string& windowsDir, const CodePage& cp) {
    std::string f = file;
    for (std::size_t i = 0; i < f.size(); ++i) {
        auto c = static_cast<std::uint8_t>(f[i]);
        if (cp.IsLeadByte(c)) {
            ++i;
            continue;
        }
        if (c == '\\' || c == '/' || c == ':') return f;
    }
    // Without a Windows directory there is no place for it (an empty path
    // fails with 3).
    return windowsDir.empty() ? std::string() : windowsDir + "\\" + f;
}

bool HasLineBreak(const char* s) {
    return s && std::strpbrk(s, "\r\n") != nullptr;
}

// Copies `text` into a Win32 string buffer; returns the count copied.
DWORD CopyOut(const std::string& text, char* buffer, DWORD size) {
    if (size == 0) return 0;
    std::size_t n = text.size() < size ? text.size() : size - 1;
    std::memcpy(buffer, text.data(), n);
    buffer[n] = 0;
    return static_cast<DWORD>(n);
}

// Copies a list of names, each ended by NUL, the list by a second NUL.
DWORD CopyList(const std::vector<std::string>& names, char* buffer, DWORD size) {
    if (size < 2) {
        if (size == 1) buffer[0] = 0;
        return 0;
    }
    std::string all;
    for (const auto& n : names) all += n + '\0';
    if (all.size() + 1 > size) {
        std::memcpy(buffer, all.data(), size - 2);
        buffer[size - 2] = 0;
        buffer[size - 1] = 0;
        return size - 2;
    }
    std::memcpy(buffer, all.data(), all.size());
    buffer[all.size()] = 0;
    if (all.empty()) buffer[1] = 0;
    return static_cast<DWORD>(all.size());
}

}  // namespace

BOOL OfflinePlatform::WritePrivateProfileStringA(const char* section, const char* key,
                                                 const char* value, const char* file) {
    if (!file) return Fail(kErrorInvalidParameter);
    if (!section) return true;  // only flushes the cache on Windows
    // A line break would split the entry and plant lines of its own.
    if (HasLineBreak(section) || HasLineBreak(key) || HasLineBreak(value))
        return Fail(kErrorInvalidParameter);
    char windir[260];
    UINT n = GetWindowsDirectoryA(windir, sizeof windir);
    std::string dosPath = ProfilePath(file, (n > 0 && n < sizeof windir) ? windir : "", state_->cp);
    DosPaths::Mapping m;
    if (!state_->paths.Map(dosPath, &m)) return Fail(m.missingError);
    std::string text;
    DWORD attrs = kInvalidFileAttributes;
    mode_t mode = NewFileMode();
    if (m.exists) {
        std::vector<std::uint8_t> bytes;
        if (!ReadHostFile(m.host, &bytes)) return FailErrno();
        text.assign(bytes.begin(), bytes.end());
        attrs = ReadDosAttributes(m.host);
        struct stat st;
        if (::stat(m.host.c_str(), &st) == 0) mode = st.st_mode & 07777;
    }
    std::string keyText = key ? key : "";
    std::string valueText = value ? value : "";
    if (!profile::Write(&text, section, key ? &keyText : nullptr, value ? &valueText : nullptr,
                        state_->cp)) {
        return true;
    }
    if (attrs != kInvalidFileAttributes && (attrs & kAttrReadOnly)) return Fail(kErrorAccessDenied);
    if (!WriteHostFileAtomically(m.host, text.data(), text.size(), mode)) return false;
    if (attrs != kInvalidFileAttributes) WriteDosAttributes(m.host, attrs | kAttrArchive);
    return true;
}

DWORD OfflinePlatform::GetPrivateProfileStringA(const char* section, const char* key,
                                                const char* defaultValue, char* buffer, DWORD size,
                                                const char* file) {
    if (!file || !buffer) return Fail(kErrorInvalidParameter);
    char windir[260];
    UINT n = GetWindowsDirectoryA(windir, sizeof windir);
    std::string dosPath = ProfilePath(file, (n > 0 && n < sizeof windir) ? windir : "", state_->cp);
    std::string text;
    DosPaths::Mapping m;
    if (state_->paths.Map(dosPath, &m) && m.exists) {
        std::vector<std::uint8_t> bytes;
        if (ReadHostFile(m.host, &bytes)) text.assign(bytes.begin(), bytes.end());
    }
    ThreadLastError() = kErrorSuccess;
    if (!section) return CopyList(profile::SectionNames(text, state_->cp), buffer, size);
    if (!key) return CopyList(profile::KeyNames(text, section, state_->cp), buffer, size);
    std::string value;
    if (!profile::Find(text, section, key, &value, state_->cp)) {
        value = defaultValue ? defaultValue : "";
        while (!value.empty() && value.back() == ' ') value.pop_back();
        ThreadLastError() = kErrorFileNotFound;
    }
    return CopyOut(value, buffer, size);
}

// --- Registry ---------------------------------------------------------------------
//
// The registry functions of Windows 95/98/Me are documented to report through
// their result only. Whether they also change the thread's last error is not
// documented, for success or failure, and we have not measured it on every
// release; we know of none of these five calls that sets it. We chose the
// reading of the documented contract: every registry call here leaves the
// thread's last error exactly as it was. A message that shows the last error
// after a failed registry call therefore shows what an earlier call left.

LONG OfflinePlatform::RegOpenKeyExA(HKEY root, const char* subKey, DWORD, REGSAM access,
                                    HKEY* result) {
    if (!result) return kErrorInvalidParameter;
    return state_->registry.OpenKey(root, subKey ? subKey : "", access, result);
}

LONG OfflinePlatform::RegCloseKey(HKEY key) {
    return state_->registry.CloseKey(key);
}

LONG OfflinePlatform::RegLoadKeyA(HKEY root, const char* subKey, const char* file) {
    if (!subKey || !file) return kErrorInvalidParameter;
    DosPaths::Mapping m;
    if (!state_->paths.Map(file, &m) || !m.exists)
        return static_cast<LONG>(m.missingError ? m.missingError : kErrorFileNotFound);
    return state_->registry.LoadKey(root, subKey, m.host);
}

LONG OfflinePlatform::RegSaveKeyA(HKEY key, const char* file, void*) {
    if (!file) return kErrorInvalidParameter;
    DosPaths::Mapping m;
    if (!state_->paths.Map(file, &m)) return static_cast<LONG>(m.missingError);
    if (m.exists) return kErrorAlreadyExists;
    return state_->registry.SaveKey(key, m.host);
}

LONG OfflinePlatform::RegUnLoadKeyA(HKEY root, const char* subKey) {
    if (!subKey) return kErrorInvalidParameter;
    return state_->registry.UnLoadKey(root, subKey);
}

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
    if (!(flags & kEwxReboot) || state_->hostWindir.empty()) return true;
    RestartMode mode = state_->strictRestart ? RestartMode::kStrict : RestartMode::kSafe;
    RestartResult r = CarryOutWininit(state_->paths, state_->hostWindir, mode);
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
