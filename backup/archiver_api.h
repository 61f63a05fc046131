// SPDX-License-Identifier: MIT
// The entry points of the outside LZH archiver library (Unlha32.dll) and of
// Sabrel's own stand-in for it. The options dialog loads the library once and
// holds this record; the backup calls through it; it is released once.
#pragma once

#include <cstdint>

#include "platform/platform.h"

#if defined(_WIN32)
#define SABREL_STDCALL __stdcall
#else
#define SABREL_STDCALL
#endif

namespace sabrel {

using UnlhaGetVersionFn = std::uint16_t(SABREL_STDCALL*)();
using UnlhaGetRunningFn = int(SABREL_STDCALL*)();
using UnlhaFn = int(SABREL_STDCALL*)(void* window, const char* commandLine, char* output,
                                     std::uint32_t outputSize);
using UnlhaCheckArchiveFn = int(SABREL_STDCALL*)(const char* fileName, int mode);

struct ArchiverApi {
    platform::HMODULE module = nullptr;
    bool released = false;
    UnlhaGetRunningFn getRunning = nullptr;
    UnlhaFn unlha = nullptr;
    UnlhaCheckArchiveFn checkArchive = nullptr;
    UnlhaGetVersionFn getVersion = nullptr;

    // Loaded, with every entry point, and not yet released.
    bool Usable() const {
        return module && !released && getRunning && unlha && checkArchive && getVersion;
    }
};

// Loads the library `dll` through `p` and finds its four entry points. A
// library that loads but lacks one of them would fail at its first call: it
// counts as not found and is released again. Either way of not finding it
// gives an empty record (module null).
ArchiverApi LoadArchiverApi(platform::Platform& p, const char* dll);

}  // namespace sabrel
