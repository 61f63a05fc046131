// SPDX-License-Identifier: MIT
// Fuzzes the hive checker on arbitrary images, with both byte-class settings.
// Every status and count is acceptable; what must not happen is a read or
// write outside the image or the checker's tables, a hang, or an exception
// other than the out-of-memory refusal the checker documents. The quick
// crossing of free records and repeated blocks (used where data blocks
// overlap, here forced on) must build exactly the index, slot for slot, that
// the record-by-record walk of every block builds, and give the same counts.
// So must the key tree walked with many chains in flight, against the walk
// entry by entry.
#include <cstddef>
#include <cstdint>

#include "hive/checker.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const sabrel::hive::ByteClasses kSjis = sabrel::hive::ByteClasses::ForCodePage(932);
    static const sabrel::hive::ByteClasses kSingle = sabrel::hive::ByteClasses::SingleByte();
    // The last byte picks the byte classes, so both are explored.
    const bool sjis = size > 0 && (data[size - 1] & 1) != 0;
    using Skipping = sabrel::hive::HiveChecker::FreeRunSkipping;
    sabrel::hive::HiveChecker quick(sjis ? kSjis : kSingle);
    quick.freeRunSkipping = Skipping::kAlways;
    quick.digestIndex = true;
    quick.CheckImage(data, size);
    sabrel::hive::HiveChecker plain(sjis ? kSjis : kSingle);
    plain.freeRunSkipping = Skipping::kNever;
    plain.interleavedWalk = false;
    plain.digestIndex = true;
    plain.CheckImage(data, size);
    if (quick.indexDigest() != plain.indexDigest()) __builtin_trap();
    const auto& a = quick.result;
    const auto& b = plain.result;
    if (quick.status != plain.status || a.goodKeys != b.goodKeys || a.badKeys != b.badKeys ||
        a.ghostKeys != b.ghostKeys) {
        __builtin_trap();
    }
    if (a.goodKeys < 0 || a.badKeys < 0 || a.ghostKeys < 0) __builtin_trap();
    return 0;
}
