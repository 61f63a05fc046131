// SPDX-License-Identifier: MIT
// A small, valid hive written byte by byte, for the checker's tests. Every
// variant of a test starts from Baseline() and changes the bytes that carry
// one defect, through the named places below.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "common/byte_reader.h"
#include "creg/creg_layout.h"

namespace sabrel::hive::test {

namespace L = layout;

struct HiveImage {
    std::vector<std::uint8_t> bytes;

    // Writes inside the image only (at() throws past its end).
    void U16(std::size_t at, std::uint16_t v) {
        bytes.at(at + 1);
        StoreU16(&bytes[at], v);
    }
    void U32(std::size_t at, std::uint32_t v) {
        bytes.at(at + 3);
        StoreU32(&bytes[at], v);
    }
    void I32(std::size_t at, std::int32_t v) { U32(at, static_cast<std::uint32_t>(v)); }
    void Text(std::size_t at, const std::string& s) {
        for (std::size_t i = 0; i < s.size(); ++i)
            bytes.at(at + i) = static_cast<std::uint8_t>(s[i]);
    }
    void Grow(std::size_t size) {
        if (bytes.size() < size) bytes.resize(size, 0);
    }

    // A key entry at `entry` (offset inside the key-node area).
    void Entry(std::int32_t entry, std::uint32_t hash, std::int32_t parent, std::int32_t child,
               std::int32_t next, std::uint16_t keyId, std::uint16_t block) {
        const std::size_t at = L::rgkn::kFileOffset + entry;
        Grow(at + L::keynode::kSize);
        U32(at + L::keynode::kInUse, L::keynode::kInUseValue);
        U32(at + L::keynode::kNameHash, hash);
        U32(at + L::keynode::kNextFree, L::keynode::kNone);
        I32(at + L::keynode::kParent, parent);
        I32(at + L::keynode::kFirstChild, child);
        I32(at + L::keynode::kNextSibling, next);
        U16(at + L::keynode::kKeyId, keyId);
        U16(at + L::keynode::kBlockNumber, block);
    }
    // A data block header at file offset `at`.
    void Block(std::size_t at, std::int32_t size, std::uint16_t number,
               std::uint16_t lastRecordIndex) {
        Grow(at + L::rgdb::kSize);
        Text(at + L::rgdb::kSignature, "RGDB");
        I32(at + L::rgdb::kBlockSize, size);
        U16(at + L::rgdb::kFlags, 8);
        U16(at + L::rgdb::kBlockNumber, number);
        U32(at + L::rgdb::kFreeOffset, L::keynode::kNone);
        U16(at + L::rgdb::kMaxId, lastRecordIndex);
        U16(at + L::rgdb::kFirstFreeId, static_cast<std::uint16_t>(lastRecordIndex + 1));
    }
    // A key record (keyId 0xFFFF: a free one) of `length` bytes at `at`.
    void Record(std::size_t at, std::int32_t length, std::uint16_t keyId, std::uint16_t block,
                const std::string& name) {
        Grow(at + L::record::kSize + name.size());
        I32(at + L::record::kLength, length);
        U16(at + L::record::kKeyId, keyId);
        U16(at + L::record::kBlockNumber, block);
        U32(at + L::record::kUsedSize, static_cast<std::uint32_t>(L::record::kSize + name.size()));
        U16(at + L::record::kNameLength, static_cast<std::uint16_t>(name.size()));
        Text(at + L::record::kSize, name);
    }
};

// Places in the baseline.
constexpr std::int32_t kRoot = 0x20;      // key entries, area-relative
constexpr std::int32_t kAbc = 0x3C;       // "abc", block 0 id 0
constexpr std::int32_t kSoftware = 0x58;  // "Software", block 0 id 1
constexpr std::int32_t kSub = 0x74;       // "Sub" under Software, block 1 id 0
constexpr std::size_t kAreaSize = 0x1000;
constexpr std::size_t kBlock0 = L::rgkn::kFileOffset + kAreaSize;  // 0x1020, 0x100 bytes
constexpr std::size_t kAbcRecord = kBlock0 + 0x20;
constexpr std::size_t kFreeRecord = kBlock0 + 0x40;
constexpr std::size_t kSoftwareRecord = kBlock0 + 0x60;
constexpr std::size_t kTailRecord = kBlock0 + 0x80;  // free, to the block's end
constexpr std::size_t kBlock1 = kBlock0 + 0x100;     // 0x1120, 0x40 bytes
constexpr std::size_t kSubRecord = kBlock1 + 0x20;
constexpr std::size_t kEnd = kBlock1 + 0x40;

// NameSum of the names, all plain ASCII: upper-cased byte sums.
constexpr std::uint32_t kAbcHash = 'A' + 'B' + 'C';  // 198
constexpr std::uint32_t kSoftwareHash = 0x26B;
constexpr std::uint32_t kSubHash = 'S' + 'U' + 'B';

inline std::size_t EntryAt(std::int32_t entry) {
    return L::rgkn::kFileOffset + entry;
}

// root (no record)
//   abc
//   Software
//     Sub
// Block 0: abc, a free record, Software, a free tail; its lastRecordIndex is
// the highest id used (1). Block 1: Sub, ending exactly at the block's end.
inline HiveImage Baseline() {
    HiveImage h;
    h.Grow(kEnd);
    // File header: signature, version 1.0, data blocks after the key area, 2 blocks.
    h.Text(L::creg::kSignature, "CREG");
    h.U32(L::creg::kVersion, 0x00010000);
    h.I32(L::creg::kDataOffset, static_cast<std::int32_t>(kBlock0));
    h.U16(L::creg::kBlockCount, 2);
    h.U16(L::creg::kFlags, 0x0020);
    h.U32(L::creg::kUnknown14, 0x00010000);
    // Key-node area header: the root entry at 0x20, free slots after the keys.
    const std::size_t area = L::rgkn::kFileOffset;
    h.Text(area + L::rgkn::kSignature, "RGKN");
    h.U32(area + L::rgkn::kAreaSize, kAreaSize);
    h.I32(area + L::rgkn::kRootOffset, kRoot);
    h.U32(area + L::rgkn::kFreeOffset, 0x90);
    h.U32(area + L::rgkn::kFlags, 8);
    // Key entries: "none" is written as -1, as real files do.
    h.Entry(kRoot, 0, -1, kAbc, -1, 0xFFFF, 0xFFFF);
    h.Entry(kAbc, kAbcHash, kRoot, -1, kSoftware, 0, 0);
    h.Entry(kSoftware, kSoftwareHash, kRoot, kSub, -1, 1, 0);
    h.Entry(kSub, kSubHash, kSoftware, -1, -1, 0, 1);
    // Data block 0.
    h.Block(kBlock0, 0x100, 0, 1);
    h.Record(kAbcRecord, 0x20, 0, 0, "abc");
    h.Record(kFreeRecord, 0x20, 0xFFFF, 0xFFFF, "");
    h.Record(kSoftwareRecord, 0x20, 1, 0, "Software");
    h.Record(kTailRecord, 0x80, 0xFFFF, 0xFFFF, "");
    // Data block 1.
    h.Block(kBlock1, 0x40, 1, 0);
    h.Record(kSubRecord, 0x20, 0, 1, "Sub");
    return h;
}

}  // namespace sabrel::hive::test
