// SPDX-License-Identifier: MIT
// Writes a key tree as a compact Windows 9x hive file.
//
// Layout: the CREG header; a key-node area just large enough for the keys and
// one free tail slot, entries in depth-first pre-order on the slot grid (root
// first, each key followed by its subtree, siblings in tree order); then the
// key records in the same order, numbered 0, 1, 2... per data block, a new
// block when the next record would carry the block past 0xF000 bytes or past
// 255 records, each block rounded up to 4 KiB with its tail as one free record
// (or as slack of its last record when the tail is shorter than a record
// head). Hashes, value types, the values' unknown dwords and all bytes are
// copied; free space, free slots, slack and unreferenced records of a source
// file are not carried over. The flags words are copied with the checksum bit
// cleared, and no checksums are written, as Windows 98/Me files have them.
// Writing the same tree twice, or a tree loaded from a compact file, gives the
// same bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "creg/creg_tree.h"

namespace sabrel::hive {

// Where the writer's bytes go, in order, in pieces of at most one data block
// or 64 KiB of the key-node area.
class ByteSink {
  public:
    virtual ~ByteSink() = default;
    // Returns 0 or a Win32 error code, which ends the write.
    virtual std::uint32_t Write(const std::uint8_t* data, std::size_t length) = 0;
};

class VectorSink : public ByteSink {
  public:
    std::uint32_t Write(const std::uint8_t* data, std::size_t length) override {
        bytes.insert(bytes.end(), data, data + length);
        return 0;
    }
    std::vector<std::uint8_t> bytes;
};

// Writes the subtree of `root` with `root` as the file's root. Returns 0, the
// sink's error code, 8 when memory runs out, or 1016 (ERROR_REGISTRY_IO_FAILED)
// when the tree does not fit the format (a key record over 4 GiB, more than
// 65,535 data blocks, a file of 2 GiB or more).
std::uint32_t WriteCompact(const CregTree& tree, std::uint32_t root, ByteSink& sink);

// The compact file as bytes (tests, the synthesizer); empty on failure.
std::vector<std::uint8_t> CompactBytes(const CregTree& tree, std::uint32_t root = 0);

// Lays out the body of a key record at `out`: the key's name, then each
// value entry (12-byte head, name, data) in order. `out` must have room for
// the name and every value entry.
void PutKeyBody(std::uint8_t* out, const CregTree& tree, const CregKey& k);

// The headers of the three parts of a file. The flags words are those of
// `flags` with the checksum bit cleared: no checksums are written.
// The CREG header, all 32 bytes: version 1.0, data block 0 right after a
// key-node area of `areaSize` bytes, `blockCount` data blocks.
void PutCregHeader(std::uint8_t* out, std::uint32_t areaSize, std::uint16_t blockCount,
                   const CregFlags& flags);
// The RGKN header, all 32 bytes, of an area whose root entry is slot 0.
void PutRgknHeader(std::uint8_t* out, std::uint32_t areaSize, std::uint32_t freeOffset,
                   const CregFlags& flags);
// The words of an RGDB header that have a meaning; the unknown word and the
// checksum are left as `out` holds them.
struct RgdbHeader {
    std::uint32_t blockSize;
    std::uint32_t unusedSize;  // total of the free records
    std::uint16_t blockNumber;
    std::uint32_t freeOffset;  // first free record, or all ones
    std::uint16_t maxId;
    std::uint16_t firstFreeId;
};
void PutRgdbHeader(std::uint8_t* out, const RgdbHeader& header, const CregFlags& flags);
// The 20-byte head of a key record (`used` bytes of head, name and values in
// `length` bytes), and the head of a free record of `length` bytes.
void PutRecordHead(std::uint8_t* out, std::uint32_t length, std::uint16_t id,
                   std::uint16_t blockNumber, std::uint32_t used, const CregKey& k);
void PutFreeRecordHead(std::uint8_t* out, std::uint32_t length);

// RGKN-relative offset of slot `i` of the key-node slot grid.
std::uint32_t SlotOffset(std::uint32_t i);
// Smallest key-node area size (0x2000 + n * 0x1000) that holds slots 0..i.
std::uint32_t AreaSizeForSlots(std::uint32_t slots);

}  // namespace sabrel::hive
