// SPDX-License-Identifier: MIT
#include "platform/offline/fat/vhd.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace sabrel::platform::offline::fat {

namespace {

constexpr std::uint32_t kSector = 512;

// Footer fields.
constexpr std::size_t kFooterDataOffset = 16;
constexpr std::size_t kFooterCurrentSize = 48;
constexpr std::size_t kFooterDiskType = 60;
constexpr std::size_t kFooterChecksum = 64;

// Dynamic header fields.
constexpr std::size_t kHeaderTableOffset = 16;
constexpr std::size_t kHeaderMaxEntries = 28;
constexpr std::size_t kHeaderBlockSize = 32;
constexpr std::size_t kHeaderChecksum = 36;

constexpr std::uint32_t kLargestBlock = 256u << 20;

std::uint32_t BigU32(const std::uint8_t* p) {
    return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) |
           p[3];
}

std::uint64_t BigU64(const std::uint8_t* p) {
    return (std::uint64_t{BigU32(p)} << 32) | BigU32(p + 4);
}

void PutBigU32(std::uint8_t* p, std::uint32_t v) {
    p[0] = static_cast<std::uint8_t>(v >> 24);
    p[1] = static_cast<std::uint8_t>(v >> 16);
    p[2] = static_cast<std::uint8_t>(v >> 8);
    p[3] = static_cast<std::uint8_t>(v);
}

std::uint64_t RoundUpToSector(std::uint64_t n) {
    return (n + kSector - 1) / kSector * kSector;
}

}  // namespace

std::uint32_t VhdChecksum(const std::uint8_t* bytes, std::size_t size, std::size_t checksumAt) {
    std::uint32_t sum = 0;
    for (std::size_t i = 0; i < size; ++i) {
        if (i >= checksumAt && i < checksumAt + 4) continue;
        sum += bytes[i];
    }
    return ~sum;
}

bool ParseVhdFooter(const std::uint8_t* bytes, VhdFooter* out) {
    if (std::memcmp(bytes, "conectix", 8) != 0) return false;
    out->dataOffset = BigU64(bytes + kFooterDataOffset);
    out->currentSize = BigU64(bytes + kFooterCurrentSize);
    out->diskType = BigU32(bytes + kFooterDiskType);
    out->checksumRight =
        BigU32(bytes + kFooterChecksum) == VhdChecksum(bytes, kVhdFooterSize, kFooterChecksum);
    return true;
}

std::unique_ptr<DynamicVhd> DynamicVhd::Open(BlockDevice* file, const std::uint8_t* footer) {
    VhdFooter f;
    if (!ParseVhdFooter(footer, &f) || f.diskType != static_cast<std::uint32_t>(VhdType::kDynamic))
        return nullptr;
    const std::uint64_t fileSize = file->Size();
    if (fileSize < kVhdFooterSize * 2 + kVhdDynamicHeaderSize) return nullptr;
    std::uint8_t header[kVhdDynamicHeaderSize];
    if (f.dataOffset > fileSize - kVhdDynamicHeaderSize ||
        !file->Read(f.dataOffset, header, sizeof header) ||
        std::memcmp(header, "cxsparse", 8) != 0 ||
        BigU32(header + kHeaderChecksum) != VhdChecksum(header, sizeof header, kHeaderChecksum)) {
        return nullptr;
    }
    std::unique_ptr<DynamicVhd> d(new DynamicVhd());
    d->file_ = file;
    d->size_ = f.currentSize;
    d->tableOffset_ = BigU64(header + kHeaderTableOffset);
    d->blockSize_ = BigU32(header + kHeaderBlockSize);
    const std::uint32_t entries = BigU32(header + kHeaderMaxEntries);
    const std::uint32_t bs = d->blockSize_;
    if (bs < kSector || bs > kLargestBlock || (bs & (bs - 1)) != 0) return nullptr;
    if (d->size_ > std::uint64_t{entries} * bs) return nullptr;
    d->bitmapBytes_ = static_cast<std::uint32_t>(RoundUpToSector((bs / kSector + 7) / 8));
    // The footer ends the file; a file whose end lost it (a copy taken while
    // it grew) ends where it ends, and its next block starts there.
    std::uint8_t tail[kVhdFooterSize];
    d->footerAt_ = fileSize;
    if (file->Read(fileSize - kVhdFooterSize, tail, sizeof tail) &&
        std::memcmp(tail, "conectix", 8) == 0) {
        d->footerAt_ = fileSize - kVhdFooterSize;
    }
    const std::uint64_t tableBytes = std::uint64_t{entries} * 4;
    if (d->tableOffset_ > d->footerAt_ || tableBytes > d->footerAt_ - d->tableOffset_) {
        return nullptr;
    }
    std::vector<std::uint8_t> table(static_cast<std::size_t>(tableBytes));
    if (!file->Read(d->tableOffset_, table.data(), table.size())) return nullptr;
    d->bat_.resize(entries);
    const std::uint64_t blockBytes = std::uint64_t{d->bitmapBytes_} + bs;
    // Each block lies inside the file before the footer and shares no byte
    // with another block or with the image's own structures, so that a write
    // through one can never change anything else.
    std::vector<std::pair<std::uint64_t, std::uint64_t>> taken = {
        {0, kVhdFooterSize},
        {f.dataOffset, kVhdDynamicHeaderSize},
        {d->tableOffset_, tableBytes},
    };
    for (std::uint32_t i = 0; i < entries; ++i) {
        const std::uint32_t e = BigU32(&table[std::size_t{i} * 4]);
        d->bat_[i] = e;
        if (e == kVhdUnallocated) continue;
        const std::uint64_t at = std::uint64_t{e} * kSector;
        if (at > d->footerAt_ || blockBytes > d->footerAt_ - at) return nullptr;
        taken.emplace_back(at, blockBytes);
    }
    std::sort(taken.begin(), taken.end());
    std::uint64_t end = 0;
    for (const auto& [at, length] : taken) {
        if (length == 0) continue;
        if (at < end) return nullptr;
        end = at + length;
    }
    d->footer_.assign(footer, footer + kVhdFooterSize);
    PutBigU32(d->footer_.data() + kFooterChecksum,
              VhdChecksum(d->footer_.data(), kVhdFooterSize, kFooterChecksum));
    return d;
}

std::size_t DynamicVhd::allocatedBlocks() const {
    return static_cast<std::size_t>(std::count_if(
        bat_.begin(), bat_.end(), [](std::uint32_t e) { return e != kVhdUnallocated; }));
}

bool DynamicVhd::LoadBitmap(std::uint32_t block) {
    auto it = bitmaps_.find(block);
    if (it == bitmaps_.end()) {
        std::vector<std::uint8_t> bits(bitmapBytes_);
        if (!file_->Read(std::uint64_t{bat_[block]} * kSector, bits.data(), bits.size())) {
            return false;
        }
        it = bitmaps_.emplace(block, std::move(bits)).first;
    }
    bitmap_ = &it->second;
    return true;
}

bool DynamicVhd::SectorPresent(std::uint32_t sector) const {
    return ((*bitmap_)[sector / 8] & (0x80u >> (sector % 8))) != 0;
}

bool DynamicVhd::ReadInBlock(std::uint32_t block, std::uint32_t at, std::uint8_t* out,
                             std::size_t n) {
    if (bat_[block] == kVhdUnallocated) {
        std::memset(out, 0, n);
        return true;
    }
    if (!LoadBitmap(block)) return false;
    const std::uint64_t data = std::uint64_t{bat_[block]} * kSector + bitmapBytes_;
    // Runs of sectors that are all present or all absent, one transfer each.
    std::size_t done = 0;
    while (done < n) {
        const std::uint32_t pos = at + static_cast<std::uint32_t>(done);
        const bool present = SectorPresent(pos / kSector);
        std::size_t run = kSector - pos % kSector;
        while (done + run < n &&
               SectorPresent((pos + static_cast<std::uint32_t>(run)) / kSector) == present) {
            run += kSector;
        }
        run = std::min(run, n - done);
        if (present) {
            if (!file_->Read(data + pos, out + done, run)) return false;
        } else {
            std::memset(out + done, 0, run);
        }
        done += run;
    }
    return true;
}

bool DynamicVhd::Read(std::uint64_t offset, void* out, std::size_t length) {
    if (!Inside(offset, length)) return false;
    auto* p = static_cast<std::uint8_t*>(out);
    while (length) {
        const auto block = static_cast<std::uint32_t>(offset / blockSize_);
        const auto at = static_cast<std::uint32_t>(offset % blockSize_);
        const std::size_t n = std::min<std::size_t>(length, blockSize_ - at);
        if (!ReadInBlock(block, at, p, n)) return false;
        p += n;
        offset += n;
        length -= n;
    }
    return true;
}

bool DynamicVhd::Allocate(std::uint32_t block) {
    // The new block starts where the footer is (on a sector boundary), and
    // the footer moves past it before anything else is written there.
    const std::uint64_t at = RoundUpToSector(footerAt_);
    const std::uint64_t newFooterAt = at + bitmapBytes_ + blockSize_;
    if (at / kSector >= kVhdUnallocated) return false;
    if (!file_->Grow(newFooterAt + kVhdFooterSize, footer_.data(), footer_.size())) return false;
    footerAt_ = newFooterAt;
    // Nothing present yet: the space after the bitmap is the grown file's
    // zeros, and the bitmap goes over the old footer.
    bitmap_ = &bitmaps_[block];
    bitmap_->assign(bitmapBytes_, 0);
    if (!file_->Write(at, bitmap_->data(), bitmap_->size())) {
        bitmaps_.erase(block);
        return false;
    }
    bat_[block] = static_cast<std::uint32_t>(at / kSector);
    return true;
}

bool DynamicVhd::WriteInBlock(std::uint32_t block, std::uint32_t at, const std::uint8_t* data,
                              std::size_t n) {
    const bool fresh = bat_[block] == kVhdUnallocated;
    if (fresh) {
        // Zeros are what an absent block reads as already.
        if (std::all_of(data, data + n, [](std::uint8_t b) { return b == 0; })) return true;
        if (!Allocate(block)) return false;
    } else if (!LoadBitmap(block)) {
        return false;
    }
    const std::uint64_t blockAt = std::uint64_t{bat_[block]} * kSector;
    const std::uint64_t dataAt = blockAt + bitmapBytes_;
    const std::uint32_t first = at / kSector;
    const std::uint32_t last = static_cast<std::uint32_t>((at + n - 1) / kSector);
    auto undo = [&] {
        // A fresh block that failed is left to the file as lost space; the
        // table on disk never named it.
        if (fresh) bat_[block] = kVhdUnallocated;
        bitmaps_.erase(block);
        return false;
    };
    // A sector written in part that was absent holds whatever the file had
    // there: its other bytes become the zeros it read as. A fresh block's
    // data area is the grown file's zeros already.
    static const std::uint8_t kZeros[kSector] = {};
    const std::uint32_t edges[2] = {first, last};
    for (int k = 0; k < (first == last ? 1 : 2); ++k) {
        const std::uint32_t s = edges[k];
        const bool whole = at <= s * kSector && at + n >= (s + 1) * std::size_t{kSector};
        if (fresh || whole || SectorPresent(s)) continue;
        if (!file_->Write(dataAt + std::uint64_t{s} * kSector, kZeros, kSector)) return undo();
    }
    if (!file_->Write(dataAt + at, data, n)) return undo();
    bool changed = false;
    for (std::uint32_t s = first; s <= last; ++s) {
        if (!SectorPresent(s)) {
            std::uint8_t& bits = (*bitmap_)[s / 8];
            bits = static_cast<std::uint8_t>(bits | (0x80u >> (s % 8)));
            changed = true;
        }
    }
    if (changed && !file_->Write(blockAt, bitmap_->data(), bitmap_->size())) return undo();
    if (fresh) {
        // Data and bitmap reach the disk before the table names the block.
        std::uint8_t entry[4];
        PutBigU32(entry, bat_[block]);
        if (!file_->Flush() || !file_->Write(tableOffset_ + std::uint64_t{block} * 4, entry, 4)) {
            return undo();
        }
    }
    return true;
}

bool DynamicVhd::Write(std::uint64_t offset, const void* data, std::size_t length) {
    if (!Inside(offset, length)) return false;
    const auto* p = static_cast<const std::uint8_t*>(data);
    while (length) {
        const auto block = static_cast<std::uint32_t>(offset / blockSize_);
        const auto at = static_cast<std::uint32_t>(offset % blockSize_);
        const std::size_t n = std::min<std::size_t>(length, blockSize_ - at);
        if (!WriteInBlock(block, at, p, n)) return false;
        p += n;
        offset += n;
        length -= n;
    }
    return true;
}

}  // namespace sabrel::platform::offline::fat
