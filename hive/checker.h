// SPDX-License-Identifier: MIT
// The hive checker: reads a Windows 9x registry hive file straight from its
// bytes, walks its key tree and sorts every key that has a record into good,
// bad and ghost keys by comparing sums of its name with the stored hash.
//
// HiveChecker checks one file at a time: Check(path) returns the counts and
// leaves the outcome in `status`. An instance is used by one thread at a time
// and is not reentrant. The program's instance is Form4 (app/program.h), of
// the type's program-wide name TForm4.
//
// What the checker validates: the "CREG" and "RGKN" signatures, that every
// data block header it needs lies inside the file and says "RGDB", and that
// every key entry it walks to can be read. It leaves alone everything else:
// checksums, flags, sizes of the key-node area, free lists, the parent links
// of entries reached by descent, values. Record lengths and block sizes are
// followed as stored, with the bounds described in checker.cpp.
//
// Failures that are not statuses (documented here because they reach the
// caller as exceptions, which the rebuild worker's last-resort handler turns
// into its "I/O error (%d)" and out-of-memory messages; they never cross into
// the UI layer):
//   - IoError(code): the file exists but could not be sized or read;
//     `code` is the platform's last-error code.
//   - OutOfMemoryError: the file is too large to be held in memory (more than
//     2 GiB - 1 bytes, beyond the reach of the format's signed 32-bit offsets),
//     or memory for the image or the key index could not be had.
// After either, status is 0 and the counts are 0, 0, 0.
#pragma once

#include <cstddef>
#include <cstdint>
#include <unordered_map>
#include <vector>

#include "common/errors.h"
#include "creg/name_sum.h"
#include "platform/platform.h"

namespace sabrel::hive {

// The counts of one hive file, in this order.
struct HiveCheckResult {
    std::int32_t goodKeys = 0;
    std::int32_t badKeys = 0;
    std::int32_t ghostKeys = 0;
};

// CheckStatus: the outcome of the last check.
enum CheckStatus : std::int32_t {
    kCheckOk = 0,           // no failure
    kCheckNoFile = -1,      // the path names no existing file (or a directory)
    kCheckShortFile = 1,    // fewer than 32 bytes
    kCheckNoCreg = 2,       // does not begin with "CREG"
    kCheckNoKeyArea = 3,    // fewer than 32 bytes follow offset 32
    kCheckNoRgkn = 4,       // no "RGKN" at offset 32
    kCheckNodeCut = 5,      // a key entry cannot be read in full
    kCheckBlockCut = 7,     // a data block header cannot be read in full
    kCheckNoRgdb = 8,       // a data block does not begin with "RGDB"
    kCheckIndexEmpty = 11,  // a record is looked up but no record was indexed
    kCheckSlotEmpty = 12,   // the slot looked up is empty (cleared at once)
    // The key links form a cycle. The walk stops before it would repeat
    // itself; every entry of the walk up to that point is counted once.
    kCheckTreeCycle = 13,
};

// The byte classes of the platform's ANSI code page: its double-byte flag and
// the lead-byte ranges it reports.
ByteClasses ByteClassesFromPlatform(platform::Platform& p);

class HiveChecker {
  public:
    explicit HiveChecker(const ByteClasses& classes) : classes_(classes) {}

    std::int32_t status = kCheckOk;
    HiveCheckResult result;

    // Checks the file named by `path`, read through platform::Get(), and
    // returns `result`.
    HiveCheckResult Check(const char* path);
    // Checks a hive image already in memory (the command-line tool, tests,
    // the fuzzer). Same statuses and counts as Check, without -1.
    void CheckImage(const std::uint8_t* data, std::size_t size);

    // How the index build crosses runs of free records and repeated blocks
    // (see BuildKeyIndex); the index is the same in every mode. kAuto starts
    // crossing free runs once data blocks are seen to overlap, kAlways from
    // the first record; where blocks repeat one another's place, both enter
    // the blocks last to first and take the writes of a walk made before.
    // kNever walks record by record and every block on its own, first to
    // last: the reference that the tests and the fuzzer compare with.
    enum class FreeRunSkipping { kAuto, kAlways, kNever };
    FreeRunSkipping freeRunSkipping = FreeRunSkipping::kAuto;

    // Work done by the last check's index build, for the tests: block walks
    // made (a block that repeats a walk made just before takes its writes),
    // and slot writes tried.
    std::uint64_t walkedBlocks() const { return walkedBlocks_; }
    std::uint64_t slotWrites() const { return slotWrites_; }
    // For the tests and the fuzzer: when set, the index build leaves a digest
    // of the index it made (every slot past the first size that a record was
    // entered into included), so that two modes can be compared.
    bool digestIndex = false;
    std::uint64_t indexDigest() const { return indexDigest_; }

    // For the tests and the fuzzer: false walks the key tree one entry at a
    // time only, the reference for the walk with many chains in flight that
    // is taken where the tree allows it. walkedInterleaved() says whether the
    // last check's walk was made that way.
    bool interleavedWalk = true;
    bool walkedInterleaved() const { return walkedInterleaved_; }

    // Slots past the index's first size that a record was entered into.
    using SlotMap = std::unordered_map<std::uint32_t, std::int32_t>;

    // The copy of the file header taken by the last check.
    const std::uint8_t* header() const { return header_; }
    const ByteClasses& classes() const { return classes_; }

  private:
    void Run(const std::uint8_t* data, std::size_t size);
    bool CheckHeader();
    void BuildBlockTable();
    void BuildKeyIndex();
    void DigestIndex();
    void WalkTree();
    void Release();

    ByteClasses classes_;
    std::uint8_t header_[32] = {};

    // Valid only during a check.
    const std::uint8_t* image_ = nullptr;
    std::size_t imageSize_ = 0;
    std::vector<std::int32_t> blockTable_;
    std::vector<std::int32_t> keyIndex_;
    SlotMap overflow_;
    // 64 bits: blocks that overlap can enter more than 2^31 records in all.
    std::int64_t indexedRecords_ = 0;
    std::uint64_t walkedBlocks_ = 0;
    std::uint64_t slotWrites_ = 0;
    std::uint64_t indexDigest_ = 0;
    bool walkedInterleaved_ = false;
};

// The checker as the program names it: the fourth of its program-wide objects.
using TForm4 = HiveChecker;

}  // namespace sabrel::hive
