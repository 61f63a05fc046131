// SPDX-License-Identifier: MIT
// The checker's key index: walks the records of every data block and enters
// each key record into its slot.
#include "hive/checker.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <unordered_map>
#include <utility>
#include <vector>

#include "common/byte_reader.h"
#include "creg/creg_layout.h"
#include "hive/key_slots.h"

namespace sabrel::hive {

namespace L = layout;
using key_slots::kEmptySlot;
using key_slots::kSlotsPerBlock;

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

}  // namespace sabrel::hive
