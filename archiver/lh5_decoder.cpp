// SPDX-License-Identifier: MIT
// -lh5- decompressor. Every table is checked before use: lengths of at most
// 16 bits and, with two or more symbols, a complete code (the Kraft sum is
// exactly one), as the method's table-driven decoders require. Reading past
// the packed data is an error, not a silent run of zero bits.
#include <array>

#include "archiver/lh5.h"

namespace sabrel::archiver {

namespace {

constexpr int kLookupBits = 10;
// Largest T or P table (-lh7- has 17 position codes).
constexpr int kMaxLengths = 19;

class BitReader {
  public:
    BitReader(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) { Refill(); }

    // The next `n` bits (n <= 16) without consuming them.
    std::uint32_t Peek(int n) const { return acc_ >> (32 - n); }
    void Skip(int n) {
        acc_ <<= n;
        avail_ -= n;
        consumed_ += static_cast<std::uint64_t>(n);
        Refill();
    }
    std::uint32_t Get(int n) {
        if (n == 0) return 0;
        std::uint32_t v = Peek(n);
        Skip(n);
        return v;
    }
    // True while no bit beyond the packed data has been consumed.
    bool InBounds() const { return consumed_ <= std::uint64_t{size_} * 8; }

  private:
    void Refill() {
        while (avail_ <= 24) {
            std::uint32_t byte = pos_ < size_ ? data_[pos_] : 0;
            ++pos_;
            acc_ |= byte << (24 - avail_);
            avail_ += 8;
        }
    }

    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t pos_ = 0;
    std::uint32_t acc_ = 0;
    int avail_ = 0;
    std::uint64_t consumed_ = 0;
};

// A canonical Huffman code: a lookup table for codes up to kLookupBits long,
// and a search by length for longer ones.
class Decoder {
  public:
    // Builds from `n` lengths. False when a length is over 16 or the code is
    // not complete.
    bool Build(const std::uint8_t* lengths, int n) {
        single_ = -1;
        std::array<std::uint32_t, kLh5MaxCodeLength + 1> count{};
        for (int i = 0; i < n; ++i) {
            if (lengths[i] > kLh5MaxCodeLength) return false;
            count[lengths[i]]++;
        }
        count[0] = 0;
        std::uint32_t kraft = 0;
        for (int len = 1; len <= kLh5MaxCodeLength; ++len)
            kraft += count[len] << (kLh5MaxCodeLength - len);
        if (kraft != (1u << kLh5MaxCodeLength)) return false;

        // first_[len]: first code of that length, left-aligned to 16 bits;
        // index_[len]: where its symbols start in sorted_.
        std::uint32_t code = 0;
        std::uint32_t index = 0;
        for (int len = 1; len <= kLh5MaxCodeLength; ++len) {
            first_[len] = code;
            index_[len] = index;
            code += count[len] << (kLh5MaxCodeLength - len);
            index += count[len];
            limit_[len] = code;
        }
        std::array<std::uint32_t, kLh5MaxCodeLength + 1> fill = index_;
        for (int i = 0; i < n; ++i)
            if (lengths[i]) sorted_[fill[lengths[i]]++] = static_cast<std::uint16_t>(i);

        lookup_.fill(0);
        for (int len = 1; len <= kLookupBits; ++len) {
            for (std::uint32_t k = 0; k < count[len]; ++k) {
                std::uint32_t start =
                    (first_[len] >> (kLh5MaxCodeLength - kLookupBits)) + (k << (kLookupBits - len));
                std::uint32_t span = 1u << (kLookupBits - len);
                std::uint16_t entry =
                    static_cast<std::uint16_t>((sorted_[index_[len] + k] << 5) | len);
                for (std::uint32_t j = 0; j < span; ++j) lookup_[start + j] = entry;
            }
        }
        return true;
    }

    void SetSingle(int symbol) { single_ = symbol; }

    int Read(BitReader& in) const {
        if (single_ >= 0) return single_;
        std::uint16_t entry = lookup_[in.Peek(kLookupBits)];
        if (entry) {
            in.Skip(entry & 31);
            return entry >> 5;
        }
        std::uint32_t code = in.Peek(kLh5MaxCodeLength);
        int len = kLookupBits + 1;
        while (code >= limit_[len]) ++len;
        in.Skip(len);
        return sorted_[index_[len] + ((code - first_[len]) >> (kLh5MaxCodeLength - len))];
    }

  private:
    int single_ = -1;
    std::array<std::uint32_t, kLh5MaxCodeLength + 1> first_{}, index_{}, limit_{};
    std::array<std::uint16_t, kLh5NumC> sorted_{};
    std::array<std::uint16_t, 1u << kLookupBits> lookup_{};
};

// T or P lengths: a count; 3-bit lengths with 7 continuing in unary; after
// index `special`, a 2-bit count of zero lengths.
bool ReadLengths(BitReader& in, int nn, int countBits, int special, Decoder* dec) {
    int n = static_cast<int>(in.Get(countBits));
    if (n == 0) {
        int only = static_cast<int>(in.Get(countBits));
        if (only >= nn) return false;
        dec->SetSingle(only);
        return true;
    }
    if (n > nn) return false;
    std::array<std::uint8_t, kMaxLengths> len{};
    int i = 0;
    while (i < n) {
        int c = static_cast<int>(in.Get(3));
        if (c == 7) {
            while (in.Get(1)) {
                if (++c > kLh5MaxCodeLength) return false;
            }
        }
        len[i++] = static_cast<std::uint8_t>(c);
        if (i == special) {
            int zeros = static_cast<int>(in.Get(2));
            while (zeros-- > 0 && i < nn) len[i++] = 0;
        }
    }
    return dec->Build(len.data(), nn);
}

bool ReadCLengths(BitReader& in, const Decoder& t, Decoder* c) {
    int n = static_cast<int>(in.Get(9));
    if (n == 0) {
        int only = static_cast<int>(in.Get(9));
        if (only >= kLh5NumC) return false;
        c->SetSingle(only);
        return true;
    }
    if (n > kLh5NumC) return false;
    std::array<std::uint8_t, kLh5NumC> len{};
    int i = 0;
    while (i < n) {
        int sym = t.Read(in);
        if (sym > 2) {
            len[i++] = static_cast<std::uint8_t>(sym - 2);
            continue;
        }
        int zeros = sym == 0   ? 1
                    : sym == 1 ? static_cast<int>(in.Get(4)) + 3
                               : static_cast<int>(in.Get(9)) + 20;
        if (zeros > n - i) return false;
        i += zeros;  // already zero
    }
    return c->Build(len.data(), kLh5NumC);
}

}  // namespace

Lh5Result Lh5DecodeTo(const std::uint8_t* packed, std::size_t packedSize,
                      std::uint64_t originalSize, int dictBits, Lh5Sink sink, void* context) {
    // -lh4- and -lh5- send the position table with a 4-bit count, -lh6- and
    // -lh7- (larger windows, more position codes) with a 5-bit one.
    const int numP = dictBits <= kLh5DictBits ? kLh5NumP : dictBits + 1;
    const int pCountBits = dictBits <= kLh5DictBits ? 4 : 5;
    // The output goes through a ring twice the largest window, handed to the
    // sink each time it fills, so memory does not grow with the member.
    constexpr std::size_t kRingSize = std::size_t{1} << 17;
    constexpr std::size_t kRingMask = kRingSize - 1;
    std::vector<std::uint8_t> ring(kRingSize, 0x20);
    std::uint64_t produced = 0;
    auto put = [&](std::uint8_t b) {
        ring[produced & kRingMask] = b;
        ++produced;
        if ((produced & kRingMask) == 0) sink(context, ring.data(), kRingSize);
    };

    BitReader in(packed, packedSize);
    Decoder t, c, p;
    std::uint64_t left = originalSize;
    std::uint32_t blockLeft = 0;
    while (left > 0) {
        if (blockLeft == 0) {
            blockLeft = in.Get(16);
            if (blockLeft == 0) return in.InBounds() ? Lh5Result::kBadTable : Lh5Result::kTruncated;
            bool ok = ReadLengths(in, kLh5NumT, 5, 3, &t) && ReadCLengths(in, t, &c) &&
                      ReadLengths(in, numP, pCountBits, -1, &p);
            if (!in.InBounds()) return Lh5Result::kTruncated;
            if (!ok) return Lh5Result::kBadTable;
        }
        --blockLeft;
        int sym = c.Read(in);
        if (sym < 256) {
            put(static_cast<std::uint8_t>(sym));
            --left;
        } else {
            std::uint64_t len = static_cast<std::uint64_t>(sym - 256 + kLh5MinMatch);
            int b = p.Read(in);
            std::uint64_t dist = b <= 1 ? static_cast<std::uint64_t>(b)
                                        : ((std::uint64_t{1} << (b - 1)) | in.Get(b - 1));
            dist += 1;
            if (len > left) len = left;
            left -= len;
            for (; len > 0; --len) {
                put(dist > produced ? std::uint8_t{0x20} : ring[(produced - dist) & kRingMask]);
            }
        }
        if (!in.InBounds()) return Lh5Result::kTruncated;
    }
    if (produced & kRingMask) sink(context, ring.data(), produced & kRingMask);
    return Lh5Result::kOk;
}

Lh5Result Lh5Decode(const std::uint8_t* packed, std::size_t packedSize, std::size_t originalSize,
                    std::vector<std::uint8_t>* out, int dictBits) {
    return Lh5DecodeTo(
        packed, packedSize, originalSize, dictBits,
        [](void* ctx, const std::uint8_t* data, std::size_t size) {
            static_cast<std::vector<std::uint8_t>*>(ctx)->insert(
                static_cast<std::vector<std::uint8_t>*>(ctx)->end(), data, data + size);
        },
        out);
}

}  // namespace sabrel::archiver
