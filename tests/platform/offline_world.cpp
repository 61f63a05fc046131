// SPDX-License-Identifier: MIT
// The conformance suite's world for the offline platform.
#include <filesystem>

#include "platform/offline/offline_platform.h"
#include "tests/platform/conformance.h"
#include "tests/platform/offline_fixture.h"

namespace sabrel::platform::testing {

namespace {

class OfflineWorld : public ConformanceWorld {
  public:
    OfflineWorld() : platform_(MakePlatform(install_)) {
        std::filesystem::create_directory(install_.windir() + "/SCRATCH");
    }
    Platform& platform() override { return *platform_; }
    std::string scratch() override { return "C:\\WINDOWS\\SCRATCH"; }

  private:
    static std::unique_ptr<offline::OfflinePlatform> MakePlatform(const TempInstallation&) {
        setenv("SABREL_USER", u8"利用者", 1);
        return std::make_unique<offline::OfflinePlatform>();
    }
    TempInstallation install_;
    std::unique_ptr<offline::OfflinePlatform> platform_;
};

}  // namespace

std::unique_ptr<ConformanceWorld> MakeConformanceWorld() {
    return std::make_unique<OfflineWorld>();
}

}  // namespace sabrel::platform::testing
