// SPDX-License-Identifier: MIT
// The stand-in archiver's parsers and codec. The first byte picks what the
// rest is: an archive or self-extracting program (headers read, every member
// decoded and its CRC compared), a raw -lh5- stream, data that must survive
// compression and decompression unchanged, or a command line.
#include <cstdlib>
#include <string>
#include <vector>

#include "archiver/command_line.h"
#include "archiver/lh5.h"
#include "archiver/lzh_archive.h"

using namespace sabrel::archiver;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    const std::uint8_t mode = data[0];
    ++data;
    --size;
    switch (mode % 4) {
        case 0: {
            Archive archive;
            if (ParseArchive(data, size, &archive) != 0) return 0;
            for (const Member& m : archive.members) {
                // Huge sizes only cost time here; the checks are the same.
                if (m.originalSize > (1u << 20)) continue;
                VerifyMember(data, m);
            }
            break;
        }
        case 1: {
            if (size < 2) return 0;
            const std::size_t original = data[0] | (data[1] << 8);
            std::vector<std::uint8_t> out;
            for (int dictBits : {13, 16}) Lh5Decode(data + 2, size - 2, original, &out, dictBits);
            break;
        }
        case 2: {
            Lh5EncoderOptions options;
            options.blockCodes = 1 + (mode >> 2) * 97;
            options.maxChain = 1 + (mode >> 4);
            std::vector<std::uint8_t> packed = Lh5Encode(data, size, options);
            std::vector<std::uint8_t> out;
            if (Lh5Decode(packed.data(), packed.size(), size, &out) != Lh5Result::kOk ||
                out != std::vector<std::uint8_t>(data, data + size))
                std::abort();
            break;
        }
        default: {
            CommandLine c;
            ParseCommandLine(std::string(reinterpret_cast<const char*>(data), size), &c);
        }
    }
    return 0;
}
