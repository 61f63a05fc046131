// SPDX-License-Identifier: MIT
#include "creg/creg_writer.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "common/byte_reader.h"
#include "common/win32_types.h"
#include "creg/creg_layout.h"

namespace sabrel::hive {

namespace L = layout;

namespace {

constexpr std::uint32_t kTooBig = winapi::kErrorRegistryIoFailed;
constexpr std::uint32_t kBlockLimit = 0xF000;
constexpr std::uint32_t kPage = 0x1000;
constexpr std::uint16_t kChecksumBit = 0x0004;
constexpr std::uint64_t kMaxFile = 0x7FFFFFFFu;
constexpr std::uint32_t kAreaPiece = 0x10000;
constexpr std::uint32_t kAhead = 8;

std::uint32_t RoundUp(std::uint32_t n) {
    return (n + kPage - 1) & ~(kPage - 1);
}

std::uint64_t RecordSize(const CregTree& tree, const CregKey& k) {
    if (k.BodyInPool()) return L::record::kSize + k.BodyInPool();
    std::uint64_t size = L::record::kSize + k.nameLength;
    CregTree::ValueReader values = tree.Values(k);
    for (CregValue v; values.Next(&v);) size += L::value::kSize + v.nameLength + v.dataLength;
    return size;
}

// Next key after `k` in pre-order within the subtree of `root`.
std::uint32_t NextPreOrder(const CregTree& tree, std::uint32_t root, std::uint32_t k) {
    if (tree.Key(k).firstChild != kNoKey) return tree.Key(k).firstChild;
    while (k != root) {
        if (tree.Key(k).nextSibling != kNoKey) return tree.Key(k).nextSibling;
        k = tree.Key(k).parent;
    }
    return kNoKey;
}

struct Block {
    std::uint32_t firstKey;  // index into the pre-order list
    std::uint32_t keyCount;  // keys of the list placed here (with a record)
    std::uint32_t content;   // header plus records
    std::uint32_t size;
};

class Writer {
  public:
    Writer(const CregTree& tree, std::uint32_t root, ByteSink& sink)
        : tree_(tree), root_(root), sink_(sink) {}

    std::uint32_t Run() {
        for (std::uint32_t k = root_; k != kNoKey; k = NextPreOrder(tree_, root_, k)) {
            order_.push_back(k);
        }
        std::uint32_t code = PlaceRecords();
        if (code) return code;
        areaSize_ = AreaSizeForSlots(static_cast<std::uint32_t>(order_.size()) + 1);
        std::uint64_t total = L::creg::kSize + static_cast<std::uint64_t>(areaSize_);
        for (const Block& b : blocks_) total += b.size;
        if (total > kMaxFile) return kTooBig;
        code = WriteHeader();
        if (!code) code = WriteArea();
        for (std::size_t b = 0; !code && b < blocks_.size(); ++b) code = WriteBlock(b);
        return code;
    }

  private:
    // Assigns every key with a record its block and id, in pre-order: the
    // keys of block b are the next keyCount keys with a record, ids 0 up.
    // Nothing is kept per key; the writers below count along the same way.
    std::uint32_t PlaceRecords() {
        Block* cur = nullptr;
        std::uint32_t id = 0;
        for (std::uint32_t i = 0; i < order_.size(); ++i) {
            const CregKey& k = tree_.Key(order_[i]);
            if (!k.hasRecord) continue;
            std::uint64_t size = RecordSize(tree_, k);
            if (size > 0xFFFFFFFFu - L::rgdb::kSize - kPage || k.valueCount > 0xFFFF)
                return kTooBig;
            auto rec = static_cast<std::uint32_t>(size);
            if (!cur || id == L::rgdb::kMaxRecordsPerBlock ||
                (cur->keyCount > 0 &&
                 cur->content + static_cast<std::uint64_t>(rec) > kBlockLimit)) {
                if (blocks_.size() == L::keynode::kNoRecord) return kTooBig;
                blocks_.push_back({i, 0, L::rgdb::kSize, 0});
                cur = &blocks_.back();
                id = 0;
            }
            ++id;
            ++cur->keyCount;
            cur->content += rec;
        }
        // A file without any record still gets one (empty) block: readers
        // expect at least one.
        if (blocks_.empty()) blocks_.push_back({0, 0, L::rgdb::kSize, 0});
        for (Block& b : blocks_) b.size = RoundUp(b.content);
        return 0;
    }

    std::uint32_t WriteHeader() {
        std::uint8_t h[L::creg::kSize];
        PutCregHeader(h, areaSize_, static_cast<std::uint16_t>(blocks_.size()), tree_.flags);
        return sink_.Write(h, sizeof h);
    }

    // The area goes out in pieces of kAreaPiece bytes: on the slot grid no
    // entry crosses a 4 KiB line, so each entry lies in one piece.
    std::uint32_t WriteArea() {
        static_assert(
            kAreaPiece % L::grid::kChunk == 0 && L::grid::kFirstChunk % L::grid::kChunk == 0,
            "pieces end on chunk lines");
        auto n = static_cast<std::uint32_t>(order_.size());
        const std::uint32_t tail = SlotOffset(n);

        // Slot of every key of the subtree, by key index.
        std::vector<std::uint32_t> slot(tree_.KeyCount(), L::keynode::kNone);
        for (std::uint32_t i = 0; i < n; ++i) slot[order_[i]] = SlotOffset(i);
        auto link = [&](std::uint32_t k) { return k == kNoKey ? L::keynode::kNone : slot[k]; };

        std::vector<std::uint8_t> piece(std::min(areaSize_, kAreaPiece));
        std::uint32_t i = 0;
        std::uint32_t block = 0, id = 0;  // of the next key with a record
        for (std::uint32_t start = 0; start < areaSize_; start += kAreaPiece) {
            const std::uint32_t size = std::min(areaSize_ - start, kAreaPiece);
            std::memset(piece.data(), 0, size);
            if (start == 0) PutRgknHeader(piece.data(), areaSize_, tail, tree_.flags);
            for (; i < n && SlotOffset(i) < start + size; ++i) {
                const CregKey& k = tree_.Key(order_[i]);
                std::uint8_t* e = piece.data() + (SlotOffset(i) - start);
                StoreU32(e + L::keynode::kInUse, L::keynode::kInUseValue);
                StoreU32(e + L::keynode::kNameHash, k.hash);
                StoreU32(e + L::keynode::kNextFree, L::keynode::kNone);
                bool isRoot = i == 0;
                StoreU32(e + L::keynode::kParent, isRoot ? L::keynode::kNone : link(k.parent));
                StoreU32(e + L::keynode::kFirstChild, link(k.firstChild));
                StoreU32(e + L::keynode::kNextSibling,
                         isRoot ? L::keynode::kNone : link(k.nextSibling));
                std::uint16_t keyId = L::keynode::kNoRecord, keyBlock = L::keynode::kNoRecord;
                if (k.hasRecord) {
                    while (id == blocks_[block].keyCount) {
                        ++block;
                        id = 0;
                    }
                    keyId = static_cast<std::uint16_t>(id++);
                    keyBlock = static_cast<std::uint16_t>(block);
                }
                StoreU16(e + L::keynode::kKeyId, keyId);
                StoreU16(e + L::keynode::kBlockNumber, keyBlock);
            }
            if (tail >= start && tail < start + size) {
                std::uint8_t* f = piece.data() + (tail - start);
                StoreU32(f + L::keynode::kInUse, L::keynode::kFreeValue);
                StoreU32(f + L::keynode::kNameHash, areaSize_ - tail);
                StoreU32(f + L::keynode::kNextFree, L::keynode::kNone);
            }
            const std::uint32_t code = sink_.Write(piece.data(), size);
            if (code) return code;
        }
        return 0;
    }

    // The name and the values of a key, `size` bytes. A key loaded from a
    // file has them in the pool exactly as a record lays them out: one copy
    // moves the whole body, without a visit to its value entries.
    void PutBody(std::uint8_t* out, const CregKey& k, std::uint32_t size) {
        if (k.BodyInPool() && static_cast<std::uint64_t>(k.nameOffset) + size <= tree_.PoolSize()) {
            std::memcpy(out, tree_.Name(k), size);
            return;
        }
        PutKeyBody(out, tree_, k);
    }

    std::uint32_t WriteBlock(std::size_t b) {
        const Block& blk = blocks_[b];
        // Every byte is written below except the header's zero words and the
        // tail, which are cleared here: no need to clear the whole block.
        if (buf_.size() < blk.size) buf_.resize(blk.size);
        std::uint8_t* d = buf_.data();
        std::uint32_t tail = blk.size - blk.content;
        std::memset(d, 0, L::rgdb::kSize);
        std::memset(d + blk.content, 0, tail);
        bool freeTail = tail >= static_cast<std::uint32_t>(L::record::kSize);
        std::uint16_t last = blk.keyCount ? static_cast<std::uint16_t>(blk.keyCount - 1) : 0;
        PutRgdbHeader(
            d,
            {blk.size, freeTail ? tail : 0, static_cast<std::uint16_t>(b),
             freeTail ? blk.content : 0xFFFFFFFFu, last, static_cast<std::uint16_t>(blk.keyCount)},
            tree_.flags);

        std::uint32_t x = L::rgdb::kSize;
        std::uint32_t placed = 0;
        for (std::uint32_t i = blk.firstKey; placed < blk.keyCount; ++i) {
            // Keys and bodies of a used hive lie scattered: fetch the keys
            // some places ahead and their bodies half as far, so that the
            // reads overlap.
            if (i + 2 * kAhead < order_.size())
                __builtin_prefetch(&tree_.Key(order_[i + 2 * kAhead]));
            if (i + kAhead < order_.size()) {
                __builtin_prefetch(tree_.PoolData() + tree_.Key(order_[i + kAhead]).nameOffset);
            }
            const CregKey& k = tree_.Key(order_[i]);
            if (!k.hasRecord) continue;
            auto used = static_cast<std::uint32_t>(RecordSize(tree_, k));
            const auto id = static_cast<std::uint16_t>(placed++);
            std::uint32_t length = used;
            if (placed == blk.keyCount && !freeTail) length += tail;
            std::uint8_t* r = d + x;
            PutRecordHead(r, length, id, static_cast<std::uint16_t>(b), used, k);
            PutBody(r + L::record::kSize, k, used - L::record::kSize);
            x += length;
        }
        if (freeTail) {
            PutFreeRecordHead(d + x, tail);
            StoreU32(d + x + L::record::kUsedSize, 0xFFFFFFFFu);
        }
        return sink_.Write(d, blk.size);
    }

    const CregTree& tree_;
    std::uint32_t root_;
    ByteSink& sink_;
    std::vector<std::uint32_t> order_;
    std::vector<Block> blocks_;
    std::vector<std::uint8_t> buf_;
    std::uint32_t areaSize_ = 0;
};

}  // namespace

void PutKeyBody(std::uint8_t* out, const CregTree& tree, const CregKey& k) {
    std::memcpy(out, tree.Name(k), k.nameLength);
    std::uint32_t y = k.nameLength;
    CregTree::ValueReader values = tree.Values(k);
    for (CregValue v; values.Next(&v);) {
        StoreU32(out + y + L::value::kType, v.type);
        StoreU32(out + y + L::value::kUnknown04, v.unknown);
        StoreU16(out + y + L::value::kNameLength, v.nameLength);
        StoreU16(out + y + L::value::kDataLength, v.dataLength);
        y += L::value::kSize;
        std::memcpy(out + y, tree.Name(v), v.nameLength);
        y += v.nameLength;
        std::memcpy(out + y, tree.Data(v), v.dataLength);
        y += v.dataLength;
    }
}

void PutCregHeader(std::uint8_t* out, std::uint32_t areaSize, std::uint16_t blockCount,
                   const CregFlags& flags) {
    std::memset(out, 0, L::creg::kSize);
    std::memcpy(out + L::creg::kSignature, L::kCregSignature, 4);
    StoreU16(out + L::creg::kVersion + 2, 1);
    StoreU32(out + L::creg::kDataOffset, L::rgkn::kFileOffset + areaSize);
    StoreU16(out + L::creg::kBlockCount, blockCount);
    StoreU16(out + L::creg::kFlags, flags.creg & ~kChecksumBit);
    StoreU32(out + L::creg::kUnknown14, flags.cregUnknown);
}

void PutRgknHeader(std::uint8_t* out, std::uint32_t areaSize, std::uint32_t freeOffset,
                   const CregFlags& flags) {
    std::memset(out, 0, L::rgkn::kSize);
    std::memcpy(out + L::rgkn::kSignature, L::kRgknSignature, 4);
    StoreU32(out + L::rgkn::kAreaSize, areaSize);
    StoreU32(out + L::rgkn::kRootOffset, SlotOffset(0));
    StoreU32(out + L::rgkn::kFreeOffset, freeOffset);
    StoreU32(out + L::rgkn::kFlags, flags.rgkn & ~std::uint32_t{kChecksumBit});
}

void PutRgdbHeader(std::uint8_t* out, const RgdbHeader& header, const CregFlags& flags) {
    std::memcpy(out + L::rgdb::kSignature, L::kRgdbSignature, 4);
    StoreU32(out + L::rgdb::kBlockSize, header.blockSize);
    StoreU32(out + L::rgdb::kUnusedSize, header.unusedSize);
    StoreU16(out + L::rgdb::kFlags, flags.rgdb & ~kChecksumBit);
    StoreU16(out + L::rgdb::kBlockNumber, header.blockNumber);
    StoreU32(out + L::rgdb::kFreeOffset, header.freeOffset);
    StoreU16(out + L::rgdb::kMaxId, header.maxId);
    StoreU16(out + L::rgdb::kFirstFreeId, header.firstFreeId);
}

void PutRecordHead(std::uint8_t* out, std::uint32_t length, std::uint16_t id,
                   std::uint16_t blockNumber, std::uint32_t used, const CregKey& k) {
    StoreU32(out + L::record::kLength, length);
    StoreU16(out + L::record::kKeyId, id);
    StoreU16(out + L::record::kBlockNumber, blockNumber);
    StoreU32(out + L::record::kUsedSize, used);
    StoreU16(out + L::record::kNameLength, k.nameLength);
    StoreU16(out + L::record::kValueCount, static_cast<std::uint16_t>(k.valueCount));
    StoreU32(out + L::record::kReserved10, 0);
}

void PutFreeRecordHead(std::uint8_t* out, std::uint32_t length) {
    StoreU32(out + L::record::kLength, length);
    StoreU16(out + L::record::kKeyId, L::record::kFreeId);
    StoreU16(out + L::record::kBlockNumber, L::record::kFreeId);
}

std::uint32_t SlotOffset(std::uint32_t i) {
    if (i < static_cast<std::uint32_t>(L::grid::kFirstChunkSlots)) {
        return L::rgkn::kSize + L::keynode::kSize * i;
    }
    std::uint32_t j = i - L::grid::kFirstChunkSlots;
    return L::grid::kFirstChunk + L::grid::kChunk * (j / L::grid::kChunkSlots) +
           L::keynode::kSize * (j % L::grid::kChunkSlots);
}

std::uint32_t AreaSizeForSlots(std::uint32_t slots) {
    if (slots <= static_cast<std::uint32_t>(L::grid::kFirstChunkSlots)) return L::grid::kFirstChunk;
    std::uint32_t j = slots - L::grid::kFirstChunkSlots;
    return L::grid::kFirstChunk +
           L::grid::kChunk * ((j + L::grid::kChunkSlots - 1) / L::grid::kChunkSlots);
}

std::uint32_t WriteCompact(const CregTree& tree, std::uint32_t root, ByteSink& sink) {
    try {
        return Writer(tree, root, sink).Run();
    } catch (const std::bad_alloc&) {
        return winapi::kErrorNotEnoughMemory;
    }
}

std::vector<std::uint8_t> CompactBytes(const CregTree& tree, std::uint32_t root) {
    VectorSink sink;
    if (WriteCompact(tree, root, sink)) return {};
    return std::move(sink.bytes);
}

}  // namespace sabrel::hive
