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
        code = IndexBlocks();
        if (code) return code;
        return ReadTree();
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

    // Walks the data blocks and the records of each, and notes where every
    // record id of every block starts.
    std::uint32_t IndexBlocks() {
        // The walk finds each key's record with one lookup in a table by block
        // and id. Files whose blocks are at least a page (all Windows-written
        // ones) get that table filled with the records themselves, which spares
        // the walk a scattered read; for others it holds indexes into a list.
        std::size_t cells = static_cast<std::size_t>(blockCount_) * L::rgdb::kMaxRecordsPerBlock;
        dense_ = cells * sizeof(Record) <= r_.size();
        if (dense_) {
            table_.assign(cells, Record{});
        } else {
            records_.reserve(r_.size() / L::record::kSize);
            slots_.assign(cells, kNoSlot);
        }
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
            std::uint32_t code = IndexRecords(b, static_cast<std::uint32_t>(pos), size);
            if (code) return code;
            pos += size;
        }
        return 0;
    }

    // Records are parsed here, in file order, so that the tree walk touches
    // only the key-node area and the small per-record table. A damaged record
    // is an error only if a key refers to it.
    std::uint32_t IndexRecords(std::uint32_t b, std::uint32_t start, std::uint32_t size) {
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
            if (id != L::record::kFreeId && id < L::rgdb::kMaxRecordsPerBlock && dense_) {
                Record& cell = table_[b * L::rgdb::kMaxRecordsPerBlock + id];
                if (!cell.nameOffset) cell = ParseRecord(start + x);
            } else if (id != L::record::kFreeId) {
                std::uint32_t* slot = nullptr;
                if (id < L::rgdb::kMaxRecordsPerBlock) {
                    slot = &slots_[b * L::rgdb::kMaxRecordsPerBlock + id];
                } else {
                    slot = &extra_.emplace((static_cast<std::uint64_t>(b) << 16) | id, kNoSlot)
                                .first->second;
                }
                if (*slot == kNoSlot) {
                    *slot = static_cast<std::uint32_t>(records_.size());
                    records_.push_back(ParseRecord(start + x));
                }
            }
            x += length;
        }
        return 0;
    }

    static constexpr std::uint32_t kBadBody = 0xFFFFFFFFu;
    struct Record {
        std::uint32_t nameOffset = 0;  // 0: no record (records start past 0x40)
        std::uint32_t bodySize = 0;    // name and values as they lie in the file; kBadBody: damaged
        std::uint16_t valueCount = 0;
        std::uint16_t nameLength = 0;
    };
    static_assert(sizeof(Record) == 12, "a record cell is 12 bytes");

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

    const Record* FindRecord(std::uint16_t block, std::uint16_t id) const {
        if (block >= blockCount_) return nullptr;
        std::uint32_t index = kNoSlot;
        if (id < L::rgdb::kMaxRecordsPerBlock && dense_) {
            const Record& cell = table_[block * L::rgdb::kMaxRecordsPerBlock + id];
            return cell.nameOffset ? &cell : nullptr;
        }
        if (id < L::rgdb::kMaxRecordsPerBlock) {
            index = slots_[block * L::rgdb::kMaxRecordsPerBlock + id];
        } else {
            auto it = extra_.find((static_cast<std::uint64_t>(block) << 16) | id);
            if (it != extra_.end()) index = it->second;
        }
        return index == kNoSlot ? nullptr : &records_[index];
    }

    // One key entry, as read from the key-node area.
    struct Entry {
        std::uint32_t hash;
        std::uint32_t child;
        std::uint32_t next;
        std::uint16_t id;
        std::uint16_t block;
    };

    // Reads the key entry at area offset `e`, which must lie inside the area
    // and not have been read before (else the links cycle or are shared).
    std::uint32_t ReadEntry(std::uint32_t e, Entry* out) {
        if (e < L::rgkn::kSize || e > areaEnd_ || areaEnd_ - e < L::keynode::kSize) {
            return kCorrupt;
        }
        if (visited_[e]) return kCorrupt;
        visited_[e] = true;
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

    // Creates the key of entry `n` under `parent` (kNoKey: fills the root).
    std::uint32_t MakeKey(const Entry& n, std::uint32_t parent, std::uint32_t* key) {
        const Record* rec = nullptr;
        if (HasRecord(n)) {
            rec = FindRecord(n.block, n.id);
            if (!rec || rec->bodySize == kBadBody) return kCorrupt;
        }
        std::uint32_t nameOffset = rec ? rec->nameOffset : 0;
        std::uint16_t nameLength = rec ? rec->nameLength : 0;
        if (parent == kNoKey) {
            *key = 0;
            CregKey& root = tree_->MutableKey(0);
            root.hash = n.hash;
            root.hasRecord = rec != nullptr;
            root.nameOffset = nameOffset;
            root.nameLength = nameLength;
        } else {
            *key = tree_->AddKeyRef(parent, nameOffset, nameLength, n.hash, rec != nullptr);
        }
        if (rec) tree_->SetPoolValues(*key, rec->valueCount, rec->bodySize);
        return 0;
    }

    static bool IsLink(std::uint32_t link) { return link != 0 && link < 0x80000000u; }

    // Each sibling chain is read in one go, children chains are queued: the
    // work list is bounded by the number of entries, each of which is read
    // once. No recursion, so depth is unlimited. Entries and records of a used
    // hive lie scattered, so a chain is read first, fetching ahead the next
    // entry and each entry's record cell, and its keys made afterwards.
    std::uint32_t ReadTree() {
        visited_.assign(areaEnd_, false);
        tree_->ReserveKeys(
            std::min<std::size_t>(areaEnd_ / L::keynode::kSize, r_.size() / L::record::kSize + 1));
        Entry root;
        std::uint32_t rootKey = 0;
        std::uint32_t code = ReadEntry(root_, &root);
        if (!code) code = MakeKey(root, kNoKey, &rootKey);
        if (code) return code;
        std::vector<std::pair<std::uint32_t, std::uint32_t>> work;  // (first child, key)
        std::vector<Entry> chain;
        if (IsLink(root.child)) work.emplace_back(root.child, rootKey);
        while (!work.empty()) {
            auto [e, parent] = work.back();
            work.pop_back();
            chain.clear();
            while (true) {
                Entry n;
                code = ReadEntry(e, &n);
                if (code) return code;
                if (n.next < areaEnd_)
                    __builtin_prefetch(r_.data() + L::rgkn::kFileOffset + n.next);
                if (dense_ && HasRecord(n) && n.block < blockCount_ &&
                    n.id < L::rgdb::kMaxRecordsPerBlock) {
                    __builtin_prefetch(&table_[n.block * L::rgdb::kMaxRecordsPerBlock + n.id]);
                }
                chain.push_back(n);
                if (!IsLink(n.next)) break;
                e = n.next;
            }
            for (const Entry& n : chain) {
                std::uint32_t key = 0;
                code = MakeKey(n, parent, &key);
                if (code) return code;
                if (IsLink(n.child)) work.emplace_back(n.child, key);
            }
        }
        return 0;
    }

    ByteReader r_;
    CregTree* tree_;
    std::uint32_t root_ = 0;
    std::uint32_t areaEnd_ = 0;
    std::uint32_t dataOffset_ = 0;
    std::uint32_t blockCount_ = 0;
    bool dense_ = false;
    std::vector<Record> table_;         // dense: (block, id) -> record
    std::vector<std::uint32_t> slots_;  // otherwise: (block, id) -> index into records_
    std::vector<Record> records_;
    std::unordered_map<std::uint64_t, std::uint32_t> extra_;
    std::vector<bool> visited_;
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
