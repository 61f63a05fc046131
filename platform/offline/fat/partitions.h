// SPDX-License-Identifier: MIT
// Where the FAT volumes of a disk image are: an MBR partition table (primary
// partitions and the logical ones in an extended partition's chain), or a
// volume that starts at byte 0 (a superfloppy).
#pragma once

#include <cstdint>
#include <vector>

#include "platform/offline/fat/block_device.h"

namespace sabrel::platform::offline::fat {

struct Partition {
    unsigned number = 0;  // 1-4 primary slots, 5 onwards logical (as Linux counts them)
    std::uint8_t type = 0;
    std::uint64_t firstByte = 0;
    std::uint64_t byteCount = 0;
};

// FAT types 01, 04, 06, 0B, 0C, 0E and their hidden variants (+0x10).
bool IsFatPartitionType(std::uint8_t type);

enum class LayoutResult { kPartitioned, kSuperfloppy, kNoVolume };

// Reads the layout of a disk. For a partitioned disk, *out gets every FAT
// partition in the order of their numbers. Validates: the 55 AA signature,
// each entry's status byte (00 or 80), that each partition lies inside the
// disk, and the extended chain (each link inside the extended partition, no
// link visited twice, at most 255 logical partitions). Entries that fail are
// skipped; a chain that fails ends there.
LayoutResult ReadLayout(BlockDevice& disk, std::vector<Partition>* out);

}  // namespace sabrel::platform::offline::fat
