// SPDX-License-Identifier: MIT
// A backup in archive mode through the stand-in archiver library: the offline
// platform on a Windows folder on the host, the library loaded from it as
// "unlha32.dll", a script UI that answers every box, and a request with the
// archive test on. The library and the platform are let go at the end.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <string>

#include "backup/archiver_api.h"
#include "backup/backup.h"
#include "platform/offline/offline_platform.h"
#include "ui/script/script_ui.h"

namespace sabrel::backup::test {

class ArchiveSession {
  public:
    // `windows` is the host folder of the installation, `library` the file of
    // the stand-in, `windowsDirectory` the Windows folder as DOS names it.
    ArchiveSession(const std::filesystem::path& windows, const char* library,
                   const std::string& windowsDirectory)
        : env_(windows, library) {
        platform::Set(&system);
        ui.SetAutoOk(true);
        api = LoadArchiverApi(system, "unlha32.dll");
        request.archiveMode = true;
        request.testArchive = true;
        request.windowsDirectory = windowsDirectory;
        request.archiver = &api;
    }
    ~ArchiveSession() {
        if (api.module) system.FreeLibrary(api.module);
        platform::Set(nullptr);
    }
    ArchiveSession(const ArchiveSession&) = delete;
    ArchiveSession& operator=(const ArchiveSession&) = delete;

  private:
    // Set before the platform is made, which reads them.
    struct Environment {
        Environment(const std::filesystem::path& windows, const char* library) {
            setenv("SABREL_WINDIR", windows.c_str(), 1);
            setenv("SABREL_UNLHA_PATH", library, 1);
        }
    } env_;

  public:
    platform::offline::OfflinePlatform system;
    ui::ScriptUi ui;
    ArchiverApi api;
    BackupRequest request;
};

}  // namespace sabrel::backup::test
