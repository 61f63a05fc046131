// SPDX-License-Identifier: MIT
// The handler std::terminate calls unless the program sets one. libstdc++'s
// prints the exception's demangled type to stderr, which a Windows program
// has not got, and brings in the demangler and the C runtime's printf with
// it (both built for the Pentium Pro). This one, linked first, ends the
// program the way the quiet handler of a libstdc++ built without the
// verbose option does.
#include <cstdlib>
#include <exception>

namespace __gnu_cxx {
void __verbose_terminate_handler() {
    std::abort();
}
}  // namespace __gnu_cxx
