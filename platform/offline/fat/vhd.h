// SPDX-License-Identifier: MIT
// Virtual PC's VHD container. A fixed VHD is the raw disk followed by a
// 512-byte footer. A dynamic VHD keeps a copy of the footer at offset 0, a
// dynamic header naming the block allocation table (BAT), and blocks of data,
// each led by a bitmap of the sectors it holds; the footer ends the file.
// Every field is big-endian.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <unordered_map>
#include <vector>

#include "platform/offline/fat/block_device.h"

namespace sabrel::platform::offline::fat {

inline constexpr std::size_t kVhdFooterSize = 512;
inline constexpr std::size_t kVhdDynamicHeaderSize = 1024;
inline constexpr std::uint32_t kVhdUnallocated = 0xFFFFFFFF;

enum class VhdType : std::uint32_t { kFixed = 2, kDynamic = 3, kDifferencing = 4 };

struct VhdFooter {
    std::uint64_t dataOffset = 0;  // the dynamic header; all ones on a fixed disk
    std::uint64_t currentSize = 0;
    std::uint32_t diskType = 0;
    bool checksumRight = false;
};

// The sum that VHD stores in its footer and dynamic header: the ones'
// complement of the byte sum of `size` bytes, the four at `checksumAt` left
// out.
std::uint32_t VhdChecksum(const std::uint8_t* bytes, std::size_t size, std::size_t checksumAt);

// Reads a footer (or its copy at offset 0). False when the cookie is not
// "conectix".
bool ParseVhdFooter(const std::uint8_t* bytes, VhdFooter* out);

// The disk inside a dynamic VHD. Reads of sectors that no block holds give
// zeros. A write to such a sector allocates its block at the end of the file
// and sets the sector's bit in the block's bitmap. A kill at any point leaves
// a readable image with every earlier write intact:
//   1. a copy of the footer is written where the file will end, so that the
//      last 512 bytes are a footer whatever happens next;
//   2. the block's bitmap and data go where the old footer was;
//   3. the BAT entry is written only after them, so the table never names a
//      block that is not all there.
class DynamicVhd : public BlockDevice {
  public:
    // False when the dynamic header or its BAT is unusable: wrong cookie or
    // checksum, a block size that is not a power of two between one sector
    // and 256 MiB, a table too small for the disk or outside the file, or an
    // entry whose block does not lie inside the file before the footer.
    // `footer` is the image's footer, as found at its end (or at offset 0
    // when the end has none).
    static std::unique_ptr<DynamicVhd> Open(BlockDevice* file, const std::uint8_t* footer);

    std::uint64_t Size() const override { return size_; }
    bool Read(std::uint64_t offset, void* out, std::size_t length) override;
    bool Write(std::uint64_t offset, const void* data, std::size_t length) override;
    bool Flush() override { return file_->Flush(); }

    std::uint32_t blockSize() const { return blockSize_; }
    std::size_t allocatedBlocks() const;

  private:
    DynamicVhd() = default;
    bool ReadInBlock(std::uint32_t block, std::uint32_t at, std::uint8_t* out, std::size_t n);
    bool WriteInBlock(std::uint32_t block, std::uint32_t at, const std::uint8_t* data,
                      std::size_t n);
    bool Allocate(std::uint32_t block);
    bool LoadBitmap(std::uint32_t block);
    bool SectorPresent(std::uint32_t sector) const;

    BlockDevice* file_ = nullptr;
    std::uint64_t size_ = 0;
    std::uint32_t blockSize_ = 0;
    std::uint32_t bitmapBytes_ = 0;  // rounded up to whole sectors
    std::uint64_t tableOffset_ = 0;
    std::uint64_t footerAt_ = 0;  // where the file's footer starts
    std::vector<std::uint32_t> bat_;
    std::vector<std::uint8_t> footer_;
    // The bitmaps read so far, by block, as they are on disk; bitmap_ is the
    // one of the block at hand.
    std::unordered_map<std::uint32_t, std::vector<std::uint8_t>> bitmaps_;
    std::vector<std::uint8_t>* bitmap_ = nullptr;
};

}  // namespace sabrel::platform::offline::fat
