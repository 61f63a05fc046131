// SPDX-License-Identifier: MIT
// The offline platform: a Windows 9x installation on disk, seen from Linux.
//
// SABREL_WINDIR names the host folder that is the Windows directory; drive C:
// is the folder that holds it. DOS paths (CP932 bytes, backslashes, any case,
// long names or 8.3 aliases) are mapped to host paths (UTF-8) component by
// component. Version, user name and code page come from the installation's
// SYSTEM.DAT when it can be read, the thousands separator from the user's
// USER.DAT (Control Panel\International, sThousand; "," without it); the
// variables SABREL_VERSION
// ("major.minor.build"), SABREL_PLATFORM, SABREL_USER and SABREL_CODEPAGE
// override each of them. Without either, the system is Windows 98 (4.10,
// build field 0x040A08AE, platform 1) with code page 932. SABREL_RESTART_STRICT=1
// makes the restart strict (see SetStrictRestart).
//
// On a disk image (SABREL_IMAGE, opened through OpenFromEnvironment), drive C:
// is a FAT volume inside the image, read and written by our own FAT engine:
// SABREL_PARTITION picks the partition (otherwise the one FAT partition that
// holds Windows), and the Windows folder is the one MSDOS.SYS names in
// [Paths] WinDir=, or SABREL_WINDIR as a DOS path such as C:\WINDOWS.
#pragma once

#include <memory>
#include <string>

#include "platform/offline/restart.h"
#include "platform/platform.h"

namespace sabrel::platform::offline {

class RegistryEngine;
class ImageStore;
struct InstallationInfo;

class OfflinePlatform : public Platform {
  public:
    // Reads the environment (and the installation's SYSTEM.DAT) once.
    OfflinePlatform();
    ~OfflinePlatform() override;

    // The installation that the environment names: the disk image of
    // SABREL_IMAGE when it is set, else the folder tree of SABREL_WINDIR.
    // Null with the reason (code page 932 text from common/texts.h) when the
    // image cannot be used; the image stays locked while the platform lives.
    static std::unique_ptr<OfflinePlatform> OpenFromEnvironment(std::string* message);
    // The installation on a disk image; `partition` 0 chooses the partition
    // that holds Windows, and an empty `dosWindir` takes MSDOS.SYS's folder.
    static std::unique_ptr<OfflinePlatform> OpenImage(const std::string& image, unsigned partition,
                                                      const std::string& dosWindir,
                                                      std::string* message);
    OfflinePlatform(const OfflinePlatform&) = delete;
    OfflinePlatform& operator=(const OfflinePlatform&) = delete;

    DWORD GetLastError() override;
    void SetLastError(DWORD code) override;

    BOOL GetVersionExA(OsVersionInfo* info) override;
    UINT GetWindowsDirectoryA(char* buffer, UINT size) override;
    BOOL GetUserNameA(char* buffer, DWORD* size) override;
    int GetDbcsEnabled() override;
    UINT GetACP() override;
    BOOL GetCPInfo(UINT codePage, CpInfo* info) override;
    // The user's locale only, and of it only the thousands separator.
    int GetLocaleInfoA(LCID locale, LCTYPE type, char* data, int size) override;

    DWORD GetFileAttributesA(const char* path) override;
    BOOL SetFileAttributesA(const char* path, DWORD attributes) override;
    BOOL DeleteFileA(const char* path) override;
    BOOL CopyFileA(const char* from, const char* to, BOOL failIfExists) override;
    BOOL MoveFileA(const char* from, const char* to) override;
    BOOL CreateDirectoryA(const char* path) override;
    BOOL RemoveDirectoryA(const char* path) override;
    FindHandle FindFirstFileA(const char* pattern, FindData* data) override;
    BOOL FindNextFileA(FindHandle handle, FindData* data) override;
    BOOL FindClose(FindHandle handle) override;
    DWORD GetShortPathNameA(const char* longPath, char* buffer, DWORD size) override;
    BOOL ReadWholeFile(const char* path, std::vector<std::uint8_t>* out) override;
    std::unique_ptr<FileImage> OpenFileImage(const char* path) override;
    BOOL GetFileSizeByPath(const char* path, std::uint64_t* size) override;
    BOOL GetFileDosTime(const char* path, std::uint16_t* date, std::uint16_t* time) override;
    BOOL WriteWholeFile(const char* path, const void* data, std::size_t size) override;

    BOOL WritePrivateProfileStringA(const char* section, const char* key, const char* value,
                                    const char* file) override;
    DWORD GetPrivateProfileStringA(const char* section, const char* key, const char* defaultValue,
                                   char* buffer, DWORD size, const char* file) override;

    LONG RegOpenKeyExA(HKEY root, const char* subKey, DWORD options, REGSAM access,
                       HKEY* result) override;
    LONG RegCloseKey(HKEY key) override;
    LONG RegLoadKeyA(HKEY root, const char* subKey, const char* file) override;
    LONG RegSaveKeyA(HKEY key, const char* file, void* securityAttributes) override;
    LONG RegUnLoadKeyA(HKEY root, const char* subKey) override;

    BOOL CreateThread(ThreadProc proc, void* param, DWORD* threadId) override;
    [[noreturn]] void ExitProcess(UINT exitCode) override;
    void Sleep(DWORD milliseconds) override;

    // Restart (kEwxReboot) carries out the Rename section of WININIT.INI, as
    // Windows 9x does at its next start; shutdown carries nothing out. What
    // was not carried out is told on stderr. Fails with the error when
    // WININIT.INI is there but cannot be taken up (nothing is done then).
    BOOL ExitWindowsEx(UINT flags, DWORD reserved) override;
    // Strict: the restart deletes an entry's destination even when its source
    // is missing, as Windows 9x does, and reports each file lost that way
    // (tests prove with it that no entry can cost a hive). The default skips
    // such an entry and warns.
    void SetStrictRestart(bool strict);
    // What the last restart did.
    RestartResult lastRestart() const;

    HMODULE LoadLibraryA(const char* name) override;
    void* GetProcAddress(HMODULE module, const char* name) override;
    BOOL FreeLibrary(HMODULE module) override;

    // A lock file per title in the user's runtime folder (SABREL_RUNTIME_DIR,
    // else $XDG_RUNTIME_DIR/sabrel, else /tmp/sabrel-<uid>) stands in for the
    // window search, and a lock on the Windows folder finds a copy on the same
    // installation whatever its runtime folder. Claiming also removes the
    // temporary files that killed runs left in the folders a run writes.
    bool FindRunningInstance(const char* windowClass, const char* title) override;
    void ClaimInstance(const char* title) override;

    // The in-memory HKEY_USERS (tests load and inspect hives through it).
    RegistryEngine& registry();
    // The host folder that is the Windows directory; empty without SABREL_WINDIR.
    const std::string& hostWindowsDirectory() const;

  private:
    explicit OfflinePlatform(std::unique_ptr<ImageStore> image, const std::string& dosWindir);
    // Settles version, user and code page; returns the code page.
    UINT TakeIdentity(const InstallationInfo* info);
    struct State;
    std::unique_ptr<State> state_;
};

}  // namespace sabrel::platform::offline
