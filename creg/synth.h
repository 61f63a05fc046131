// SPDX-License-Identifier: MIT
// Synthesizes Windows 9x registry hive files for tests, benchmarks and demo
// installations, written from the format alone.
//
// A tree of keys is generated from a seed (same options, same bytes), then
// written either compact (as the registry engine saves) or fragmented, the way
// a hive looks after years of use: keys scattered over the key-node area with
// free slots between them, records in random order and with random ids in
// blocks of random size, free records on each block's free list, slack at the
// end of records, and optionally records that no key refers to. Every
// structure of a fragmented file keeps the invariants real Windows-written
// files show, so independent readers read it exactly like the compact form.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "creg/creg_tree.h"

namespace sabrel::hive {

struct SynthOptions {
    std::uint64_t seed = 1;
    std::uint32_t keys = 100;     // keys below the root in a random tree
    std::uint32_t maxValues = 6;  // values per key: 0 to this many
    std::uint32_t maxData = 64;   // bytes of data per value, at most (types allowing)
    std::uint32_t deep = 0;       // one more chain of this many nested keys
    std::uint32_t wide = 0;       // one more key with this many children
    std::uint32_t ghosts = 0;     // ASCII names whose stored hash is one too high
    // Names with double-byte Shift-JIS characters (katakana, hiragana, kanji;
    // trail bytes include '\' and a-z). `sjisBad` of them store the name sum
    // of the code page 932 byte classes: the checker sees bad keys. The rest
    // store the single-byte rule of ASCII names: the checker sees ghost keys.
    std::uint32_t sjis = 0;
    std::uint32_t sjisBad = 0;
    std::uint32_t kana = 0;     // half-width katakana names: good keys with high bytes
    std::uint32_t bigKeys = 0;  // keys whose record exceeds a 60 KiB block
    bool rootRecord = false;    // the root entry refers to a record with values
    bool fragmented = false;
    std::uint32_t orphans = 0;     // fragmented only: records no key refers to
    std::uint64_t targetSize = 0;  // keep adding keys until the file is this big
};

// What the synthesized file holds, as the checker counts it (code page 932).
struct SynthStats {
    std::uint64_t keys = 0;  // keys with a record
    std::uint64_t values = 0;
    std::uint32_t good = 0, bad = 0, ghost = 0;
    std::uint32_t blocks = 0;
};

// The facts of a Windows installation that a SYSTEM.DAT holds (see
// creg/install_keys.h). Empty strings leave the value out.
struct InstallationValues {
    std::string versionNumber = "4.10.2222";
    std::string user;  // ANSI (code page 932) bytes
    std::string codePage = "932";
};

// The key tree alone.
CregTree SynthesizeTree(const SynthOptions& options);
// Adds the keys and values that hold `values` to `tree` (root = the hive's).
void AddInstallationValues(CregTree& tree, const InstallationValues& values);
// Writes `tree` fragmented; `seed` decides the placement.
std::vector<std::uint8_t> WriteFragmented(const CregTree& tree, std::uint64_t seed,
                                          std::uint32_t orphans = 0);
// Tree and file in one; `install`, when given, is added to the tree first.
std::vector<std::uint8_t> Synthesize(const SynthOptions& options, SynthStats* stats = nullptr,
                                     const InstallationValues* install = nullptr);
// The checker's counts of a tree (code page 932 byte classes).
SynthStats CountKeys(const CregTree& tree);

}  // namespace sabrel::hive
