// SPDX-License-Identifier: MIT
// What keeps an installation whole on the offline platform when things go
// wrong: a restart that cannot take up WININIT.INI, a volume that refuses
// permissions, temporary files of killed runs, and two copies at once. The
// Windows folder is named with characters whose trail byte is a backslash.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fcntl.h>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

#include "creg/synth.h"
#include "platform/offline/offline_platform.h"
#include "tests/platform/offline_fixture.h"

// Every fchmod of the program fails with the errno set here (0: the real
// call), and while `g_record` is set, the flushes and renames are logged. The
// platform library is linked statically, so these definitions are the ones
// its calls reach.
static std::atomic<int> g_fchmodError{0};
static std::atomic<bool> g_record{false};
static std::vector<std::string> g_log;

template <typename Fn>
static Fn Next(const char* name) {
    return reinterpret_cast<Fn>(::dlsym(RTLD_NEXT, name));
}

extern "C" int fchmod(int fd, mode_t mode) noexcept {
    if (int err = g_fchmodError.load()) {
        errno = err;
        return -1;
    }
    return Next<int (*)(int, mode_t)>("fchmod")(fd, mode);
}
extern "C" int fsync(int fd) {
    struct stat st;
    if (g_record && ::fstat(fd, &st) == 0)
        g_log.push_back(S_ISDIR(st.st_mode) ? "sync folder" : "sync file");
    return Next<int (*)(int)>("fsync")(fd);
}
extern "C" int rename(const char* from, const char* to) noexcept {
    if (g_record) g_log.push_back("name");
    return Next<int (*)(const char*, const char*)>("rename")(from, to);
}
extern "C" int link(const char* from, const char* to) noexcept {
    if (g_record) g_log.push_back("name");
    return Next<int (*)(const char*, const char*)>("link")(from, to);
}

namespace sabrel::platform::testing {
namespace {

namespace fs = std::filesystem;
using offline::OfflinePlatform;
using offline::RenameOutcome;

// 表ソ in code page 932: both trail bytes are 0x5C.
const std::string kDosWindir = "C:\\\x95\x5C\x83\x5C";
const std::string kHostWindirName = u8"表ソ";

class SafetyTest : public ::testing::Test {
  protected:
    SafetyTest() {
        windir_ = install_.root() + "/" + kHostWindirName;
        fs::create_directory(windir_);
        setenv("SABREL_WINDIR", windir_.c_str(), 1);
        unsetenv("SABREL_RESTART_STRICT");
    }
    ~SafetyTest() override {
        unsetenv("SABREL_RESTART_STRICT");
        g_fchmodError = 0;
    }
    std::string W(const std::string& name) const { return windir_ + "/" + name; }
    static void Put(const std::string& path, const std::string& bytes) {
        TempInstallation::WriteHost(path, bytes);
    }
    static std::string Get(const std::string& path) { return TempInstallation::ReadHost(path); }

    TempInstallation install_;
    std::string windir_;
};

std::string Entry(const std::string& key, const std::string& value) {
    return kDosWindir + "\\" + key + "=" + kDosWindir + "\\" + value + "\r\n";
}

// A WININIT.INI that cannot become WININIT.BAK is not carried out at all: a
// swap carried out while its entry stays would delete the new hive at the
// next start of Windows.
TEST_F(SafetyTest, RestartThatCannotTakeUpWininitCarriesOutNothing) {
    Put(W("SYSTEM.DAT"), "live hive");
    Put(W("SYSTEM.CLN"), "rebuilt hive");
    const std::string ini = "[Rename]\r\n" + Entry("SYSTEM.DAT", "SYSTEM.CLN");
    Put(W("WININIT.INI"), ini);
    fs::create_directory(W("WININIT.BAK"));
    Put(W("WININIT.BAK/kept"), "x");  // a folder that nothing may replace

    OfflinePlatform p;
    EXPECT_FALSE(p.ExitWindowsEx(kEwxReboot, 0));
    EXPECT_NE(p.GetLastError(), kErrorSuccess);
    EXPECT_NE(p.lastRestart().claimError, kErrorSuccess);
    EXPECT_TRUE(p.lastRestart().outcomes.empty());
    EXPECT_EQ(Get(W("SYSTEM.DAT")), "live hive");
    EXPECT_EQ(Get(W("SYSTEM.CLN")), "rebuilt hive");
    EXPECT_EQ(Get(W("WININIT.INI")), ini);

    // Once it can be taken up, it is carried out once, from the taken copy.
    fs::remove_all(W("WININIT.BAK"));
    EXPECT_TRUE(p.ExitWindowsEx(kEwxReboot, 0));
    EXPECT_EQ(Get(W("SYSTEM.DAT")), "rebuilt hive");
    EXPECT_FALSE(fs::exists(W("SYSTEM.CLN")));
    EXPECT_FALSE(fs::exists(W("WININIT.INI")));
    EXPECT_EQ(Get(W("WININIT.BAK")), ini);
    ASSERT_EQ(p.lastRestart().outcomes.size(), 1u);
    EXPECT_EQ(p.lastRestart().outcomes[0].result, RenameOutcome::Result::kReplaced);
}

// Strict mode does what Windows 9x does with an entry whose source is gone,
// and says which file was lost; the default keeps the file.
TEST_F(SafetyTest, StrictRestartDeletesTheDestinationOfAMissingSourceAndSaysSo) {
    const std::string ini =
        "[Rename]\r\n" + Entry("SYSTEM.DAT", "SYSTEM.CLN") + Entry("USER.DAT", "USER.CLN");
    for (bool strict : {false, true}) {
        SCOPED_TRACE(strict ? "strict" : "safe");
        Put(W("SYSTEM.DAT"), "live system");
        Put(W("USER.DAT"), "live user");
        Put(W("USER.CLN"), "rebuilt user");
        Put(W("WININIT.INI"), ini);
        if (strict) setenv("SABREL_RESTART_STRICT", "1", 1);
        OfflinePlatform p;
        ASSERT_TRUE(p.ExitWindowsEx(kEwxReboot, 0));
        auto outcomes = p.lastRestart().outcomes;
        ASSERT_EQ(outcomes.size(), 2u);
        EXPECT_EQ(outcomes[0].key, kDosWindir + "\\SYSTEM.DAT");
        EXPECT_EQ(outcomes[0].result, strict ? RenameOutcome::Result::kDestinationLost
                                             : RenameOutcome::Result::kSourceMissing);
        EXPECT_EQ(fs::exists(W("SYSTEM.DAT")), !strict);
        EXPECT_EQ(outcomes[1].result, RenameOutcome::Result::kReplaced);
        EXPECT_EQ(Get(W("USER.DAT")), "rebuilt user");
    }
    // The switch is also there for tests that hold the platform.
    unsetenv("SABREL_RESTART_STRICT");
    Put(W("SYSTEM.DAT"), "live system");
    Put(W("WININIT.INI"), "[Rename]\r\n" + Entry("SYSTEM.DAT", "SYSTEM.CLN"));
    OfflinePlatform p;
    p.SetStrictRestart(true);
    ASSERT_TRUE(p.ExitWindowsEx(kEwxReboot, 0));
    EXPECT_FALSE(fs::exists(W("SYSTEM.DAT")));
}

// The checks every writer of the platform goes through when the volume
// refuses permissions.
void WriteEverything(OfflinePlatform& p, const std::string& dosWindir) {
    const std::string cln = dosWindir + "\\SYSTEM.CLN";
    ASSERT_TRUE(p.WriteWholeFile((dosWindir + "\\NEW.TXT").c_str(), "data", 4)) << p.GetLastError();
    ASSERT_TRUE(p.CopyFileA((dosWindir + "\\SYSTEM.DAT").c_str(),
                            (dosWindir + "\\SYSTEM.BEF").c_str(), true))
        << p.GetLastError();
    ASSERT_TRUE(p.WritePrivateProfileStringA("Rename", (dosWindir + "\\SYSTEM.DAT").c_str(),
                                             cln.c_str(), "WININIT.INI"))
        << p.GetLastError();
    ASSERT_EQ(p.RegLoadKeyA(kHkeyUsers, "MIRONET_SABREL", (dosWindir + "\\SYSTEM.DAT").c_str()), 0);
    HKEY key = 0;
    ASSERT_EQ(p.RegOpenKeyExA(kHkeyUsers, "MIRONET_SABREL", 0, kKeyAllAccess, &key), 0);
    EXPECT_EQ(p.RegSaveKeyA(key, cln.c_str(), nullptr), 0);
    EXPECT_EQ(p.RegCloseKey(key), 0);
    EXPECT_EQ(p.RegUnLoadKeyA(kHkeyUsers, "MIRONET_SABREL"), 0);
}

std::string SmallHive() {
    hive::SynthOptions options;
    options.keys = 20;
    std::vector<std::uint8_t> bytes = hive::Synthesize(options);
    return std::string(bytes.begin(), bytes.end());
}

TEST_F(SafetyTest, RefusedPermissionsStopNoWrite) {
    const std::string hive = SmallHive();
    Put(W("SYSTEM.DAT"), hive);
    OfflinePlatform p;
    g_fchmodError = EPERM;
    WriteEverything(p, kDosWindir);
    g_fchmodError = 0;
    EXPECT_EQ(Get(W("NEW.TXT")), "data");
    EXPECT_TRUE(Get(W("SYSTEM.BEF")) == hive);
    EXPECT_NE(Get(W("WININIT.INI")).find("SYSTEM.CLN"), std::string::npos);
    EXPECT_TRUE(fs::exists(W("SYSTEM.CLN")));
}

// A FAT volume through FUSE, which refuses every permission change.
TEST_F(SafetyTest, FatVolumeThroughFuse) {
    if (::geteuid() != 0) GTEST_SKIP() << "mounting needs root";
    if (::access("/dev/fuse", R_OK | W_OK) != 0) GTEST_SKIP() << "/dev/fuse is not usable";
    if (std::system("command -v fusefat >/dev/null && command -v mkfs.fat >/dev/null") != 0)
        GTEST_SKIP() << "fusefat or mkfs.fat is not installed";
    const std::string image = install_.root() + "/fat.img";
    const std::string mount = install_.root() + "/fat";
    fs::create_directory(mount);
    if (std::system(("mkfs.fat -C " + image + " 4096 >/dev/null").c_str()) != 0)
        GTEST_SKIP() << "mkfs.fat failed";
    if (std::system(("fusefat -o rw+ " + image + " " + mount + " >/dev/null 2>&1").c_str()) != 0)
        GTEST_SKIP() << "fusefat could not mount (no FUSE here)";
    struct Unmount {
        std::string at;
        ~Unmount() { std::system(("fusermount -u " + at + " 2>/dev/null").c_str()); }
    } unmount{mount};
    int probe = ::open(mount.c_str(), O_RDONLY);
    bool chmodWorks = fchmod(probe, 0755) == 0;
    ::close(probe);
    if (chmodWorks) GTEST_SKIP() << "this FAT mount allows permission changes";

    fs::create_directory(mount + "/WINDOWS");
    const std::string hive = SmallHive();
    Put(mount + "/WINDOWS/SYSTEM.DAT", hive);
    setenv("SABREL_WINDIR", (mount + "/WINDOWS").c_str(), 1);
    {
        OfflinePlatform p;
        WriteEverything(p, "C:\\WINDOWS");
    }
    EXPECT_EQ(Get(mount + "/WINDOWS/NEW.TXT"), "data");
    EXPECT_TRUE(Get(mount + "/WINDOWS/SYSTEM.BEF") == hive);
    EXPECT_TRUE(fs::exists(mount + "/WINDOWS/SYSTEM.CLN"));
}

// The rebuilt file is on the disk under its name, folder included, before
// the WININIT.INI entry that names it is written, and that entry is on the
// disk before the program goes on.
TEST_F(SafetyTest, TheRebuiltFileIsDurableBeforeItsEntryAndTheEntryBeforeTheNextStep) {
    Put(W("SYSTEM.DAT"), SmallHive());
    OfflinePlatform p;
    ASSERT_EQ(p.RegLoadKeyA(kHkeyUsers, "MIRONET_SABREL", (kDosWindir + "\\SYSTEM.DAT").c_str()),
              0);
    HKEY key = 0;
    ASSERT_EQ(p.RegOpenKeyExA(kHkeyUsers, "MIRONET_SABREL", 0, kKeyAllAccess, &key), 0);
    g_log.clear();
    g_record = true;
    LONG saved = p.RegSaveKeyA(key, (kDosWindir + "\\SYSTEM.CLN").c_str(), nullptr);
    BOOL written = p.WritePrivateProfileStringA("Rename", (kDosWindir + "\\SYSTEM.DAT").c_str(),
                                                (kDosWindir + "\\SYSTEM.CLN").c_str(),
                                                (kDosWindir + "\\WININIT.INI").c_str());
    g_record = false;
    EXPECT_EQ(saved, 0);
    EXPECT_TRUE(written);
    const std::vector<std::string> once = {"sync file", "name", "sync folder"};
    std::vector<std::string> twice = once;
    twice.insert(twice.end(), once.begin(), once.end());
    EXPECT_EQ(g_log, twice);
    p.RegCloseKey(key);
    p.RegUnLoadKeyA(kHkeyUsers, "MIRONET_SABREL");
}

void Age(const std::string& path) {
    struct timespec times[2] = {{std::time(nullptr) - 3600, 0}, {std::time(nullptr) - 3600, 0}};
    ::utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW);
}

// Temporary files of killed runs go at the next start, in every folder a run
// writes; nobody else's files, and none that a live writer holds.
TEST_F(SafetyTest, StartingCopyRemovesTemporaryFilesOfKilledRuns) {
    setenv("SABREL_RUNTIME_DIR", (install_.root() + "/run").c_str(), 1);
    const std::string profile = W(u8"Profiles/能十");
    fs::create_directories(profile);
    fs::create_directories(W("HELP"));
    std::vector<std::string> stale = {W(".sabrel-save-a1B2c3"), W(".sabrel-tmp-Zz9Yy8"),
                                      profile + "/.sabrel-save-000000",
                                      W("HELP/.sabrel-tmp-abcdef")};
    std::vector<std::string> kept = {W(".sabrel-save-short"),  W(".sabrel-tmp-abc-de"),
                                     W("x.sabrel-tmp-abcdef"), W(".sabrel-tmp-abcdefg"),
                                     W("SYSTEM.DAT"),          W(".sabrel-tmp-fresh1"),
                                     W(".sabrel-save-locked")};
    for (const auto& f : stale) Put(f, "left behind");
    for (const auto& f : kept) Put(f, "someone's");
    for (const auto& f : stale) Age(f);
    for (const auto& f : kept)
        if (f != W(".sabrel-tmp-fresh1")) Age(f);
    fs::create_directory(W(".sabrel-tmp-dir123"));
    Age(W(".sabrel-tmp-dir123"));
    fs::create_symlink(W("SYSTEM.DAT"), W(".sabrel-tmp-link01"));
    Age(W(".sabrel-tmp-link01"));
    int held = ::open(W(".sabrel-save-locked").c_str(), O_RDONLY);
    ASSERT_EQ(::flock(held, LOCK_EX), 0);

    {
        OfflinePlatform p;
        EXPECT_TRUE(fs::exists(stale[0]));  // only a copy that claims the installation clears
        p.ClaimInstance("Quillmere");
    }
    ::close(held);
    for (const auto& f : stale) EXPECT_FALSE(fs::exists(f)) << f;
    for (const auto& f : kept) EXPECT_TRUE(fs::exists(f)) << f;
    EXPECT_TRUE(fs::is_directory(W(".sabrel-tmp-dir123")));
    EXPECT_TRUE(fs::is_symlink(W(".sabrel-tmp-link01")));
}

// Two copies with their own runtime folders still find each other on one
// installation; a copy on another installation is not in the way.
TEST_F(SafetyTest, ACopyOnTheSameInstallationIsFoundWhateverItsRuntimeFolder) {
    setenv("SABREL_RUNTIME_DIR", (install_.root() + "/run1").c_str(), 1);
    auto first = std::make_unique<OfflinePlatform>();
    first->ClaimInstance("Quillmere");

    setenv("SABREL_RUNTIME_DIR", (install_.root() + "/run2").c_str(), 1);
    OfflinePlatform second;
    EXPECT_TRUE(second.FindRunningInstance("TApplication", "Quillmere"));

    setenv("SABREL_WINDIR", install_.windir().c_str(), 1);
    OfflinePlatform elsewhere;
    EXPECT_FALSE(elsewhere.FindRunningInstance("TApplication", "Quillmere"));

    first.reset();
    EXPECT_FALSE(second.FindRunningInstance("TApplication", "Quillmere"));
}

}  // namespace
}  // namespace sabrel::platform::testing
