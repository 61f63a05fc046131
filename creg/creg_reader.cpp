// SPDX-License-Identifier: MIT
#include "creg/creg_reader.h"

#include <algorithm>
#include <cstddef>
#include <new>
#include <unordered_map>
#include <utility>

#include "common/byte_reader.h"
#include "common/win32_types.h"
#include "creg/creg_layout.h"

namespace sabrel::hive {

namespace L = layout;

namespace {

constexpr std::uint32_t kBad = winapi::kErrorBadregistryFile;
constexpr std::uint32_t kCorrupt = winapi::kErrorRegistryCorrupt;
constexpr std::uint32_t kNoSlot = 0xFFFFFFFFu;

// Offsets beyond 2 GiB - 1 cannot be expressed in the format's signed links.
constexpr std::size_t kMaxImage = 0x7FFFFFFFu;

class Loader {
  public:
    Loader(const std::uint8_t* data, std::size_t size, CregTree* tree)
        : r_(data, size), tree_(tree) {}

    std::uint32_t Run() {
        if (!r_.Sig(0, L::kCregSignature)) return kBad;
        if (!r_.Sig(L::rgkn::kFileOffset, L::kRgknSignature)) return kBad;
        std::uint32_t code = ReadHeaders();
        if (code) return code;
        code = ReadTree();
        if (code) return code;
        return ReadRecords();
    }

  private:
    std::uint32_t ReadHeaders() {
        std::uint32_t rgknSize = 0, rgknFlags = 0, dataOffset = 0, unknown = 0;
        std::uint16_t count = 0, cregFlags = 0;
        if (!r_.U32(L::creg::kDataOffset, &dataOffset) || !r_.U16(L::creg::kBlockCount, &count) ||
            !r_.U16(L::creg::kFlags, &cregFlags) || !r_.U32(L::creg::kUnknown14, &unknown) ||
            !r_.U32(L::rgkn::kFileOffset + L::rgkn::kAreaSize, &rgknSize) ||
            !r_.U32(L::rgkn::kFileOffset + L::rgkn::kRootOffset, &root_) ||
            !r_.U32(L::rgkn::kFileOffset + L::rgkn::kFlags, &rgknFlags)) {
            return kCorrupt;
        }
        if (dataOffset < L::rgkn::kFileOffset + L::rgkn::kSize || dataOffset > r_.size()) {
            return kCorrupt;
        }
        // Entries must lie inside the key-node area as its header sizes it and
        // before the first data block.
        areaEnd_ = dataOffset - L::rgkn::kFileOffset;
        if (rgknSize < areaEnd_) areaEnd_ = rgknSize;
        dataOffset_ = dataOffset;
        blockCount_ = count;
        tree_->flags.creg = cregFlags;
        tree_->flags.cregUnknown = unknown;
        tree_->flags.rgkn = rgknFlags;
        return 0;
    }

    // One key entry, as read from the key-node area.
    struct Entry {
        std::uint32_t hash;
        std::uint32_t child;
        std::uint32_t next;
        std::uint16_t id;
        std::uint16_t block;
    };

    // Reads the key entries from the root down and makes their keys. A key
    // with a record claims the record's (block, id) cell; the records are
    // read afterwards, in file order, and fill in the keys that claimed them.
    //
    // Sibling chains are read several at a time, one entry of each in turn:
    // entries of a used hive lie scattered, each read is a cache miss, and
    // misses of independent chains overlap where those of one chain cannot.
    // Children chains are queued: the work list is bounded by the number of
    // entries, each of which is read once. No recursion, so depth is
    // unlimited.
    std::uint32_t ReadTree() {
        visited_.assign((static_cast<std::size_t>(areaEnd_) + 63) / 64, 0);
        std::size_t cells = static_cast<std::size_t>(blockCount_) * L::rgdb::kMaxRecordsPerBlock;
        // A cell per possible record when that costs no more than the file;
        // else (a file of tiny blocks, or a lying block count) a hash map.
        if (cells * sizeof(std::uint32_t) <= r_.size()) cells_.assign(cells, kNoSlot);
        tree_->ReserveKeys(
            std::min<std::size_t>(areaEnd_ / L::keynode::kSize, r_.size() / L::record::kSize + 1));
        Entry root;
        std::uint32_t code = ReadEntry(root_, &root);
        if (code) return code;
        CregKey& rootKey = tree_->MutableKey(0);
        rootKey.hash = root.hash;
        rootKey.hasRecord = HasRecord(root);
        if (HasRecord(root) && (code = Claim(root, 0)) != 0) return code;

        struct Lane {
            std::uint32_t entry, parent, prev;
        };
        constexpr int kLanes = 8;
        Lane lanes[kLanes];
        int active = 0;
        std::vector<std::pair<std::uint32_t, std::uint32_t>> work;  // (first child, key)
        if (IsLink(root.child)) work.emplace_back(root.child, 0);
        while (true) {
            while (active < kLanes && !work.empty()) {
                lanes[active++] = {work.back().first, work.back().second, kNoKey};
                work.pop_back();
            }
            if (active == 0) break;
            for (int i = 0; i < active;) {
                Lane& lane = lanes[i];
                Entry n;
                if ((code = ReadEntry(lane.entry, &n)) != 0) return code;
                std::uint32_t key =
                    tree_->AddKeyAfter(lane.parent, lane.prev, n.hash, HasRecord(n));
                if (HasRecord(n) && (code = Claim(n, key)) != 0) return code;
                if (IsLink(n.child)) {
                    work.emplace_back(n.child, key);
                    Prefetch(n.child);
                }
                if (IsLink(n.next)) {
                    lane.entry = n.next;
                    lane.prev = key;
                    Prefetch(n.next);
                    ++i;
                } else {
                    lanes[i] = lanes[--active];
                }
            }
        }
        return 0;
    }

    void Prefetch(std::uint32_t e) const {
        if (e >= areaEnd_) return;
        __builtin_prefetch(r_.data() + L::rgkn::kFileOffset + e);
        __builtin_prefetch(&visited_[e / 64]);
    }

    // The claim of (block, id): the key index of the first key that named
    // it, with kDone set once its record was read.
    static constexpr std::uint32_t kDone = 0x80000000u;

    std::uint32_t* Cell(std::uint32_t block, std::uint32_t id, bool create) {
        if (!cells_.empty() && id < static_cast<std::uint32_t>(L::rgdb::kMaxRecordsPerBlock)) {
            return &cells_[block * L::rgdb::kMaxRecordsPerBlock + id];
        }
        const std::uint64_t at = (static_cast<std::uint64_t>(block) << 16) | id;
        if (create) return &claims_.emplace(at, kNoSlot).first->second;
        auto it = claims_.find(at);
        return it == claims_.end() ? nullptr : &it->second;
    }

    std::uint32_t Claim(const Entry& n, std::uint32_t key) {
        if (n.block >= blockCount_) return kCorrupt;
        std::uint32_t* cell = Cell(n.block, n.id, true);
        if (*cell == kNoSlot) {
            *cell = key;
            ++pending_;
        } else {
            shared_.emplace_back(key, *cell);
        }
        return 0;
    }

    // Walks the data blocks and the records of each, in file order, and
    // gives every claimed record to the key that claimed it. Every claim must
    // be met; a damaged record is an error only if a key claims it.
    std::uint32_t ReadRecords() {
        std::uint64_t pos = dataOffset_;
        for (std::uint32_t b = 0; b < blockCount_; ++b) {
            std::uint32_t size = 0;
            if (!r_.Sig(static_cast<std::int64_t>(pos), L::kRgdbSignature) ||
                !r_.U32(static_cast<std::int64_t>(pos) + L::rgdb::kBlockSize, &size) ||
                size < L::rgdb::kSize || !r_.Has(static_cast<std::int64_t>(pos), size)) {
                return kCorrupt;
            }
            if (b == 0) {
                std::uint16_t flags = 0;
                r_.U16(static_cast<std::int64_t>(pos) + L::rgdb::kFlags, &flags);
                tree_->flags.rgdb = flags;
            }
            std::uint32_t code = ReadBlockRecords(b, static_cast<std::uint32_t>(pos), size);
            if (code) return code;
            pos += size;
        }
        if (pending_) return kCorrupt;
        for (const auto& [key, first] : shared_) {
            const CregKey f = tree_->Key(first);
            tree_->SetPoolValues(key, f.nameOffset, f.nameLength, f.valueCount, f.BodyInPool());
        }
        return 0;
    }

    // The records of a block must tile it exactly. When two records of a
    // block carry the same id, the first one is taken.
    std::uint32_t ReadBlockRecords(std::uint32_t b, std::uint32_t start, std::uint32_t size) {
        std::uint32_t x = L::rgdb::kSize;
        while (x < size) {
            std::uint32_t length = 0;
            std::uint16_t id = 0;
            if (size - x < static_cast<std::uint32_t>(L::record::kSize)) return kCorrupt;
            r_.U32(start + x + L::record::kLength, &length);
            r_.U16(start + x + L::record::kKeyId, &id);
            if (length < static_cast<std::uint32_t>(L::record::kSize) || length > size - x) {
                return kCorrupt;
            }
            std::uint32_t* cell = id == L::record::kFreeId ? nullptr : Cell(b, id, false);
            if (cell && *cell != kNoSlot && !(*cell & kDone)) {
                const Record rec = ParseRecord(start + x);
                if (rec.bodySize == kBadBody) return kCorrupt;
                tree_->SetPoolValues(*cell, rec.nameOffset, rec.nameLength, rec.valueCount,
                                     rec.bodySize);
                *cell |= kDone;
                --pending_;
            }
            x += length;
        }
        return 0;
    }

    static constexpr std::uint32_t kBadBody = 0xFFFFFFFFu;
    struct Record {
        std::uint32_t nameOffset = 0;
        std::uint32_t bodySize = 0;  // name and values as they lie in the file; kBadBody: damaged
        std::uint16_t valueCount = 0;
        std::uint16_t nameLength = 0;
    };

    // The name and the values must lie inside the used size (bytes past it
    // are slack) and inside the record's length, which the caller checked
    // against its block. The values are only checked here: the tree reads
    // them where they lie.
    Record ParseRecord(std::uint32_t p) {
        std::uint8_t h[L::record::kSize];
        r_.Copy(p, h, sizeof h);
        std::uint32_t length = ByteReader::LoadU32(h + L::record::kLength);
        std::uint32_t used = ByteReader::LoadU32(h + L::record::kUsedSize);
        std::uint16_t nameLength = ByteReader::LoadU16(h + L::record::kNameLength);
        std::uint16_t count = ByteReader::LoadU16(h + L::record::kValueCount);
        Record rec{p + L::record::kSize, kBadBody, count, nameLength};
        std::uint32_t end = used < length ? used : length;
        std::uint32_t x = L::record::kSize + nameLength;
        if (x > end) return rec;
        std::uint32_t i = 0;
        for (; i < count; ++i) {
            if (end - x < static_cast<std::uint32_t>(L::value::kSize)) break;
            std::uint16_t nameBytes = 0, dataBytes = 0;
            r_.U16(p + x + L::value::kNameLength, &nameBytes);
            r_.U16(p + x + L::value::kDataLength, &dataBytes);
            x += L::value::kSize;
            if (end - x < static_cast<std::uint32_t>(nameBytes) + dataBytes) break;
            x += nameBytes + dataBytes;
        }
        if (i == count) rec.bodySize = x - L::record::kSize;
        return rec;
    }

    // Reads the key entry at area offset `e`, which must lie inside the area
    // and not have been read before (else the links cycle or are shared).
    std::uint32_t ReadEntry(std::uint32_t e, Entry* out) {
        if (e < L::rgkn::kSize || e > areaEnd_ || areaEnd_ - e < L::keynode::kSize) {
            return kCorrupt;
        }
        std::uint64_t& word = visited_[e / 64];
        const std::uint64_t bit = std::uint64_t{1} << (e % 64);
        if (word & bit) return kCorrupt;
        word |= bit;
        const std::uint8_t* n = r_.data() + L::rgkn::kFileOffset + e;
        out->hash = ByteReader::LoadU32(n + L::keynode::kNameHash);
        out->child = ByteReader::LoadU32(n + L::keynode::kFirstChild);
        out->next = ByteReader::LoadU32(n + L::keynode::kNextSibling);
        out->id = ByteReader::LoadU16(n + L::keynode::kKeyId);
        out->block = ByteReader::LoadU16(n + L::keynode::kBlockNumber);
        return 0;
    }

    static bool HasRecord(const Entry& n) {
        return n.id != L::keynode::kNoRecord && n.block != L::keynode::kNoRecord;
    }

    static bool IsLink(std::uint32_t link) { return link != 0 && link < 0x80000000u; }

    ByteReader r_;
    CregTree* tree_;
    std::uint32_t root_ = 0;
    std::uint32_t areaEnd_ = 0;
    std::uint32_t dataOffset_ = 0;
    std::uint32_t blockCount_ = 0;
    std::vector<std::uint64_t> visited_;                       // a bit per area offset
    std::vector<std::uint32_t> cells_;                         // (block, id) -> claim, when dense
    std::unordered_map<std::uint64_t, std::uint32_t> claims_;  // the other claims
    std::vector<std::pair<std::uint32_t, std::uint32_t>> shared_;  // (key, first key)
    std::size_t pending_ = 0;                                      // claims not yet met
};

}  // namespace

namespace {

// The image becomes the tree's byte pool; names and data are referenced where
// they lie in it.
template <typename... Image>
std::uint32_t LoadInto(CregTree* tree, Image&&... image) {
    try {
        CregTree loaded(std::forward<Image>(image)...);
        std::uint32_t code = Loader(loaded.PoolData(), loaded.PoolSize(), &loaded).Run();
        if (code == 0) *tree = std::move(loaded);
        return code;
    } catch (const std::bad_alloc&) {
        return winapi::kErrorNotEnoughMemory;
    }
}

}  // namespace

std::uint32_t LoadHive(std::vector<std::uint8_t> image, CregTree* tree) {
    if (image.size() > kMaxImage) return winapi::kErrorNotEnoughMemory;
    return LoadInto(tree, std::move(image));
}

std::uint32_t LoadHive(std::shared_ptr<const std::uint8_t> image, std::size_t size,
                       CregTree* tree) {
    if (size > kMaxImage) return winapi::kErrorNotEnoughMemory;
    if (!image) size = 0;
    return LoadInto(tree, std::move(image), size);
}

}  // namespace sabrel::hive
