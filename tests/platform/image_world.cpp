// SPDX-License-Identifier: MIT
// The conformance suite's world on a disk image: a FAT16 volume made by
// mkfs.fat, read and written through the offline platform's FAT engine. The
// volume must pass fsck.fat after every test.
#include <gtest/gtest.h>

#include "platform/offline/offline_platform.h"
#include "tests/platform/conformance.h"
#include "tests/platform/image_fixture.h"

namespace sabrel::platform::testing {

namespace {

class ImageWorld : public ConformanceWorld {
  public:
    ImageWorld() {
        EXPECT_TRUE(image_.ok() && image_.MakeFolder("WINDOWS") &&
                    image_.MakeFolder("WINDOWS/SCRATCH"));
        setenv("SABREL_USER", u8"利用者", 1);
        std::string message;
        platform_ = offline::OfflinePlatform::OpenImage(image_.path(), 0, "", &message);
        EXPECT_TRUE(platform_) << message;
    }
    ~ImageWorld() override {
        platform_.reset();
        EXPECT_EQ(image_.Fsck(), "");
    }
    Platform& platform() override { return *platform_; }
    std::string scratch() override { return "C:\\WINDOWS\\SCRATCH"; }
    bool aliasesKeepTrail5C() override { return false; }

  private:
    TempImage image_;
    std::unique_ptr<offline::OfflinePlatform> platform_;
};

}  // namespace

std::unique_ptr<ConformanceWorld> MakeConformanceWorld() {
    return std::make_unique<ImageWorld>();
}

}  // namespace sabrel::platform::testing
