// SPDX-License-Identifier: MIT
// The checker's key index, shared by its parts: the index build (key_index.cpp)
// and the tree walk (tree_walk.cpp). Slot block * 256 + keyId holds the offset
// of the key record entered last for that block and id.
//
// Positions are computed in 64 bits from the format's signed 32-bit fields, so
// no sum of a position and a stored length can wrap: a record or block that
// reaches beyond the file simply cannot be read there. Every position that is
// stored (block table, key index) lies inside the image, which is at most
// 2 GiB - 1 bytes, and so fits its signed 32-bit slot.
#pragma once

#include <cstdint>

namespace sabrel::hive::key_slots {

constexpr int kSlotsPerBlock = 256;
constexpr std::int32_t kEmptySlot = -1;

}  // namespace sabrel::hive::key_slots
