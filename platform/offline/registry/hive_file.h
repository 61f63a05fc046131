// SPDX-License-Identifier: MIT
// Host-file side of the registry engine: reading a hive file in place and
// writing a new one so that it appears complete or not at all.
#pragma once

#include <cstdint>
#include <string>

#include "creg/creg_tree.h"
#include "platform/platform.h"

namespace sabrel::platform::offline {

// Parses the hive in the open file `fd`, which the tree maps and reads in
// place (or reads whole where it cannot be mapped). The file must not shrink
// while the tree lives. Returns a Win32 code.
DWORD LoadHiveFd(int fd, hive::CregTree* tree);

// Opens and parses the hive file at `hostPath`, as LoadHiveFd. Returns a Win32
// code.
DWORD LoadHiveFile(const std::string& hostPath, hive::CregTree* tree);

// Writes the subtree of `root` as a compact hive at `hostPath`, which must not
// exist (183 otherwise). The bytes go to a temporary file in the same folder,
// which is flushed to disk and then given the final name without replacing
// anything, and the folder is flushed; on any failure the temporary file is
// removed and nothing is left.
DWORD SaveHiveFile(const hive::CregTree& tree, std::uint32_t root, const std::string& hostPath);

}  // namespace sabrel::platform::offline
