// SPDX-License-Identifier: MIT
#include "hive/checker.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <memory>
#include <new>
#include <unordered_map>
#include <utility>

#include "common/byte_reader.h"
#include "creg/creg_layout.h"

// Positions are computed in 64 bits from the format's signed 32-bit fields, so
// no sum of a position and a stored length can wrap: a record or block that
// reaches beyond the file simply cannot be read there. Every position that is
// stored (block table, key index) lies inside the image, which is at most
// 2 GiB - 1 bytes, and so fits its signed 32-bit slot.

namespace sabrel::hive {

namespace L = layout;

namespace {

constexpr int kSlotsPerBlock = 256;
constexpr std::int32_t kEmptySlot = -1;
constexpr std::size_t kMaxImage =
    static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max());

}  // namespace

// When the flag is set but the code page information is unavailable, the code
// page 932 ranges are taken: that is the system the program is made for.
ByteClasses ByteClassesFromPlatform(platform::Platform& p) {
    if (p.GetDbcsEnabled() == 0) return ByteClasses::SingleByte();
    platform::CpInfo info;
    if (!p.GetCPInfo(p.GetACP(), &info)) return ByteClasses::ForCodePage(932);
    ByteClasses c;
    c.dbcs = true;
    for (int i = 0; i + 1 < 12; i += 2) {
        if (info.LeadByte[i] == 0 && info.LeadByte[i + 1] == 0) break;
        c.SetLeadRange(info.LeadByte[i], info.LeadByte[i + 1]);
    }
    return c;
}

HiveCheckResult HiveChecker::Check(const char* path) {
    status = kCheckOk;
    result = HiveCheckResult{};
    std::memset(header_, 0, sizeof header_);

    platform::Platform& p = platform::Get();
    const platform::DWORD attributes = p.GetFileAttributesA(path);
    if (attributes == platform::kInvalidFileAttributes ||
        (attributes & platform::kAttrDirectory) != 0) {
        status = kCheckNoFile;
        return result;
    }
    // The size comes first so that a file beyond the format's reach is
    // refused before anything is allocated for it.
    std::uint64_t size = 0;
    if (!p.GetFileSizeByPath(path, &size)) throw IoError(p.GetLastError());
    if (size > kMaxImage) throw OutOfMemoryError{};
    std::vector<std::uint8_t> image;
    try {
        if (!p.ReadWholeFile(path, &image)) {
            const platform::DWORD code = p.GetLastError();
            if (code == platform::kErrorNotEnoughMemory || code == platform::kErrorOutOfMemory) {
                throw OutOfMemoryError{};
            }
            throw IoError(code);
        }
    } catch (const std::bad_alloc&) {
        throw OutOfMemoryError{};
    }
    Run(image.data(), image.size());
    return result;
}

void HiveChecker::CheckImage(const std::uint8_t* data, std::size_t size) {
    status = kCheckOk;
    result = HiveCheckResult{};
    std::memset(header_, 0, sizeof header_);
    Run(data, size);
}

void HiveChecker::Run(const std::uint8_t* data, std::size_t size) {
    if (size > kMaxImage) throw OutOfMemoryError{};
    image_ = data;
    imageSize_ = size;
    try {
        if (CheckHeader()) {
            BuildBlockTable();
            if (status == kCheckOk) BuildKeyIndex();
            if (status == kCheckOk && digestIndex) DigestIndex();
            if (status == kCheckOk) WalkTree();
        }
    } catch (const std::bad_alloc&) {
        Release();
        status = kCheckOk;
        result = HiveCheckResult{};
        throw OutOfMemoryError{};
    }
    Release();
}

// Released in reverse order of making, capacity included, so that nothing of
// a check stays allocated until the next one.
void HiveChecker::Release() {
    SlotMap().swap(overflow_);
    std::vector<std::int32_t>().swap(keyIndex_);
    std::vector<std::int32_t>().swap(blockTable_);
    image_ = nullptr;
    imageSize_ = 0;
}

bool HiveChecker::CheckHeader() {
    const ByteReader r(image_, imageSize_);
    if (r.Copy(0, header_, sizeof header_) < sizeof header_) {
        status = kCheckShortFile;
        return false;
    }
    if (!r.Sig(L::creg::kSignature, L::kCregSignature)) {
        status = kCheckNoCreg;
        return false;
    }
    return true;
}

// A block size is not tested: 0 enters the same block again under the next
// number, and a size leading outside the file fails at the next header.
void HiveChecker::BuildBlockTable() {
    const std::uint16_t count = ByteReader::LoadU16(header_ + L::creg::kBlockCount);
    const ByteReader r(image_, imageSize_);
    blockTable_.assign(count, 0);
    std::int64_t pos = ByteReader::LoadI32(header_ + L::creg::kDataOffset);
    for (std::uint32_t n = 0; n < count; ++n) {
        if (!r.Has(pos, L::rgdb::kSize)) {
            status = kCheckBlockCut;
            return;
        }
        if (!r.Sig(pos + L::rgdb::kSignature, L::kRgdbSignature)) {
            status = kCheckNoRgdb;
            return;
        }
        blockTable_[n] = static_cast<std::int32_t>(pos);
        std::int32_t blockSize = 0;
        r.I32(pos + L::rgdb::kBlockSize, &blockSize);
        pos += blockSize;
    }
}

// Enters the offset of every key record into slot block * 256 + keyId.
// Kept as the format's readers of this family do it: a keyId of 256 or more
// lands in a later block's slots, or past the index's size, where the slot is
// kept all the same; the record entered last in a slot wins. A block yields at
// most lastRecordIndex + 1 entered records; when its last record is free, one
// more head is read at the block's end, which in a well-formed file is the
// next block's signature or the end of the file.
namespace {

// Where a run of free records ends: following free records of positive
// length from a position, the first position that holds no such record (a
// key, a length of 0 or less, or a head the image cannot hold). Runs are
// remembered at every 64th record, so a run walked again, from any of its
// records, costs at most 64 steps.
class FreeRuns {
  public:
    explicit FreeRuns(const ByteReader& image) : image_(image) {}

    std::int64_t Stop(std::int64_t x) {
        std::int64_t p = x;
        std::int64_t stop = x;
        std::size_t steps = 0;
        for (;;) {
            std::uint8_t head[L::record::kSize];
            if (image_.Copy(p, head, sizeof head) < sizeof head) break;
            const std::int32_t length = ByteReader::LoadI32(head + L::record::kLength);
            if (ByteReader::LoadU16(head + L::record::kKeyId) != L::record::kFreeId ||
                length <= 0) {
                break;
            }
            // Only free records are remembered, so a key costs no look-up.
            const auto known = stops_.find(p);
            if (known != stops_.end()) {
                stop = known->second;
                break;
            }
            if (steps++ % 64 == 0) marks_.push_back(p);
            p += length;
            stop = p;
        }
        for (std::int64_t m : marks_) stops_[m] = stop;
        marks_.clear();
        return stop;
    }

  private:
    const ByteReader& image_;
    std::unordered_map<std::int64_t, std::int64_t> stops_;
    std::vector<std::int64_t> marks_;
};

constexpr std::size_t kIds = 0x10000;

// What one block leaves in the index: for every keyId it entered, the record
// entered last (ids in the order first entered); and how many it entered.
struct BlockWrites {
    std::vector<std::pair<std::uint16_t, std::int32_t>> last;
    std::int64_t entered = 0;
};

// The entries of one block's walk, folded into BlockWrites as they come.
class WriteFolder {
  public:
    WriteFolder() : at_(kIds, kEmptySlot) {}

    void Enter(std::uint16_t keyId, std::int64_t x) {
        if (at_[keyId] == kEmptySlot) ids_.push_back(keyId);
        at_[keyId] = static_cast<std::int32_t>(x);
        ++entered_;
    }
    void Count(std::int64_t more) { entered_ += more; }

    BlockWrites Take() {
        BlockWrites w;
        w.last.reserve(ids_.size());
        for (std::uint16_t id : ids_) {
            w.last.emplace_back(id, at_[id]);
            at_[id] = kEmptySlot;
        }
        ids_.clear();
        w.entered = entered_;
        entered_ = 0;
        return w;
    }

  private:
    std::vector<std::int32_t> at_;
    std::vector<std::uint16_t> ids_;
    std::int64_t entered_ = 0;
};

// A block walk kept for the blocks that repeat it. `above` is the nearest
// higher block number with the same walk, once one is known; `kept` holds the
// writes that block does not overwrite (see BuildKeyIndex), for the distance
// `keptFor`.
struct KnownWalk {
    BlockWrites writes;
    std::size_t above = 0;
    bool hasAbove = false;
    std::size_t keptFor = 0;
    std::vector<std::pair<std::uint16_t, std::int32_t>> kept;
};

// Walks the records of one block and enters them, as the format's readers do,
// with two bounds that keep the outcome:
//  - A free record of length 0 or less ends the block. It cannot lead
//    anywhere new, and no key would count against R while it repeats.
//  - A key record of length 0 or less leads back (or stays), and the walk goes
//    on from there: every key it enters counts against R, so it ends. Once the
//    keys entered repeat (the same key record is reached again and nothing set
//    R to 0 on the way), the rest of the walk is that cycle of keys over and
//    over. Entering one round of it and then the part of a round that R leaves
//    gives every slot the record the full walk would leave there.
// Once more heads have been read than a file of side-by-side blocks could
// hold, runs of free records are crossed with FreeRuns: a run that stays
// before the block's end changes nothing but the cursor, one that reaches the
// end exactly sets R to 0, one that goes beyond ends the block.
struct BlockWalker {
    BlockWalker(const ByteReader& r, std::uint64_t plain) : image(r), plainSteps(plain) {}

    const ByteReader& image;
    std::uint64_t plainSteps;
    std::uint64_t steps = 0;
    std::unique_ptr<FreeRuns> runs;
    std::vector<std::pair<std::uint16_t, std::int64_t>> round;

    // Calls sink.Enter(keyId, offset) for every record entered, and
    // sink.Count(n) for records entered that need no call of their own.
    template <class Sink>
    void Walk(std::int64_t start, std::int32_t blockSize, std::uint16_t lastRecordIndex,
              Sink& sink) {
        const std::int64_t first = start + L::rgdb::kSize;
        const std::int64_t end = start + blockSize;
        std::int64_t x = first;
        std::int32_t remaining = lastRecordIndex;
        bool closing = false;  // R was set to 0 by a record that ends at the block's end
        bool turned = false;   // a key record led back or stayed
        // Brent's cycle search over the positions of the keys entered.
        std::int64_t saved = -1;
        std::uint64_t power = 1, length = 0;
        round.clear();
        do {
            if (++steps > plainSteps) {
                if (!runs) runs = std::make_unique<FreeRuns>(image);
                const std::int64_t stop = runs->Stop(x);
                if (stop > end) break;
                if (stop == end && stop != x) {
                    remaining = 0;
                    closing = true;
                }
                x = stop;
            }
            std::uint8_t head[L::record::kSize];
            if (image.Copy(x, head, sizeof head) < sizeof head) break;
            const std::int32_t recordLength = ByteReader::LoadI32(head + L::record::kLength);
            const std::int64_t next = x + recordLength;
            if (next < first || next > end) break;
            if (next == end) {
                remaining = 0;
                closing = true;
            }
            const std::uint16_t keyId = ByteReader::LoadU16(head + L::record::kKeyId);
            if (keyId == L::record::kFreeId) {
                if (recordLength <= 0) break;
            } else {
                sink.Enter(keyId, x);
                --remaining;
                if (turned && !closing && remaining >= 0) {
                    round.emplace_back(keyId, x);
                    if (x == saved) {
                        EnterRepeats(remaining, sink);
                        break;
                    }
                    if (power == length) {
                        saved = x;
                        power <<= 1;
                        length = 0;
                        round.clear();
                    }
                    ++length;
                }
                // Keys repeat only after a step back or in place.
                if (recordLength <= 0) turned = true;
            }
            x = next;
        } while (remaining >= 0);
    }

    // `round` holds the keys entered since the saved key up to it again: one
    // round of the cycle, in order. The walk would enter remaining + 1 more.
    template <class Sink>
    void EnterRepeats(std::int32_t remaining, Sink& sink) {
        const std::int64_t more = static_cast<std::int64_t>(remaining) + 1;
        const std::int64_t rounds = more / static_cast<std::int64_t>(round.size());
        const std::size_t rest = static_cast<std::size_t>(more % round.size());
        sink.Count(more - (rounds > 0 ? static_cast<std::int64_t>(round.size()) : 0) -
                   static_cast<std::int64_t>(rest));
        if (rounds > 0) {
            for (const auto& k : round) sink.Enter(k.first, k.second);
        }
        for (std::size_t i = 0; i < rest; ++i) sink.Enter(round[i].first, round[i].second);
    }
};

}  // namespace

// Enters a block's records straight into the index while the blocks are
// entered first to last: the record entered last in a slot wins.
struct ForwardEntry {
    ForwardEntry(std::vector<std::int32_t>& index, HiveChecker::SlotMap& beyond)
        : index_(index), beyond_(beyond) {}

    void Enter(std::uint16_t keyId, std::int64_t x) {
        ++entered;
        ++slotWrites;
        const std::size_t slot = base + keyId;
        if (slot < index_.size()) {
            index_[slot] = static_cast<std::int32_t>(x);
        } else {
            beyond_[static_cast<std::uint32_t>(slot)] = static_cast<std::int32_t>(x);
        }
    }
    void Count(std::int64_t more) { entered += more; }

    std::size_t base = 0;
    std::int64_t entered = 0;
    std::uint64_t slotWrites = 0;

  private:
    std::vector<std::int32_t>& index_;
    HiveChecker::SlotMap& beyond_;
};

// Enters a block's records straight into the index while the blocks are
// entered last to first: a slot that was empty when the block began is the
// block's own, and its later records overwrite it; a slot filled by a later
// block is left alone. `mine` says which it was, per keyId, for this block.
class DirectEntry {
  public:
    DirectEntry(std::vector<std::int32_t>& index, HiveChecker::SlotMap& beyond)
        : index_(index), beyond_(beyond), mine_(kIds, kUnseen) {}

    void Begin(std::size_t base) { base_ = base; }
    void Enter(std::uint16_t keyId, std::int64_t x) {
        ++entered;
        std::uint8_t& mine = mine_[keyId];
        if (mine == kTheirs) return;
        const std::size_t slot = base_ + keyId;
        const std::int32_t at = static_cast<std::int32_t>(x);
        if (mine == kMine) {
            if (slot < index_.size()) {
                index_[slot] = at;
            } else {
                beyond_[static_cast<std::uint32_t>(slot)] = at;
            }
            return;
        }
        ++slotWrites;
        seen_.push_back(keyId);
        bool empty;
        if (slot < index_.size()) {
            empty = index_[slot] == kEmptySlot;
            if (empty) index_[slot] = at;
        } else {
            empty = beyond_.emplace(static_cast<std::uint32_t>(slot), at).second;
        }
        mine = empty ? kMine : kTheirs;
    }
    void Count(std::int64_t more) { entered += more; }
    void End() {
        for (std::uint16_t id : seen_) mine_[id] = kUnseen;
        seen_.clear();
    }

    std::int64_t entered = 0;
    std::uint64_t slotWrites = 0;

  private:
    static constexpr std::uint8_t kUnseen = 0, kMine = 1, kTheirs = 2;
    std::vector<std::int32_t>& index_;
    HiveChecker::SlotMap& beyond_;
    std::size_t base_ = 0;
    std::vector<std::uint8_t> mine_;
    std::vector<std::uint16_t> seen_;
};

// Where blocks repeat one another's place (blocks that overlap, a negative
// size leading back), they are entered from the last to the first, and a
// slot is written only while it is still empty: the first write in that order
// is the last in the format's order, so the index comes out the same. A block
// whose walk repeats one made by a block above it (same place, so same size
// and bound) takes the writes of that walk; of those it needs only the ones
// that the block above does not overwrite, which depend only on the distance
// between the two. That keeps blocks that overlap in a repeating pattern from
// costing their count times their records.
void HiveChecker::BuildKeyIndex() {
    const std::size_t count = blockTable_.size();
    keyIndex_.assign(count * kSlotsPerBlock, kEmptySlot);
    overflow_.clear();
    indexedRecords_ = 0;
    walkedBlocks_ = 0;
    slotWrites_ = 0;
    indexDigest_ = 0;
    const ByteReader r(image_, imageSize_);
    std::uint64_t plainSteps = imageSize_ + 2 * static_cast<std::uint64_t>(count) + 64;
    if (freeRunSkipping == FreeRunSkipping::kAlways) plainSteps = 0;
    if (freeRunSkipping == FreeRunSkipping::kNever) plainSteps = ~std::uint64_t{0};
    BlockWalker walker(r, plainSteps);
    std::vector<std::int32_t> places(blockTable_);
    std::sort(places.begin(), places.end());
    if (freeRunSkipping == FreeRunSkipping::kNever ||
        std::adjacent_find(places.begin(), places.end()) == places.end()) {
        // Every block walked on its own, first to last: the reference, and
        // the way for a file in which no block repeats another's place.
        ForwardEntry forward(keyIndex_, overflow_);
        for (std::size_t b = 0; b < count; ++b) {
            const std::int64_t start = blockTable_[b];
            std::int32_t blockSize = 0;
            std::uint16_t lastRecordIndex = 0;
            r.I32(start + L::rgdb::kBlockSize, &blockSize);
            r.U16(start + L::rgdb::kMaxId, &lastRecordIndex);
            forward.base = b * kSlotsPerBlock;
            walker.Walk(start, blockSize, lastRecordIndex, forward);
            ++walkedBlocks_;
        }
        indexedRecords_ = forward.entered;
        slotWrites_ = forward.slotWrites;
        return;
    }
    // Walks are kept by the block's place, which fixes its size and bound
    // too. The block sequence is a function of the place (each block's size
    // leads to the next), so blocks that overlap settle into a cycle of
    // places; every place of the cycle is then walked once. What is kept
    // stays within the size of the index itself: past that, it is dropped and
    // later blocks are walked again. A place that occurs once is not kept.
    const auto repeats = [&places](std::int64_t start) {
        const auto at = std::lower_bound(places.begin(), places.end(), start);
        return at + 1 < places.end() && at[1] == start;
    };
    std::unordered_map<std::int64_t, KnownWalk> known;
    const std::size_t budget = keyIndex_.size() + kIds;
    std::size_t kept = 0;
    std::vector<bool> present;
    DirectEntry direct(keyIndex_, overflow_);
    WriteFolder folder;
    for (std::size_t b = count; b-- > 0;) {
        const std::int64_t start = blockTable_[b];
        std::int32_t blockSize = 0;
        std::uint16_t lastRecordIndex = 0;
        r.I32(start + L::rgdb::kBlockSize, &blockSize);
        r.U16(start + L::rgdb::kMaxId, &lastRecordIndex);
        auto found = known.find(start);
        KnownWalk* walk = found == known.end() ? nullptr : &found->second;
        if (!walk && !repeats(start)) {
            direct.Begin(b * kSlotsPerBlock);
            walker.Walk(start, blockSize, lastRecordIndex, direct);
            direct.End();
            ++walkedBlocks_;
            continue;
        }
        if (!walk) {
            walker.Walk(start, blockSize, lastRecordIndex, folder);
            ++walkedBlocks_;
            BlockWrites writes = folder.Take();
            if (kept + writes.last.size() > budget) {
                known.clear();
                kept = 0;
            }
            kept += writes.last.size();
            walk = &known[start];
            walk->writes = std::move(writes);
        }
        indexedRecords_ += walk->writes.entered;
        const std::vector<std::pair<std::uint16_t, std::int32_t>>* writes = &walk->writes.last;
        if (walk->hasAbove) {
            // Block `above` writes slot above * 256 + id for each of its
            // ids, which is this block's slot for id + distance * 256.
            const std::size_t distance = walk->above - b;
            if (walk->keptFor != distance) {
                walk->kept.clear();
                present.assign(kIds, false);
                for (const auto& w : walk->writes.last) present[w.first] = true;
                const std::size_t shift = distance * kSlotsPerBlock;
                for (const auto& w : walk->writes.last) {
                    if (w.first < shift || !present[w.first - shift]) walk->kept.push_back(w);
                }
                kept += walk->kept.size();
                walk->keptFor = distance;
            }
            writes = &walk->kept;
        }
        walk->above = b;
        walk->hasAbove = true;
        for (const auto& w : *writes) {
            ++slotWrites_;
            const std::size_t slot = b * kSlotsPerBlock + w.first;
            if (slot < keyIndex_.size()) {
                if (keyIndex_[slot] == kEmptySlot) keyIndex_[slot] = w.second;
            } else {
                overflow_.emplace(static_cast<std::uint32_t>(slot), w.second);
            }
        }
    }
    indexedRecords_ += direct.entered;
    slotWrites_ += direct.slotWrites;
}

void HiveChecker::DigestIndex() {
    std::uint64_t h = 0xcbf29ce484222325ull;
    const auto mix = [&h](std::uint64_t v) { h = (h ^ v) * 0x100000001b3ull; };
    for (std::int32_t v : keyIndex_) mix(static_cast<std::uint32_t>(v));
    std::vector<std::pair<std::uint32_t, std::int32_t>> beyond(overflow_.begin(), overflow_.end());
    std::sort(beyond.begin(), beyond.end());
    for (const auto& e : beyond) {
        mix(e.first);
        mix(static_cast<std::uint32_t>(e.second));
    }
    indexDigest_ = h;
}

namespace {

// One entry of the walk: the entry's offset and whether it was reached by
// climbing back from a child.
struct WalkState {
    std::int32_t entry;
    bool climbing;
    bool operator==(const WalkState& o) const { return entry == o.entry && climbing == o.climbing; }
    bool operator!=(const WalkState& o) const { return !(*this == o); }
};

enum class StepResult { kNext, kEnd, kNodeCut, kIndexEmpty };

// The tree walk without a stack: pre-order, children in sibling order; an
// entry reached again by climbing from its last child is neither classified
// nor descended into again. Each step depends only on the state it starts
// from, which is what lets the cycle detection below work on states alone.
class TreeWalk {
  public:
    TreeWalk(const ByteReader& image, const std::vector<std::int32_t>& index,
             const HiveChecker::SlotMap& overflow, std::int64_t indexedRecords,
             const ByteClasses& classes, HiveCheckResult* result)
        : image_(image),
          index_(index),
          overflow_(overflow),
          indexedRecords_(indexedRecords),
          classes_(classes),
          result_(result) {}

    StepResult Step(WalkState* s, bool classify) {
        std::uint8_t node[L::keynode::kSize];
        const std::int64_t at = L::rgkn::kFileOffset + static_cast<std::int64_t>(s->entry);
        if (image_.Copy(at, node, sizeof node) < sizeof node) return StepResult::kNodeCut;
        if (!s->climbing) {
            const std::uint16_t keyId = ByteReader::LoadU16(node + L::keynode::kKeyId);
            const std::uint16_t block = ByteReader::LoadU16(node + L::keynode::kBlockNumber);
            if (classify && keyId != L::keynode::kNoRecord && block != L::keynode::kNoRecord) {
                if (indexedRecords_ < 1) return StepResult::kIndexEmpty;
                const std::size_t slot = static_cast<std::size_t>(block) * kSlotsPerBlock + keyId;
                Defer(slot, ByteReader::LoadU32(node + L::keynode::kNameHash));
            }
            const std::int32_t child = ByteReader::LoadI32(node + L::keynode::kFirstChild);
            if (child > 0) {
                *s = WalkState{child, false};
                return StepResult::kNext;
            }
        }
        const std::int32_t sibling = ByteReader::LoadI32(node + L::keynode::kNextSibling);
        if (sibling > 0) {
            *s = WalkState{sibling, false};
            return StepResult::kNext;
        }
        const std::int32_t parent = ByteReader::LoadI32(node + L::keynode::kParent);
        if (parent > 0) {
            *s = WalkState{parent, true};
            return StepResult::kNext;
        }
        return StepResult::kEnd;
    }

    // Classifies the keys still waiting. Called before the counts are read.
    void Flush() {
        Resolve(filling_);
        ClassifyAll(ready_);
        ClassifyAll(filling_);
    }

  private:
    // Keys are classified in small batches, one batch behind the walk: the
    // walk itself is a chain of dependent reads, but the records of a batch
    // lie anywhere in the image and are fetched from memory side by side
    // while the walk goes on. Only the order in which keys are counted
    // changes, never a count.
    static constexpr int kBatch = 32;
    struct Waiting {
        std::size_t slot;
        std::uint32_t hash;
        std::int32_t record;
    };
    struct Batch {
        Waiting keys[kBatch];
        int count = 0;
    };

    void Defer(std::size_t slot, std::uint32_t hash) {
        if (slot < index_.size()) __builtin_prefetch(&index_[slot]);
        filling_.keys[filling_.count++] = Waiting{slot, hash, kEmptySlot};
        if (filling_.count == kBatch) {
            Resolve(filling_);
            ClassifyAll(ready_);
            std::swap(ready_, filling_);
        }
    }

    // A slot past the index's size holds a record only where one was entered.
    std::int32_t Lookup(std::size_t slot) const {
        if (slot < index_.size()) return index_[slot];
        const auto found = overflow_.find(static_cast<std::uint32_t>(slot));
        return found == overflow_.end() ? kEmptySlot : found->second;
    }

    // Looks the batch's slots up and starts fetching their records.
    void Resolve(Batch& batch) {
        for (int i = 0; i < batch.count; ++i) {
            const std::int32_t record = Lookup(batch.keys[i].slot);
            batch.keys[i].record = record;
            if (record == kEmptySlot) continue;
            const std::uint8_t* p = image_.data() + record;
            __builtin_prefetch(p);
            if (image_.size() - static_cast<std::size_t>(record) > 64) __builtin_prefetch(p + 64);
        }
    }

    void ClassifyAll(Batch& batch) {
        for (int i = 0; i < batch.count; ++i) {
            // An empty slot (status 12) is passed over at once.
            if (batch.keys[i].record != kEmptySlot) {
                Classify(batch.keys[i].record, batch.keys[i].hash);
            }
        }
        batch.count = 0;
    }

    // The name is summed straight from the image: over all nameLength bytes
    // however long (no buffer bounds it), over the bytes present when the end
    // of the file cuts it off, and only up to its first zero byte.
    void Classify(std::int32_t record, std::uint32_t nameHash) {
        std::uint16_t nameLength = 0;
        image_.U16(static_cast<std::int64_t>(record) + L::record::kNameLength, &nameLength);
        const std::size_t nameStart = static_cast<std::size_t>(record) + L::record::kSize;
        std::size_t present = 0;
        if (nameStart < image_.size()) {
            present = image_.size() - nameStart;
            if (present > nameLength) present = nameLength;
        }
        const std::uint8_t* name = image_.data() + nameStart;
        const void* zero = present ? std::memchr(name, 0, present) : nullptr;
        const std::size_t length =
            zero ? static_cast<std::size_t>(static_cast<const std::uint8_t*>(zero) - name)
                 : present;
        const std::uint32_t h = NameSum(name, length, classes_);
        if (h != nameHash) {
            ++result_->ghostKeys;
        } else if (h == SingleByteSum(name, length)) {
            ++result_->goodKeys;
        } else {
            ++result_->badKeys;
        }
    }

    const ByteReader& image_;
    const std::vector<std::int32_t>& index_;
    const HiveChecker::SlotMap& overflow_;
    std::int64_t indexedRecords_;
    const ByteClasses& classes_;
    HiveCheckResult* result_;
    Batch filling_;
    Batch ready_;
};

}  // namespace

// Links that form a cycle would keep the walk going for ever. The walk is a
// function of its state (entry, climbing mark), so it cycles exactly when a
// state repeats; Brent's method finds that with two saved states and no
// memory per entry. A cycling walk is then counted again from the root over
// its distinct states only, every entry once, and ends with kCheckTreeCycle.
void HiveChecker::WalkTree() {
    const ByteReader r(image_, imageSize_);
    std::uint8_t area[L::rgkn::kSize];
    if (r.Copy(L::rgkn::kFileOffset, area, sizeof area) < sizeof area) {
        status = kCheckNoKeyArea;
        return;
    }
    if (std::memcmp(area + L::rgkn::kSignature, L::kRgknSignature, 4) != 0) {
        status = kCheckNoRgkn;
        return;
    }
    const WalkState start{ByteReader::LoadI32(area + L::rgkn::kRootOffset), false};
    TreeWalk walk(r, keyIndex_, overflow_, indexedRecords_, classes_, &result);

    WalkState s = start;
    WalkState saved = start;
    std::uint64_t power = 1;
    std::uint64_t cycleLength = 1;
    for (;;) {
        const StepResult step = walk.Step(&s, true);
        if (step != StepResult::kNext) {
            walk.Flush();
            if (step == StepResult::kNodeCut) status = kCheckNodeCut;
            if (step == StepResult::kIndexEmpty) status = kCheckIndexEmpty;
            return;
        }
        if (s == saved) break;
        if (power == cycleLength) {
            saved = s;
            power <<= 1;
            cycleLength = 0;
        }
        ++cycleLength;
    }

    // The states before the cycle: walk one cursor cycleLength steps ahead of
    // another until they meet. No step here can fail, as all were taken above.
    WalkState lead = start;
    for (std::uint64_t i = 0; i < cycleLength; ++i) walk.Step(&lead, false);
    WalkState trail = start;
    std::uint64_t prefix = 0;
    while (trail != lead) {
        walk.Step(&trail, false);
        walk.Step(&lead, false);
        ++prefix;
    }
    walk.Flush();
    result = HiveCheckResult{};
    s = start;
    for (std::uint64_t i = 0; i < prefix + cycleLength; ++i) walk.Step(&s, true);
    walk.Flush();
    status = kCheckTreeCycle;
}

}  // namespace sabrel::hive
