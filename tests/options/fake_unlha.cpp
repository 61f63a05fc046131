// SPDX-License-Identifier: MIT
// A stand-in for the archiver library with the four entry points (or, built
// with FAKE_UNLHA_PARTIAL, without UnlhaCheckArchive), reporting the version
// FAKE_UNLHA_VERSION. It archives nothing.
#include <cstdint>

extern "C" {

std::uint16_t UnlhaGetVersion() {
    return FAKE_UNLHA_VERSION;
}

int UnlhaGetRunning() {
    return 0;
}

int Unlha(void*, const char*, char*, std::uint32_t) {
    return 0;
}

#ifndef FAKE_UNLHA_PARTIAL
int UnlhaCheckArchive(const char*, int) {
    return 1;
}
#endif
}
