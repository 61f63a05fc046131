// SPDX-License-Identifier: MIT
// Where the offline platform keeps its files: a host folder tree, or a FAT
// volume inside a disk image. The platform's file, profile, registry-file and
// restart services talk to this interface alone, so that the whole program
// runs unchanged on either. Paths are DOS paths (ANSI bytes of the
// installation's code page). Methods that return BOOL or DWORD set the
// thread's last error as the platform's own calls do. Internal to
// platform/offline.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include "platform/offline/restart.h"
#include "platform/offline/win32_errors.h"
#include "platform/platform.h"

namespace sabrel::platform::offline {

class RegistryEngine;

class FileStore {
  public:
    virtual ~FileStore() = default;

    virtual DWORD GetAttributes(const std::string& path) = 0;
    virtual BOOL SetAttributes(const std::string& path, DWORD attributes) = 0;
    virtual BOOL DeleteFile(const std::string& path) = 0;
    virtual BOOL CopyFile(const std::string& from, const std::string& to, bool failIfExists) = 0;
    virtual BOOL MoveFile(const std::string& from, const std::string& to) = 0;
    virtual BOOL CreateDirectory(const std::string& path) = 0;
    virtual BOOL RemoveDirectory(const std::string& path) = 0;
    // Every entry of a folder ("" is the current folder), with "." and ".."
    // first in every folder but a drive's root.
    virtual BOOL List(const std::string& folder, std::vector<FindData>* entries) = 0;
    virtual BOOL ShortPath(const std::string& path, std::string* out) = 0;
    virtual BOOL ReadFile(const std::string& path, std::vector<std::uint8_t>* out) = 0;
    // The whole file for reading: mapped where the store can map it, else
    // read with ReadFile (which is what this does). nullptr with the last
    // error set on failure.
    virtual std::unique_ptr<FileImage> OpenImage(const std::string& path) {
        std::vector<std::uint8_t> bytes;
        if (!ReadFile(path, &bytes)) return nullptr;
        try {
            return FileImageOfBytes(std::move(bytes));
        } catch (const std::bad_alloc&) {
            ThreadLastError() = kErrorNotEnoughMemory;
            return nullptr;
        }
    }
    virtual BOOL FileSize(const std::string& path, std::uint64_t* size) = 0;
    // The last write in DOS form (local time, 2-second steps).
    virtual BOOL DosTime(const std::string& path, std::uint16_t* date, std::uint16_t* time) = 0;
    // Writes a whole file so that it appears whole or not at all; a replaced
    // file keeps its attributes and gains the archive bit.
    virtual BOOL WriteFile(const std::string& path, const void* data, std::size_t size) = 0;
    // Reads a text file whole; an empty text when it is missing or unreadable.
    virtual std::string ReadText(const std::string& path) = 0;
    // Reads the text file (empty when missing), lets `edit` change it and
    // writes it back whole when `edit` returns true. A read-only file fails
    // with 5 when there is something to write.
    virtual BOOL EditText(const std::string& path,
                          const std::function<bool(std::string* text)>& edit) = 0;

    // The registry's files: loading holds the file until the key is unloaded.
    virtual LONG LoadHive(RegistryEngine& registry, HKEY root, const std::string& subKey,
                          const std::string& path) = 0;
    virtual LONG SaveHive(RegistryEngine& registry, HKEY key, const std::string& path) = 0;

    // What Windows 9x does with WININIT.INI at its next start.
    virtual RestartResult CarryOutRestart(RestartMode mode) = 0;
};

}  // namespace sabrel::platform::offline
