// SPDX-License-Identifier: MIT
// Private profile (INI) text with Windows' semantics, as pure edits of the
// file's bytes: sections and keys match without regard to the case of ASCII
// letters, a value is replaced in place, a new key goes after the last entry
// of its section, a missing section is added at the end, lines that are
// written end in CR LF, and every other byte stays as it was.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "platform/offline/codepage.h"

namespace sabrel::platform::offline::profile {

// WritePrivateProfileString's edit. key == nullptr deletes the section,
// value == nullptr deletes the key. Returns whether the text changed.
bool Write(std::string* text, const std::string& section, const std::string* key,
           const std::string* value, const CodePage& cp);

// The value of the first matching key in the first matching section, without
// surrounding blanks and without one pair of enclosing quotes.
bool Find(const std::string& text, const std::string& section, const std::string& key,
          std::string* value, const CodePage& cp);

std::vector<std::string> SectionNames(const std::string& text, const CodePage& cp);
std::vector<std::string> KeyNames(const std::string& text, const std::string& section,
                                  const CodePage& cp);

// Every key=value line of the first matching section, in file order, repeated
// keys included (as the start-up processing of WININIT.INI reads them).
std::vector<std::pair<std::string, std::string>> Entries(const std::string& text,
                                                         const std::string& section,
                                                         const CodePage& cp);

}  // namespace sabrel::platform::offline::profile
