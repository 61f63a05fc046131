// SPDX-License-Identifier: MIT
// -lh5- compressor: a hash-chain match finder with one step of lazy matching,
// then per block: Huffman tables for the literal/length codes (C), for the
// lengths of those codes (T) and for the position bit lengths (P).
#include <algorithm>
#include <array>
#include <queue>

#include "archiver/lh5.h"

namespace sabrel::archiver {

namespace {

// Positions farther back than this are never used; one short of the window,
// so that decoders with an exactly window-sized ring never read a slot that
// the same step writes.
constexpr std::size_t kMaxDistance = kLh5WindowSize - 1;
constexpr int kHashBits = 15;
constexpr std::uint32_t kHashSize = 1u << kHashBits;
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
        while (count_ >= 8) {
            count_ -= 8;
            out_->push_back(static_cast<std::uint8_t>(acc_ >> count_));
        }
        acc_ &= (1u << count_) - 1;
    }
    void Flush() {
        if (count_ > 0) out_->push_back(static_cast<std::uint8_t>(acc_ << (8 - count_)));
        acc_ = 0;
        count_ = 0;
    }

  private:
    std::vector<std::uint8_t>* out_;
    std::uint32_t acc_ = 0;
    int count_ = 0;
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
    int b = 0;
    while (v) {
        ++b;
        v >>= 1;
    }
    return b;
}

struct Code {
    std::uint16_t c;  // literal or 256 + length - 3
    std::uint16_t p;  // distance - 1, for matches
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

class MatchFinder {
  public:
    MatchFinder(const std::uint8_t* data, std::size_t size, int maxChain)
        : data_(data),
          size_(size),
          maxChain_(maxChain),
          head_(kHashSize, -1),
          prev_(kLh5WindowSize, -1) {}

    // Enters position `pos` into the chains (needs 3 bytes from pos).
    void Insert(std::size_t pos) {
        if (pos + kLh5MinMatch > size_) return;
        std::uint32_t h = Hash(pos);
        prev_[pos & (kLh5WindowSize - 1)] = head_[h];
        head_[h] = static_cast<std::int64_t>(pos);
    }

    // The longest match for `pos` among inserted earlier positions; length 0
    // when none of at least 3 bytes exists.
    int Longest(std::size_t pos, std::size_t* distance) const {
        if (pos + kLh5MinMatch > size_) return 0;
        std::size_t limit = std::min<std::size_t>(kLh5MaxMatch, size_ - pos);
        int best = 0;
        std::int64_t cand = head_[Hash(pos)];
        const std::uint8_t* cur = data_ + pos;
        for (int chain = maxChain_; cand >= 0 && chain > 0; --chain) {
            std::size_t c = static_cast<std::size_t>(cand);
            if (c >= pos || pos - c > kMaxDistance) break;
            const std::uint8_t* m = data_ + c;
            if (m[best] == cur[best] && m[0] == cur[0] && m[1] == cur[1]) {
                std::size_t len = 2;
                while (len < limit && m[len] == cur[len]) ++len;
                if (static_cast<int>(len) > best) {
                    best = static_cast<int>(len);
                    *distance = pos - c;
                    if (len == limit) break;
                }
            }
            std::int64_t next = prev_[c & (kLh5WindowSize - 1)];
            if (next >= cand) break;  // the slot was reused by a newer position
            cand = next;
        }
        return best >= kLh5MinMatch ? best : 0;
    }

  private:
    std::uint32_t Hash(std::size_t pos) const {
        std::uint32_t v = (std::uint32_t{data_[pos]} << 16) | (std::uint32_t{data_[pos + 1]} << 8) |
                          data_[pos + 2];
        return (v * 2654435761u) >> (32 - kHashBits);
    }

    const std::uint8_t* data_;
    std::size_t size_;
    int maxChain_;
    std::vector<std::int64_t> head_;
    std::vector<std::int64_t> prev_;
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
    std::vector<std::uint64_t> weight(2 * m);
    std::vector<int> parent(2 * m, -1);
    using Item = std::pair<std::uint64_t, int>;
    std::priority_queue<Item, std::vector<Item>, std::greater<Item>> heap;
    for (int i = 0; i < m; ++i) {
        weight[i] = freq[used[i]];
        heap.push({weight[i], i});
    }
    int next = m;
    while (heap.size() > 1) {
        Item a = heap.top();
        heap.pop();
        Item b = heap.top();
        heap.pop();
        weight[next] = a.first + b.first;
        parent[a.second] = parent[b.second] = next;
        heap.push({weight[next], next});
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
    auto emit = [&](Code k) {
        codes.push_back(k);
        if (codes.size() == blockCodes) {
            writer.Write(codes);
            codes.clear();
        }
    };

    auto emitMatch = [&](int len, std::size_t dist) {
        emit({static_cast<std::uint16_t>(256 + len - kLh5MinMatch),
              static_cast<std::uint16_t>(dist - 1)});
    };
    // Lazy matching: a match found at one position is held back and dropped
    // for a literal when the next position starts a longer one. Positions
    // before `pos` are always in the match finder.
    std::size_t pos = 0;
    bool pending = false;
    int pendingLen = 0;
    std::size_t pendingDist = 0;
    while (pos < size) {
        std::size_t dist = 0;
        int len = finder.Longest(pos, &dist);
        finder.Insert(pos);
        std::size_t matchStart = pos;
        if (pending) {
            if (len > pendingLen) {
                emit({data[pos - 1], 0});
                pendingLen = len;
                pendingDist = dist;
                ++pos;
                continue;
            }
            pending = false;
            len = pendingLen;
            dist = pendingDist;
            matchStart = pos - 1;
        } else if (len >= kLh5MinMatch && len < kLh5MaxMatch && pos + 1 < size) {
            pending = true;
            pendingLen = len;
            pendingDist = dist;
            ++pos;
            continue;
        }
        if (len >= kLh5MinMatch) {
            emitMatch(len, dist);
            std::size_t end = matchStart + static_cast<std::size_t>(len);
            for (++pos; pos < end; ++pos) finder.Insert(pos);
            continue;
        }
        emit({data[pos], 0});
        ++pos;
    }
    if (pending) emitMatch(pendingLen, pendingDist);
    if (!codes.empty()) writer.Write(codes);
    writer.Finish();
    return out;
}

}  // namespace sabrel::archiver
