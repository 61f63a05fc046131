// SPDX-License-Identifier: MIT
#include "platform/offline/fat/partitions.h"

#include <set>

#include "common/byte_reader.h"
#include "platform/offline/fat/boot_sector.h"

namespace sabrel::platform::offline::fat {

namespace {

constexpr std::uint64_t kSector = 512;
constexpr std::int64_t kTableOffset = 446;
constexpr std::int64_t kEntrySize = 16;
constexpr std::int64_t kSignatureOffset = 510;
constexpr std::int64_t kStatus = 0;
constexpr std::int64_t kType = 4;
constexpr std::int64_t kFirstLba = 8;
constexpr std::int64_t kSectorCount = 12;
static_assert(kTableOffset + 4 * kEntrySize == kSignatureOffset, "four entries before 55 AA");
static_assert(kSectorCount + 4 == kEntrySize, "the count ends the entry");

struct Entry {
    std::uint8_t status = 0;
    std::uint8_t type = 0;
    std::uint32_t first = 0;
    std::uint32_t count = 0;
};

bool IsExtendedType(std::uint8_t type) {
    return type == 0x05 || type == 0x0F || type == 0x85;
}

// One sector holding a partition table; false without the 55 AA signature.
bool ReadTable(BlockDevice& disk, std::uint64_t lba, Entry (&entries)[4]) {
    std::uint8_t sector[kSector];
    if (lba > disk.Size() / kSector || !disk.Read(lba * kSector, sector, kSector)) return false;
    ByteReader r(sector, sizeof sector);
    std::uint16_t sig = 0;
    if (!r.U16(kSignatureOffset, &sig) || sig != 0xAA55) return false;
    for (int i = 0; i < 4; ++i) {
        std::int64_t at = kTableOffset + i * kEntrySize;
        r.U8(at + kStatus, &entries[i].status);
        r.U8(at + kType, &entries[i].type);
        r.U32(at + kFirstLba, &entries[i].first);
        r.U32(at + kSectorCount, &entries[i].count);
    }
    return true;
}

bool Usable(const Entry& e, std::uint64_t base, const BlockDevice& disk) {
    if (e.type == 0 || e.count == 0 || (e.status != 0 && e.status != 0x80)) return false;
    std::uint64_t first = base + e.first;
    return first < disk.Size() / kSector && e.count <= disk.Size() / kSector - first;
}

}  // namespace

bool IsFatPartitionType(std::uint8_t type) {
    switch (type & 0xEF) {  // the hidden variants differ by 0x10
        case 0x01:
        case 0x04:
        case 0x06:
        case 0x0B:
        case 0x0C:
        case 0x0E:
            return true;
        default:
            return false;
    }
}

LayoutResult ReadLayout(BlockDevice& disk, std::vector<Partition>* out) {
    out->clear();
    // A boot sector at byte 0 means no partition table, even though a boot
    // sector also ends in 55 AA.
    std::uint8_t first[kSector];
    if (!disk.Read(0, first, sizeof first)) return LayoutResult::kNoVolume;
    BootSector boot;
    if (ParseBootSector(first, sizeof first, disk.Size(), &boot)) return LayoutResult::kSuperfloppy;

    Entry primary[4];
    if (!ReadTable(disk, 0, primary)) return LayoutResult::kNoVolume;
    const Entry* extended = nullptr;
    for (unsigned i = 0; i < 4; ++i) {
        const Entry& e = primary[i];
        if (!Usable(e, 0, disk)) continue;
        if (IsExtendedType(e.type)) {
            if (!extended) extended = &e;
        } else if (IsFatPartitionType(e.type)) {
            out->push_back({i + 1, e.type, e.first * kSector, std::uint64_t{e.count} * kSector});
        }
    }
    if (extended) {
        // Each extended boot record holds a logical partition (relative to
        // itself) and the link to the next record (relative to the extended
        // partition's start).
        std::uint64_t start = extended->first, end = start + extended->count;
        std::uint64_t ebr = start;
        std::set<std::uint64_t> seen;
        unsigned number = 5;
        while (number < 5 + 255 && seen.insert(ebr).second) {
            Entry links[4];
            if (!ReadTable(disk, ebr, links)) break;
            const Entry& logical = links[0];
            if (Usable(logical, ebr, disk) && ebr + logical.first + logical.count <= end) {
                if (IsFatPartitionType(logical.type))
                    out->push_back({number, logical.type, (ebr + logical.first) * kSector,
                                    std::uint64_t{logical.count} * kSector});
                ++number;
            }
            const Entry& next = links[1];
            if (!IsExtendedType(next.type) || next.first == 0) break;
            std::uint64_t nextLba = start + next.first;
            if (nextLba <= start || nextLba >= end) break;
            ebr = nextLba;
        }
    }
    return LayoutResult::kPartitioned;
}

}  // namespace sabrel::platform::offline::fat
