// SPDX-License-Identifier: MIT
#include "archiver/platform_file_access.h"

#include <sys/stat.h>

#include <atomic>
#include <ctime>

#include "archiver/library_files.h"
#include "platform/offline/dos_paths.h"
#include "platform/offline/offline_platform.h"

namespace sabrel::archiver {

bool PlatformFileAccess::ReadFile(const std::string& path, std::vector<std::uint8_t>* out) {
    return p_.ReadWholeFile(path.c_str(), out) != 0;
}

bool PlatformFileAccess::WriteFile(const std::string& path, const std::uint8_t* data,
                                   std::size_t size) {
    return p_.WriteWholeFile(path.c_str(), data, size) != 0;
}

std::uint32_t PlatformFileAccess::GetAttributes(const std::string& path) {
    std::uint32_t a = p_.GetFileAttributesA(path.c_str());
    return a == platform::kInvalidFileAttributes ? kNoFile : a;
}

bool PlatformFileAccess::SetAttributes(const std::string& path, std::uint32_t attributes) {
    return p_.SetFileAttributesA(path.c_str(), attributes) != 0;
}

bool PlatformFileAccess::Delete(const std::string& path) {
    return p_.DeleteFileA(path.c_str()) != 0;
}

bool PlatformFileAccess::Move(const std::string& from, const std::string& to) {
    return p_.MoveFileA(from.c_str(), to.c_str()) != 0;
}

// The platform's own answer where it has one (a file in a disk image has no
// host file); else the host file's modification time in the host's local
// time, which is what DOS would show.
bool PlatformFileAccess::GetDosTime(const std::string& path, std::uint16_t* time,
                                    std::uint16_t* date) {
    if (p_.GetFileDosTime(path.c_str(), date, time)) return true;
    std::string host = platform::offline::MapDosPathFromEnvironment(path);
    struct stat st {};
    if (host.empty() || stat(host.c_str(), &st) != 0) return false;
    struct tm local {};
    time_t t = st.st_mtime;
    if (!localtime_r(&t, &local) || local.tm_year < 80) return false;
    *date = static_cast<std::uint16_t>(((local.tm_year - 80) << 9) | ((local.tm_mon + 1) << 5) |
                                       local.tm_mday);
    *time = static_cast<std::uint16_t>((local.tm_hour << 11) | (local.tm_min << 5) |
                                       (local.tm_sec / 2));
    return true;
}

namespace {

// The platform of the program that loaded the library, when that program
// works on a disk image: the image has one engine and one lock, so the
// library's files go through the program's own platform.
std::atomic<platform::Platform*> g_attached{nullptr};

// Owns the offline platform it works through; a fresh one per call sees the
// environment (SABREL_WINDIR) as it is then.
struct OfflineSystem {
    platform::offline::OfflinePlatform system;
};

// The platform is a base listed first, so it exists before the file access
// that refers to it.
class OfflineFiles : private OfflineSystem, public PlatformFileAccess {
  public:
    OfflineFiles() : PlatformFileAccess(system) {}
};

}  // namespace

std::unique_ptr<FileAccess> MakeLibraryFiles() {
    if (platform::Platform* p = g_attached.load()) return std::make_unique<PlatformFileAccess>(*p);
    return std::make_unique<OfflineFiles>();
}

}  // namespace sabrel::archiver

extern "C" __attribute__((visibility("default"))) void SabrelAttachPlatform(
    sabrel::platform::Platform* platform) {
    sabrel::archiver::g_attached.store(platform);
}
