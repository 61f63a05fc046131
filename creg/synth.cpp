// SPDX-License-Identifier: MIT
#include "creg/synth.h"

#include <algorithm>
#include <cstring>

#include "common/byte_reader.h"
#include "creg/creg_layout.h"
#include "creg/creg_writer.h"
#include "creg/install_keys.h"
#include "creg/name_sum.h"

namespace sabrel::hive {

namespace L = layout;

namespace {

// splitmix64: fast, and the same sequence everywhere for a seed.
class Rng {
  public:
    explicit Rng(std::uint64_t seed) : s_(seed) {}
    std::uint64_t Next() {
        std::uint64_t z = (s_ += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    std::uint32_t Below(std::uint32_t n) { return n ? static_cast<std::uint32_t>(Next() % n) : 0; }
    bool Chance(std::uint32_t percent) { return Below(100) < percent; }
    void Fill(std::uint8_t* p, std::size_t n) {
        while (n >= 8) {
            StoreU32(p, static_cast<std::uint32_t>(Next()));
            StoreU32(p + 4, static_cast<std::uint32_t>(Next()));
            p += 8;
            n -= 8;
        }
        while (n--) *p++ = static_cast<std::uint8_t>(Next());
    }

  private:
    std::uint64_t s_;
};

template <typename T>
void Shuffle(std::vector<T>& v, Rng& rng) {
    for (std::size_t i = v.size(); i > 1; --i)
        std::swap(v[i - 1], v[rng.Below(static_cast<std::uint32_t>(i))]);
}

constexpr const char* kWords[] = {
    "Software",
    "Classes",
    "Control",
    "Enum",
    "Network",
    "Config",
    "Microsoft",
    "Windows",
    "Explorer",
    "Shell",
    "Fonts",
    "Display",
    "Printers",
    "Services",
    "VxD",
    "Class",
    "Root",
    "Desktop",
    "AppEvents",
    "Schemes",
    "Apps",
    "Keyboard Layout",
    "Control Panel",
    ".txt",
    "{4D36E96A-E325-11CE-BFC1-08002BE10318}",
    "CurrentVersion",
    "Run",
    "Policies",
};

constexpr std::uint32_t kTypes[] = {0, 1, 1, 1, 2, 3,  3,  4,           4,
                                    5, 6, 7, 8, 9, 10, 11, 0x80000001u, 0x80000007u};
constexpr std::uint32_t kUnknowns[] = {
    0xFFFFFFFFu, 0xFFFFFFFFu, 0xFFFFFFFFu, 0, 0xFFFFFF00u, 0xFFFF0000u, 1};

// Double-byte characters of code page 932: katakana (0x83 0x40-0x96, whose
// trail bytes include '\' 0x5C and the letters a-z), hiragana, kanji.
void AddDoubleByte(std::string& s, Rng& rng) {
    switch (rng.Below(4)) {
        case 0: {
            std::uint8_t t = static_cast<std::uint8_t>(0x40 + rng.Below(0x57));
            if (t == 0x7F) t = 0x5C;  // 0x7F is no trail byte; take the backslash one
            s += '\x83';
            s += static_cast<char>(t);
            break;
        }
        case 1:
            s += '\x82';
            s += static_cast<char>(0x9F + rng.Below(0x53));
            break;
        default: {
            s += static_cast<char>(0x89 + rng.Below(0x0F));
            std::uint8_t t = static_cast<std::uint8_t>(0x40 + rng.Below(0xBC));
            if (t == 0x7F) t = 0x80;
            s += static_cast<char>(t);
            break;
        }
    }
}

std::uint32_t Hash(const std::string& name) {
    return AsciiNameHash(reinterpret_cast<const std::uint8_t*>(name.data()), name.size());
}

std::uint32_t Sum932(const std::string& name) {
    static const ByteClasses classes = ByteClasses::ForCodePage(932);
    return NameSum(reinterpret_cast<const std::uint8_t*>(name.data()), name.size(), classes);
}

std::string Hex(std::uint32_t n) {
    char buf[16];
    int len = 0;
    do {
        buf[len++] = "0123456789ABCDEF"[n & 15];
        n >>= 4;
    } while (n);
    std::string s;
    while (len) s += buf[--len];
    return s;
}

class TreeMaker {
  public:
    explicit TreeMaker(const SynthOptions& o) : o_(o), rng_(o.seed) {}

    CregTree Make(CregTree tree) {
        tree_ = std::move(tree);
        for (std::uint32_t k = 0; k < tree_.KeyCount(); ++k) {
            all_.push_back(k);
            depth_.push_back(0);
        }
        if (o_.rootRecord) {
            CregKey& root = tree_.MutableKey(0);
            root.hasRecord = true;
            root.nameOffset = tree_.AddBytes("", 0);
            if (root.valueCount == 0) AddValues(0, 3);
        }
        for (std::uint32_t i = 0; i < o_.keys; ++i) Ordinary();
        for (std::uint32_t i = 0; i < o_.ghosts; ++i) {
            std::string name = AsciiName();
            NewKey(PickParent(), name, Hash(name) + 1);
        }
        for (std::uint32_t i = 0; i < o_.sjis; ++i) {
            std::string name;
            std::uint32_t chars = 1 + rng_.Below(6);
            for (std::uint32_t c = 0; c < chars; ++c) AddDoubleByte(name, rng_);
            name += Hex(counter_++);
            NewKey(PickParent(), name, i < o_.sjisBad ? Sum932(name) : Hash(name));
        }
        for (std::uint32_t i = 0; i < o_.kana; ++i) {
            std::string name;
            std::uint32_t chars = 1 + rng_.Below(8);
            for (std::uint32_t c = 0; c < chars; ++c)
                name += static_cast<char>(0xA1 + rng_.Below(0x3F));
            name += Hex(counter_++);
            NewKey(PickParent(), name, Hash(name));
        }
        for (std::uint32_t i = 0; i < o_.bigKeys; ++i) {
            std::string name = AsciiName();
            std::uint32_t k = NewKey(PickParent(), name, Hash(name), false);
            for (std::uint32_t v = 0; v < 5; ++v) {
                std::string data(15000 + rng_.Below(1300), '\0');
                rng_.Fill(reinterpret_cast<std::uint8_t*>(data.data()), data.size());
                tree_.AddValue(k, 3, 0xFFFFFFFFu, "Blob" + Hex(v), data);
                recordBytes_ += L::value::kSize + 4 + data.size();
            }
        }
        if (o_.deep) {
            std::uint32_t k = PickParent();
            for (std::uint32_t i = 0; i < o_.deep; ++i) {
                std::string name = "Level" + Hex(i);
                k = NewKey(k, name, Hash(name), i % 7 == 0);
            }
        }
        if (o_.wide) {
            std::string name = "Wide" + Hex(counter_++);
            std::uint32_t w = NewKey(0, name, Hash(name), false);
            for (std::uint32_t i = 0; i < o_.wide; ++i) {
                std::string child = "Item" + Hex(i);
                NewKey(w, child, Hash(child), i % 5 == 0);
            }
        }
        // The estimate runs a little short; aim 2 % over.
        while (o_.targetSize && Estimate() < o_.targetSize + o_.targetSize / 50) Ordinary();
        return std::move(tree_);
    }

  private:
    std::uint64_t Estimate() const {
        std::uint64_t keys = tree_.KeyCount();
        if (o_.fragmented) keys += keys / 8;
        std::uint64_t area = AreaSizeForSlots(static_cast<std::uint32_t>(keys) + 2);
        // Blocks end on 4 KiB; a fragmented file adds, per record, a free
        // record (15 % of ~170 bytes) and slack (10 % of ~40 bytes).
        std::uint64_t data = recordBytes_ + recordBytes_ / 48;
        if (o_.fragmented) data += tree_.KeyCount() * 30;
        return L::creg::kSize + area + data;
    }

    void Ordinary() {
        std::string name = AsciiName();
        NewKey(PickParent(), name, Hash(name));
    }

    std::string AsciiName() {
        std::string name = kWords[rng_.Below(sizeof kWords / sizeof kWords[0])];
        static const char kSeparators[] = " _.-";
        name += kSeparators[rng_.Below(4)];
        name += Hex(counter_++);
        if (rng_.Chance(20)) {
            for (char& c : name) {
                if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 0x20);
            }
        }
        return name;
    }

    std::uint32_t PickParent() {
        std::uint32_t r = rng_.Below(100);
        std::uint32_t last = all_.back();
        if (r < 40 && depth_[last] < 24) return last;
        if (r < 50) return 0;
        return all_[rng_.Below(static_cast<std::uint32_t>(all_.size()))];
    }

    std::uint32_t NewKey(std::uint32_t parent, const std::string& name, std::uint32_t hash,
                         bool values = true) {
        std::uint32_t k = tree_.AddKey(parent, name, hash);
        all_.push_back(k);
        depth_.push_back(depth_[parent] + 1);
        recordBytes_ += L::record::kSize + name.size();
        if (values) AddValues(k, o_.maxValues);
        return k;
    }

    void AddValues(std::uint32_t k, std::uint32_t maxValues) {
        std::uint32_t n = rng_.Below(maxValues + 1);
        for (std::uint32_t i = 0; i < n; ++i) {
            std::uint32_t type = kTypes[rng_.Below(sizeof kTypes / sizeof kTypes[0])];
            std::string name;
            if (i > 0 || rng_.Chance(60)) {
                name = rng_.Chance(10) ? std::string("\x92\x6C") : std::string("Value");
                name += Hex(i);
            }
            std::string data = Data(type);
            tree_.AddValue(k, type, kUnknowns[rng_.Below(sizeof kUnknowns / sizeof kUnknowns[0])],
                           name, data);
            recordBytes_ += L::value::kSize + name.size() + data.size();
        }
    }

    std::string Text(std::uint32_t length) {
        std::string s(length, 'a');
        for (char& c : s) c = static_cast<char>(0x20 + rng_.Below(0x5F));
        return s;
    }

    std::string Data(std::uint32_t type) {
        std::uint32_t len = rng_.Below(o_.maxData + 1);
        std::string s;
        switch (type) {
            case 1:  // REG_SZ: Windows 9x stores it without a terminating NUL
                return Text(len);
            case 2:
                s = "%WinDir%\\" + Text(len / 2);
                s += '\0';
                return s;
            case 4:
            case 5:
                s.assign(4, '\0');
                break;
            case 11:
                s.assign(8, '\0');
                break;
            case 7:
                s = Text(len / 3);
                s += '\0';
                s += Text(len / 3);
                s += '\0';
                s += '\0';
                return s;
            default:
                s.assign(len, '\0');
                break;
        }
        rng_.Fill(reinterpret_cast<std::uint8_t*>(s.data()), s.size());
        return s;
    }

    const SynthOptions& o_;
    Rng rng_;
    CregTree tree_;
    std::vector<std::uint32_t> all_;
    std::vector<std::uint32_t> depth_;
    std::uint32_t counter_ = 0;
    std::uint64_t recordBytes_ = 0;
};

std::uint32_t RecordUsed(const CregTree& tree, const CregKey& k) {
    std::uint32_t size = L::record::kSize + k.nameLength;
    for (std::uint32_t i = 0; i < k.valueCount; ++i) {
        const CregValue& v = tree.Value(k.firstValue + i);
        size += L::value::kSize + v.nameLength + v.dataLength;
    }
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

}  // namespace

CregTree SynthesizeTree(const SynthOptions& options) {
    return TreeMaker(options).Make(CregTree());
}

void AddInstallationValues(CregTree& tree, const InstallationValues& values) {
    auto path = [&](const char* p) {
        std::uint32_t k = 0;
        std::string s = p;
        std::size_t start = 0;
        while (start <= s.size()) {
            std::size_t end = s.find('\\', start);
            if (end == std::string::npos) end = s.size();
            std::string name = s.substr(start, end - start);
            std::uint32_t c = tree.FindChild(k, name);
            k = c != kNoKey ? c : tree.AddKey(k, name, Hash(name));
            start = end + 1;
        }
        return k;
    };
    auto sz = [&](const char* key, const char* name, const std::string& text) {
        if (!text.empty()) tree.AddValue(path(key), 1, 0xFFFFFFFFu, name, text);
    };
    for (const char* top :
         {"Config", "Enum", "hardware", "Network", "Security", "Software", "System"}) {
        path(top);
    }
    sz(kInstallVersionKey, "Version",
       values.versionNumber.rfind("4.90", 0) == 0 ? "Windows Millennium" : "Windows 98");
    tree.AddValue(path(kInstallVersionKey), 1, 0xFFFFFFFFu, kInstallVersionValue,
                  values.versionNumber);
    sz(kInstallLogonKey, kInstallLogonValue, values.user);
    sz(kInstallCurrentUserKey, kInstallCurrentUserValue, values.user);
    sz(kInstallCodePageKey, kInstallCodePageValue, values.codePage);
}

SynthStats CountKeys(const CregTree& tree) {
    static const ByteClasses classes = ByteClasses::ForCodePage(932);
    SynthStats s;
    for (std::uint32_t k = 0; k < tree.KeyCount(); ++k) {
        const CregKey& key = tree.Key(k);
        if (!key.hasRecord) continue;
        ++s.keys;
        s.values += key.valueCount;
        const std::uint8_t* name = tree.Name(key);
        std::size_t len = 0;
        while (len < key.nameLength && name[len]) ++len;
        std::uint32_t sum = NameSum(name, len, classes);
        if (sum != key.hash) {
            ++s.ghost;
        } else if (sum == SingleByteSum(name, len)) {
            ++s.good;
        } else {
            ++s.bad;
        }
    }
    return s;
}

namespace {

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

std::vector<std::uint8_t> Synthesize(const SynthOptions& options, SynthStats* stats,
                                     const InstallationValues* install) {
    CregTree base;
    if (install) AddInstallationValues(base, *install);
    CregTree tree = TreeMaker(options).Make(std::move(base));
    std::vector<std::uint8_t> bytes = options.fragmented
                                          ? WriteFragmented(tree, options.seed, options.orphans)
                                          : CompactBytes(tree);
    if (stats) {
        *stats = CountKeys(tree);
        std::uint16_t blocks = 0;
        if (bytes.size() >= L::creg::kSize)
            blocks = ByteReader::LoadU16(bytes.data() + L::creg::kBlockCount);
        stats->blocks = blocks;
    }
    return bytes;
}

}  // namespace sabrel::hive
