// SPDX-License-Identifier: MIT
// A Windows installation in a fresh temporary folder: <root>/WINDOWS is the
// Windows directory, so <root> is drive C:. The environment variables of the
// offline platform are cleared first and set by the test as it needs.
#pragma once

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace sabrel::platform::testing {

class TempInstallation {
  public:
    TempInstallation() {
        for (const char* v : {"SABREL_WINDIR", "SABREL_VERSION", "SABREL_PLATFORM", "SABREL_USER",
                              "SABREL_CODEPAGE", "SABREL_UNLHA_PATH", "SABREL_RUNTIME_DIR"})
            unsetenv(v);
        char tmpl[] = "/tmp/sabrel-platform-XXXXXX";
        root_ = mkdtemp(tmpl);
        windir_ = root_ + "/WINDOWS";
        std::filesystem::create_directory(windir_);
        setenv("SABREL_WINDIR", windir_.c_str(), 1);
    }
    ~TempInstallation() {
        std::error_code ec;
        std::filesystem::remove_all(root_, ec);
    }
    TempInstallation(const TempInstallation&) = delete;
    TempInstallation& operator=(const TempInstallation&) = delete;

    const std::string& root() const { return root_; }
    const std::string& windir() const { return windir_; }

    // Host-side helpers (names are UTF-8).
    static void WriteHost(const std::string& path, const std::string& bytes) {
        std::ofstream(path, std::ios::binary) << bytes;
    }
    static std::string ReadHost(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }

  private:
    std::string root_;
    std::string windir_;
};

}  // namespace sabrel::platform::testing
