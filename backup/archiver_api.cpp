// SPDX-License-Identifier: MIT
#include "backup/archiver_api.h"

namespace sabrel {

ArchiverApi LoadArchiverApi(platform::Platform& p, const char* dll) {
    ArchiverApi api;
    platform::HMODULE module = p.LoadLibraryA(dll);
    if (!module) return api;
    auto getRunning =
        reinterpret_cast<UnlhaGetRunningFn>(p.GetProcAddress(module, "UnlhaGetRunning"));
    auto unlha = reinterpret_cast<UnlhaFn>(p.GetProcAddress(module, "Unlha"));
    auto checkArchive =
        reinterpret_cast<UnlhaCheckArchiveFn>(p.GetProcAddress(module, "UnlhaCheckArchive"));
    auto getVersion =
        reinterpret_cast<UnlhaGetVersionFn>(p.GetProcAddress(module, "UnlhaGetVersion"));
    if (!getRunning || !unlha || !checkArchive || !getVersion) {
        p.FreeLibrary(module);
        return api;
    }
    api.module = module;
    api.getRunning = getRunning;
    api.unlha = unlha;
    api.checkArchive = checkArchive;
    api.getVersion = getVersion;
    return api;
}

}  // namespace sabrel
