// SPDX-License-Identifier: MIT
// The offline platform's construction from the environment and the
// installation on disk, its errors and its system information. The other
// services live in offline_files.cpp, offline_registry.cpp and
// offline_process.cpp.
#include "platform/offline/offline_platform.h"

#include <dlfcn.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

#include "common/format.h"
#include "common/texts.h"
#include "platform/offline/host_files.h"
#include "platform/offline/host_store.h"
#include "platform/offline/image_store.h"
#include "platform/offline/offline_state.h"
#include "platform/offline/profile.h"

namespace sabrel::platform::offline {

namespace {

constexpr DWORD kErrorNotLoggedOn = 1245;

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

bool IsDir(const std::string& host) {
    struct stat st;
    return ::stat(host.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// The version, the user and the code page: what the installation's
// SYSTEM.DAT says (when it could be read), then the environment's overrides.
// The environment is UTF-8; a user name that is not is taken as ANSI bytes.
UINT OfflinePlatform::TakeIdentity(const InstallationInfo* info) {
    State& s = *state_;
    DWORD rawBuild = kDefaultBuild & 0xFFFF;
    UINT codePage = kDefaultCodePage;
    if (info && info->hasVersion) {
        s.major = info->major;
        s.minor = info->minor;
        rawBuild = info->build;
    }
    if (info && info->hasUser) {
        s.hasUser = true;
        s.user = info->user;
    }
    if (info && info->hasCodePage) codePage = info->codePage;
    if (const char* v = Env("SABREL_VERSION")) ParseVersion(v, &s.major, &s.minor, &rawBuild);
    if (const char* p = Env("SABREL_PLATFORM")) s.platformId = static_cast<DWORD>(std::atoi(p));
    if (const char* c = Env("SABREL_CODEPAGE")) codePage = static_cast<UINT>(std::atoi(c));
    s.build = BuildField(s.major, s.minor, rawBuild, s.platformId);
    s.cp = CodePage(codePage);
    if (const char* u = Env("SABREL_USER")) {
        s.hasUser = true;
        if (!s.cp.FromHost(u, &s.user)) s.user = u;
    }
    return codePage;
}

OfflinePlatform::OfflinePlatform() : state_(std::make_unique<State>()) {
    State& s = *state_;
    s.store = MakeHostStore(&s.paths, &s.hostWindir);
    NewFileMode();  // reads the umask before any thread creates files
    s.hostWindir = HostWindowsDirectoryFromEnvironment();

    InstallationInfo info;
    const bool read =
        !s.hostWindir.empty() && ReadInstallationInfo(FindSystemDat(s.hostWindir), &info);
    TakeIdentity(read ? &info : nullptr);
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

OfflinePlatform::OfflinePlatform(std::unique_ptr<ImageStore> image, const std::string& dosWindir)
    : state_(std::make_unique<State>()) {
    State& s = *state_;
    ImageStore& store = *image;
    s.store = std::move(image);
    s.imageWindir = dosWindir;

    InstallationInfo info;
    std::vector<std::uint8_t> bytes;
    const bool read = store.ReadFile(dosWindir + "\\SYSTEM.DAT", &bytes) &&
                      ReadInstallationInfo(std::move(bytes), &info);
    store.UseCodePage(TakeIdentity(read ? &info : nullptr));
    // Only the path syntax is used of it: every file goes through the store.
    s.paths = DosPaths(std::string(), s.cp);
    if (const char* strict = Env("SABREL_RESTART_STRICT")) s.strictRestart = std::atoi(strict) != 0;
    // HKEY_CURRENT_USER's hive: the logged-on user's profile, else the
    // Windows folder's own.
    std::vector<std::string> userDats;
    if (info.userProfiles && s.hasUser && !s.user.empty())
        userDats.push_back(dosWindir + "\\Profiles\\" + s.user + "\\USER.DAT");
    userDats.push_back(dosWindir + "\\USER.DAT");
    for (const std::string& path : userDats) {
        std::vector<std::uint8_t> user;
        if (!store.ReadFile(path, &user)) continue;
        std::string separator;
        if (ReadThousandSeparator(std::move(user), &separator)) s.thousandSeparator = separator;
        break;
    }
}

namespace {

std::string Quoted(const std::string& hostText, UINT codePage) {
    std::string ansi;
    if (!CodePage(codePage).FromHost(hostText, &ansi)) ansi = hostText;
    return ansi;
}

}  // namespace

std::unique_ptr<OfflinePlatform> OfflinePlatform::OpenImage(const std::string& image,
                                                            unsigned partition,
                                                            const std::string& dosWindir,
                                                            std::string* message) {
    UINT codePage = kDefaultCodePage;
    if (const char* c = Env("SABREL_CODEPAGE")) codePage = static_cast<UINT>(std::atoi(c));
    const std::string name = Quoted(image, codePage);
    std::unique_ptr<ImageStore> store;
    std::string foreign;
    using fat::ImageError;
    switch (ImageStore::Open(image, partition, codePage, &store, &foreign)) {
        case ImageError::kNone:
            break;
        case ImageError::kNotFound:
            *message = Format(texts::kMsgImageNotFound, name.c_str());
            return nullptr;
        case ImageError::kAccess:
            *message = Format(texts::kMsgImageAccess, name.c_str());
            return nullptr;
        case ImageError::kLocked:
            *message = Format(texts::kMsgImageLocked, name.c_str());
            return nullptr;
        case ImageError::kForeignContainer:
            *message = Format(texts::kMsgImageForeign, name.c_str(), foreign.c_str(), name.c_str());
            return nullptr;
        case ImageError::kUnsupportedVhd:
            *message = Format(texts::kMsgImageUnsupportedVhd, name.c_str(), name.c_str());
            return nullptr;
        case ImageError::kNoVolume:
            *message = Format(texts::kMsgImageNoVolume, name.c_str());
            return nullptr;
        case ImageError::kNoSuchPartition:
            *message = Format(texts::kMsgImageNoSuchPartition, name.c_str(), partition);
            return nullptr;
        case ImageError::kAmbiguous:
            *message = Format(texts::kMsgImageAmbiguous, name.c_str());
            return nullptr;
        case ImageError::kCorrupt:
        default:
            *message = Format(texts::kMsgImageCorrupt, name.c_str());
            return nullptr;
    }
    std::string windir = dosWindir.empty() ? store->windowsDirectory() : dosWindir;
    if (windir.size() < 2 || windir[1] != ':') {
        windir = (windir.empty() || windir[0] != '\\' ? "C:\\" : "C:") + windir;
    }
    while (windir.size() > 3 && windir.back() == '\\') windir.pop_back();
    if (!store->IsFolder(windir)) {
        *message = Format(texts::kMsgImageNoWindows, name.c_str(), windir.c_str());
        return nullptr;
    }
    return std::unique_ptr<OfflinePlatform>(new OfflinePlatform(std::move(store), windir));
}

std::unique_ptr<OfflinePlatform> OfflinePlatform::OpenFromEnvironment(std::string* message) {
    const char* image = Env("SABREL_IMAGE");
    if (!image) return std::make_unique<OfflinePlatform>();
    unsigned partition = 0;
    if (const char* p = Env("SABREL_PARTITION")) {
        char* end = nullptr;
        unsigned long n = std::strtoul(p, &end, 10);
        if (*end != '\0' || n == 0 || n > 255) {
            *message = Format(texts::kMsgImageBadPartition, p);
            return nullptr;
        }
        partition = static_cast<unsigned>(n);
    }
    std::string windir;
    if (const char* w = Env("SABREL_WINDIR")) {
        UINT codePage = kDefaultCodePage;
        if (const char* c = Env("SABREL_CODEPAGE")) codePage = static_cast<UINT>(std::atoi(c));
        windir = Quoted(w, codePage);
    }
    return OpenImage(image, partition, windir, message);
}

OfflinePlatform::~OfflinePlatform() {
    // Libraries still loaded let go of this platform's image.
    if (!state_->imageWindir.empty()) {
        for (void* module : state_->libraries) {
            if (auto attach =
                    reinterpret_cast<void (*)(Platform*)>(::dlsym(module, "SabrelAttachPlatform")))
                attach(nullptr);
        }
    }
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
    std::string path = state_->imageWindir;
    if (path.empty()) {
        if (windir.empty()) return Fail(kErrorPathNotFound);
        std::string name = windir.substr(windir.find_last_of('/') + 1);
        std::string ansi;
        bool lossless = false;
        if (!state_->cp.FromHost(name, &ansi, &lossless) || !lossless)
            return Fail(kErrorInvalidName);
        path = "C:\\" + ansi;
    }
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

}  // namespace sabrel::platform::offline
