// SPDX-License-Identifier: MIT
// The offline platform on a disk image: how the image and the Windows folder
// are chosen, what is refused with which message, and the safety of the
// image (one Sabrel at a time, a loaded hive is never written).
#include <gtest/gtest.h>

#include <ctime>

#include "common/format.h"
#include "common/texts.h"
#include "platform/offline/codepage.h"
#include "platform/offline/fat/volume.h"
#include "platform/offline/offline_platform.h"
#include "tests/platform/image_fixture.h"

namespace sabrel::platform::testing {
namespace {

using offline::OfflinePlatform;

std::unique_ptr<OfflinePlatform> Open(const std::string& image, std::string* message,
                                      unsigned partition = 0, const std::string& windir = "") {
    message->clear();
    return OfflinePlatform::OpenImage(image, partition, windir, message);
}

std::string WindowsDirectory(Platform& p) {
    char buffer[260] = {};
    return p.GetWindowsDirectoryA(buffer, sizeof buffer) ? buffer : "";
}

std::string Cp932(const std::string& utf8) {
    std::string out;
    EXPECT_TRUE(offline::CodePage(932).FromHost(utf8, &out));
    return out;
}

TEST(ImagePlatform, TheWindowsFolderComesFromMsdosSysOrTheEnvironment) {
    TempImage image;
    ASSERT_TRUE(image.ok());
    ASSERT_TRUE(image.MakeFolder("WIN98") && image.MakeFolder("OTHER"));
    ASSERT_TRUE(image.Put("WIN98/SYSTEM.DAT", "not a hive"));
    ASSERT_TRUE(image.Put("MSDOS.SYS", "[Paths]\r\nWinDir=C:\\WIN98\r\nWinBootDir=C:\\WIN98\r\n"));
    std::string message;
    {
        auto p = Open(image.path(), &message);
        ASSERT_TRUE(p) << message;
        EXPECT_EQ(WindowsDirectory(*p), "C:\\WIN98");
        // A file that is not a hive costs the defaults only.
        EXPECT_EQ(p->GetACP(), 932u);
    }
    {
        auto p = Open(image.path(), &message, 0, "c:\\other\\");
        ASSERT_TRUE(p) << message;
        EXPECT_EQ(WindowsDirectory(*p), "c:\\other");
    }
    EXPECT_FALSE(Open(image.path(), &message, 0, "C:\\MISSING"));
    EXPECT_NE(message.find("C:\\MISSING"), std::string::npos);
    EXPECT_EQ(image.Fsck(), "");
}

TEST(ImagePlatform, RefusalsSayWhatToDo) {
    TempImage image;
    ASSERT_TRUE(image.ok() && image.MakeFolder("WINDOWS"));
    std::string message;
    // Another Sabrel has the image: the second one is refused.
    auto first = Open(image.path(), &message);
    ASSERT_TRUE(first) << message;
    EXPECT_FALSE(Open(image.path(), &message));
    EXPECT_EQ(message, Format(texts::kMsgImageLocked, image.path().c_str()));
    first.reset();
    EXPECT_TRUE(Open(image.path(), &message)) << message;

    const std::string qcow = image.dir() + "/machine.qcow2";
    TempImage::WriteFile(qcow, std::string("QFI\xFB", 4) + std::string(1020, '\0'));
    EXPECT_FALSE(Open(qcow, &message));
    EXPECT_NE(message.find("qcow2"), std::string::npos) << message;
    EXPECT_NE(message.find("qemu-img convert -O raw " + qcow), std::string::npos) << message;

    const std::string zeros = image.dir() + "/zeros.img";
    TempImage::WriteFile(zeros, std::string(65536, '\0'));
    EXPECT_FALSE(Open(zeros, &message));
    EXPECT_EQ(message, Format(texts::kMsgImageNoVolume, zeros.c_str()));
    EXPECT_FALSE(Open(image.dir() + "/absent.img", &message));
    EXPECT_FALSE(Open(image.path(), &message, 3));
    EXPECT_EQ(message, Format(texts::kMsgImageNoSuchPartition, image.path().c_str(), 3u));

    setenv("SABREL_IMAGE", image.path().c_str(), 1);
    setenv("SABREL_PARTITION", "first", 1);
    EXPECT_FALSE(OfflinePlatform::OpenFromEnvironment(&message));
    EXPECT_EQ(message, Format(texts::kMsgImageBadPartition, "first"));
    unsetenv("SABREL_PARTITION");
    EXPECT_TRUE(OfflinePlatform::OpenFromEnvironment(&message)) << message;
    unsetenv("SABREL_IMAGE");
}

TEST(ImagePlatform, ALoadedHiveIsNeverWrittenAndFilesKeepTheirDosNature) {
    TempImage image;
    ASSERT_TRUE(image.ok());
    ASSERT_TRUE(image.MakeFolder("WINDOWS"));
    std::string message;
    const std::string folder = Cp932(u8"C:\\WINDOWS\\ソフト表示");
    const std::string hive = folder + "\\USER.DAT";
    {
        auto p = Open(image.path(), &message);
        ASSERT_TRUE(p) << message;
        ASSERT_TRUE(p->CreateDirectoryA(folder.c_str()));
        ASSERT_TRUE(p->WriteWholeFile((folder + "\\SEED.TXT").c_str(), "seed", 4));
        // The time the archiver stores for a member: the entry's, as there
        // is no host file to ask.
        std::uint16_t date = 0, time = 0;
        ASSERT_TRUE(p->GetFileDosTime((folder + "\\SEED.TXT").c_str(), &date, &time));
        EXPECT_EQ(date,
                  sabrel::platform::offline::fat::DosStamp::FromTime(std::time(nullptr)).date);
    }
    // A hive made by sabrel-hive, put on the volume by mtools.
    const std::string made = image.dir() + "/made.dat";
    ASSERT_EQ(Shell(std::string(SABREL_HIVE_PATH) + " make --keys 50 " + ShellQuote(made) +
                    " >/dev/null"),
              0);
    const std::string hiveBytes = TempImage::ReadFile(made);
    ASSERT_FALSE(hiveBytes.empty());
    ASSERT_TRUE(image.Put(u8"WINDOWS/ソフト表示/USER.DAT", hiveBytes));
    {
        auto p = Open(image.path(), &message);
        ASSERT_TRUE(p) << message;
        ASSERT_EQ(p->RegLoadKeyA(kHkeyUsers, "LIVE", hive.c_str()), 0);
        EXPECT_EQ(p->RegLoadKeyA(kHkeyUsers, "AGAIN", hive.c_str()), 32);
        EXPECT_FALSE(p->DeleteFileA(hive.c_str()));
        EXPECT_EQ(p->GetLastError(), 32u);
        EXPECT_FALSE(p->WriteWholeFile(hive.c_str(), "x", 1));
        EXPECT_FALSE(p->CopyFileA((folder + "\\SEED.TXT").c_str(), hive.c_str(), false));
        HKEY key = 0;
        ASSERT_EQ(p->RegOpenKeyExA(kHkeyUsers, "LIVE", 0, kKeyRead, &key), 0);
        const std::string copy = folder + "\\USER.NEW";
        EXPECT_EQ(p->RegSaveKeyA(key, copy.c_str(), nullptr), 0);
        EXPECT_EQ(p->RegSaveKeyA(key, copy.c_str(), nullptr), 183);
        p->RegCloseKey(key);
        ASSERT_EQ(p->RegUnLoadKeyA(kHkeyUsers, "LIVE"), 0);
        EXPECT_TRUE(p->SetFileAttributesA(hive.c_str(), kAttrHidden | kAttrSystem));
        EXPECT_TRUE(p->CopyFileA(hive.c_str(), (folder + "\\USER.BEF").c_str(), true));
        EXPECT_EQ(p->GetFileAttributesA((folder + "\\USER.BEF").c_str()),
                  DWORD{kAttrHidden | kAttrSystem | kAttrArchive});
    }
    // What the engine wrote, as mtools sees it.
    EXPECT_EQ(image.Get(u8"WINDOWS/ソフト表示/USER.BEF"), hiveBytes);
    EXPECT_EQ(image.Get(u8"WINDOWS/ソフト表示/USER.DAT"), hiveBytes);
    std::string attrs;
    Shell("mattrib -i " + ShellQuote(image.path()) + " " +
              ShellQuote(u8"::/WINDOWS/ソフト表示/USER.BEF"),
          &attrs);
    EXPECT_EQ(attrs.substr(0, 7), "  A  SH") << attrs;
    EXPECT_EQ(image.Fsck(), "");
}

}  // namespace
}  // namespace sabrel::platform::testing
