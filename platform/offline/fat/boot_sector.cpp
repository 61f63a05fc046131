// SPDX-License-Identifier: MIT
#include "platform/offline/fat/boot_sector.h"

#include "common/byte_reader.h"

namespace sabrel::platform::offline::fat {

namespace {

constexpr std::int64_t kJump = 0;
constexpr std::int64_t kBytesPerSector = 11;
constexpr std::int64_t kSectorsPerCluster = 13;
constexpr std::int64_t kReservedSectors = 14;
constexpr std::int64_t kFatCount = 16;
constexpr std::int64_t kRootEntries = 17;
constexpr std::int64_t kTotalSectors16 = 19;
constexpr std::int64_t kSectorsPerFat16 = 22;
constexpr std::int64_t kTotalSectors32 = 32;
constexpr std::int64_t kSectorsPerFat32 = 36;
constexpr std::int64_t kRootCluster32 = 44;
constexpr std::int64_t kFsInfo32 = 48;
constexpr std::int64_t kSignature = 510;
static_assert(kSectorsPerFat32 == kTotalSectors32 + 4, "the FAT32 block follows the common one");
static_assert(kFsInfo32 + 2 <= kSignature, "the FAT32 fields fit in the first sector");

bool PowerOfTwo(std::uint32_t v) {
    return v && (v & (v - 1)) == 0;
}

}  // namespace

bool ParseBootSector(const std::uint8_t* data, std::size_t size, std::uint64_t volumeBytes,
                     BootSector* out) {
    ByteReader r(data, size);
    std::uint8_t jump = 0, spc = 0, fats = 0;
    std::uint16_t bps = 0, reserved = 0, rootEntries = 0, total16 = 0, fat16 = 0, sig = 0;
    std::uint32_t total32 = 0, fat32 = 0, rootCluster = 0;
    std::uint16_t fsInfo = 0;
    if (!r.U8(kJump, &jump) || !r.U16(kBytesPerSector, &bps) || !r.U8(kSectorsPerCluster, &spc) ||
        !r.U16(kReservedSectors, &reserved) || !r.U8(kFatCount, &fats) ||
        !r.U16(kRootEntries, &rootEntries) || !r.U16(kTotalSectors16, &total16) ||
        !r.U16(kSectorsPerFat16, &fat16) || !r.U32(kTotalSectors32, &total32) ||
        !r.U32(kSectorsPerFat32, &fat32) || !r.U32(kRootCluster32, &rootCluster) ||
        !r.U16(kFsInfo32, &fsInfo) || !r.U16(kSignature, &sig))
        return false;
    if (jump != 0xEB && jump != 0xE9) return false;
    if (bps != 512 && bps != 1024 && bps != 2048 && bps != 4096) return false;
    if (!PowerOfTwo(spc) || spc > 128 || std::uint32_t{spc} * bps > 65536) return false;
    if (reserved == 0 || fats == 0 || fats > 4) return false;

    BootSector b;
    b.bytesPerSector = bps;
    b.sectorsPerCluster = spc;
    b.reservedSectors = reserved;
    b.fatCount = fats;
    b.rootEntries = rootEntries;
    b.totalSectors = total16 ? total16 : total32;
    b.sectorsPerFat = fat16 ? fat16 : fat32;
    if (b.sectorsPerFat == 0 || b.totalSectors == 0) return false;
    if ((std::uint64_t{rootEntries} * 32) % bps) return false;
    if (b.totalSectors > volumeBytes / bps) b.totalSectors = volumeBytes / bps;

    std::uint64_t rootSectors = std::uint64_t{rootEntries} * 32 / bps;
    std::uint64_t metaSectors =
        std::uint64_t{reserved} + std::uint64_t{fats} * b.sectorsPerFat + rootSectors;
    if (metaSectors >= b.totalSectors) return false;
    std::uint64_t clusters = (b.totalSectors - metaSectors) / spc;
    if (clusters == 0 || clusters > 0x0FFFFFF5) return false;
    b.clusterCount = static_cast<std::uint32_t>(clusters);
    b.type = clusters < 4085    ? FatType::kFat12
             : clusters < 65525 ? FatType::kFat16
                                : FatType::kFat32;
    if (b.type == FatType::kFat32) {
        // FAT32 keeps its root in the data area and its FAT size in 32 bits.
        if (rootEntries != 0 || fat16 != 0) return false;
        if (rootCluster < 2 || rootCluster >= clusters + 2) return false;
        b.rootCluster = rootCluster;
        b.fsInfoSector = (fsInfo > 0 && fsInfo < reserved) ? fsInfo : 0;
    } else if (rootEntries == 0) {
        return false;
    }
    b.fatOffset = std::uint64_t{reserved} * bps;
    b.fatBytes = std::uint64_t{b.sectorsPerFat} * bps;
    std::uint64_t neededFatBytes = b.type == FatType::kFat12   ? (clusters + 2) * 3 / 2 + 1
                                   : b.type == FatType::kFat16 ? (clusters + 2) * 2
                                                               : (clusters + 2) * 4;
    if (b.fatBytes < neededFatBytes) return false;
    b.rootDirOffset = b.fatOffset + std::uint64_t{fats} * b.fatBytes;
    b.dataOffset = b.rootDirOffset + rootSectors * bps;
    b.clusterBytes = std::uint32_t{spc} * bps;
    (void)sig;  // many formatters write it, but DOS never required it
    *out = b;
    return true;
}

}  // namespace sabrel::platform::offline::fat
