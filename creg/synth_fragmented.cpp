// SPDX-License-Identifier: MIT
// The synthesizer's fragmented writer: plans where every key entry and record
// of a tree goes, with free slots, free records, slack and orphans between
// them, then writes the file from that plan.
#include "creg/synth.h"

#include <algorithm>
#include <cstdint>
#include <vector>

#include "common/byte_reader.h"
#include "creg/creg_layout.h"
#include "creg/creg_writer.h"
#include "creg/synth_random.h"

namespace sabrel::hive {

namespace L = layout;
using synth_random::Rng;
using synth_random::Shuffle;

namespace {

std::uint32_t RecordUsed(const CregTree& tree, const CregKey& k) {
    std::uint32_t size = L::record::kSize + k.nameLength;
    CregTree::ValueReader values = tree.Values(k);
    for (CregValue v; values.Next(&v);) size += L::value::kSize + v.nameLength + v.dataLength;
    return size;
}

void PutRecord(std::uint8_t* r, const CregTree& tree, const CregKey& k, std::uint32_t length,
               std::uint16_t id, std::uint16_t block) {
    PutRecordHead(r, length, id, block, RecordUsed(tree, k), k);
    PutKeyBody(r + L::record::kSize, tree, k);
}

// One item of a data block: a key record (key index, or an orphan copy of
// one) or a free record.
struct Item {
    std::uint32_t key;  // kNoKey: free record
    std::uint32_t length;
    std::uint16_t id;
    bool orphan;
};

// Where a fragmented file puts everything: decided first, with the seed's
// random numbers, then written byte by byte from the same sequence.
struct FragmentPlan {
    std::vector<std::uint32_t> order;  // keys in pre-order, root first
    std::uint32_t usedSlots = 0;       // slots of keys and free slots, the root's included
    std::uint32_t areaSize = 0;
    std::vector<std::uint32_t> perm;   // slot numbers: keys of order[1..] first, then free slots
    std::vector<std::uint32_t> slot;   // area offset of each key's entry, by key index
    std::vector<std::uint32_t> place;  // (block << 16) | id of each key's record, or all ones
    std::vector<std::vector<Item>> blocks;
    std::vector<std::uint32_t> blockSizes;
};

// Every key of the tree in pre-order, root first.
std::vector<std::uint32_t> PreOrder(const CregTree& tree) {
    std::vector<std::uint32_t> order;
    for (std::uint32_t k = 0; k != kNoKey;) {
        order.push_back(k);
        const CregKey& key = tree.Key(k);
        if (key.firstChild != kNoKey) {
            k = key.firstChild;
            continue;
        }
        while (k != 0 && tree.Key(k).nextSibling == kNoKey) k = tree.Key(k).parent;
        k = k == 0 ? kNoKey : tree.Key(k).nextSibling;
    }
    return order;
}

// Key slots: the root first, the others scattered with free slots among them.
void PlanSlots(const CregTree& tree, Rng& rng, FragmentPlan& plan) {
    auto n = static_cast<std::uint32_t>(plan.order.size());
    std::uint32_t freeSlots = n / 8 + 1;
    plan.usedSlots = n + freeSlots;
    plan.areaSize = AreaSizeForSlots(plan.usedSlots + 1 + rng.Below(200));
    plan.perm.resize(plan.usedSlots - 1);
    for (std::uint32_t i = 0; i < plan.perm.size(); ++i) plan.perm[i] = i + 1;
    Shuffle(plan.perm, rng);
    plan.slot.assign(tree.KeyCount(), L::keynode::kNone);
    plan.slot[0] = SlotOffset(0);
    for (std::uint32_t i = 1; i < n; ++i) plan.slot[plan.order[i]] = SlotOffset(plan.perm[i - 1]);
}

// One data block from `recs[*next]` on: records up to a random target size,
// free records among them, slack, and ids drawn from a random range.
void PlanBlock(const CregTree& tree, const std::vector<std::uint32_t>& recs, std::size_t* next,
               Rng& rng, FragmentPlan& plan) {
    std::uint32_t target = 0x1000 * (5 + rng.Below(11));
    std::uint32_t content = L::rgdb::kSize;
    std::vector<Item> items;
    std::uint32_t count = 0;
    while (*next < recs.size() && count < L::rgdb::kMaxRecordsPerBlock) {
        if (rng.Chance(15)) {
            std::uint32_t size = L::record::kSize + rng.Below(300);
            if (content + size <= target) {
                items.push_back({kNoKey, size, L::record::kFreeId, false});
                content += size;
            }
        }
        std::uint32_t k = recs[*next] & 0x7FFFFFFFu;
        std::uint32_t length = RecordUsed(tree, tree.Key(k));
        if (rng.Chance(10)) length += 1 + rng.Below(80);
        if (count > 0 && content + length > target) break;
        items.push_back({k, length, 0, (recs[*next] & 0x80000000u) != 0});
        content += length;
        ++count;
        ++*next;
    }
    std::uint32_t size = (content + 0xFFF) & ~0xFFFu;
    std::uint32_t tail = size - content;
    if (tail >= static_cast<std::uint32_t>(L::record::kSize)) {
        items.push_back({kNoKey, tail, L::record::kFreeId, false});
    } else if (tail > 0) {
        items.back().length += tail;
    }
    // Ids: a random subset of 0..maxId, in random order.
    std::uint32_t maxId = count ? count - 1 : 0;
    maxId += rng.Below(std::min<std::uint32_t>(20, 255 - maxId));
    std::vector<std::uint32_t> ids(maxId + 1);
    for (std::uint32_t i = 0; i <= maxId; ++i) ids[i] = i;
    Shuffle(ids, rng);
    std::uint32_t j = 0;
    for (Item& it : items) {
        if (it.key == kNoKey) continue;
        it.id = static_cast<std::uint16_t>(ids[j++]);
        if (!it.orphan)
            plan.place[it.key] = (static_cast<std::uint32_t>(plan.blocks.size()) << 16) | it.id;
    }
    plan.blocks.push_back(std::move(items));
    plan.blockSizes.push_back(size);
}

// Records, shuffled over blocks of random size, with free records and slack.
void PlanRecords(const CregTree& tree, std::uint32_t orphans, Rng& rng, FragmentPlan& plan) {
    std::vector<std::uint32_t> recs;
    for (std::uint32_t k : plan.order) {
        if (tree.Key(k).hasRecord) recs.push_back(k);
    }
    std::uint32_t plain = static_cast<std::uint32_t>(recs.size());
    for (std::uint32_t i = 0; i < orphans && plain; ++i)
        recs.push_back(recs[rng.Below(plain)] | 0x80000000u);
    Shuffle(recs, rng);
    plan.place.assign(tree.KeyCount(), 0xFFFFFFFFu);
    std::size_t next = 0;
    while (next < recs.size() || plan.blocks.empty()) PlanBlock(tree, recs, &next, rng, plan);
}

FragmentPlan PlanFragmented(const CregTree& tree, std::uint32_t orphans, Rng& rng) {
    FragmentPlan plan;
    plan.order = PreOrder(tree);
    PlanSlots(tree, rng, plan);
    PlanRecords(tree, orphans, rng, plan);
    return plan;
}

// The key-node area at `a`: stale bytes, the entries in their slots, the
// free slots as a list in random order that ends with the tail run.
void EmitArea(const CregTree& tree, const FragmentPlan& plan, Rng& rng, std::uint8_t* a) {
    rng.Fill(a, plan.areaSize);  // stale bytes in pads and in the tail run
    auto link = [&](std::uint32_t k) { return k == kNoKey ? L::keynode::kNone : plan.slot[k]; };
    auto n = static_cast<std::uint32_t>(plan.order.size());
    for (std::uint32_t i = 0; i < n; ++i) {
        const CregKey& k = tree.Key(plan.order[i]);
        std::uint8_t* e = a + plan.slot[plan.order[i]];
        StoreU32(e + L::keynode::kInUse, L::keynode::kInUseValue);
        StoreU32(e + L::keynode::kNameHash, k.hash);
        // Stale in entries in use; readers ignore it.
        StoreU32(e + L::keynode::kNextFree,
                 rng.Chance(50) ? 0xFFFFFFFFu : static_cast<std::uint32_t>(rng.Next()));
        StoreU32(e + L::keynode::kParent, i == 0 ? L::keynode::kNone : link(k.parent));
        StoreU32(e + L::keynode::kFirstChild, link(k.firstChild));
        StoreU32(e + L::keynode::kNextSibling, i == 0 ? L::keynode::kNone : link(k.nextSibling));
        std::uint32_t p = plan.place[plan.order[i]];
        StoreU16(e + L::keynode::kKeyId, p == 0xFFFFFFFFu ? L::keynode::kNoRecord : p & 0xFFFF);
        StoreU16(e + L::keynode::kBlockNumber, p == 0xFFFFFFFFu ? L::keynode::kNoRecord : p >> 16);
    }
    std::vector<std::uint32_t> freeList(plan.perm.begin() + (n - 1), plan.perm.end());
    Shuffle(freeList, rng);
    freeList.push_back(plan.usedSlots);
    for (std::size_t i = 0; i < freeList.size(); ++i) {
        std::uint32_t off = SlotOffset(freeList[i]);
        bool last = i + 1 == freeList.size();
        StoreU32(a + off + L::keynode::kInUse, L::keynode::kFreeValue);
        StoreU32(a + off + L::keynode::kNameHash, last ? plan.areaSize - off : L::keynode::kSize);
        StoreU32(a + off + L::keynode::kNextFree,
                 last ? L::keynode::kNone : SlotOffset(freeList[i + 1]));
    }
    PutRgknHeader(a, plan.areaSize, SlotOffset(freeList[0]), tree.flags);
}

// Data block `b` at `d`: stale bytes, its records and free records, the
// free records linked in random order.
void EmitBlock(const CregTree& tree, const FragmentPlan& plan, std::uint32_t b, Rng& rng,
               std::uint8_t* d) {
    std::uint32_t size = plan.blockSizes[b];
    rng.Fill(d, size);  // stale bytes in slack and free records
    std::vector<std::uint32_t> frees;
    std::vector<bool> idUsed(256, false);
    std::uint32_t maxId = 0, unused = 0;
    std::uint32_t x = L::rgdb::kSize;
    for (const Item& it : plan.blocks[b]) {
        if (it.key == kNoKey) {
            PutFreeRecordHead(d + x, it.length);
            // What a deleted key leaves: a name length that fits the
            // record (readers check it even in free records), no values.
            StoreU16(d + x + L::record::kNameLength,
                     static_cast<std::uint16_t>(rng.Below(it.length - L::record::kSize + 1)));
            StoreU16(d + x + L::record::kValueCount, 0);
            frees.push_back(x);
            unused += it.length;
        } else {
            PutRecord(d + x, tree, tree.Key(it.key), it.length, it.id,
                      static_cast<std::uint16_t>(b));
            idUsed[it.id] = true;
            maxId = std::max<std::uint32_t>(maxId, it.id);
        }
        x += it.length;
    }
    Shuffle(frees, rng);
    for (std::size_t i = 0; i < frees.size(); ++i) {
        StoreU32(d + frees[i] + L::record::kUsedSize,
                 i + 1 < frees.size() ? frees[i + 1] : 0xFFFFFFFFu);
    }
    std::uint32_t firstFree = 0;
    while (firstFree < 255 && idUsed[firstFree]) ++firstFree;
    // max_id is a high-water mark: at least the highest id in use.
    std::uint32_t highWater = std::min<std::uint32_t>(254, maxId + rng.Below(3));
    PutRgdbHeader(
        d,
        {size, unused, static_cast<std::uint16_t>(b), frees.empty() ? 0xFFFFFFFFu : frees[0],
         static_cast<std::uint16_t>(highWater), static_cast<std::uint16_t>(firstFree)},
        tree.flags);
}

std::vector<std::uint8_t> EmitFragmented(const CregTree& tree, const FragmentPlan& plan, Rng& rng) {
    std::uint64_t total = L::creg::kSize + static_cast<std::uint64_t>(plan.areaSize);
    for (std::uint32_t s : plan.blockSizes) total += s;
    std::vector<std::uint8_t> out(total);
    PutCregHeader(out.data(), plan.areaSize, static_cast<std::uint16_t>(plan.blocks.size()),
                  tree.flags);
    EmitArea(tree, plan, rng, out.data() + L::rgkn::kFileOffset);
    std::uint64_t pos = L::rgkn::kFileOffset + static_cast<std::uint64_t>(plan.areaSize);
    for (std::uint32_t b = 0; b < plan.blocks.size(); ++b) {
        EmitBlock(tree, plan, b, rng, out.data() + pos);
        pos += plan.blockSizes[b];
    }
    return out;
}

}  // namespace

std::vector<std::uint8_t> WriteFragmented(const CregTree& tree, std::uint64_t seed,
                                          std::uint32_t orphans) {
    // One random sequence runs through both steps: the plan draws first.
    Rng rng(seed ^ 0xF4A6u);
    FragmentPlan plan = PlanFragmented(tree, orphans, rng);
    return EmitFragmented(tree, plan, rng);
}

}  // namespace sabrel::hive
