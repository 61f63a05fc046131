// SPDX-License-Identifier: MIT
// The replacement entries of WININIT.INI: section [Rename], key = the file to
// be replaced, value = the file that takes its place, both short (8.3) paths.
// Windows carries the section out at its next start. The worker writes the
// entries; the withdrawal removes them. Every operation opens the file anew
// through the platform's private-profile service.
#pragma once

#include <string>

#include "common/errors.h"

namespace sabrel::rebuild {

// Room given to GetShortPathNameA: a 256-byte buffer of which 250 are offered.
constexpr unsigned kShortPathBufferSize = 256;
constexpr unsigned kShortPathLimit = 250;

// "<winDir>\WININIT.INI".
std::string WininitPath(const std::string& winDir);

// Short (8.3) form of an existing path, or false when the platform gives none
// or it would not fit the 250-character limit (the buffer is never overrun).
bool ShortPathOf(const std::string& longPath, std::string* shortPath);

// Writes shortHive=shortRebuilt. Throws WininitWriteError when refused.
void ScheduleHiveReplacement(const std::string& winDir, const std::string& shortHive,
                             const std::string& shortRebuilt);

// Writes the set-aside entry of "ttfCache" or "ShellIconCache":
// <short path with .BEF>=<short path>. A cache file without a short path (it
// does not exist) gets no entry. Throws WininitWriteError when refused.
void ScheduleCacheSetAside(const std::string& winDir, const char* cacheName);

// Deletes the key `shortHive` (the hive's entry). False when the platform
// refused the removal.
bool UnscheduleHiveReplacement(const std::string& winDir, const std::string& shortHive);

// Deletes the key <short path of winDir\entry>. Does nothing when the hive has
// no short path. False only when the platform refused the removal, so that a
// caller about to delete the rebuilt file can keep it instead.
bool CancelHiveReplacement(const std::string& winDir, const std::string& entry);

// Deletes the set-aside key computed exactly as ScheduleCacheSetAside does.
// Does nothing when the cache file has no short path.
void CancelCacheSetAside(const std::string& winDir, const char* cacheName);

}  // namespace sabrel::rebuild
