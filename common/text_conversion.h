// SPDX-License-Identifier: MIT
// Text conversion between character sets through iconv, for the code that
// runs on Linux (the offline platform, the FLTK front end and the tools).
// Windows builds convert through the system and do not compile this.
#pragma once

#include <string>

namespace sabrel {

// What a conversion does with input that does not convert.
enum class BadInput {
    // The whole conversion fails.
    kFail,
    // The replacement stands for one input byte, and conversion goes on.
    kReplaceByte,
    // UTF-8 input: the replacement stands for one whole character that the
    // target cannot hold. A broken or cut-off UTF-8 sequence still fails.
    kReplaceCharacter,
};

// Converts `in` from the iconv character set `from` to `to` into *out. False
// when iconv knows neither name or the input does not convert under `bad`;
// *out then holds what was converted before the failure. *lossless, when
// given, tells whether no replacement was needed.
bool ConvertText(const std::string& from, const std::string& to, const std::string& in,
                 std::string* out, BadInput bad = BadInput::kFail, const char* replacement = "",
                 bool* lossless = nullptr);

// `in` converted, or `in` unchanged when it does not convert as a whole.
std::string ConvertedOrSame(const std::string& from, const std::string& to, const std::string& in);

}  // namespace sabrel
