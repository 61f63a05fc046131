// SPDX-License-Identifier: MIT
// sabrel-icon OUT.ico: writes the program's icon, the second frame of the
// animation (the picture the window's icon shows), for the Windows build's
// icon resource. A host tool: the cross build compiles and runs it.
#include <cstdio>

#include "art/artwork.h"
#include "art/ico_writer.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fputs("usage: sabrel-icon OUT.ico\n", stderr);
        return 2;
    }
    const auto bytes = sabrel::art::EncodeIcon(sabrel::art::AnimationFrame(1));
    std::FILE* f = std::fopen(argv[1], "wb");
    const bool ok = f && std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    if (f && std::fclose(f) != 0) return 1;
    if (!ok) std::fprintf(stderr, "sabrel-icon: cannot write %s\n", argv[1]);
    return ok ? 0 : 1;
}
