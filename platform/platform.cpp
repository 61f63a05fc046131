// SPDX-License-Identifier: MIT
#include "platform/platform.h"

#include <cstdlib>

namespace sabrel::platform {

namespace {
Platform* g_current = nullptr;
}

Platform& Get() {
    // Using the platform before start-up chose one is a programming error.
    if (!g_current) std::abort();
    return *g_current;
}

void Set(Platform* platform) {
    g_current = platform;
}

bool FileExists(const std::string& path) {
    return Get().GetFileAttributesA(path.c_str()) != kInvalidFileAttributes;
}

}  // namespace sabrel::platform
