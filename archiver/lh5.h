// SPDX-License-Identifier: MIT
// The -lh5- method: LZSS over an 8 KiB window, its output coded with static
// Huffman codes sent per block. The bit stream is MSB-first; the last byte is
// padded with zero bits; there is no end marker (the reader knows the size).
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace sabrel::archiver {

// Limits of the method.
constexpr int kLh5DictBits = 13;
constexpr std::size_t kLh5WindowSize = std::size_t{1} << kLh5DictBits;  // 8192
constexpr int kLh5MinMatch = 3;
constexpr int kLh5MaxMatch = 256;
constexpr int kLh5NumC = 256 + kLh5MaxMatch - kLh5MinMatch + 1;  // 510 literal/length codes
constexpr int kLh5NumP = kLh5DictBits + 1;                       // 14 position codes
constexpr int kLh5NumT = 19;                                     // codes of the C lengths
constexpr int kLh5MaxCodeLength = 16;

struct Lh5EncoderOptions {
    // How many earlier positions the match finder visits per byte; more finds
    // longer and nearer matches at the cost of speed.
    int maxChain = 16;
    // Codes per block: each block carries its own Huffman tables.
    int blockCodes = 65535;
};

// Compresses `size` bytes. Never refers to bytes before the start of the data.
std::vector<std::uint8_t> Lh5Encode(const std::uint8_t* data, std::size_t size,
                                    const Lh5EncoderOptions& options = {});

enum class Lh5Result {
    kOk,
    kBadTable,   // a Huffman table is malformed, overlong or incomplete
    kTruncated,  // the packed data ends before `originalSize` bytes are out
};

// Decodes exactly `originalSize` bytes from `packed`, appending them to `out`.
// `dictBits` selects the sibling methods read for checking: 12 (-lh4-),
// 13 (-lh5-), 15 (-lh6-), 16 (-lh7-).
// Validates every table (code lengths <= 16, complete codes) and that the
// decoder never reads past the packed data. A reference before the start of
// the data yields spaces, as the method's reference decoders do.
Lh5Result Lh5Decode(const std::uint8_t* packed, std::size_t packedSize, std::size_t originalSize,
                    std::vector<std::uint8_t>* out, int dictBits = kLh5DictBits);

// The same, handing the output to `sink` in pieces instead of keeping it, so
// that checking a member of any size takes constant memory.
using Lh5Sink = void (*)(void* context, const std::uint8_t* data, std::size_t size);
Lh5Result Lh5DecodeTo(const std::uint8_t* packed, std::size_t packedSize,
                      std::uint64_t originalSize, int dictBits, Lh5Sink sink, void* context);

// Builds Huffman code lengths of at most `maxLength` bits for `n` symbols from
// their frequencies. Unused symbols get 0. Returns how many symbols are used;
// with fewer than two the lengths are all 0 (the caller sends the single-symbol
// form). With two or more the code is complete.
int BuildCodeLengths(const std::uint32_t* freq, int n, int maxLength, std::uint8_t* lengths);

}  // namespace sabrel::archiver
