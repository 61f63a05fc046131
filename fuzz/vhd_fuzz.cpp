// SPDX-License-Identifier: MIT
// Fuzz target for the VHD container: the footer (at the end, or its copy at
// offset 0), the dynamic header, the block table and the sector bitmaps,
// then the partition table of the disk inside. The checksums are made right
// when the first byte is odd, so that the fuzzer gets past them. Writes that
// allocate blocks must read back, also after the grown file is opened anew.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "platform/offline/fat/block_device.h"
#include "platform/offline/fat/partitions.h"
#include "platform/offline/fat/vhd.h"

using namespace sabrel::platform::offline::fat;

namespace {

std::uint32_t BigU32(const std::uint8_t* p) {
    return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) |
           p[3];
}

void PutSum(std::uint8_t* p, std::size_t size, std::size_t at) {
    const std::uint32_t sum = VhdChecksum(p, size, at);
    for (int i = 0; i < 4; ++i) p[at + i] = static_cast<std::uint8_t>(sum >> (24 - 8 * i));
}

void FixChecksums(std::vector<std::uint8_t>& b) {
    if (b.size() < kVhdFooterSize) return;
    std::uint8_t* footer = &b[b.size() - kVhdFooterSize];
    PutSum(footer, kVhdFooterSize, 64);
    const std::uint64_t header = (std::uint64_t{BigU32(footer + 16)} << 32) | BigU32(footer + 20);
    if (header <= b.size() && b.size() - header >= kVhdDynamicHeaderSize) {
        PutSum(&b[header], kVhdDynamicHeaderSize, 36);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::vector<std::uint8_t> bytes(data, data + size);
    if (size > 0 && (data[0] & 1)) FixChecksums(bytes);
    if (bytes.size() < kVhdFooterSize) return 0;
    VhdFooter f;
    const std::uint8_t* footer = &bytes[bytes.size() - kVhdFooterSize];
    if (!ParseVhdFooter(footer, &f)) {
        footer = bytes.data();
        if (!ParseVhdFooter(footer, &f)) return 0;
    }
    const std::vector<std::uint8_t> footerCopy(footer, footer + kVhdFooterSize);
    MemoryDevice file(bytes);
    auto disk = DynamicVhd::Open(&file, footerCopy.data());
    if (!disk) return 0;

    std::vector<Partition> parts;
    ReadLayout(*disk, &parts);
    std::uint8_t buf[1536];
    for (std::uint64_t at : {std::uint64_t{0}, disk->Size() / 2, disk->Size() - 700}) {
        if (at < disk->Size())
            disk->Read(at, buf, std::min<std::uint64_t>(sizeof buf, disk->Size() - at));
    }
    // Blocks of at most 1 MiB are written to, so that the file stays small.
    if (disk->blockSize() > (1u << 20) || disk->Size() < 4096) return 0;
    const std::uint64_t spots[] = {100, disk->Size() / 3 + 1, disk->Size() - 3000};
    std::uint8_t pattern[2000];
    for (std::size_t i = 0; i < sizeof pattern; ++i)
        pattern[i] = static_cast<std::uint8_t>(i * 7 + 1);
    bool written[3] = {};
    for (int i = 0; i < 3; ++i) written[i] = disk->Write(spots[i], pattern, sizeof pattern);
    // Later writes may overlap earlier ones; the last one written must read back.
    for (int i = 2; i >= 0; --i) {
        if (!written[i]) continue;
        std::uint8_t back[sizeof pattern];
        if (!disk->Read(spots[i], back, sizeof back) ||
            std::memcmp(back, pattern, sizeof back) != 0)
            std::abort();
        break;
    }
    disk.reset();
    const std::vector<std::uint8_t>& grown = file.bytes();
    MemoryDevice again(grown);
    VhdFooter end;
    const std::uint8_t* last = grown.data() + grown.size() - kVhdFooterSize;
    auto reopened = DynamicVhd::Open(&again, ParseVhdFooter(last, &end) ? last : footerCopy.data());
    if (!reopened) std::abort();
    for (int i = 2; i >= 0; --i) {
        if (!written[i]) continue;
        std::uint8_t back[sizeof pattern];
        if (!reopened->Read(spots[i], back, sizeof back) ||
            std::memcmp(back, pattern, sizeof back) != 0)
            std::abort();
        break;
    }
    return 0;
}
