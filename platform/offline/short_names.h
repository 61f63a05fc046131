// SPDX-License-Identifier: MIT
// 8.3 aliases made by the Windows 95 rules, for folders whose file system
// keeps none of its own.
#pragma once

#include <string>
#include <vector>

#include "platform/offline/codepage.h"

namespace sabrel::platform::offline {

// The basis of the alias of one long name (ANSI bytes): upper case, spaces and
// every period but the last removed, characters that a short name cannot hold
// replaced by '_', at most 8 bytes of name and 3 of extension (after the last
// period), double-byte characters never split. *exact is true when
// the long name, upper-cased, is that basis itself (it needs no "~N").
std::string ShortNameBasis(const std::string& longName, const CodePage& cp, bool* exact);

// The basis with the numeric tail "~N": the name part cut (never inside a
// double-byte character) so that name and tail fit in 8 bytes.
std::string ShortNameWithTail(const std::string& basis, unsigned n, const CodePage& cp);

// Aliases for every name of one folder, in the order given. Names that are
// already 8.3 keep themselves (upper-cased); the others get the lowest free
// "~N" in the order given, so the result is unique within the folder and the
// same for the same set of names.
std::vector<std::string> AssignShortNames(const std::vector<std::string>& longNames,
                                          const CodePage& cp);

}  // namespace sabrel::platform::offline
