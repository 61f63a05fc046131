// SPDX-License-Identifier: MIT
// -lh5- compressor: a binary-tree match finder, a parse that takes the
// cheapest path under the code lengths the data has been getting, then per
// block: Huffman tables for the literal/length codes (C), for the
// lengths of those codes (T) and for the position bit lengths (P).
#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>

#include "archiver/lh5.h"

namespace sabrel::archiver {

namespace {

// Positions farther back than this are never used; one short of the window,
// so that decoders with an exactly window-sized ring never read a slot that
// the same step writes.
constexpr std::size_t kMaxDistance = kLh5WindowSize - 1;
constexpr std::size_t kTreeBytes = 6;  // the trees are keyed on this many bytes
constexpr int kHashBits = 15;          // of those bytes: the trees
constexpr std::uint32_t kHashSize = 1u << kHashBits;
constexpr int kHash3Bits = 12;  // of three bytes: the nearest shorter match
constexpr std::uint32_t kHash3Size = 1u << kHash3Bits;
constexpr int kCBits = 9;  // bits of the C table's count
constexpr int kTBits = 5;  // bits of the T table's count
constexpr int kPBits = 4;  // bits of the P table's count

class BitWriter {
  public:
    explicit BitWriter(std::vector<std::uint8_t>* out) : out_(out) {}
    // Appends the low `n` bits of `value`, most significant first (n <= 24).
    void Put(int n, std::uint32_t value) {
        acc_ = (acc_ << n) | (value & ((1u << n) - 1));
        count_ += n;
        if (count_ >= 32) {
            count_ -= 32;
            if (fill_ + 4 > sizeof buf_) Drain();
            const std::uint32_t word = static_cast<std::uint32_t>(acc_ >> count_);
            buf_[fill_++] = static_cast<std::uint8_t>(word >> 24);
            buf_[fill_++] = static_cast<std::uint8_t>(word >> 16);
            buf_[fill_++] = static_cast<std::uint8_t>(word >> 8);
            buf_[fill_++] = static_cast<std::uint8_t>(word);
        }
    }
    void Flush() {
        while (count_ >= 8) {
            count_ -= 8;
            Byte(static_cast<std::uint8_t>(acc_ >> count_));
        }
        if (count_ > 0) Byte(static_cast<std::uint8_t>(acc_ << (8 - count_)));
        Drain();
        acc_ = 0;
        count_ = 0;
    }

  private:
    void Byte(std::uint8_t b) {
        if (fill_ == sizeof buf_) Drain();
        buf_[fill_++] = b;
    }
    void Drain() {
        out_->insert(out_->end(), buf_, buf_ + fill_);
        fill_ = 0;
    }

    std::vector<std::uint8_t>* out_;
    std::uint64_t acc_ = 0;  // the bits not yet in buf_ are its low `count_` bits
    int count_ = 0;
    std::uint8_t buf_[4096];
    std::size_t fill_ = 0;
};

// Canonical codes: shorter codes first, equal lengths in symbol order.
void MakeCodes(const std::uint8_t* lengths, int n, std::uint16_t* codes) {
    std::array<std::uint32_t, kLh5MaxCodeLength + 2> count{}, next{};
    for (int i = 0; i < n; ++i) count[lengths[i]]++;
    count[0] = 0;
    for (int len = 1; len <= kLh5MaxCodeLength; ++len)
        next[len + 1] = (next[len] + count[len]) << 1;
    for (int i = 0; i < n; ++i)
        codes[i] = lengths[i] ? static_cast<std::uint16_t>(next[lengths[i]]++) : 0;
}

int BitLength(unsigned v) {
    return v ? 32 - __builtin_clz(v) : 0;
}

struct Code {
    std::uint16_t c;  // literal or 256 + length - 3
    std::uint16_t p;  // distance - 1, for matches
};

struct Match {
    std::uint16_t len;
    std::uint16_t dist;
};

class BlockWriter {
  public:
    explicit BlockWriter(std::vector<std::uint8_t>* out) : bits_(out) {}

    void Write(const std::vector<Code>& codes) {
        std::array<std::uint32_t, kLh5NumC> cFreq{};
        std::array<std::uint32_t, kLh5NumP> pFreq{};
        for (const Code& k : codes) {
            cFreq[k.c]++;
            if (k.c >= 256) pFreq[BitLength(k.p)]++;
        }
        std::array<std::uint8_t, kLh5NumC> cLen{};
        std::array<std::uint8_t, kLh5NumP> pLen{};
        int cUsed = BuildCodeLengths(cFreq.data(), kLh5NumC, kLh5MaxCodeLength, cLen.data());
        int pUsed = BuildCodeLengths(pFreq.data(), kLh5NumP, kLh5MaxCodeLength, pLen.data());

        bits_.Put(16, static_cast<std::uint32_t>(codes.size()));
        if (cUsed <= 1) {
            int only = SingleSymbol(cFreq.data(), kLh5NumC);
            bits_.Put(kTBits, 0);
            bits_.Put(kTBits, 0);
            bits_.Put(kCBits, 0);
            bits_.Put(kCBits, static_cast<std::uint32_t>(only));
        } else {
            WriteCLengths(cLen.data());
        }
        if (pUsed <= 1) {
            bits_.Put(kPBits, 0);
            bits_.Put(kPBits, static_cast<std::uint32_t>(SingleSymbol(pFreq.data(), kLh5NumP)));
        } else {
            WriteLengths(pLen.data(), kLh5NumP, kPBits, -1);
        }

        std::array<std::uint16_t, kLh5NumC> cCode{};
        std::array<std::uint16_t, kLh5NumP> pCode{};
        MakeCodes(cLen.data(), kLh5NumC, cCode.data());
        MakeCodes(pLen.data(), kLh5NumP, pCode.data());
        for (const Code& k : codes) {
            bits_.Put(cLen[k.c], cCode[k.c]);
            if (k.c < 256) continue;
            int b = BitLength(k.p);
            bits_.Put(pLen[b], pCode[b]);
            if (b >= 2) bits_.Put(b - 1, k.p);
        }
    }

    void Finish() { bits_.Flush(); }

  private:
    static int SingleSymbol(const std::uint32_t* freq, int n) {
        for (int i = 0; i < n; ++i)
            if (freq[i]) return i;
        return 0;
    }

    // A table of code lengths (T or P): a count, then 3-bit lengths where 7
    // continues in unary; after index `special` a 2-bit run of zeros follows.
    void WriteLengths(const std::uint8_t* len, int n, int countBits, int special) {
        while (n > 0 && len[n - 1] == 0) --n;
        bits_.Put(countBits, static_cast<std::uint32_t>(n));
        int i = 0;
        while (i < n) {
            int k = len[i++];
            if (k <= 6)
                bits_.Put(3, static_cast<std::uint32_t>(k));
            else
                bits_.Put(k - 3, (1u << (k - 3)) - 2);
            if (i == special) {
                while (i < 6 && len[i] == 0) ++i;
                bits_.Put(2, static_cast<std::uint32_t>(i - 3));
            }
        }
    }

    // The C lengths, coded with the T table: T0 one zero, T1 + 4 bits 3..18
    // zeros, T2 + 9 bits 20 or more zeros, Tk (k >= 3) the length k - 2.
    void WriteCLengths(const std::uint8_t* cLen) {
        int n = kLh5NumC;
        while (n > 0 && cLen[n - 1] == 0) --n;

        struct TSym {
            std::uint8_t sym;
            std::uint8_t extraBits;
            std::uint16_t extra;
        };
        std::vector<TSym> seq;
        std::array<std::uint32_t, kLh5NumT> tFreq{};
        auto add = [&](int sym, int extraBits, int extra) {
            seq.push_back({static_cast<std::uint8_t>(sym), static_cast<std::uint8_t>(extraBits),
                           static_cast<std::uint16_t>(extra)});
            tFreq[sym]++;
        };
        for (int i = 0; i < n;) {
            if (cLen[i] != 0) {
                add(cLen[i] + 2, 0, 0);
                ++i;
                continue;
            }
            int run = 0;
            while (i + run < n && cLen[i + run] == 0) ++run;
            i += run;
            if (run <= 2) {
                for (int r = 0; r < run; ++r) add(0, 0, 0);
            } else if (run <= 18) {
                add(1, 4, run - 3);
            } else if (run == 19) {
                add(0, 0, 0);
                add(1, 4, 15);
            } else {
                add(2, kCBits, run - 20);
            }
        }

        std::array<std::uint8_t, kLh5NumT> tLen{};
        int tUsed = BuildCodeLengths(tFreq.data(), kLh5NumT, kLh5MaxCodeLength, tLen.data());
        std::array<std::uint16_t, kLh5NumT> tCode{};
        if (tUsed <= 1) {
            bits_.Put(kTBits, 0);
            bits_.Put(kTBits, static_cast<std::uint32_t>(SingleSymbol(tFreq.data(), kLh5NumT)));
        } else {
            WriteLengths(tLen.data(), kLh5NumT, kTBits, 3);
            MakeCodes(tLen.data(), kLh5NumT, tCode.data());
        }
        bits_.Put(kCBits, static_cast<std::uint32_t>(n));
        for (const TSym& t : seq) {
            bits_.Put(tLen[t.sym], tCode[t.sym]);
            if (t.extraBits) bits_.Put(t.extraBits, t.extra);
        }
    }

    BitWriter bits_;
};

// Binary search trees over the last window, one per hash of six bytes:
// each node is an earlier position, ordered by the bytes that follow it, so
// that walking from the root meets the positions that share the longest
// prefixes with the new one. Each new position becomes its tree's root (the
// nodes it passes are split into its smaller and larger subtrees), so the
// walk that finds its matches also enters it. Keyed on six bytes the trees
// stay small where hive records share their first four or five bytes, which
// took a third off the time on such data; matches shorter than six come from a table of the last
// position per hash of three bytes, read where the tree has no match.
// Positions are kept as 32-bit counts from one (0: empty); a candidate is
// used only inside the window and the data.
class MatchFinder {
  public:
    MatchFinder(const std::uint8_t* data, std::size_t size, int maxDepth)
        : data_(data),
          size_(size),
          maxDepth_(maxDepth),
          head_(kHashSize),
          head3_(kHash3Size),
          son_(2 * kLh5WindowSize) {}

    // Matches for `pos` among earlier positions, then enters `pos`. Writes
    // each length that beats the ones before it, with the nearest distance
    // that reaches it, in increasing order, and returns how many. The tree
    // tells bytes apart up to `nice`; the first match that reaches it ends
    // the search and is followed up to kLh5MaxMatch.
    int Find(std::size_t pos, std::size_t nice, Match* out) { return Walk(pos, nice, out); }
    // Enters `pos` without reporting matches.
    void Insert(std::size_t pos, std::size_t nice) { Walk(pos, nice, nullptr); }
    // Empties the trees, so that no stored position is older than the
    // positions to come by 2^31 or more and none of their differences wrap.
    void Forget() {
        std::fill(head_.begin(), head_.end(), 0);
        std::fill(head3_.begin(), head3_.end(), 0);
        std::fill(son_.begin(), son_.end(), 0);
    }

  private:
    int Walk(std::size_t pos, std::size_t nice, Match* out) {
        if (pos + kTreeBytes > size_) return 0;
        const std::size_t most = std::min<std::size_t>(kLh5MaxMatch, size_ - pos);
        const std::size_t limit = std::min(nice, most);
        const std::uint32_t id = static_cast<std::uint32_t>(pos + 1);
        const std::uint8_t* cur = data_ + pos;
        std::size_t best = kLh5MinMatch - 1;
        int found = 0;
        std::uint32_t v;
        std::memcpy(&v, cur, 4);
        const std::uint32_t h3 = Hash3(v);
        const std::uint32_t near = head3_[h3];
        head3_[h3] = id;
        const std::uint32_t h = Hash(v, cur[4], cur[5]);
        std::uint32_t cand = head_[h];
        head_[h] = id;
        std::uint32_t* smaller = &son_[2 * Slot(pos)];  // where the next smaller node goes
        std::uint32_t* larger = smaller + 1;
        std::size_t lenSmaller = 0, lenLarger = 0;
        for (int depth = maxDepth_;; --depth) {
            const std::uint32_t delta = id - cand;
            if (cand == 0 || depth == 0 || delta == 0 || delta > kMaxDistance || delta > pos) {
                *smaller = *larger = 0;
                // The tree found no match of six bytes or more: the last
                // position with the same first three bytes may do.
                if (out && found == 0) found = Near(pos, id - near, limit, most, out);
                return found;
            }
            std::uint32_t* pair = &son_[2 * Slot(pos - delta)];
            const std::uint8_t* m = cur - delta;
            const std::size_t len = Extend(m, cur, std::min(lenSmaller, lenLarger), limit);
            if (len > best) {
                best = len;
                if (out) {
                    // A match as long as the tree looks is followed to its end.
                    const std::size_t full = len == limit ? Extend(m, cur, len, most) : len;
                    out[found++] = {static_cast<std::uint16_t>(full),
                                    static_cast<std::uint16_t>(delta)};
                }
            }
            if (len == limit) {
                // As long as the new position: it takes the old one's place.
                *smaller = pair[0];
                *larger = pair[1];
                return found;
            }
            if (m[len] < cur[len]) {
                *smaller = cand;
                smaller = pair + 1;
                cand = *smaller;
                lenSmaller = len;
            } else {
                *larger = cand;
                larger = pair;
                cand = *larger;
                lenLarger = len;
            }
        }
    }

    // The match at `delta` back, if it is inside the window and the data
    // and of at least kLh5MinMatch bytes.
    int Near(std::size_t pos, std::uint32_t delta, std::size_t limit, std::size_t most,
             Match* out) const {
        const std::uint8_t* cur = data_ + pos;
        if (delta == 0 || delta > kMaxDistance || delta > pos) return 0;
        const std::size_t len = Extend(cur - delta, cur, 0, limit);
        if (len < kLh5MinMatch) return 0;
        const std::size_t full = len == limit ? Extend(cur - delta, cur, len, most) : len;
        out[0] = {static_cast<std::uint16_t>(full), static_cast<std::uint16_t>(delta)};
        return 1;
    }

    // How far `a` and `b` agree, from `len` on and up to `limit`.
    static std::size_t Extend(const std::uint8_t* a, const std::uint8_t* b, std::size_t len,
                              std::size_t limit) {
        while (len + 8 <= limit) {
            std::uint64_t x, y;
            std::memcpy(&x, a + len, 8);
            std::memcpy(&y, b + len, 8);
            if (x != y) return len + FirstDifferentByte(x ^ y);
            len += 8;
        }
        while (len < limit && a[len] == b[len]) ++len;
        return len;
    }
    // The lowest-addressed byte that differs in a nonzero XOR of two loads.
    static std::size_t FirstDifferentByte(std::uint64_t x) {
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
        return static_cast<std::size_t>(__builtin_clzll(x)) / 8;
#elif SIZE_MAX > 0xFFFFFFFFu
        return static_cast<std::size_t>(__builtin_ctzll(x)) / 8;
#else
        // On 32-bit x86 the 64-bit count comes from libgcc, whose code uses
        // TZCNT, which a 486 lacks; the bytes are counted here instead.
        std::size_t n = 0;
        for (; (x & 0xFF) == 0; x >>= 8) ++n;
        return n;
#endif
    }

    static std::size_t Slot(std::size_t pos) {
        return pos & (kLh5WindowSize - 1);
    }
    // Hashes of the first six and the first three bytes at a position,
    // given as the first four load from memory and the next two.
    static std::uint32_t Hash(std::uint32_t v, std::uint8_t b4, std::uint8_t b5) {
        const std::uint32_t w = std::uint32_t{b4} | std::uint32_t{b5} << 8;
        return ((v * 2654435761u) ^ (w * 0x9E3779B1u)) >> (32 - kHashBits);
    }
    static std::uint32_t Hash3(std::uint32_t v) {
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
        v >>= 8;
#else
        v <<= 8;
#endif
        return (v * 2654435761u) >> (32 - kHash3Bits);
    }

    const std::uint8_t* data_;
    std::size_t size_;
    int maxDepth_;
    std::vector<std::uint32_t> head_;
    std::vector<std::uint32_t> head3_;
    std::vector<std::uint32_t> son_;
};

// What each code is expected to cost in bits, from the Huffman lengths that
// the codes chosen last would get. A symbol that was not used is priced as a
// rare one, so that the parser can still take it up.
class CostModel {
  public:
    CostModel() {
        // Before any statistics: bytes cost 8 bits, short matches a little
        // less per byte than long ones, near distances less than far ones.
        for (int c = 0; c < 256; ++c) c_[c] = 8;
        for (int c = 256; c < kLh5NumC; ++c) c_[c] = c < 256 + 8 ? 6 : 10;
        for (int p = 0; p < kLh5NumP; ++p) p_[p] = 3;
    }

    void Learn(const std::uint32_t* cFreq, const std::uint32_t* pFreq) {
        Price(cFreq, kLh5NumC, c_.data());
        Price(pFreq, kLh5NumP, p_.data());
    }

    std::uint32_t Literal(std::uint8_t b) const { return c_[b]; }
    std::uint32_t Length(int len) const { return c_[256 + len - kLh5MinMatch]; }
    std::uint32_t Distance(std::size_t dist) const {
        int b = BitLength(static_cast<unsigned>(dist - 1));
        return p_[b] + (b >= 2 ? b - 1 : 0);
    }

  private:
    static void Price(const std::uint32_t* freq, int n, std::uint32_t* cost) {
        std::array<std::uint8_t, kLh5NumC> len{};
        std::uint64_t total = 0;
        for (int i = 0; i < n; ++i) total += freq[i];
        int used = BuildCodeLengths(freq, n, kLh5MaxCodeLength, len.data());
        const std::uint32_t rare = static_cast<std::uint32_t>(
            std::min(kLh5MaxCodeLength, BitLength(static_cast<unsigned>(total)) + 1));
        for (int i = 0; i < n; ++i) cost[i] = len[i] ? len[i] : (used < 2 && freq[i] ? 1 : rare);
    }

    std::array<std::uint32_t, kLh5NumC> c_{};
    std::array<std::uint32_t, kLh5NumP> p_{};
};

}  // namespace

int BuildCodeLengths(const std::uint32_t* freq, int n, int maxLength, std::uint8_t* lengths) {
    std::fill(lengths, lengths + n, 0);
    std::vector<int> used;
    for (int i = 0; i < n; ++i)
        if (freq[i]) used.push_back(i);
    int m = static_cast<int>(used.size());
    if (m < 2) return m;

    // Plain Huffman tree over the used symbols; nodes [0, m) are leaves.
    // Joined nodes come out in order of weight, so two queues (the leaves
    // sorted, the joined nodes as made) give the lightest node at either
    // front; ties go to the lower node number, as a heap of (weight, node)
    // would give them, at a fraction of the heap's cost.
    std::vector<std::uint64_t> weight(2 * m);
    std::vector<int> parent(2 * m, -1);
    std::vector<int> leaves(m);
    for (int i = 0; i < m; ++i) {
        weight[i] = freq[used[i]];
        leaves[i] = i;
    }
    std::sort(leaves.begin(), leaves.end(),
              [&](int a, int b) { return weight[a] != weight[b] ? weight[a] < weight[b] : a < b; });
    int leaf = 0, joined = m, next = m;
    auto lightest = [&] {
        const bool takeLeaf =
            leaf < m && (joined == next || weight[leaves[leaf]] <= weight[joined]);
        return takeLeaf ? leaves[leaf++] : joined++;
    };
    while (next < 2 * m - 1) {
        const int a = lightest();
        const int b = lightest();
        weight[next] = weight[a] + weight[b];
        parent[a] = parent[b] = next;
        ++next;
    }
    std::vector<int> depth(next, 0);
    for (int i = next - 2; i >= 0; --i) depth[i] = depth[parent[i]] + 1;

    // Count codes per length, clamping overlong ones, then restore the Kraft
    // sum: each step takes one code off the longest length and splits a
    // shorter leaf into two.
    std::vector<std::uint32_t> count(maxLength + 1, 0);
    for (int i = 0; i < m; ++i) count[std::min(depth[i], maxLength)]++;
    std::uint64_t kraft = 0;
    for (int len = 1; len <= maxLength; ++len)
        kraft += std::uint64_t{count[len]} << (maxLength - len);
    const std::uint64_t full = std::uint64_t{1} << maxLength;
    while (kraft > full) {
        count[maxLength]--;
        for (int len = maxLength - 1; len > 0; --len) {
            if (count[len]) {
                count[len]--;
                count[len + 1] += 2;
                break;
            }
        }
        kraft--;
    }

    // Most frequent symbols get the shortest codes.
    std::vector<int> order(used);
    std::stable_sort(order.begin(), order.end(), [&](int a, int b) { return freq[a] > freq[b]; });
    int k = 0;
    for (int len = 1; len <= maxLength; ++len)
        for (std::uint32_t c = 0; c < count[len]; ++c)
            lengths[order[k++]] = static_cast<std::uint8_t>(len);
    return m;
}

std::vector<std::uint8_t> Lh5Encode(const std::uint8_t* data, std::size_t size,
                                    const Lh5EncoderOptions& options) {
    std::vector<std::uint8_t> out;
    out.reserve(size / 2 + 64);
    BlockWriter writer(&out);
    MatchFinder finder(data, size, std::max(1, options.maxChain));
    const std::size_t blockCodes =
        static_cast<std::size_t>(std::clamp(options.blockCodes, 1, 65535));
    std::vector<Code> codes;
    codes.reserve(blockCodes);

    // The input is parsed a chunk at a time, as the cheapest path through
    // its positions under the cost model: each position's cost is final when
    // it is reached, so its matches are found and tried right then. A match
    // of kNice bytes is taken as it is and the positions it covers are only
    // entered, which keeps long runs fast.
    constexpr std::size_t kChunk = std::size_t{1} << 15;
    constexpr std::size_t kNice = 32;
    // The finder's 32-bit positions never get more than this far behind.
    constexpr std::size_t kForgetEvery = std::size_t{1} << 31;
    struct Step {
        std::uint32_t cost;
        std::uint16_t len;  // 1: a literal
        std::uint16_t dist;
    };
    std::vector<Step> steps(kChunk + 1);
    std::vector<Code> path;
    std::array<Match, kLh5MaxMatch> found;
    CostModel model;

    for (std::size_t start = 0; start < size;) {
        if (start % kForgetEvery == 0) finder.Forget();
        const std::size_t n = std::min(kChunk, size - start);
        const Step* const stepEnd = steps.data() + n + 1;
        for (Step* st = steps.data() + 1; st != stepEnd; ++st) st->cost = ~std::uint32_t{0};
        steps[0].cost = 0;
        for (std::size_t i = 0; i < n;) {
            Step* const here = &steps[i];
            auto relax = [here](std::size_t len, std::uint32_t cost, std::uint16_t dist) {
                Step& to = here[len];
                if (cost < to.cost) to = {cost, static_cast<std::uint16_t>(len), dist};
            };
            const std::uint32_t base = here->cost;
            relax(1, base + model.Literal(data[start + i]), 0);
            const int k = finder.Find(start + i, kNice, found.data());
            // Matches end at the chunk's end.
            const std::size_t room = std::min<std::size_t>(n - i, kLh5MaxMatch);
            std::size_t len = kLh5MinMatch;
            for (int j = 0; j < k && len <= room; ++j) {
                const std::uint32_t d = base + model.Distance(found[j].dist);
                const std::size_t top = std::min<std::size_t>(found[j].len, room);
                for (; len <= top; ++len) relax(len, d + model.Length(len), found[j].dist);
            }
            const std::size_t last = k > 0 ? std::min<std::size_t>(found[k - 1].len, room) : 0;
            if (last >= kNice) {
                for (std::size_t end = i + last; ++i < end;) finder.Insert(start + i, kNice);
                continue;
            }
            ++i;
        }

        // The path, walked back from the chunk's end, then sent forwards.
        path.clear();
        for (std::size_t i = n; i > 0; i -= steps[i].len) {
            const Step& st = steps[i];
            if (st.len == 1)
                path.push_back({data[start + i - 1], 0});
            else
                path.push_back({static_cast<std::uint16_t>(256 + st.len - kLh5MinMatch),
                                static_cast<std::uint16_t>(st.dist - 1)});
        }
        std::array<std::uint32_t, kLh5NumC> cFreq{};
        std::array<std::uint32_t, kLh5NumP> pFreq{};
        for (auto k = path.rbegin(); k != path.rend(); ++k) {
            cFreq[k->c]++;
            if (k->c >= 256) pFreq[BitLength(k->p)]++;
            codes.push_back(*k);
            if (codes.size() == blockCodes) {
                writer.Write(codes);
                codes.clear();
            }
        }
        model.Learn(cFreq.data(), pFreq.data());
        start += n;
    }
    if (!codes.empty()) writer.Write(codes);
    writer.Finish();
    return out;
}

}  // namespace sabrel::archiver
