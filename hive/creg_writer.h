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

#include "hive/creg_tree.h"

namespace sabrel::hive {

// Where the writer's bytes go, in order, in pieces of at most one data block
// or the whole key-node area.
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

// RGKN-relative offset of slot `i` of the key-node slot grid.
std::uint32_t SlotOffset(std::uint32_t i);
// Smallest key-node area size (0x2000 + n * 0x1000) that holds slots 0..i.
std::uint32_t AreaSizeForSlots(std::uint32_t slots);

}  // namespace sabrel::hive
