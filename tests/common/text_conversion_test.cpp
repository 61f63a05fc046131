// SPDX-License-Identifier: MIT
#include "common/text_conversion.h"

#include <gtest/gtest.h>

namespace sabrel {
namespace {

// ソ and 表 end in the byte 0x5C, which must stay part of the character.
const std::string kSjis = "\x83\x5C\x95\x5C.DAT";
const std::string kUtf8 = "\xE3\x82\xBD\xE8\xA1\xA8.DAT";

TEST(TextConversion, RoundTripsTrailByte5CAndHandlesBadInputAsAsked) {
    std::string out;
    ASSERT_TRUE(ConvertText("CP932", "UTF-8", kSjis, &out));
    EXPECT_EQ(out, kUtf8);
    ASSERT_TRUE(ConvertText("UTF-8", "CP932", kUtf8, &out));
    EXPECT_EQ(out, kSjis);

    // A lead byte cut off at the end.
    const std::string cut = "A\x83";
    EXPECT_FALSE(ConvertText("CP932", "UTF-8", cut, &out));
    EXPECT_EQ(ConvertedOrSame("CP932", "UTF-8", cut), cut);
    ASSERT_TRUE(ConvertText("CP932", "UTF-8", cut, &out, BadInput::kReplaceByte, "?"));
    EXPECT_EQ(out, "A?");

    // A character that code page 932 cannot hold is replaced whole.
    bool lossless = true;
    ASSERT_TRUE(ConvertText("UTF-8", "CP932", "\xF0\x9F\x98\x80" + kUtf8, &out,
                            BadInput::kReplaceCharacter, "?", &lossless));
    EXPECT_EQ(out, "?" + kSjis);
    EXPECT_FALSE(lossless);
    // Broken UTF-8 is no character to replace.
    EXPECT_FALSE(ConvertText("UTF-8", "CP932", "\x80", &out, BadInput::kReplaceCharacter, "?"));

    EXPECT_FALSE(ConvertText("NO-SUCH-CHARSET", "UTF-8", "A", &out));
}

}  // namespace
}  // namespace sabrel
