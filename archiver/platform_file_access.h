// SPDX-License-Identifier: MIT
// FileAccess over the offline platform: DOS paths of the offline system (and
// absolute host paths) with the platform's own DOS attributes.
#pragma once

#include "archiver/file_access.h"
#include "platform/platform.h"

namespace sabrel::archiver {

class PlatformFileAccess : public FileAccess {
  public:
    explicit PlatformFileAccess(platform::Platform& p) : p_(p) {}

    bool ReadFile(const std::string& path, std::vector<std::uint8_t>* out) override;
    bool WriteFile(const std::string& path, const std::uint8_t* data, std::size_t size) override;
    std::uint32_t GetAttributes(const std::string& path) override;
    bool SetAttributes(const std::string& path, std::uint32_t attributes) override;
    bool Delete(const std::string& path) override;
    bool Move(const std::string& from, const std::string& to) override;
    bool GetDosTime(const std::string& path, std::uint16_t* time, std::uint16_t* date) override;

  private:
    platform::Platform& p_;
};

}  // namespace sabrel::archiver
