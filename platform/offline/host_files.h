// SPDX-License-Identifier: MIT
// Reading whole host files, writing them so that they appear whole or not at
// all, and clearing what such writes leave behind when the process is killed
// half way.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace sabrel::platform::offline {

// Name prefixes of the temporary files that the writers below create beside
// their target; a run that is killed leaves them behind.
inline constexpr const char* kTempPrefix = ".sabrel-tmp-";
inline constexpr const char* kSavePrefix = ".sabrel-save-";

// The mode a new file gets: 0644 less the process's umask (read once), so
// that no hive or backup is ever writable by others.
mode_t NewFileMode();

enum class Publish {
    kReplace,    // the new file takes the name, replacing a file of that name
    kNoReplace,  // 183 when the name exists; nothing is ever replaced
};

// Writes a new file at `host` through a temporary file named `prefix`+6
// characters in the same folder. `body` writes the contents to the open
// descriptor and returns a Win32 code. The durable order is: the contents
// (fsync), the name (rename or link), the folder (fsync), so that once this
// returns 0 the file survives a power cut under its new name. The mode is a
// courtesy: a volume that refuses it (FAT) costs nothing, since DOS
// attributes are what count there. On failure nothing is left behind and the
// Win32 code is returned.
DWORD WriteHostFile(const std::string& host, const char* prefix, Publish publish, mode_t mode,
                    const std::function<DWORD(int fd)>& body);

// The same for bytes in memory.
DWORD WriteHostFileBytes(const std::string& host, const char* prefix, Publish publish, mode_t mode,
                         const void* data, std::size_t size);

// Reads a whole host file; a folder fails with EACCES. False with errno set.
bool ReadHostFile(const std::string& host, std::vector<std::uint8_t>* out);

// A whole host file for reading, mapped with its pages loaded up front (read
// into memory where it cannot be mapped); a folder fails with EACCES. nullptr
// with errno set. The file must not shrink while it is mapped: on Linux that
// would make its lost pages unreadable.
std::unique_ptr<FileImage> MapHostFile(const std::string& host);
// The same for an open file, which stays open and keeps its position unless
// it had to be read.
std::unique_ptr<FileImage> MapHostFd(int fd);

// Flushes the folder's entries (new and removed names). False with errno set.
bool SyncFolder(const std::string& folder);

// Removes the temporary files that killed writers of ours left in the folder:
// regular files of this user whose names are exactly a prefix above and six
// letters or digits, not locked by a live writer and not touched for a few
// seconds. Returns how many were removed.
int RemoveStaleTemporaryFiles(const std::string& folder);

}  // namespace sabrel::platform::offline
