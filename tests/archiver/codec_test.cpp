// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "archiver/crc16.h"
#include "archiver/lh5.h"
#include "tests/archiver/sample_data.h"

namespace sabrel::archiver {
namespace {

using testing::HiveLike;
using testing::RandomBytes;

TEST(Crc16, CheckValueAndZeros) {
    const char* s = "123456789";
    EXPECT_EQ(Crc16(reinterpret_cast<const std::uint8_t*>(s), 9), 0xBB3D);
    std::vector<std::uint8_t> zeros(1000, 0);
    EXPECT_EQ(Crc16(zeros.data(), zeros.size()), 0);
    EXPECT_EQ(Crc16(nullptr, 0), 0);
    // Running update equals one pass.
    EXPECT_EQ(Crc16Update(Crc16(reinterpret_cast<const std::uint8_t*>(s), 4),
                          reinterpret_cast<const std::uint8_t*>(s) + 4, 5),
              0xBB3D);
}

void ExpectRoundTrip(const std::vector<std::uint8_t>& input, const Lh5EncoderOptions& opt = {}) {
    std::vector<std::uint8_t> packed = Lh5Encode(input.data(), input.size(), opt);
    std::vector<std::uint8_t> out;
    ASSERT_EQ(Lh5Decode(packed.data(), packed.size(), input.size(), &out), Lh5Result::kOk);
    ASSERT_EQ(out.size(), input.size());
    EXPECT_TRUE(out == input);
}

TEST(Lh5, RoundTripsOfTheSizesThatMatter) {
    ExpectRoundTrip({});
    ExpectRoundTrip({'A'});
    ExpectRoundTrip({'A', 'B', 'A', 'B', 'A', 'B', 'A'});
    ExpectRoundTrip(RandomBytes(kLh5WindowSize, 1));
    ExpectRoundTrip(RandomBytes(kLh5WindowSize + 1, 2));
    ExpectRoundTrip(HiveLike(kLh5WindowSize, 3));
    ExpectRoundTrip(RandomBytes(1 << 20, 4));
    std::vector<std::uint8_t> zeros(300000, 0);
    ExpectRoundTrip(zeros);
}

TEST(Lh5, HiveLikeDataShrinksAndSurvives) {
    std::vector<std::uint8_t> hive = HiveLike(8 << 20, 5);
    std::vector<std::uint8_t> packed = Lh5Encode(hive.data(), hive.size());
    EXPECT_LT(packed.size(), hive.size() / 2);
    std::vector<std::uint8_t> out;
    ASSERT_EQ(Lh5Decode(packed.data(), packed.size(), hive.size(), &out), Lh5Result::kOk);
    EXPECT_TRUE(out == hive);
}

TEST(Lh5, EveryBlockSizeAndShortChains) {
    std::vector<std::uint8_t> hive = HiveLike(200000, 6);
    for (int codes : {1, 2, 100, 4096, 65535}) {
        Lh5EncoderOptions opt;
        opt.blockCodes = codes;
        opt.maxChain = codes % 7 + 1;
        ExpectRoundTrip(hive, opt);
    }
}

// A copy one short of the window back is found at every search depth; a copy
// a whole window back must not be used, since decoders with a ring of exactly
// the window's size would read the slot that the same step writes.
TEST(Lh5, CopiesAtTheWindowsEdge) {
    for (std::size_t period : {kLh5WindowSize - 1, kLh5WindowSize}) {
        const std::vector<std::uint8_t> block = RandomBytes(period, 12);
        std::vector<std::uint8_t> data;
        for (int k = 0; k < 9; ++k) data.insert(data.end(), block.begin(), block.end());
        for (int chain : {1, 16}) {
            Lh5EncoderOptions opt;
            opt.maxChain = chain;
            const std::vector<std::uint8_t> packed = Lh5Encode(data.data(), data.size(), opt);
            if (period < kLh5WindowSize)
                EXPECT_LT(packed.size(), period * 3 / 2) << chain;
            else
                EXPECT_GT(packed.size(), data.size() * 9 / 10) << chain;
            ExpectRoundTrip(data, opt);
        }
    }
}

// The parse weighs each literal and match by what its codes cost, which
// packs hive-like data tighter than taking the longest match at each step.
TEST(Lh5, HiveLikeDataPacksTight) {
    const std::vector<std::uint8_t> hive = HiveLike(1 << 20, 3);
    const std::vector<std::uint8_t> packed = Lh5Encode(hive.data(), hive.size());
    EXPECT_LT(packed.size(), hive.size() * 321 / 1000);
}

// Three bytes repeated from 41 back, then a random one: every byte is as
// random as the noise and four bytes rarely repeat, so only the three-byte
// matches, which the trees do not find, shrink it.
TEST(Lh5, ThreeByteRepeatsAreTaken) {
    const std::vector<std::uint8_t> noise = RandomBytes(1 << 16, 11);
    std::vector<std::uint8_t> data(noise.begin(), noise.begin() + 41);
    for (std::size_t i = 41; data.size() < noise.size(); ++i) {
        for (int k = 0; k < 3; ++k) data.push_back(data[data.size() - 41]);
        data.push_back(noise[i]);
    }
    ExpectRoundTrip(data);
    const std::vector<std::uint8_t> packed = Lh5Encode(data.data(), data.size());
    EXPECT_LT(packed.size(), data.size() * 3 / 4);
}

// Frequencies growing like Fibonacci numbers make a plain Huffman tree deeper
// than 16 levels; the lengths must be cut back to a complete code.
TEST(Lh5, CodeLengthsAreLimitedAndComplete) {
    std::vector<std::uint32_t> freq(30);
    std::uint32_t a = 1, b = 1;
    for (auto& f : freq) {
        f = a;
        std::uint32_t c = a + b;
        a = b;
        b = c;
    }
    std::vector<std::uint8_t> len(freq.size());
    ASSERT_EQ(BuildCodeLengths(freq.data(), static_cast<int>(freq.size()), 16, len.data()), 30);
    std::uint64_t kraft = 0;
    for (std::uint8_t l : len) {
        ASSERT_GE(l, 1);
        ASSERT_LE(l, 16);
        kraft += std::uint64_t{1} << (16 - l);
    }
    EXPECT_EQ(kraft, 1u << 16);

    // The same shape as data: symbol i repeated fib(i) times.
    std::vector<std::uint8_t> data;
    for (int i = 0; i < 24; ++i)
        for (std::uint32_t k = 0; k < freq[i] && data.size() < 200000; ++k)
            data.push_back(static_cast<std::uint8_t>(i * 7));
    std::vector<std::uint8_t> shuffled = data;
    std::mt19937 rng(7);
    std::shuffle(shuffled.begin(), shuffled.end(), rng);
    ExpectRoundTrip(shuffled);

    EXPECT_EQ(BuildCodeLengths(freq.data(), 1, 16, len.data()), 1);
    EXPECT_EQ(len[0], 0);

    // Optimal lengths where a symbol ties with a joined pair, unused symbols
    // in between; equal weights give equal lengths.
    const std::uint32_t tied[] = {1, 0, 1, 2, 0, 3, 5};
    ASSERT_EQ(BuildCodeLengths(tied, 7, 16, len.data()), 5);
    EXPECT_EQ(std::vector<int>(len.begin(), len.begin() + 7),
              (std::vector<int>{4, 0, 4, 3, 0, 2, 1}));
    const std::uint32_t even[] = {9, 9, 9, 9};
    ASSERT_EQ(BuildCodeLengths(even, 4, 16, len.data()), 4);
    EXPECT_EQ(std::vector<int>(len.begin(), len.begin() + 4), (std::vector<int>{2, 2, 2, 2}));
}

// Damaged input never crashes the decoder nor yields "ok" with wrong data.
TEST(Lh5, DamagedStreamsAreRefused) {
    std::vector<std::uint8_t> hive = HiveLike(50000, 8);
    std::vector<std::uint8_t> packed = Lh5Encode(hive.data(), hive.size());
    std::vector<std::uint8_t> out;
    EXPECT_EQ(Lh5Decode(packed.data(), packed.size() / 2, hive.size(), &out),
              Lh5Result::kTruncated);
    out.clear();
    EXPECT_EQ(Lh5Decode(packed.data(), 0, hive.size(), &out), Lh5Result::kTruncated);

    std::mt19937 rng(9);
    int refused = 0;
    for (int trial = 0; trial < 300; ++trial) {
        std::vector<std::uint8_t> bad = packed;
        for (int k = 0; k < 3; ++k)
            bad[rng() % (trial < 100 ? 40 : bad.size())] ^= 1u << (rng() % 8);
        out.clear();
        Lh5Result r = Lh5Decode(bad.data(), bad.size(), hive.size(), &out);
        if (r != Lh5Result::kOk) {
            ++refused;
        } else {
            EXPECT_EQ(out.size(), hive.size());
        }
    }
    EXPECT_GT(refused, 0);

    // A T table that holds no code at all.
    const std::uint8_t incomplete[] = {0x00, 0x01, 0x08, 0x40, 0x00, 0x00, 0x00, 0x00};
    out.clear();
    EXPECT_NE(Lh5Decode(incomplete, sizeof incomplete, 1, &out), Lh5Result::kOk);
}

}  // namespace
}  // namespace sabrel::archiver
