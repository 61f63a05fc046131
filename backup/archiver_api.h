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

}  // namespace sabrel
