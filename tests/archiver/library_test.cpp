// SPDX-License-Identifier: MIT
// The shared library through its four exported entry points, as the program
// loads it; the archives it makes checked by Debian's lhasa (by that name:
// "lha" may be another program) and jlha's archives checked by it; and the
// self-extracting program run in dosbox.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "archiver/errors.h"
#include "archiver/lzh_archive.h"
#include "backup/archiver_api.h"
#include "backup/backup.h"
#include "common/paths.h"
#include "platform/offline/offline_platform.h"
#include "tests/archiver/sample_data.h"
#include "tests/backup/archive_session.h"
#include "ui/script/script_ui.h"

namespace fs = std::filesystem;

namespace sabrel::archiver {
namespace {

using testing::HiveLike;
using testing::RandomBytes;

std::vector<std::uint8_t> ReadAll(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteAll(const fs::path& p, const std::vector<std::uint8_t>& data) {
    std::ofstream out(p, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data.data()),
              static_cast<std::streamsize>(data.size()));
}

bool HaveTool(const char* name) {
    return std::system((std::string("command -v ") + name + " >/dev/null 2>&1").c_str()) == 0;
}

int Shell(const std::string& command) {
    int rc = std::system(command.c_str());
    return WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
}

std::string Quote(const fs::path& p) {
    return "'" + p.string() + "'";
}

class Library : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        handle_ = dlopen(SABREL_UNLHA_SO, RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(handle_, nullptr) << dlerror();
        api_.getVersion = reinterpret_cast<UnlhaGetVersionFn>(dlsym(handle_, "UnlhaGetVersion"));
        api_.getRunning = reinterpret_cast<UnlhaGetRunningFn>(dlsym(handle_, "UnlhaGetRunning"));
        api_.unlha = reinterpret_cast<UnlhaFn>(dlsym(handle_, "Unlha"));
        api_.checkArchive =
            reinterpret_cast<UnlhaCheckArchiveFn>(dlsym(handle_, "UnlhaCheckArchive"));
    }

    void SetUp() override {
        ASSERT_TRUE(api_.getVersion && api_.getRunning && api_.unlha && api_.checkArchive);
        char pattern[] = "/tmp/sabrel-archiver-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir_ = pattern;
        unsetenv("SABREL_WINDIR");
    }
    void TearDown() override {
        Shell("chmod -R u+w " + Quote(dir_));
        fs::remove_all(dir_);
    }

    int Unlha(const std::string& line) { return api_.unlha(nullptr, line.c_str(), nullptr, 0); }
    int Check(const fs::path& p) { return api_.checkArchive(p.c_str(), 2); }

    static void* handle_;
    static ArchiverApi api_;
    fs::path dir_;
};

void* Library::handle_ = nullptr;
ArchiverApi Library::api_;

TEST_F(Library, VersionAndRunningFlag) {
    EXPECT_EQ(api_.getVersion(), 100);
    EXPECT_EQ(api_.getRunning(), 0);

    // Busy only while a call is under way.
    WriteAll(dir_ / "BIG.DAT", HiveLike(6 << 20, 1));
    std::atomic<bool> done{false};
    std::atomic<bool> sawBusy{false};
    std::thread watcher([&] {
        while (!done.load()) {
            if (api_.getRunning()) sawBusy = true;
            std::this_thread::yield();
        }
    });
    EXPECT_EQ(Unlha("a -a1 " + (dir_ / "BIG.LZH").string() + " " + (dir_ / "BIG.DAT").string()), 0);
    done = true;
    watcher.join();
    EXPECT_TRUE(sawBusy.load());
    EXPECT_EQ(api_.getRunning(), 0);
}

// Empty, small, 1 MiB random, 8 MiB hive-like and window-sized files: our
// archive and the program made from it pass lhasa's test, extract byte for
// byte with lhasa, and pass our own full check.
TEST_F(Library, LhasaReadsWhatWeWrite) {
    if (!HaveTool("lhasa")) GTEST_SKIP() << "lhasa is not installed";
    const std::vector<std::pair<std::string, std::vector<std::uint8_t>>> files = {
        {"EMPTY.DAT", {}},
        {"SMALL.TXT", {'a', 'b', 'c', 'a', 'b', 'c', 'a', 'b', 'c', '\n'}},
        {"RANDOM.BIN", RandomBytes(1 << 20, 2)},
        {"SYSTEM.DAT", HiveLike(8 << 20, 3)},
        {"WINDOW.DAT", HiveLike(8192, 4)},
    };
    const fs::path arc = dir_ / "ALL.LZH";
    for (const auto& [name, data] : files) {
        WriteAll(dir_ / name, data);
        ASSERT_EQ(Unlha("a -a1 " + arc.string() + " " + (dir_ / name).string()), 0) << name;
    }
    EXPECT_EQ(Check(arc), 1);
    ASSERT_EQ(Unlha("s " + arc.string() + " " + dir_.string() + "\\"), 0);
    const fs::path exe = dir_ / "ALL.EXE";
    ASSERT_TRUE(fs::exists(exe));
    EXPECT_EQ(Check(exe), 1);

    for (const fs::path& archive : {arc, exe}) {
        EXPECT_EQ(Shell("lhasa -t " + Quote(archive) + " >/dev/null 2>&1"), 0) << archive;
        const fs::path out = dir_ / ("x-" + archive.filename().string());
        fs::create_directories(out);
        ASSERT_EQ(
            Shell("cd " + Quote(out) + " && lhasa -xq " + Quote(archive) + " >/dev/null 2>&1"), 0);
        for (const auto& [name, data] : files) {
            // lhasa gives MS-DOS names in lower case.
            std::string lower = name;
            for (char& c : lower)
                c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
            fs::path got = fs::exists(out / name) ? out / name : out / lower;
            ASSERT_TRUE(fs::exists(got)) << got;
            EXPECT_TRUE(ReadAll(got) == data) << got;
        }
    }
}

TEST_F(Library, JlhaArchivesPassOurCheckAndBecomePrograms) {
    if (!HaveTool("jlha")) GTEST_SKIP() << "jlha is not installed";
    const auto hive = HiveLike(1 << 20, 5);
    const auto text = HiveLike(20000, 6);
    WriteAll(dir_ / "USER.DAT", hive);
    WriteAll(dir_ / "NOTE.TXT", text);
    const fs::path arc = dir_ / "JLHA.LZH";
    ASSERT_EQ(Shell("cd " + Quote(dir_) + " && jlha a JLHA.LZH USER.DAT NOTE.TXT >/dev/null 2>&1"),
              0);
    ASSERT_TRUE(fs::exists(arc));
    EXPECT_EQ(Check(arc), 1);

    // The program made from it holds the same members, checked again.
    ASSERT_EQ(Unlha("s " + arc.string() + " " + dir_.string() + "\\"), 0);
    EXPECT_EQ(Check(dir_ / "JLHA.EXE"), 1);
    if (HaveTool("lhasa")) {
        EXPECT_EQ(Shell("lhasa -t " + Quote(dir_ / "JLHA.EXE") + " >/dev/null"), 0);
    }

    // Adding to jlha's archive keeps its members.
    WriteAll(dir_ / "MORE.DAT", text);
    ASSERT_EQ(Unlha("a -a1 " + arc.string() + " " + (dir_ / "MORE.DAT").string()), 0);
    EXPECT_EQ(Check(arc), 1);
    fs::create_directories(dir_ / "out");
    ASSERT_EQ(Shell("cd " + Quote(dir_ / "out") + " && jlha x ../JLHA.LZH >/dev/null 2>&1"), 0);
    EXPECT_TRUE(ReadAll(dir_ / "out" / "USER.DAT") == hive);
    EXPECT_TRUE(ReadAll(dir_ / "out" / "MORE.DAT") == text);
}

TEST_F(Library, DamagedArchivesAreRefused) {
    WriteAll(dir_ / "SYSTEM.DAT", HiveLike(300000, 7));
    const fs::path arc = dir_ / "SYSTEMBU.LZH";
    ASSERT_EQ(Unlha("a -a1 " + arc.string() + " " + (dir_ / "SYSTEM.DAT").string()), 0);
    ASSERT_EQ(Unlha("s " + arc.string() + " " + dir_.string() + "\\"), 0);
    const auto good = ReadAll(dir_ / "SYSTEMBU.EXE");
    auto bad = good;
    bad[bad.size() - 1000] ^= 0x08;
    WriteAll(dir_ / "BAD.EXE", bad);
    EXPECT_EQ(Check(dir_ / "BAD.EXE"), 0);
    if (HaveTool("lhasa")) {
        EXPECT_NE(Shell("lhasa -t " + Quote(dir_ / "BAD.EXE") + " >/dev/null 2>&1"), 0);
    }
    bad.assign(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(good.size() / 2));
    WriteAll(dir_ / "CUT.EXE", bad);
    EXPECT_EQ(Check(dir_ / "CUT.EXE"), 0);
    EXPECT_EQ(Check(dir_ / "SYSTEM.DAT"), 0);
    EXPECT_EQ(Check(dir_ / "NONE.LZH"), 0);
    // A program is never made from a damaged archive.
    EXPECT_NE(Unlha("s " + (dir_ / "BAD.EXE").string() + " " + (dir_ / "o").string() + "\\"), 0);
    EXPECT_FALSE(fs::exists(dir_ / "o" / "BAD.EXE"));
}

TEST_F(Library, FailuresGiveErrorCodesAndKeepOldFiles) {
    WriteAll(dir_ / "USER.DAT", HiveLike(50000, 8));
    const fs::path arc = dir_ / "USERBU.LZH";
    EXPECT_NE(Unlha("a -a1 " + arc.string() + " " + (dir_ / "MISSING.DAT").string()), 0);
    EXPECT_FALSE(fs::exists(arc));
    EXPECT_NE(Unlha("a -a1 " + (dir_ / "nofolder" / "X.LZH").string() + " " +
                    (dir_ / "USER.DAT").string()),
              0);
    EXPECT_NE(Unlha("frobnicate"), 0);
    EXPECT_NE(api_.unlha(nullptr, nullptr, nullptr, 0), 0);

    ASSERT_EQ(Unlha("a -a1 " + arc.string() + " " + (dir_ / "USER.DAT").string()), 0);
    const auto before = ReadAll(arc);
    if (geteuid() != 0) {
        // A folder that cannot be written: the old archive stays as it was.
        fs::permissions(dir_, fs::perms::owner_write, fs::perm_options::remove);
        WriteAll(dir_ / "USER.DAT", HiveLike(50000, 9));
        EXPECT_NE(Unlha("a -a1 " + arc.string() + " " + (dir_ / "USER.DAT").string()), 0);
        fs::permissions(dir_, fs::perms::owner_write, fs::perm_options::add);
        EXPECT_TRUE(ReadAll(arc) == before);
    }
    // A damaged archive is not updated.
    auto damaged = before;
    damaged[5] ^= 1;
    WriteAll(arc, damaged);
    EXPECT_NE(Unlha("a -a1 " + arc.string() + " " + (dir_ / "USER.DAT").string()), 0);
    EXPECT_TRUE(ReadAll(arc) == damaged);

    // The output buffer, when given, gets a message that fits.
    char out[8];
    EXPECT_NE(api_.unlha(nullptr, "x", out, sizeof out), 0);
    EXPECT_LT(std::strlen(out), sizeof out);
}

// The Windows-side paths the backup passes, quoted because a profile folder
// holds a blank, mapped through SABREL_WINDIR; the attribute is the one the
// offline system keeps for the file.
TEST_F(Library, DosPathsWithBlanksThroughTheOfflineSystem) {
    const fs::path windows = dir_ / "WINDOWS";
    const fs::path profile = windows / "Profiles" / "Taro Yamada";
    fs::create_directories(profile);
    const auto hive = HiveLike(400000, 10);
    WriteAll(profile / "USER.DAT", hive);
    setenv("SABREL_WINDIR", windows.c_str(), 1);
    ASSERT_EQ(Shell("touch -d '2001-02-03 04:05:06' " + Quote(profile / "USER.DAT")), 0);
    {
        platform::offline::OfflinePlatform system;
        ASSERT_TRUE(
            system.SetFileAttributesA("C:\\WINDOWS\\Profiles\\Taro Yamada\\USER.DAT", 0x27));
    }
    ASSERT_EQ(Unlha("a -a1 \"C:\\WINDOWS\\Profiles\\Taro Yamada\\USERBU.LZH\" "
                    "\"C:\\WINDOWS\\Profiles\\Taro Yamada\\USER.DAT\""),
              0);
    ASSERT_EQ(Unlha("s \"C:\\windows\\PROFILES\\taro yamada\\USERBU.LZH\" "
                    "\"C:\\WINDOWS\\Profiles\\Taro Yamada\\\""),
              0);
    EXPECT_EQ(api_.checkArchive("C:\\WINDOWS\\Profiles\\Taro Yamada\\USERBU.EXE", 2), 1);
    // Unquoted, as the command formats give them: still whole paths.
    ASSERT_EQ(Unlha("a -a1 C:\\WINDOWS\\Profiles\\Taro Yamada\\SECOND.LZH "
                    "C:\\WINDOWS\\Profiles\\Taro Yamada\\USER.DAT"),
              0);
    unsetenv("SABREL_WINDIR");
    EXPECT_TRUE(fs::exists(profile / "USERBU.EXE"));
    EXPECT_TRUE(fs::exists(profile / "SECOND.LZH"));
    EXPECT_EQ(Check(profile / "USERBU.EXE"), 1);
    for (const char* name : {"USERBU.EXE", "SECOND.LZH"}) {
        const auto bytes = ReadAll(profile / name);
        Archive archive;
        ASSERT_EQ(ParseArchive(bytes.data(), bytes.size(), &archive), kOk);
        ASSERT_EQ(archive.members.size(), 1u);
        EXPECT_EQ(archive.members[0].name, "USER.DAT");
        EXPECT_EQ(archive.members[0].attribute, 0x27);
        // The local time of the file, as DOS keeps it.
        EXPECT_EQ(archive.members[0].dosDate, (21 << 9) | (2 << 5) | 3);
        EXPECT_EQ(archive.members[0].dosTime, (4 << 11) | (5 << 5) | 3);
        EXPECT_EQ(archive.members[0].originalSize, hive.size());
    }
    // No temporary or set-aside file is left.
    int count = 0;
    for ([[maybe_unused]] const auto& e : fs::directory_iterator(profile)) ++count;
    EXPECT_EQ(count, 4);
}

// ---- The self-extracting program in dosbox -------------------------------------

class DosSfx : public Library {
  protected:
    void SetUp() override {
        Library::SetUp();
        if (!HaveTool("dosbox")) GTEST_SKIP() << "dosbox is not installed: the DOS run is skipped";
        if (!HaveTool("timeout"))
            GTEST_SKIP() << "timeout is not available: the DOS run is skipped";
    }

    // Runs the batch lines in dosbox with C: = `drive`; returns RESULT.TXT.
    std::string RunDos(const fs::path& drive, const std::string& lines) {
        std::string bat = "@echo off\r\n" + lines +
                          "if errorlevel 1 goto bad\r\necho OK> C:\\RESULT.TXT\r\ngoto end\r\n"
                          ":bad\r\necho FAIL> C:\\RESULT.TXT\r\n:end\r\n";
        WriteAll(drive / "RUN.BAT", {bat.begin(), bat.end()});
        fs::remove(drive / "RESULT.TXT");
        const fs::path conf = dir_ / "db.conf";
        std::string text =
            "[sdl]\noutput=surface\n[dosbox]\nmemsize=16\n[cpu]\ncore=dynamic\n"
            "cycles=max\n[mixer]\nnosound=true\n[speaker]\npcspeaker=false\n"
            "[midi]\nmpu401=none\nmididevice=none\n[autoexec]\nmount c \"" +
            drive.string() + "\"\nc:\ncall RUN.BAT\nexit\n";
        WriteAll(conf, {text.begin(), text.end()});
        fs::create_directories(dir_ / "home");
        int rc = Shell("HOME=" + Quote(dir_ / "home") +
                       " SDL_VIDEODRIVER=dummy SDL_AUDIODRIVER=dummy timeout 90 dosbox -conf " +
                       Quote(conf) + " -noconsole >/dev/null 2>&1");
        if (rc == 124) return "TIMEOUT";
        auto result = ReadAll(drive / "RESULT.TXT");
        std::string s(result.begin(), result.end());
        while (!s.empty() && (s.back() == '\n' || s.back() == '\r' || s.back() == ' '))
            s.pop_back();
        return s;
    }

    // Probes whether dosbox runs here at all, so that a machine without a
    // working dosbox skips with the reason instead of failing.
    bool DosboxWorks(std::string* why) {
        const fs::path probe = dir_ / "probe";
        fs::create_directories(probe);
        std::string r = RunDos(probe, "");
        if (r == "OK") return true;
        *why =
            "dosbox did not run a batch file (" + (r.empty() ? std::string("no result") : r) + ")";
        return false;
    }
};

// The restore batch file's own lines, in the hive's folder, over an older
// read-only copy: the multi-MiB hive comes back byte for byte. The header
// keeps the attribute and time (dosbox itself keeps neither on host folders).
TEST_F(DosSfx, RestoresAMultiMegabyteHiveOverAReadOnlyOldCopy) {
    std::string why;
    if (!DosboxWorks(&why)) GTEST_SKIP() << why;
    const fs::path drive = dir_ / "c";
    const fs::path windows = drive / "WINDOWS";
    fs::create_directories(windows);
    const auto hive = HiveLike(5 << 20, 11);
    WriteAll(windows / "SYSTEM.DAT", hive);
    setenv("SABREL_WINDIR", windows.c_str(), 1);
    ASSERT_EQ(Unlha("a -a1 C:\\WINDOWS\\SYSTEMBU.LZH C:\\WINDOWS\\SYSTEM.DAT"), 0);
    ASSERT_EQ(Unlha("s C:\\WINDOWS\\SYSTEMBU.LZH C:\\WINDOWS\\"), 0);
    unsetenv("SABREL_WINDIR");
    ASSERT_EQ(Check(windows / "SYSTEMBU.EXE"), 1);

    WriteAll(windows / "SYSTEM.DAT", HiveLike(1 << 20, 12));
    fs::permissions(windows / "SYSTEM.DAT", fs::perms::all, fs::perm_options::remove);
    fs::permissions(windows / "SYSTEM.DAT", fs::perms::owner_read, fs::perm_options::add);
    EXPECT_EQ(RunDos(drive, "C:\r\nCD C:\\WINDOWS\r\nC:\\WINDOWS\\SYSTEMBU.EXE > C:\\OUT.TXT\r\n"),
              "OK");
    EXPECT_TRUE(ReadAll(windows / "SYSTEM.DAT") == hive);
    const auto said = ReadAll(drive / "OUT.TXT");
    EXPECT_NE(std::string(said.begin(), said.end()).find("Restoring SYSTEM.DAT ... OK"),
              std::string::npos);
    fs::remove(drive / "OUT.TXT");
    for (const auto& e : fs::directory_iterator(windows))
        EXPECT_TRUE(e.path().filename() == "SYSTEM.DAT" || e.path().filename() == "SYSTEMBU.EXE" ||
                    e.path().filename() == "SYSTEMBU.LZH")
            << "left behind: " << e.path();
}

// A damaged program exits non-zero and leaves the old file alone; started
// from another folder it still finds its own file.
TEST_F(DosSfx, DamagedProgramKeepsTheOldFile) {
    std::string why;
    if (!DosboxWorks(&why)) GTEST_SKIP() << why;
    const fs::path drive = dir_ / "c";
    fs::create_directories(drive / "BACKUP");
    fs::create_directories(drive / "WORK");
    WriteAll(drive / "USER.DAT", HiveLike(600000, 13));
    ASSERT_EQ(
        Unlha("a -a1 " + (drive / "USERBU.LZH").string() + " " + (drive / "USER.DAT").string()), 0);
    ASSERT_EQ(
        Unlha("s " + (drive / "USERBU.LZH").string() + " " + (drive / "BACKUP").string() + "\\"),
        0);
    auto exe = ReadAll(drive / "BACKUP" / "USERBU.EXE");
    exe[exe.size() - 5000] ^= 0x20;
    WriteAll(drive / "BACKUP" / "BAD.EXE", exe);
    const std::vector<std::uint8_t> old = {'o', 'l', 'd'};
    WriteAll(drive / "WORK" / "USER.DAT", old);
    EXPECT_EQ(RunDos(drive, "CD WORK\r\n..\\BACKUP\\BAD.EXE > C:\\OUT.TXT\r\n"), "FAIL");
    EXPECT_TRUE(ReadAll(drive / "WORK" / "USER.DAT") == old);
    int count = 0;
    for ([[maybe_unused]] const auto& e : fs::directory_iterator(drive / "WORK")) ++count;
    EXPECT_EQ(count, 1);
    // The sound program, from the same place, restores it.
    EXPECT_EQ(RunDos(drive, "CD WORK\r\n..\\BACKUP\\USERBU.EXE > C:\\OUT.TXT\r\n"), "OK");
    EXPECT_TRUE(ReadAll(drive / "WORK" / "USER.DAT") == ReadAll(drive / "USER.DAT"));
}

// Every kind of member in one program: -lh5- streams made by jlha, an empty
// file, data stored as -lh0-, and data whose codes need the longest lengths.
TEST_F(DosSfx, RestoresEveryKindOfMember) {
    std::string why;
    if (!DosboxWorks(&why)) GTEST_SKIP() << why;
    const fs::path src = dir_ / "src";
    const fs::path drive = dir_ / "c";
    fs::create_directories(src);
    fs::create_directories(drive);
    std::vector<std::pair<std::string, std::vector<std::uint8_t>>> files = {
        {"EMPTY.DAT", {}},
        {"RANDOM.BIN", RandomBytes(100000, 14)},
    };
    // Symbol i repeated about fib(i) times, shuffled: code lengths up to 16.
    std::vector<std::uint8_t> fib;
    std::uint32_t a = 1, b = 1;
    for (int i = 0; i < 26; ++i) {
        for (std::uint32_t k = 0; k < a; ++k) fib.push_back(static_cast<std::uint8_t>(i * 9));
        std::uint32_t c = a + b;
        a = b;
        b = c;
    }
    std::mt19937 rng(15);
    std::shuffle(fib.begin(), fib.end(), rng);
    files.emplace_back("FIB.DAT", fib);
    const fs::path arc = src / "KINDS.LZH";
    if (HaveTool("jlha")) {
        files.emplace_back("FOREIGN.DAT", HiveLike(300000, 16));
        WriteAll(src / "FOREIGN.DAT", files.back().second);
        ASSERT_EQ(Shell("cd " + Quote(src) + " && jlha a KINDS.LZH FOREIGN.DAT >/dev/null 2>&1"),
                  0);
    }
    for (const auto& [name, data] : files) {
        if (name == "FOREIGN.DAT") continue;
        WriteAll(src / name, data);
        ASSERT_EQ(Unlha("a -a1 " + arc.string() + " " + (src / name).string()), 0) << name;
    }
    ASSERT_EQ(Unlha("s " + arc.string() + " " + drive.string() + "\\"), 0);
    EXPECT_EQ(RunDos(drive, "KINDS.EXE > OUT.TXT\r\n"), "OK");
    for (const auto& [name, data] : files) {
        ASSERT_TRUE(fs::exists(drive / name)) << name;
        EXPECT_TRUE(ReadAll(drive / name) == data) << name;
    }
}

// The whole path of an archive-mode backup: the backup routine makes the
// programs through this library and writes the restore batch file; DOS runs
// the batch file's own lines (all but its PAUSE, which would wait for a key
// nobody presses) and every hive, a profile's in a folder with a blank among
// them, comes back byte for byte over a newer read-only one.
TEST_F(DosSfx, RestoreBatchFilePutsEveryHiveBack) {
    std::string why;
    if (!DosboxWorks(&why)) GTEST_SKIP() << why;
    const fs::path drive = dir_ / "c";
    const fs::path windows = drive / "WINDOWS";
    const fs::path profile = windows / "Profiles" / "Taro Yamada";
    fs::create_directories(profile);
    fs::create_directories(windows / "COMMAND");
    const std::vector<std::pair<fs::path, std::vector<std::uint8_t>>> hives = {
        {windows / "SYSTEM.DAT", HiveLike(3 << 20, 17)},
        {windows / "USER.DAT", HiveLike(500000, 18)},
        {profile / "USER.DAT", HiveLike(400000, 19)},
    };
    for (const auto& [path, data] : hives) WriteAll(path, data);
    // ATTRIB stands in as a program that does nothing: dosbox keeps no
    // attributes on host folders anyway (mov ax,4C00h; int 21h).
    WriteAll(windows / "COMMAND" / "ATTRIB.COM", {0xB8, 0x00, 0x4C, 0xCD, 0x21});

    {
        backup::test::ArchiveSession session(windows, SABREL_UNLHA_SO, "C:\\WINDOWS");
        ASSERT_TRUE(session.api.Usable());
        session.request.targets = {
            {"SYSTEM.DAT", true}, {"USER.DAT", true}, {"Profiles\\Taro Yamada\\USER.DAT", true}};
        backup::BackupReg(session.request);
        EXPECT_TRUE(session.ui.Boxes().empty()) << session.ui.Boxes().front().text;
    }
    unsetenv("SABREL_WINDIR");
    unsetenv("SABREL_UNLHA_PATH");
    ASSERT_TRUE(fs::exists(windows / "HELP" / "SBRCOVER.BAT"));
    for (const fs::path& exe :
         {windows / "SYSTEMBU.EXE", windows / "USERBU.EXE", profile / "USERBU.EXE"}) {
        EXPECT_EQ(Check(exe), 1) << exe;
    }

    for (const auto& [path, data] : hives) {
        WriteAll(path, HiveLike(100000, 20));
        fs::permissions(path, fs::perms::owner_read | fs::perms::group_read);
    }
    const auto batch = ReadAll(windows / "HELP" / "SBRCOVER.BAT");
    std::string lines(batch.begin(), batch.end());
    const std::string pause = "PAUSE\r\n";
    ASSERT_NE(lines.find(pause), std::string::npos);
    lines.erase(lines.find(pause), pause.size());
    WriteAll(drive / "RESTORE.BAT", {lines.begin(), lines.end()});
    RunDos(drive, "CALL C:\\RESTORE.BAT > C:\\OUT.TXT\r\n");
    for (const auto& [path, data] : hives) EXPECT_TRUE(ReadAll(path) == data) << path;
}

// The program takes a member's name whole when a double-byte character in it
// ends in 0x5C: "藹A.DAT" (E5 5C 41 ...) is not "A.DAT" in a folder "藹".
// dosbox, which reads no Shift-JIS, makes the file "A.DAT" in the folder
// "\xE5"; a program that cut the name at that byte would make "A.DAT" here.
TEST_F(DosSfx, MemberNameWithTrailByte5CIsOneName) {
    std::string why;
    if (!DosboxWorks(&why)) GTEST_SKIP() << why;
    const fs::path windows = dir_ / "m" / "WINDOWS";
    fs::create_directories(windows);
    const auto data = HiveLike(40000, 24);
    WriteAll(windows / u8"藹A.DAT", data);
    setenv("SABREL_WINDIR", windows.c_str(), 1);
    ASSERT_EQ(Unlha("a -a1 C:\\WINDOWS\\NAMES.LZH C:\\WINDOWS\\藹A.DAT"), 0);
    ASSERT_EQ(Unlha("s C:\\WINDOWS\\NAMES.LZH C:\\WINDOWS\\"), 0);
    unsetenv("SABREL_WINDIR");
    const fs::path drive = dir_ / "c";
    fs::create_directories(drive / "\xE5");
    fs::copy_file(windows / "NAMES.EXE", drive / "NAMES.EXE");
    EXPECT_EQ(RunDos(drive, "NAMES.EXE > OUT.TXT\r\n"), "OK");
    EXPECT_TRUE(ReadAll(drive / "\xE5" / "A.DAT") == data);
    EXPECT_FALSE(fs::exists(drive / "A.DAT"));
}

// Where dosbox finds a DOS path of drive C: below `drive`. dosbox reads no
// Shift-JIS: to it every byte 0x5C separates, so the folder "藹" (E5 5C)
// is the host folder "\xE5" and "藹\X" is "\xE5" + "" + "X".
fs::path DosboxPlace(const fs::path& drive, const std::string& dosPath) {
    fs::path out = drive;
    std::string part;
    for (char c : dosPath.substr(3) + "\\") {
        if (c != '\\') {
            part += c;
        } else if (!part.empty()) {
            out /= part;
            part.clear();
        }
    }
    return out;
}

// The restore batch file with the Windows folder and a profile folder named
// "藹" (E5 5C), whose trail byte is '\', in both backup forms: DOS puts every
// hive back. Of the characters whose trail byte is 0x5C, dosbox 0.74 takes
// only those with a lead byte it allows in a path (E5 among them; 83, 8D, 8F,
// 90, 93, 94, 95, 96, 97 not), so this one stands for them all here.
TEST_F(DosSfx, RestoreBatchFileWithTrailByte5CFolders) {
    std::string why;
    if (!DosboxWorks(&why)) GTEST_SKIP() << why;
    const fs::path windows = dir_ / "machine" / u8"藹";
    const fs::path profile = windows / "Profiles" / u8"藹";
    fs::create_directories(profile);
    const auto system = HiveLike(600000, 21);
    const auto user = HiveLike(300000, 22);
    const std::string winDir = "C:\\藹";
    const std::string entry = "Profiles\\藹\\USER.DAT";

    for (bool archiveMode : {false, true}) {
        SCOPED_TRACE(archiveMode ? "archive" : "copy");
        WriteAll(windows / "SYSTEM.DAT", system);
        WriteAll(profile / "USER.DAT", user);
        struct Hive {
            std::string dosPath;
            fs::path folder;  // on the host
            const std::vector<std::uint8_t>* bytes;
            std::string shortHive, shortBackup;
        };
        std::vector<Hive> hives = {{winDir + "\\SYSTEM.DAT", windows, &system, {}, {}},
                                   {winDir + "\\" + entry, profile, &user, {}, {}}};
        std::string batch;
        {
            backup::test::ArchiveSession session(windows, SABREL_UNLHA_SO, winDir);
            platform::offline::OfflinePlatform& system = session.system;
            ASSERT_TRUE(session.api.Usable());
            session.request.archiveMode = archiveMode;
            session.request.targets = {{"SYSTEM.DAT", true}, {entry, true}};
            backup::BackupReg(session.request);
            for (const auto& box : session.ui.Boxes()) ADD_FAILURE() << box.text;
            // Each hive and its backup by the short path the batch file uses.
            for (Hive& hive : hives) {
                const std::string made = archiveMode
                                             ? backup::ArchiveBackupName(hive.dosPath, ".EXE")
                                             : backup::CopyBackupName(hive.dosPath);
                char shortPath[256] = {};
                ASSERT_GT(system.GetShortPathNameA(hive.dosPath.c_str(), shortPath, 250), 0u);
                hive.shortHive = shortPath;
                ASSERT_GT(system.GetShortPathNameA(made.c_str(), shortPath, 250), 0u) << made;
                hive.shortBackup = shortPath;
            }
            std::vector<std::uint8_t> bytes;
            ASSERT_TRUE(system.ReadWholeFile((winDir + "\\HELP\\SBRCOVER.BAT").c_str(), &bytes));
            batch.assign(bytes.begin(), bytes.end());
        }
        unsetenv("SABREL_WINDIR");
        unsetenv("SABREL_UNLHA_PATH");

        // The drive as dosbox sees it: the backups and newer hives in place.
        const fs::path drive = dir_ / (archiveMode ? "c-archive" : "c-copy");
        const auto host = [&](const std::string& dosPath) {
            const fs::path place = DosboxPlace(drive, dosPath);
            fs::create_directories(place.parent_path());
            return place;
        };
        for (const Hive& hive : hives) {
            const std::string backupName = ExtractFileName(hive.shortBackup);
            WriteAll(host(hive.shortBackup), ReadAll(hive.folder / backupName));
            WriteAll(host(hive.shortHive), HiveLike(50000, 23));
        }
        WriteAll(host(winDir + "\\COMMAND\\ATTRIB.COM"), {0xB8, 0x00, 0x4C, 0xCD, 0x21});
        const std::string pause = "PAUSE\r\n";
        ASSERT_NE(batch.find(pause), std::string::npos);
        batch.erase(batch.find(pause), pause.size());
        WriteAll(drive / "RESTORE.BAT", {batch.begin(), batch.end()});
        RunDos(drive, "CALL C:\\RESTORE.BAT > C:\\OUT.TXT\r\n");
        for (const Hive& hive : hives)
            EXPECT_TRUE(ReadAll(DosboxPlace(drive, hive.shortHive)) == *hive.bytes)
                << hive.shortHive;
    }
}

}  // namespace
}  // namespace sabrel::archiver
