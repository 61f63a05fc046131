// SPDX-License-Identifier: MIT
// The string members the program uses, compiled here for the 486: the copies
// in the prebuilt libstdc++ are built for the Pentium Pro (CMOV). Linked
// ahead of the library, these keep its string objects out of the link.
#include <string>

template class std::__cxx11::basic_string<char>;
