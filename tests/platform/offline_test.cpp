// SPDX-License-Identifier: MIT
// What is particular to the offline platform: the environment, the host side
// of names and attributes, the restart, libraries and the instance lock.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/xattr.h>

#include <cstring>
#include <filesystem>
#include <tuple>
#include <vector>

#include "creg/synth.h"
#include "platform/offline/dos_paths.h"
#include "platform/offline/offline_platform.h"
#include "platform/offline/registry/hive_file.h"
#include "tests/platform/offline_fixture.h"

namespace sabrel::platform::testing {
namespace {

using offline::OfflinePlatform;

// Writes a compact hive whose key `path` holds `values` (type, name, data).
void WriteHive(const std::string& host, const std::string& path,
               const std::vector<std::tuple<std::uint32_t, std::string, std::string>>& values) {
    hive::CregTree tree;
    std::uint32_t k = 0;
    for (std::size_t start = 0; start <= path.size();) {
        std::size_t end = std::min(path.find('\\', start), path.size());
        std::string name = path.substr(start, end - start);
        k = tree.AddKey(
            k, name,
            hive::AsciiNameHash(reinterpret_cast<const std::uint8_t*>(name.data()), name.size()));
        start = end + 1;
    }
    for (const auto& [type, name, data] : values) tree.AddValue(k, type, 0, name, data);
    std::filesystem::create_directories(std::filesystem::path(host).parent_path());
    std::filesystem::remove(host);
    ASSERT_EQ(offline::SaveHiveFile(tree, 0, host), 0u) << host;
}

class OfflinePlatformTest : public ::testing::Test {
  protected:
    TempInstallation install_;
    std::string Host(const std::string& rel) const { return install_.root() + "/" + rel; }
    static bool HostExists(const std::string& path) { return std::filesystem::exists(path); }
};

// The thousands separator is the user's: sThousand in the USER.DAT that
// Windows would load as HKEY_CURRENT_USER, else ",".
TEST_F(OfflinePlatformTest, ThousandSeparatorComesFromTheUsersHive) {
    auto separator = [] {
        OfflinePlatform p;
        char text[8] = {};
        int n = p.GetLocaleInfoA(kLocaleUserDefault, kLocaleSThousand, text, sizeof text);
        return n > 0 ? std::string(text) : "<error " + std::to_string(p.GetLastError()) + ">";
    };
    const std::string windir = install_.windir();
    const std::string international = "Control Panel\\International";
    EXPECT_EQ(separator(), ",");
    WriteHive(windir + "/user.dat", international, {{1, "sThousand", "."}});
    EXPECT_EQ(separator(), ".");
    {
        OfflinePlatform p;
        char text[8] = {};
        EXPECT_EQ(p.GetLocaleInfoA(kLocaleUserDefault, kLocaleSThousand, nullptr, 0), 2);
        EXPECT_EQ(p.GetLocaleInfoA(kLocaleUserDefault, kLocaleSThousand, text, 1), 0);
        EXPECT_EQ(p.GetLastError(), kErrorInsufficientBuffer);
    }

    // With user profiles on, the logged-on user's own hive; with them off,
    // the Windows folder's, even where the user has a profile.
    WriteHive(windir + u8"/Profiles/ソフト/USER.DAT", international, {{1, "sThousand", " "}});
    const std::string user = "ソフト";
    WriteHive(windir + "/SYSTEM.DAT", "Network\\Logon",
              {{1, "username", user}, {4, "UserProfiles", std::string("\x01\0\0\0", 4)}});
    EXPECT_EQ(separator(), " ");
    WriteHive(windir + "/SYSTEM.DAT", "Network\\Logon",
              {{1, "username", user}, {4, "UserProfiles", std::string(4, '\0')}});
    EXPECT_EQ(separator(), ".");

    // A hive without the value: Windows' default for the locale.
    WriteHive(windir + "/user.dat", "Control Panel\\Desktop", {});
    EXPECT_EQ(separator(), ",");
}

TEST_F(OfflinePlatformTest, DefaultsAreWindows98WithCodePage932) {
    OfflinePlatform p;
    OsVersionInfo v;
    ASSERT_TRUE(p.GetVersionExA(&v));
    EXPECT_EQ(v.dwMajorVersion, 4u);
    EXPECT_EQ(v.dwMinorVersion, 10u);
    EXPECT_EQ(v.dwBuildNumber, 0x040A08AEu);
    EXPECT_EQ(v.dwPlatformId, kVerPlatformWin32Windows);
    EXPECT_EQ(p.GetACP(), 932u);
    EXPECT_EQ(p.GetDbcsEnabled(), 1);
    CpInfo info;
    ASSERT_TRUE(p.GetCPInfo(0, &info));
    EXPECT_EQ(info.MaxCharSize, 2u);
    const std::uint8_t lead[] = {0x81, 0x9F, 0xE0, 0xFC, 0, 0};
    EXPECT_EQ(std::memcmp(info.LeadByte, lead, sizeof lead), 0);
    char buf[128];
    EXPECT_EQ(p.GetWindowsDirectoryA(buf, 125), 10u);
    EXPECT_STREQ(buf, "C:\\WINDOWS");
    DWORD size = sizeof buf;
    EXPECT_FALSE(p.GetUserNameA(buf, &size));  // nobody logged on
    v.dwOSVersionInfoSize = 100;
    EXPECT_FALSE(p.GetVersionExA(&v));
}

TEST_F(OfflinePlatformTest, EnvironmentOverridesEachValue) {
    setenv("SABREL_VERSION", "4.90.3000", 1);
    setenv("SABREL_USER", u8"山田", 1);
    setenv("SABREL_CODEPAGE", "1252", 1);
    {
        OfflinePlatform p;
        OsVersionInfo v;
        ASSERT_TRUE(p.GetVersionExA(&v));
        EXPECT_EQ(v.dwMinorVersion, 90u);
        EXPECT_EQ(v.dwBuildNumber, 0x045A0BB8u);  // 4.90 in the high word, 3000 below
        EXPECT_EQ(p.GetDbcsEnabled(), 0);
        CpInfo info;
        ASSERT_TRUE(p.GetCPInfo(0, &info));
        EXPECT_EQ(info.MaxCharSize, 1u);
        EXPECT_EQ(info.LeadByte[0], 0);
    }
    setenv("SABREL_CODEPAGE", "932", 1);
    setenv("SABREL_PLATFORM", "2", 1);
    OfflinePlatform p;
    OsVersionInfo v;
    ASSERT_TRUE(p.GetVersionExA(&v));
    EXPECT_EQ(v.dwPlatformId, kVerPlatformWin32Nt);
    EXPECT_EQ(v.dwBuildNumber, 3000u);
    char buf[16];
    DWORD size = sizeof buf;
    ASSERT_TRUE(p.GetUserNameA(buf, &size));
    EXPECT_STREQ(buf, "山田");
    EXPECT_EQ(size, 5u);
}

// The installation's own SYSTEM.DAT tells version, user and code page; the
// registry calls reach it by DOS path.
TEST_F(OfflinePlatformTest, InstallationValuesAndRegistryCallsByDosPath) {
    hive::SynthOptions options;
    options.keys = 20;
    hive::InstallationValues values;
    values.versionNumber = "4.90.3000";
    values.user = "山田";
    std::vector<std::uint8_t> bytes = hive::Synthesize(options, nullptr, &values);
    TempInstallation::WriteHost(install_.windir() + "/system.dat",
                                std::string(bytes.begin(), bytes.end()));
    OfflinePlatform p;
    OsVersionInfo v;
    ASSERT_TRUE(p.GetVersionExA(&v));
    EXPECT_EQ(v.dwMinorVersion, 90u);
    EXPECT_EQ(v.dwBuildNumber, 0x045A0BB8u);
    char user[32];
    DWORD size = sizeof user;
    ASSERT_TRUE(p.GetUserNameA(user, &size));
    EXPECT_STREQ(user, "山田");

    // The registry calls report through their results only: the thread's
    // last error stays as it was, on success and on failure.
    constexpr DWORD kEarlier = 0x5AB;
    p.SetLastError(kEarlier);
    EXPECT_EQ(p.RegLoadKeyA(kHkeyUsers, "MIRONET_SABREL", "c:\\windows\\system.dat"), 0);
    HKEY key = 0;
    ASSERT_EQ(p.RegOpenKeyExA(kHkeyUsers, "MIRONET_SABREL", 0, kKeyAllAccess, &key), 0);
    EXPECT_EQ(p.RegSaveKeyA(key, "C:\\WINDOWS\\SYSTEM.CLN", nullptr), 0);
    EXPECT_TRUE(HostExists(install_.windir() + "/SYSTEM.CLN"));
    EXPECT_EQ(p.RegSaveKeyA(key, "C:\\WINDOWS\\system.cln", nullptr), LONG{kErrorAlreadyExists});
    EXPECT_EQ(p.GetLastError(), kEarlier);
    EXPECT_EQ(p.RegCloseKey(key), 0);
    EXPECT_EQ(p.RegUnLoadKeyA(kHkeyUsers, "MIRONET_SABREL"), 0);
    EXPECT_EQ(p.RegLoadKeyA(kHkeyUsers, "MIRONET_SABREL", "C:\\WINDOWS\\NONE.DAT"),
              LONG{kErrorFileNotFound});
    EXPECT_EQ(p.RegUnLoadKeyA(kHkeyUsers, "MIRONET_SABREL"), LONG{kErrorFileNotFound});
    EXPECT_EQ(p.GetLastError(), kEarlier);

    setenv("SABREL_USER", "override", 1);
    setenv("SABREL_VERSION", "4.10.1998", 1);
    OfflinePlatform overridden;
    ASSERT_TRUE(overridden.GetVersionExA(&v));
    EXPECT_EQ(v.dwBuildNumber, 0x040A07CEu);
    size = sizeof user;
    ASSERT_TRUE(overridden.GetUserNameA(user, &size));
    EXPECT_STREQ(user, "override");
}

TEST_F(OfflinePlatformTest, WindowsDirectoryQueryFailsWithoutTheVariableOrRoom) {
    unsetenv("SABREL_WINDIR");
    OfflinePlatform without;
    char buf[128] = "x";
    EXPECT_EQ(without.GetWindowsDirectoryA(buf, sizeof buf), 0u);
    EXPECT_EQ(without.GetFileAttributesA("C:\\WINDOWS"), kInvalidFileAttributes);
    EXPECT_FALSE(without.WritePrivateProfileStringA("Rename", "a", "b", "WININIT.INI"));
    EXPECT_EQ(without.GetLastError(), kErrorPathNotFound);

    // A long Windows directory does not fit 125 characters: nothing is copied.
    std::string longName(130, 'W');
    std::filesystem::create_directory(Host(longName));
    setenv("SABREL_WINDIR", Host(longName).c_str(), 1);
    OfflinePlatform p;
    std::memset(buf, 'x', sizeof buf);
    EXPECT_EQ(p.GetWindowsDirectoryA(buf, 125), 134u);
    EXPECT_EQ(buf[0], 0);
}

TEST_F(OfflinePlatformTest, DriveCIsTheParentAndNamesConvertToUtf8) {
    OfflinePlatform p;
    ASSERT_TRUE(p.WriteWholeFile("C:\\表示.TXT", "a", 1));
    EXPECT_TRUE(HostExists(Host(u8"表示.TXT")));
    ASSERT_TRUE(p.CreateDirectoryA("c:\\windows\\ソフト"));
    EXPECT_TRUE(std::filesystem::is_directory(install_.windir() + u8"/ソフト"));
    TempInstallation::WriteHost(install_.windir() + u8"/ソフト/能力.ini", "x");
    EXPECT_NE(p.GetFileAttributesA("C:\\WINDOWS\\ソフト\\能力.INI"), kInvalidFileAttributes);
    EXPECT_EQ(offline::MapDosPathFromEnvironment("C:\\windows\\ソフト\\能力.INI"),
              install_.windir() + u8"/ソフト/能力.ini");
    EXPECT_EQ(offline::MapDosPathFromEnvironment("/any/host/path"), "/any/host/path");
    EXPECT_EQ(p.GetFileAttributesA("D:\\WINDOWS"), kInvalidFileAttributes);
    EXPECT_EQ(p.GetLastError(), kErrorPathNotFound);
}

TEST_F(OfflinePlatformTest, NamesWithoutAnAnsiFormAreReachedByAlias) {
    TempInstallation::WriteHost(install_.windir() + u8"/smile\U0001F600.txt", "s");
    OfflinePlatform p;
    FindData d;
    FindHandle h = p.FindFirstFileA("C:\\WINDOWS\\SMILE*.*", &d);
    ASSERT_NE(h, kInvalidFindHandle);
    p.FindClose(h);
    EXPECT_EQ(d.cFileName, "SMILE_~1.TXT");  // "smile?.txt" could not be opened
    EXPECT_EQ(d.cAlternateFileName, "");
    std::vector<std::uint8_t> data;
    ASSERT_TRUE(p.ReadWholeFile("C:\\WINDOWS\\SMILE_~1.TXT", &data));
    EXPECT_EQ(data.size(), 1u);
    TempInstallation::WriteHost(install_.windir() + "/a\\b", "x");  // '\\' in a host name
    h = p.FindFirstFileA("C:\\WINDOWS\\A_B*", &d);
    ASSERT_NE(h, kInvalidFindHandle);
    p.FindClose(h);
    EXPECT_EQ(d.cFileName, "A_B~1");
}

TEST_F(OfflinePlatformTest, AttributesLiveInAnExtendedAttributeAndThePermission) {
    OfflinePlatform p;
    const std::string host = install_.windir() + "/SYSTEM.DAT";
    TempInstallation::WriteHost(host, "hive");
    EXPECT_EQ(p.GetFileAttributesA("C:\\WINDOWS\\SYSTEM.DAT"), DWORD{kAttrArchive});
    ASSERT_TRUE(
        p.SetFileAttributesA("C:\\WINDOWS\\SYSTEM.DAT", kAttrReadOnly | kAttrHidden | kAttrSystem));
    struct stat st;
    ASSERT_EQ(stat(host.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0222, 0u);
    char value[16] = {};
    EXPECT_GT(getxattr(host.c_str(), "user.sabrel.dosattrib", value, sizeof value - 1), 0);
    // Giving write permission on the host takes read-only away.
    chmod(host.c_str(), st.st_mode | S_IWUSR);
    EXPECT_EQ(p.GetFileAttributesA("C:\\WINDOWS\\SYSTEM.DAT"), DWORD{kAttrHidden | kAttrSystem});
}

// Windows 9x carries out WININIT.INI at its next start, entry by entry.
TEST_F(OfflinePlatformTest, RestartCarriesOutRenameInOrder) {
    const std::string w = install_.windir() + "/";
    TempInstallation::WriteHost(w + "A.TXT", "old a");
    TempInstallation::WriteHost(w + "B.TXT", "old b");
    TempInstallation::WriteHost(w + "C.TXT", "old c");
    TempInstallation::WriteHost(w + "SYSTEM.DAT", "live hive");
    TempInstallation::WriteHost(w + "SYSTEM.CLN", "rebuilt hive");
    TempInstallation::WriteHost(w + "USER.DAT", "user hive");
    TempInstallation::WriteHost(w + "GONE.TMP", "temp");
    TempInstallation::WriteHost(w + "WININIT.BAK", "older");
    const std::string ini =
        "[Other]\r\nC:\\WINDOWS\\C.TXT=C:\\WINDOWS\\A.TXT\r\n"
        "[rename]\r\n"
        "C:\\WINDOWS\\A.TXT=C:\\WINDOWS\\B.TXT\r\n"
        "C:\\WINDOWS\\B.TXT=C:\\WINDOWS\\C.TXT\r\n"
        "c:\\windows\\system.dat=C:\\WINDOWS\\SYSTEM.CLN\r\n"
        "C:\\WINDOWS\\USER.DAT=C:\\WINDOWS\\USER.CLN\r\n"
        "nul=C:\\WINDOWS\\GONE.TMP\r\n";
    TempInstallation::WriteHost(w + "WININIT.INI", ini);
    OfflinePlatform p;
    ASSERT_TRUE(p.SetFileAttributesA("C:\\WINDOWS\\SYSTEM.DAT", kAttrReadOnly | kAttrHidden));

    ASSERT_TRUE(p.ExitWindowsEx(kEwxShutdown, 0));
    EXPECT_EQ(TempInstallation::ReadHost(w + "WININIT.INI"), ini);  // shutdown does nothing

    ASSERT_TRUE(p.ExitWindowsEx(kEwxReboot, 0));
    EXPECT_EQ(TempInstallation::ReadHost(w + "A.TXT"), "old b");  // first entry first
    EXPECT_EQ(TempInstallation::ReadHost(w + "B.TXT"), "old c");
    EXPECT_FALSE(HostExists(w + "C.TXT"));
    EXPECT_EQ(TempInstallation::ReadHost(w + "SYSTEM.DAT"), "rebuilt hive");
    EXPECT_FALSE(HostExists(w + "SYSTEM.CLN"));
    // A replacement that is missing never costs the hive.
    EXPECT_EQ(TempInstallation::ReadHost(w + "USER.DAT"), "user hive");
    EXPECT_FALSE(HostExists(w + "GONE.TMP"));
    EXPECT_FALSE(HostExists(w + "WININIT.INI"));
    EXPECT_EQ(TempInstallation::ReadHost(w + "WININIT.BAK"), ini);
}

TEST_F(OfflinePlatformTest, LibrariesLoadBesideTheProgramOrFail) {
    OfflinePlatform p;
    EXPECT_EQ(p.LoadLibraryA("nosuch.dll"), nullptr);
    EXPECT_EQ(p.GetLastError(), kErrorModNotFound);
    EXPECT_EQ(p.LoadLibraryA("unlha32.dll"), nullptr);  // no stand-in beside the test program
    EXPECT_EQ(p.GetLastError(), kErrorModNotFound);

    setenv("SABREL_UNLHA_PATH", SABREL_TEST_MODULE, 1);
    // "ソ" (83 5C) is part of the name, not the end of a folder.
    EXPECT_EQ(p.LoadLibraryA("\x83\x5cunlha32.dll"), nullptr);
    EXPECT_EQ(p.GetLastError(), kErrorModNotFound);
    HMODULE m = p.LoadLibraryA("C:\\\x95\x5c\\UNLHA32.DLL");
    ASSERT_NE(m, nullptr);
    auto fn = reinterpret_cast<int (*)()>(p.GetProcAddress(m, "UnlhaGetVersion"));
    ASSERT_NE(fn, nullptr);
    EXPECT_EQ(fn(), 123);
    EXPECT_EQ(p.GetProcAddress(m, "UnlhaGetRunning"), nullptr);
    EXPECT_EQ(p.GetLastError(), kErrorProcNotFound);
    EXPECT_TRUE(p.FreeLibrary(m));
    EXPECT_FALSE(p.FreeLibrary(m));
}

TEST_F(OfflinePlatformTest, AClaimedInstanceIsFoundByAnotherCopy) {
    setenv("SABREL_RUNTIME_DIR", (install_.root() + "/run").c_str(), 1);
    OfflinePlatform first;
    EXPECT_FALSE(first.FindRunningInstance("TApplication", "Quillmere"));
    {
        OfflinePlatform second;
        second.ClaimInstance("Quillmere");
        EXPECT_TRUE(first.FindRunningInstance("TApplication", "Quillmere"));
        // The Windows folder's lock finds a copy on this installation under
        // any title; the runtime folder's lock is kept per title.
        EXPECT_TRUE(first.FindRunningInstance("TApplication", "Sabrel Boot..."));
    }
    EXPECT_FALSE(first.FindRunningInstance("TApplication", "Quillmere"));  // ended copy
}

}  // namespace
}  // namespace sabrel::platform::testing
