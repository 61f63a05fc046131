// SPDX-License-Identifier: MIT
// The ANSI code page of the offline system: its double-byte lead bytes and the
// conversion between its bytes and the host's UTF-8 file names.
#pragma once

#include <cstdint>
#include <string>

#include "platform/platform.h"

namespace sabrel::platform::offline {

// Lead-byte ranges of a known code page as CPINFO gives them. False for a
// code page that is neither a known double-byte nor a single-byte one.
bool DescribeCodePage(UINT codePage, CpInfo* info);

class CodePage {
  public:
    explicit CodePage(UINT number = 932);

    UINT number() const { return number_; }
    bool IsDoubleByte() const { return leadRanges_[0] != 0; }
    bool IsLeadByte(std::uint8_t c) const;

    // ANSI bytes to UTF-8. False when the bytes are not valid in the code page.
    bool ToHost(const std::string& ansi, std::string* utf8) const;
    // UTF-8 to ANSI bytes; characters without an ANSI form become '?', and
    // *lossless says whether any did. False when the input is not UTF-8.
    bool FromHost(const std::string& utf8, std::string* ansi, bool* lossless = nullptr) const;

    // ASCII letters upper-cased; trail bytes of double-byte characters kept.
    std::string UpperAscii(const std::string& ansi) const;
    // Equal without regard to the case of ASCII letters.
    bool EqualNoCase(const std::string& a, const std::string& b) const;

  private:
    UINT number_;
    std::string iconvName_;
    std::uint8_t leadRanges_[12] = {};
};

}  // namespace sabrel::platform::offline
