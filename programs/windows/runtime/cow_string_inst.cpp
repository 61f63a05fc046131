// SPDX-License-Identifier: MIT
// The reference-counted string of the old library ABI, which the standard
// exception classes of libstdc++ keep their messages in; compiled here for
// the 486 for the same reason as string_inst.cpp.
#define _GLIBCXX_USE_CXX11_ABI 0
#include <string>

template class std::basic_string<char>;
