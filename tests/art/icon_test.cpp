// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "art/artwork.h"
#include "art/ico_writer.h"

namespace sabrel::art {
namespace {

unsigned U16(const std::vector<std::uint8_t>& b, std::size_t at) {
    return b.at(at) | b.at(at + 1) << 8;
}
unsigned long U32(const std::vector<std::uint8_t>& b, std::size_t at) {
    return U16(b, at) | static_cast<unsigned long>(U16(b, at + 2)) << 16;
}

struct Decoded {
    int size = 0, bits = 0;
    std::vector<std::uint8_t> bytes;  // the image: header, palette, colour bits, mask

    // The palette colour (r, g, b) of the pixel at x, y (top row 0).
    std::vector<int> Pixel(int x, int y) const {
        const std::size_t palette = 40;
        const std::size_t colors = std::size_t{1} << bits;
        const std::size_t row = (static_cast<std::size_t>(size) * bits + 31) / 32 * 4;
        const std::size_t at = palette + colors * 4 + (size - 1 - y) * row;
        int index = bits == 8 ? bytes.at(at + x) : (bytes.at(at + x / 2) >> (x % 2 ? 0 : 4)) & 15;
        const std::size_t entry = palette + static_cast<std::size_t>(index) * 4;
        return {bytes.at(entry + 2), bytes.at(entry + 1), bytes.at(entry)};
    }
};

// Checks the directory and each image's header, and returns the images.
std::vector<Decoded> Decode(const std::vector<std::uint8_t>& ico) {
    std::vector<Decoded> images;
    EXPECT_EQ(U16(ico, 0), 0u);
    EXPECT_EQ(U16(ico, 2), 1u);
    const unsigned count = U16(ico, 4);
    std::size_t end = 6 + 16 * count;
    for (unsigned i = 0; i < count; ++i) {
        const std::size_t entry = 6 + 16 * i;
        Decoded d;
        d.size = ico.at(entry);
        d.bits = static_cast<int>(U16(ico, entry + 6));
        const unsigned long bytes = U32(ico, entry + 8), offset = U32(ico, entry + 12);
        EXPECT_EQ(offset, end) << "images follow each other";
        end = offset + bytes;
        EXPECT_LE(end, ico.size());
        d.bytes.assign(ico.begin() + offset, ico.begin() + end);
        EXPECT_EQ(U32(d.bytes, 0), 40u);
        EXPECT_EQ(U32(d.bytes, 4), static_cast<unsigned long>(d.size));
        EXPECT_EQ(U32(d.bytes, 8), static_cast<unsigned long>(d.size) * 2) << "colour and mask";
        EXPECT_EQ(U16(d.bytes, 14), static_cast<unsigned>(d.bits));
        const std::size_t row = (static_cast<std::size_t>(d.size) * d.bits + 31) / 32 * 4;
        const std::size_t mask = (static_cast<std::size_t>(d.size) + 31) / 32 * 4 * d.size;
        EXPECT_EQ(d.bytes.size(), 40 + (std::size_t{4} << d.bits) + row * d.size + mask);
        for (std::size_t m = d.bytes.size() - mask; m < d.bytes.size(); ++m)
            EXPECT_EQ(d.bytes[m], 0) << "opaque";
        images.push_back(d);
    }
    EXPECT_EQ(end, ico.size());
    return images;
}

TEST(Icon, SixteenAndTwoHundredFiftySixColoursAtTwoSizes) {
    const auto images = Decode(EncodeIcon(AnimationFrame(1)));
    ASSERT_EQ(images.size(), 4u);
    const int expected[4][2] = {{16, 4}, {32, 4}, {16, 8}, {32, 8}};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(images[i].size, expected[i][0]);
        EXPECT_EQ(images[i].bits, expected[i][1]);
    }
}

TEST(Icon, ColoursKeepTheirPlaceAndBlocksAreAveraged) {
    // Left half pure blue in its top quarter and pure red below (the rows
    // must not come out upside down); right half a one-pixel black and white
    // checker, which averages to the VGA palette's grey.
    Image picture{};
    for (int y = 0; y < kSize; ++y) {
        for (int x = 0; x < kSize; ++x) {
            std::uint8_t* p = &picture[(static_cast<std::size_t>(y) * kSize + x) * 3];
            if (x < kSize / 2) {
                p[y < kSize / 4 ? 2 : 0] = 255;
            } else if ((x + y) % 2 == 0) {
                p[0] = p[1] = p[2] = 255;
            }
        }
    }
    for (const Decoded& d : Decode(EncodeIcon(picture))) {
        SCOPED_TRACE(testing::Message() << d.size << "x" << d.bits);
        EXPECT_EQ(d.Pixel(0, 0), (std::vector<int>{0, 0, 255}));
        EXPECT_EQ(d.Pixel(0, d.size - 1), (std::vector<int>{255, 0, 0}));
        const std::vector<int> grey = d.Pixel(d.size - 1, 0);
        EXPECT_EQ(grey[0], grey[1]);
        EXPECT_EQ(grey[1], grey[2]);
        EXPECT_NEAR(grey[0], 128, 10) << "a checker block averages to grey";
    }
}

}  // namespace
}  // namespace sabrel::art
