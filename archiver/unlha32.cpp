// SPDX-License-Identifier: MIT
// The four entry points of the stand-in archiver library, exported
// undecorated with the calling convention of the outside library.
#include <algorithm>
#include <atomic>
#include <cstring>
#include <string>

#include "archiver/errors.h"
#include "archiver/library_files.h"
#include "archiver/unlha_core.h"
#include "backup/archiver_api.h"

#if defined(_WIN32)
#define SABREL_EXPORT extern "C" __declspec(dllexport)
#else
#define SABREL_EXPORT extern "C" __attribute__((visibility("default")))
#endif

namespace {

// Version 1.00.
constexpr std::uint16_t kVersion = 100;

std::atomic<int> g_running{0};

// Counts a call as under way for as long as it lives.
class RunningScope {
  public:
    RunningScope() { g_running.fetch_add(1); }
    ~RunningScope() { g_running.fetch_sub(1); }
    RunningScope(const RunningScope&) = delete;
    RunningScope& operator=(const RunningScope&) = delete;
};

}  // namespace

SABREL_EXPORT std::uint16_t SABREL_STDCALL UnlhaGetVersion() {
    return kVersion;
}

SABREL_EXPORT int SABREL_STDCALL UnlhaGetRunning() {
    return g_running.load() > 0 ? 1 : 0;
}

SABREL_EXPORT int SABREL_STDCALL Unlha(void* /*window*/, const char* commandLine, char* output,
                                       std::uint32_t outputSize) {
    RunningScope running;
    std::string message;
    int rc = sabrel::archiver::kErrorCommandName;
    if (commandLine) {
        try {
            auto files = sabrel::archiver::MakeLibraryFiles();
            rc = sabrel::archiver::RunCommand(*files, commandLine, &message);
        } catch (...) {
            // Nothing may cross the library boundary.
            rc = sabrel::archiver::kErrorEnoughMemory;
            message = "out of memory";
        }
    }
    if (output && outputSize > 0) {
        std::size_t n = std::min<std::size_t>(message.size(), outputSize - 1);
        std::memcpy(output, message.data(), n);
        output[n] = 0;
    }
    return rc;
}

SABREL_EXPORT int SABREL_STDCALL UnlhaCheckArchive(const char* fileName, int mode) {
    RunningScope running;
    if (!fileName) return 0;
    try {
        auto files = sabrel::archiver::MakeLibraryFiles();
        return sabrel::archiver::CheckArchive(*files, fileName, mode) == sabrel::archiver::kOk ? 1
                                                                                               : 0;
    } catch (...) {
        return 0;
    }
}
