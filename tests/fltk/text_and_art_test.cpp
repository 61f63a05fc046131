// SPDX-License-Identifier: MIT
// The parts of the FLTK program that need no display: the CP932 boundary and
// the artwork.
#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "art/artwork.h"
#include "art/png_writer.h"
#include "ui/fltk/text.h"

namespace {

using sabrel::ui::fltk::DisplayText;
using sabrel::ui::fltk::Utf8FromCp932;

// Literals are CP932 in this build; u8 literals stay UTF-8.
TEST(FltkText, ConvertsCp932IncludingHalfWidthKanaAndIdeographicSpace) {
    EXPECT_EQ(Utf8FromCp932("確認"), std::string(u8"確認"));
    EXPECT_EQ(Utf8FromCp932("ｷｬﾝｾﾙ"), std::string(u8"ｷｬﾝｾﾙ"));
    EXPECT_EQ(Utf8FromCp932("　OK を押して下さい.　"), std::string(u8"　OK を押して下さい.　"));
    EXPECT_EQ(Utf8FromCp932("Profiles\\Taro\\USER.DAT"), "Profiles\\Taro\\USER.DAT");
    // A trail byte equal to '\' stays part of its character.
    EXPECT_EQ(Utf8FromCp932("表\\"), std::string(u8"表\\"));
}

TEST(FltkText, DamagedBytesShowAsQuestionMarksAndTheRestSurvives) {
    // A lone lead byte at the end, and an undefined lead byte in the middle.
    EXPECT_EQ(Utf8FromCp932(std::string("OK\x81", 3)), "OK?");
    EXPECT_EQ(Utf8FromCp932(std::string("a\xFF") + "確認"), std::string(u8"a?確認"));
    EXPECT_EQ(Utf8FromCp932(""), "");
}

TEST(FltkText, MessageLinesBreakAtCrLfOnly) {
    EXPECT_EQ(DisplayText("一行目\r\n\r\n二行目"), std::string(u8"一行目\n\n二行目"));
    EXPECT_EQ(DisplayText("a\rb"), "a\rb");
}

sabrel::art::Image::value_type Px(const sabrel::art::Image& im, int x, int y, int ch) {
    return im[static_cast<std::size_t>((y * sabrel::art::kSize + x) * 3 + ch)];
}

TEST(Artwork, FramesAreDistinctOpaqueOnBlackAndShowSomething) {
    std::vector<sabrel::art::Image> all;
    for (int i = 0; i < sabrel::art::kFrameCount; ++i)
        all.push_back(sabrel::art::AnimationFrame(i));
    all.push_back(sabrel::art::CompletionPicture());
    std::set<sabrel::art::Image> distinct(all.begin(), all.end());
    // Frames 1 and 3 may match (the lid springs back), but no more than that.
    EXPECT_GE(distinct.size(), all.size() - 1);
    EXPECT_NE(all[0], all[2]);
    EXPECT_NE(all[0], all.back());
    for (const auto& im : all) {
        for (int ch = 0; ch < 3; ++ch) {
            EXPECT_EQ(Px(im, 0, 0, ch), 0);
            EXPECT_EQ(Px(im, 63, 0, ch), 0);
        }
        int lit = 0;
        for (int y = 0; y < sabrel::art::kSize; ++y) {
            for (int x = 0; x < sabrel::art::kSize; ++x)
                lit += Px(im, x, y, 0) + Px(im, x, y, 1) > 60;
        }
        // The figure and the suitcase cover a fair part of the picture.
        EXPECT_GT(lit, 600);
        EXPECT_LT(lit, 3000);
    }
    // The index wraps, as the animation counter does.
    EXPECT_EQ(sabrel::art::AnimationFrame(5), all[1]);
}

TEST(Artwork, ResourceNamesFindTheirPictures) {
    sabrel::art::Image im{};
    ASSERT_TRUE(sabrel::art::FindPicture(sabrel::art::kFrameResources[2], &im));
    EXPECT_EQ(im, sabrel::art::AnimationFrame(2));
    ASSERT_TRUE(sabrel::art::FindPicture(sabrel::art::kCompleteResource, &im));
    EXPECT_EQ(im, sabrel::art::CompletionPicture());
    EXPECT_FALSE(sabrel::art::FindPicture("NOSUCH", &im));
    EXPECT_FALSE(sabrel::art::FindPicture("", &im));
}

std::uint32_t Be32(const std::vector<std::uint8_t>& b, std::size_t at) {
    return (std::uint32_t{b[at]} << 24) | (std::uint32_t{b[at + 1]} << 16) |
           (std::uint32_t{b[at + 2]} << 8) | b[at + 3];
}

TEST(Artwork, PngHasValidChunksAndStoredImageData) {
    std::vector<std::uint8_t> rgb(3 * 200 * 150);
    for (std::size_t i = 0; i < rgb.size(); ++i) rgb[i] = static_cast<std::uint8_t>(i * 7);
    std::vector<std::uint8_t> png = sabrel::art::EncodePng(200, 150, rgb);
    ASSERT_GT(png.size(), 8u + 25 + 12);
    EXPECT_EQ(0, std::memcmp(png.data(), "\x89PNG\r\n\x1a\n", 8));
    EXPECT_EQ(Be32(png, 8), 13u);
    EXPECT_EQ(0, std::memcmp(&png[12], "IHDR", 4));
    EXPECT_EQ(Be32(png, 16), 200u);
    EXPECT_EQ(Be32(png, 20), 150u);
    // IDAT: zlib header, then stored blocks holding every row with its filter
    // byte; the data spans more than one 64 KiB block here.
    std::size_t idat = 8 + 25;
    std::uint32_t len = Be32(png, idat);
    EXPECT_EQ(0, std::memcmp(&png[idat + 4], "IDAT", 4));
    const std::size_t raw = 150 * (1 + 200 * 3);
    const std::size_t blocks = (raw + 65534) / 65535;
    EXPECT_EQ(len, 2 + raw + 5 * blocks + 4);
    EXPECT_EQ(png[idat + 8 + 2], 0);  // first block is not the last
    EXPECT_EQ(0, std::memcmp(&png[png.size() - 8], "IEND", 4));
}

}  // namespace
