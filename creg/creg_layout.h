// SPDX-License-Identifier: MIT
// Byte layout of the Windows 95/98/Me registry hive file ("CREG").
//
// A hive is a 32-byte file header, one key-node area ("RGKN") holding the tree
// of 28-byte key entries, and a run of data blocks ("RGDB") holding the key
// records. All integers are little-endian. Every structure below is described
// by named field offsets and its size; code decodes fields one by one through
// ByteReader and never casts file bytes onto a struct.
//
// The key-node offsets stored in the file (root, parent, child, sibling) are
// relative to the start of the RGKN area, which is file offset 32.
#pragma once

#include <cstdint>

namespace sabrel::hive::layout {

// --- File header ("CREG"), at file offset 0 --------------------------------
namespace creg {
constexpr int kSignature = 0x00;   // "CREG"
constexpr int kVersion = 0x04;     // u16 minor, u16 major (0, 1)
constexpr int kDataOffset = 0x08;  // i32: file offset of data block 0
constexpr int kChecksum = 0x0C;    // u32, valid only with flag 0x4
constexpr int kBlockCount = 0x10;  // u16: number of data blocks
constexpr int kFlags = 0x12;       // u16
constexpr int kUnknown14 = 0x14;   // u32, 0x00010000 in real files
constexpr int kReserved18 = 0x18;  // u32, 0
constexpr int kReserved1C = 0x1C;  // u32, 0
constexpr int kSize = 0x20;
static_assert(kReserved1C + 4 == kSize, "CREG header is 32 bytes");
}  // namespace creg

// --- Key-node area header ("RGKN"), at file offset 32 ----------------------
namespace rgkn {
constexpr int kFileOffset = 0x20;  // where the area begins in the file
constexpr int kSignature = 0x00;   // "RGKN"
constexpr int kAreaSize = 0x04;    // u32: whole area incl. this header
constexpr int kRootOffset = 0x08;  // i32: root entry, area-relative
constexpr int kFreeOffset = 0x0C;  // u32: first free slot, area-relative
constexpr int kFlags = 0x10;       // u32
constexpr int kChecksum = 0x14;    // u32
constexpr int kReserved18 = 0x18;  // u32
constexpr int kReserved1C = 0x1C;  // u32
constexpr int kSize = 0x20;
static_assert(kReserved1C + 4 == kSize, "RGKN header is 32 bytes");
static_assert(kFileOffset == creg::kSize, "RGKN follows the file header");
}  // namespace rgkn

// --- Key entry in the RGKN area (28 bytes) ---------------------------------
namespace keynode {
constexpr int kInUse = 0x00;        // u32: 0 in use, 0x80000000 free slot
constexpr int kNameHash = 0x04;     // u32: sum over the key's name
constexpr int kNextFree = 0x08;     // u32: free-slot link (stale when in use)
constexpr int kParent = 0x0C;       // i32: parent entry; <= 0 none
constexpr int kFirstChild = 0x10;   // i32: first child entry; <= 0 none
constexpr int kNextSibling = 0x14;  // i32: next sibling entry; <= 0 none
constexpr int kKeyId = 0x18;        // u16: record id in its block; 0xFFFF none
constexpr int kBlockNumber = 0x1A;  // u16: data block of the record; 0xFFFF none
constexpr int kSize = 0x1C;
static_assert(kBlockNumber + 2 == kSize, "a key entry is 28 bytes");

constexpr std::uint16_t kNoRecord = 0xFFFF;
constexpr std::uint32_t kInUseValue = 0;
constexpr std::uint32_t kFreeValue = 0x80000000u;
constexpr std::uint32_t kNone = 0xFFFFFFFFu;  // link value written for "none"
}  // namespace keynode

// Slot grid of the RGKN area: the first chunk is 8 KiB including the header,
// every later chunk 4 KiB; no entry straddles a chunk boundary.
namespace grid {
constexpr int kFirstChunk = 0x2000;
constexpr int kChunk = 0x1000;
constexpr int kFirstChunkSlots = (kFirstChunk - rgkn::kSize) / keynode::kSize;  // 291
constexpr int kChunkSlots = kChunk / keynode::kSize;                            // 146
static_assert(kFirstChunkSlots == 291 && kChunkSlots == 146, "slot grid");
}  // namespace grid

// --- Data block header ("RGDB"), 32 bytes at the block's start -------------
namespace rgdb {
constexpr int kSignature = 0x00;    // "RGDB"
constexpr int kBlockSize = 0x04;    // i32: whole block incl. this header
constexpr int kUnusedSize = 0x08;   // u32: total size of the free records
constexpr int kFlags = 0x0C;        // u16
constexpr int kBlockNumber = 0x0E;  // u16: index of the block in file order
constexpr int kFreeOffset = 0x10;   // u32: first free record, block-relative
constexpr int kMaxId = 0x14;        // u16: highest record id allocated
constexpr int kFirstFreeId = 0x16;  // u16: lowest id not in use (255 = full)
constexpr int kUnknown18 = 0x18;    // u32
constexpr int kChecksum = 0x1C;     // u32
constexpr int kSize = 0x20;
static_assert(kChecksum + 4 == kSize, "RGDB header is 32 bytes");

constexpr int kMaxRecordsPerBlock = 255;  // ids 0..254
}  // namespace rgdb

// --- Key record in a data block: 20-byte head, name, values ----------------
namespace record {
constexpr int kLength = 0x00;       // i32: bytes to the next record
constexpr int kKeyId = 0x04;        // u16: id in the block; 0xFFFF free
constexpr int kBlockNumber = 0x06;  // u16: the block index again
constexpr int kUsedSize = 0x08;     // u32: used bytes; free-record link
constexpr int kNameLength = 0x0C;   // u16
constexpr int kValueCount = 0x0E;   // u16
constexpr int kReserved10 = 0x10;   // u32, 0
constexpr int kSize = 0x14;         // the head; the name follows
static_assert(kReserved10 + 4 == kSize, "a key record head is 20 bytes");

constexpr std::uint16_t kFreeId = 0xFFFF;
}  // namespace record

// --- Value entry inside a key record: 12-byte head, name, data -------------
namespace value {
constexpr int kType = 0x00;        // u32: REG_* type
constexpr int kUnknown04 = 0x04;   // u32, kept verbatim
constexpr int kNameLength = 0x08;  // u16
constexpr int kDataLength = 0x0A;  // u16
constexpr int kSize = 0x0C;        // the head; name and data follow
static_assert(kDataLength + 2 == kSize, "a value head is 12 bytes");
}  // namespace value

// Signatures, compared byte for byte.
constexpr char kCregSignature[5] = "CREG";
constexpr char kRgknSignature[5] = "RGKN";
constexpr char kRgdbSignature[5] = "RGDB";

}  // namespace sabrel::hive::layout
