// SPDX-License-Identifier: MIT
// The checker's tree walk: follows the key links from the root, looks every
// key up in the key index and counts it as good, bad or ghost.
#include "hive/checker.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <new>
#include <utility>
#include <vector>

#include "common/byte_reader.h"
#include "creg/creg_layout.h"
#include "hive/key_slots.h"

namespace sabrel::hive {

namespace L = layout;
using key_slots::kEmptySlot;
using key_slots::kSlotsPerBlock;

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
          result_(result) {
        for (int b = 0; b < 0x80; ++b) {
            if (classes.dbcs && classes.lead[b]) asciiSingle_ = false;
        }
    }

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

    // The same walk with many sibling chains in flight: each step of a chain
    // starts fetching the entry the chain needs next, and other chains are
    // stepped while it arrives, so the misses of a tree laid out in no
    // particular order overlap. It holds only for a tree that the walk above
    // goes through in pre-order: every entry reached once, readable, at a
    // 4-byte place below `bound`, and the last entry of every chain naming
    // the entry whose child began the chain as its parent (none for the
    // root's chain), which is where the walk above climbs to. Returns false as
    // soon as anything else is met; the keys classified so far are then void.
    bool Interleaved(std::int32_t root, std::uint32_t bound) {
        if (root <= 0 || bound < L::keynode::kSize) return false;
        const std::uint32_t last = bound - L::keynode::kSize;
        const std::uint8_t* area = image_.data() + L::rgkn::kFileOffset;
        std::vector<std::uint32_t> reached(bound / 4 / 32 + 1, 0);
        // `parent` is 0 for the root's chain, which must end without one.
        struct Chain {
            std::uint32_t entry;
            std::int32_t parent;
        };
        constexpr int kLanes = 16;
        Chain lanes[kLanes];
        int active = 0;
        std::vector<Chain> waiting{Chain{static_cast<std::uint32_t>(root), 0}};
        const auto fetch = [area, last](std::uint32_t entry) {
            if (entry <= last) __builtin_prefetch(area + entry);
        };
        for (;;) {
            while (active < kLanes && !waiting.empty()) {
                lanes[active++] = waiting.back();
                waiting.pop_back();
            }
            if (active == 0) return true;
            for (int i = 0; i < active;) {
                Chain& c = lanes[i];
                if (c.entry > last || c.entry % 4 != 0) return false;
                std::uint32_t& word = reached[c.entry / 4 / 32];
                const std::uint32_t bit = std::uint32_t{1} << (c.entry / 4 % 32);
                if ((word & bit) != 0) return false;
                word |= bit;
                const std::uint8_t* node = area + c.entry;
                const std::uint16_t keyId = ByteReader::LoadU16(node + L::keynode::kKeyId);
                const std::uint16_t block = ByteReader::LoadU16(node + L::keynode::kBlockNumber);
                if (keyId != L::keynode::kNoRecord && block != L::keynode::kNoRecord) {
                    Defer(static_cast<std::size_t>(block) * kSlotsPerBlock + keyId,
                          ByteReader::LoadU32(node + L::keynode::kNameHash));
                }
                const std::int32_t child = ByteReader::LoadI32(node + L::keynode::kFirstChild);
                if (child > 0) {
                    fetch(static_cast<std::uint32_t>(child));
                    waiting.push_back(Chain{static_cast<std::uint32_t>(child),
                                            static_cast<std::int32_t>(c.entry)});
                }
                const std::int32_t sibling = ByteReader::LoadI32(node + L::keynode::kNextSibling);
                if (sibling > 0) {
                    c.entry = static_cast<std::uint32_t>(sibling);
                    fetch(c.entry);
                    ++i;
                    continue;
                }
                const std::int32_t parent = ByteReader::LoadI32(node + L::keynode::kParent);
                if (c.parent == 0 ? parent > 0 : parent != c.parent) return false;
                lanes[i] = lanes[--active];
            }
        }
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
        if (asciiSingle_) {
            // Both sums of a name of bytes below 0x80 are one sum, taken in
            // the same pass that looks for its end.
            std::uint32_t sum = 0;
            std::size_t i = 0;
            for (; i < present; ++i) {
                const std::uint8_t b = name[i];
                if (b == 0 || b >= 0x80) break;
                sum += static_cast<std::uint8_t>(b - 0x61) < 26 ? b - 0x20u : b;
            }
            if (i == present || name[i] == 0) {
                ++(sum == nameHash ? result_->goodKeys : result_->ghostKeys);
                return;
            }
        }
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
    // No byte below 0x80 starts a double-byte character, as in every code
    // page the system knows; a platform that says otherwise gets the full sums.
    bool asciiSingle_ = true;
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
    // Entries are looked for where the area says it ends; a tree reaching
    // past that, or anything but a plain tree, is walked entry by entry.
    if (interleavedWalk && indexedRecords_ >= 1) {
        std::uint64_t bound = ByteReader::LoadU32(area + L::rgkn::kAreaSize);
        if (bound > imageSize_ - L::rgkn::kFileOffset) bound = imageSize_ - L::rgkn::kFileOffset;
        TreeWalk quick(r, keyIndex_, overflow_, indexedRecords_, classes_, &result);
        // The marks of the entries reached take memory that the walk entry by
        // entry does without; short of it, that walk is taken.
        try {
            walkedInterleaved_ = quick.Interleaved(start.entry, static_cast<std::uint32_t>(bound));
        } catch (const std::bad_alloc&) {
            walkedInterleaved_ = false;
        }
        if (walkedInterleaved_) {
            quick.Flush();
            return;
        }
        result = HiveCheckResult{};
    }
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
