// SPDX-License-Identifier: MIT
// Loads a Windows 9x registry hive file into a CregTree.
//
// What the loader validates: the "CREG" and "RGKN" signatures; that every data
// block the header counts says "RGDB", has a size of at least its header and
// lies inside the file; that the records of every block tile it exactly (each
// at least a 20-byte head, none running past the block); that every key entry
// reached from the root lies inside the key-node area and is reached once
// (no cycles, no shared entries); that every entry with a record names an
// existing block and a record id present in it; that each key record holds its
// name and its values inside its used size and its length.
//
// What it leaves alone: checksums, flags, versions, the free-slot and
// free-record lists, free records, parent links (the tree is rebuilt from the
// child and sibling links), the block number stored in records and block
// headers, ids and hashes (kept as stored), bytes after the last block, and
// the content of records no key refers to. Link values of 0 or with the top bit set mean "none".
// When two records of a block carry the same id, the first one is taken.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "creg/creg_tree.h"

namespace sabrel::hive {

// Parses `image` completely. On success returns 0 and replaces *tree with a
// tree whose byte pool is the image itself. Otherwise returns a Win32 error
// code and leaves *tree alone: 1009 (ERROR_BADDB) when the file is not a hive
// at all (no "CREG" or "RGKN" signature), 1015 (ERROR_REGISTRY_CORRUPT) for
// damaged or truncated structures, 8 (ERROR_NOT_ENOUGH_MEMORY) when the file is
// larger than the format can address or memory runs out.
std::uint32_t LoadHive(std::vector<std::uint8_t> image, CregTree* tree);
// Same, for `size` bytes at `image` that the tree reads in place (a mapped
// file): its pool shares the image instead of holding a copy.
std::uint32_t LoadHive(std::shared_ptr<const std::uint8_t> image, std::size_t size, CregTree* tree);

}  // namespace sabrel::hive
