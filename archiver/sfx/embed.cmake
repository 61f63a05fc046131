# SPDX-License-Identifier: MIT
# Writes the bytes of INPUT as a C++ array (the built-in SFX stub) to OUTPUT.
file(READ ${INPUT} hex HEX)
string(LENGTH "${hex}" length)
math(EXPR size "${length} / 2")
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
string(REGEX REPLACE "(0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,)" "\\1\n    "
       bytes "${bytes}")
file(WRITE ${OUTPUT}
"// Generated from sfx/sfxstub.asm at build time.
#include \"archiver/unlha_core.h\"

namespace sabrel::archiver {
namespace {
const std::uint8_t kStub[${size}] = {
    ${bytes}
};
}  // namespace

SfxStub BuiltInStub() { return {kStub, sizeof kStub}; }

}  // namespace sabrel::archiver
")
