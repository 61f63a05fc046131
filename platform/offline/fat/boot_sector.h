// SPDX-License-Identifier: MIT
// The BIOS parameter block of a FAT volume and the geometry derived from it.
#pragma once

#include <cstddef>
#include <cstdint>

namespace sabrel::platform::offline::fat {

enum class FatType { kFat12, kFat16, kFat32 };

struct BootSector {
    FatType type = FatType::kFat16;
    std::uint32_t bytesPerSector = 0;
    std::uint32_t sectorsPerCluster = 0;
    std::uint32_t reservedSectors = 0;
    std::uint32_t fatCount = 0;
    std::uint32_t rootEntries = 0;  // FAT12/16 only
    std::uint64_t totalSectors = 0;
    std::uint32_t sectorsPerFat = 0;
    std::uint32_t rootCluster = 0;   // FAT32 only
    std::uint32_t fsInfoSector = 0;  // FAT32 only; 0 when there is none

    // Derived, in bytes from the volume's start.
    std::uint64_t fatOffset = 0;
    std::uint64_t fatBytes = 0;
    std::uint64_t rootDirOffset = 0;  // FAT12/16 only
    std::uint64_t dataOffset = 0;
    std::uint32_t clusterBytes = 0;
    std::uint32_t clusterCount = 0;  // data clusters, numbered 2 .. clusterCount + 1
};

// Parses the first sector of a volume of `volumeBytes` bytes. Validates: a
// jump instruction (EB xx or E9 xx xx), bytes per sector 512/1024/2048/4096,
// sectors per cluster a power of two up to 128 and a cluster of at most 64 KiB,
// at least one reserved sector, one or two FATs (up to 4 are accepted), a
// nonzero FAT size that holds an entry for every cluster, a root directory
// that fills whole sectors, and that every region lies inside the volume
// (a sector count beyond the image is cut to the image). The FAT type follows
// from the cluster count, as Microsoft defines it.
bool ParseBootSector(const std::uint8_t* data, std::size_t size, std::uint64_t volumeBytes,
                     BootSector* out);

}  // namespace sabrel::platform::offline::fat
