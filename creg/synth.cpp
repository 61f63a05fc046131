// SPDX-License-Identifier: MIT
// The synthesizer's tree maker: random key trees from a seed, the installation
// values of a SYSTEM.DAT, the checker's counts of a tree, and tree and file in one.
#include "creg/synth.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "common/byte_reader.h"
#include "creg/creg_layout.h"
#include "creg/creg_writer.h"
#include "creg/install_keys.h"
#include "creg/name_sum.h"
#include "creg/synth_random.h"

namespace sabrel::hive {

namespace L = layout;
using synth_random::Rng;
using synth_random::Shuffle;

namespace {

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
