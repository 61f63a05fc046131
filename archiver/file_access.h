// SPDX-License-Identifier: MIT
// The file operations the archiver needs, on paths as the caller gives them
// (DOS paths of the system, or absolute host paths). One implementation sits
// on the platform layer; tests use their own.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace sabrel::archiver {

constexpr std::uint32_t kNoFile = 0xFFFFFFFFu;

class FileAccess {
  public:
    virtual ~FileAccess() = default;
    virtual bool ReadFile(const std::string& path, std::vector<std::uint8_t>* out) = 0;
    // Creates or replaces the file with exactly these bytes.
    virtual bool WriteFile(const std::string& path, const std::uint8_t* data, std::size_t size) = 0;
    // DOS attributes, or kNoFile when the file does not exist.
    virtual std::uint32_t GetAttributes(const std::string& path) = 0;
    virtual bool SetAttributes(const std::string& path, std::uint32_t attributes) = 0;
    virtual bool Delete(const std::string& path) = 0;
    // Renames; the target does not exist.
    virtual bool Move(const std::string& from, const std::string& to) = 0;
    // Last-write time as MS-DOS local time and date.
    virtual bool GetDosTime(const std::string& path, std::uint16_t* time, std::uint16_t* date) = 0;
    // The separator to use when forming a path in the folder `folder`.
    virtual char SeparatorFor(const std::string& folder) const {
        return !folder.empty() && folder[0] == '/' ? '/' : '\\';
    }
};

}  // namespace sabrel::archiver
