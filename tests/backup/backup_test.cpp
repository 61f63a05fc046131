// SPDX-License-Identifier: MIT
// BackupReg on temporary machine folders through the offline platform and the
// script UI backend, with a recording double of the archiver's four entry
// points.
#include "backup/backup.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "common/paths.h"
#include "common/texts.h"
#include "platform/offline/offline_platform.h"
#include "tests/backup/test_support.h"
#include "ui/script/script_ui.h"

namespace sabrel::backup {
namespace {

namespace fs = std::filesystem;
using platform::DWORD;

// The archiver double: records every call and, when it succeeds, leaves the
// file the real library would have made, so that tests see the disk as a run
// would leave it.
struct FakeArchiver {
    static std::vector<std::string> calls;
    static int busyCalls;  // how many of the next busy queries answer "busy"
    static int addResult;
    static int sfxResult;
    static int checkResult;

    static void Reset() {
        calls.clear();
        busyCalls = 0;
        addResult = 0;
        sfxResult = 0;
        checkResult = 1;
    }
    static std::uint16_t GetVersion() { return 153; }
    static int GetRunning() {
        calls.push_back("running");
        if (busyCalls > 0) {
            --busyCalls;
            return 1;
        }
        return 0;
    }
    static int Unlha(void*, const char* commandLine, char*, std::uint32_t) {
        calls.push_back(commandLine);
        std::vector<std::string> args = test::SplitCommandLine(commandLine);
        bool add = args[0] == "a";
        int result = add ? addResult : sfxResult;
        if (result == 0) {
            std::string made = add ? args[2] : ReplaceExtension(args[1], ".EXE");
            platform::Get().WriteWholeFile(made.c_str(), "made", 4);
        }
        return result;
    }
    static int CheckArchive(const char* fileName, int mode) {
        calls.push_back("check " + std::string(fileName) + " " + std::to_string(mode));
        return checkResult;
    }

    static ArchiverApi Api() {
        ArchiverApi api;
        api.module = &calls;
        api.getRunning = &GetRunning;
        api.unlha = &Unlha;
        api.checkArchive = &CheckArchive;
        api.getVersion = &GetVersion;
        return api;
    }
};
std::vector<std::string> FakeArchiver::calls;
int FakeArchiver::busyCalls = 0;
int FakeArchiver::addResult = 0;
int FakeArchiver::sfxResult = 0;
int FakeArchiver::checkResult = 1;

const char kHeader[] =
    "@ECHO OFF\r\n"
    "ECHO ---=== レジストリ復帰バッチ ===---\r\n"
    "ECHO.\r\n"
    "ECHO __ Sabrel 実行直前に退避したレジストリを\r\n"
    "ECHO __ 現在のレジストリに置き換えて環境を復帰します.\r\n"
    "ECHO.\r\n"
    "PAUSE\r\n";
const char kFooter[] =
    "ECHO.\r\n"
    "ECHO _ 復帰しました.\r\n"
    "ECHO _「WIN」と入力して windows を起動して下さい.\r\n"
    "ECHO.\r\n";
const char kSystemCopyBlock[] =
    "ECHO --- SYSTEM.DAT をリストアしています...\r\n"
    "C:\\WINDOWS\\COMMAND\\ATTRIB -R -S -H C:\\WINDOWS\\SYSTEM.DAT\r\n"
    "C:\\WINDOWS\\COMMAND\\ATTRIB -R -S -H C:\\WINDOWS\\SYSTEM.BEF\r\n"
    "IF EXIST C:\\WINDOWS\\SYSTEM.BEF DEL C:\\WINDOWS\\SYSTEM.DAT\r\n"
    "COPY C:\\WINDOWS\\SYSTEM.BEF C:\\WINDOWS\\SYSTEM.DAT /Y\r\n";
const char kSystemArchiveBlock[] =
    "ECHO --- SYSTEM.DAT をリストアしています...\r\n"
    "C:\\WINDOWS\\COMMAND\\ATTRIB -R -S -H C:\\WINDOWS\\SYSTEM.DAT\r\n"
    "C:\\WINDOWS\\COMMAND\\ATTRIB -R -S -H C:\\WINDOWS\\SYSTEMBU.EXE\r\n"
    "IF EXIST C:\\WINDOWS\\SYSTEMBU.EXE DEL C:\\WINDOWS\\SYSTEM.DAT\r\n"
    "C:\r\n"
    "CD C:\\WINDOWS\r\n"
    "C:\\WINDOWS\\SYSTEMBU.EXE\r\n"
    "CD \\\r\n";

class BackupTest : public ::testing::Test {
  protected:
    void SetUp() override {
        FakeArchiver::Reset();
        machine_ = test::MakeMachineFolder("backup");
        host_ = machine_ / "WINDOWS";
        fs::create_directories(host_);
        test::WriteHostFile(host_ / "SYSTEM.DAT", "system hive");
        test::WriteHostFile(host_ / "USER.DAT", "user hive");
        test::WriteHostFile(host_ / "CLASSES.DAT", "classes hive");
        setenv("SABREL_WINDIR", host_.c_str(), 1);
        platform_ = std::make_unique<platform::offline::OfflinePlatform>();
        platform::Set(platform_.get());
        ui_.SetAutoOk(true);
        api_ = FakeArchiver::Api();

        char dir[128] = {};
        ASSERT_GT(platform_->GetWindowsDirectoryA(dir, 125), 0u);
        ASSERT_STREQ(dir, "C:\\WINDOWS");
        request_.windowsDirectory = dir;
        request_.targets = {{"SYSTEM.DAT", true}, {"USER.DAT", false}};
        request_.archiver = &api_;
        request_.lineBuffer = &meBat_;
    }
    void TearDown() override {
        platform::Set(nullptr);
        platform_.reset();
        unsetenv("SABREL_WINDIR");
        std::error_code ec;
        fs::remove_all(machine_, ec);
    }

    bool Exists(const std::string& dosPath) {
        return platform_->GetFileAttributesA(dosPath.c_str()) != platform::kInvalidFileAttributes;
    }
    std::string Read(const std::string& dosPath) {
        std::vector<std::uint8_t> bytes;
        if (!platform_->ReadWholeFile(dosPath.c_str(), &bytes)) return "<missing>";
        return std::string(bytes.begin(), bytes.end());
    }
    // The boxes shown since the last ClearBoxes().
    std::vector<ui::BoxRecord> Boxes() const {
        std::vector<ui::BoxRecord> all = ui_.Boxes();
        return {all.begin() + static_cast<std::ptrdiff_t>(seenBoxes_), all.end()};
    }
    void ClearBoxes() { seenBoxes_ = ui_.Boxes().size(); }
    std::string Batch() { return Read("C:\\WINDOWS\\HELP\\SBRCOVER.BAT"); }

    fs::path machine_;
    fs::path host_;
    std::unique_ptr<platform::offline::OfflinePlatform> platform_;
    ui::ScriptUi ui_;  // answers every plain box with OK and records it
    std::size_t seenBoxes_ = 0;
    ArchiverApi api_;
    std::vector<std::string> meBat_;
    BackupRequest request_;
};

TEST_F(BackupTest, CopyModeReplacesProtectedOldBackupAndWritesExampleBlocks) {
    test::WriteHostFile(host_ / "SYSTEM.BEF", "an older backup");
    ASSERT_TRUE(platform_->SetFileAttributesA(
        "C:\\WINDOWS\\SYSTEM.BEF",
        platform::kAttrReadOnly | platform::kAttrHidden | platform::kAttrSystem));
    request_.targets[1].selected = true;

    BackupReg(request_);

    EXPECT_TRUE(Boxes().empty()) << Boxes()[0].text;
    EXPECT_EQ(Read("C:\\WINDOWS\\SYSTEM.BEF"), "system hive");
    EXPECT_EQ(Read("C:\\WINDOWS\\USER.BEF"), "user hive");
    DWORD attrs = platform_->GetFileAttributesA("C:\\WINDOWS\\SYSTEM.BEF");
    EXPECT_EQ(attrs & (platform::kAttrReadOnly | platform::kAttrHidden | platform::kAttrSystem),
              0u);
    const std::string userBlock =
        "ECHO --- USER.DAT をリストアしています...\r\n"
        "C:\\WINDOWS\\COMMAND\\ATTRIB -R -S -H C:\\WINDOWS\\USER.DAT\r\n"
        "C:\\WINDOWS\\COMMAND\\ATTRIB -R -S -H C:\\WINDOWS\\USER.BEF\r\n"
        "IF EXIST C:\\WINDOWS\\USER.BEF DEL C:\\WINDOWS\\USER.DAT\r\n"
        "COPY C:\\WINDOWS\\USER.BEF C:\\WINDOWS\\USER.DAT /Y\r\n";
    EXPECT_EQ(Batch(), std::string(kHeader) + kSystemCopyBlock + userBlock + kFooter);
    EXPECT_TRUE(meBat_.empty());
    EXPECT_TRUE(FakeArchiver::calls.empty());
}

TEST_F(BackupTest, ArchiveModeCallsTheLibraryAndWritesTheExampleBlock) {
    request_.archiveMode = true;
    request_.testArchive = true;
    test::WriteHostFile(host_ / "SYSTEMBU.LZH", "old archive");
    test::WriteHostFile(host_ / "SYSTEMBU.EXE", "old program");
    ASSERT_TRUE(platform_->SetFileAttributesA("C:\\WINDOWS\\SYSTEMBU.EXE",
                                              platform::kAttrReadOnly | platform::kAttrHidden));

    BackupReg(request_);

    EXPECT_TRUE(Boxes().empty());
    EXPECT_EQ(FakeArchiver::calls, (std::vector<std::string>{
                                       "running",
                                       "a -a1 C:\\WINDOWS\\SYSTEMBU.LZH C:\\WINDOWS\\SYSTEM.DAT",
                                       "s C:\\WINDOWS\\SYSTEMBU.LZH C:\\WINDOWS\\",
                                       "check C:\\WINDOWS\\SYSTEMBU.EXE 2",
                                   }));
    EXPECT_FALSE(Exists("C:\\WINDOWS\\SYSTEMBU.LZH"));
    EXPECT_EQ(Read("C:\\WINDOWS\\SYSTEMBU.EXE"), "made");
    EXPECT_EQ(Batch(), std::string(kHeader) + kSystemArchiveBlock + kFooter);
}

TEST_F(BackupTest, ClassesInArchiveModeWithoutTestBecomesClassebuExe) {
    request_.archiveMode = true;
    request_.testArchive = false;
    request_.targets = {{"SYSTEM.DAT", false}, {"USER.DAT", false}, {"CLASSES.DAT", true}};

    BackupReg(request_);

    EXPECT_TRUE(Boxes().empty());
    ASSERT_EQ(FakeArchiver::calls.size(), 3u);  // no test call
    EXPECT_EQ(FakeArchiver::calls[1], "a -a1 C:\\WINDOWS\\CLASSEBU.LZH C:\\WINDOWS\\CLASSES.DAT");
    EXPECT_TRUE(Exists("C:\\WINDOWS\\CLASSEBU.EXE"));
    EXPECT_FALSE(Exists("C:\\WINDOWS\\CLASSEBU.LZH"));
    EXPECT_NE(Batch().find("IF EXIST C:\\WINDOWS\\CLASSEBU.EXE DEL C:\\WINDOWS\\CLASSES.DAT\r\n"),
              std::string::npos);
}

TEST_F(BackupTest, TwoProfileHivesEachGetTheirOwnBackupAndShortPathsInTheBatch) {
    for (const char* user : {"Taro Yamada", "Hanako"}) {
        fs::create_directories(host_ / "Profiles" / user);
        test::WriteHostFile(host_ / "Profiles" / user / "USER.DAT", std::string("hive of ") + user);
    }
    request_.targets = {{"SYSTEM.DAT", false},
                        {"USER.DAT", false},
                        {"Profiles\\Taro Yamada\\USER.DAT", true},
                        {"Profiles\\Hanako\\USER.DAT", true}};

    BackupReg(request_);

    ASSERT_TRUE(Boxes().empty());
    EXPECT_EQ(Read("C:\\WINDOWS\\Profiles\\Taro Yamada\\USER.BEF"), "hive of Taro Yamada");
    EXPECT_EQ(Read("C:\\WINDOWS\\Profiles\\Hanako\\USER.BEF"), "hive of Hanako");

    char shortTaro[256] = {};
    ASSERT_GT(platform_->GetShortPathNameA("C:\\WINDOWS\\Profiles\\Taro Yamada\\USER.DAT",
                                           shortTaro, 250),
              0u);
    const std::string taroHive = shortTaro;
    ASSERT_EQ(taroHive.find(' '), std::string::npos);
    const std::string taroBackup = ReplaceExtension(taroHive, ".BEF");
    const std::string batch = Batch();
    const std::string taroBlock =
        "ECHO --- Profiles\\Taro Yamada\\USER.DAT をリストアしています...\r\n"
        "C:\\WINDOWS\\COMMAND\\ATTRIB -R -S -H " +
        taroHive + "\r\n" + "C:\\WINDOWS\\COMMAND\\ATTRIB -R -S -H " + taroBackup + "\r\n" +
        "IF EXIST " + taroBackup + " DEL " + taroHive + "\r\n" + "COPY " + taroBackup + " " +
        taroHive + " /Y\r\n";
    EXPECT_EQ(batch.find(taroBlock), std::string(kHeader).size()) << batch;
    EXPECT_NE(batch.find("ECHO --- Profiles\\Hanako\\USER.DAT をリストアしています...\r\n"),
              std::string::npos);
}

// DOS mode runs the batch file: it knows no long names and splits a command
// at a space, so ATTRIB goes through the Windows directory's 8.3 form, also
// when a name's trail byte is 0x5C (表, ソ, 能 and 十 all end in one).
TEST_F(BackupTest, AttribLinesCallTheWindowsDirectoryByItsShortForm) {
    struct Name {
        const char* host;    // UTF-8
        const char* folder;  // code page 932
    };
    for (const Name& name : {Name{u8"ウィンドウズ フォルダ", "ウィンドウズ フォルダ"},
                             Name{u8"表ソ 能十", "表ソ 能十"}, Name{u8"表ソ", "表ソ"}}) {
        const char* folder = name.folder;
        for (bool archive : {false, true}) {
            fs::path host = machine_ / fs::u8path(name.host);
            fs::create_directories(host);
            test::WriteHostFile(host / "SYSTEM.DAT", "system hive");
            setenv("SABREL_WINDIR", host.c_str(), 1);
            platform::Set(nullptr);
            platform_ = std::make_unique<platform::offline::OfflinePlatform>();
            platform::Set(platform_.get());
            char dir[128] = {};
            ASSERT_GT(platform_->GetWindowsDirectoryA(dir, 125), 0u);
            ASSERT_EQ(std::string(dir), std::string("C:\\") + folder);
            char shortDir[256] = {}, shortHive[256] = {};
            ASSERT_GT(platform_->GetShortPathNameA(dir, shortDir, 250), 0u);
            const std::string hive = std::string(dir) + "\\SYSTEM.DAT";
            ASSERT_GT(platform_->GetShortPathNameA(hive.c_str(), shortHive, 250), 0u);
            request_.windowsDirectory = dir;
            request_.archiveMode = archive;

            BackupReg(request_);

            ASSERT_TRUE(Boxes().empty()) << Boxes()[0].text;
            const std::string backup = archive ? ArchiveBackupName(shortHive, ".EXE")
                                               : ReplaceExtension(shortHive, ".BEF");
            const std::string attrib = std::string(shortDir) + "\\COMMAND\\ATTRIB -R -S -H ";
            const std::string lines = std::string(kHeader) +
                                      "ECHO --- SYSTEM.DAT をリストアしています...\r\n" + attrib +
                                      shortHive + "\r\n" + attrib + backup + "\r\n";
            const std::string batch = Read(hive.substr(0, hive.size() - 10) + "HELP\\SBRCOVER.BAT");
            EXPECT_EQ(batch.substr(0, lines.size()), lines) << folder;
            if (std::string(folder).find(' ') != std::string::npos) {
                EXPECT_EQ(std::string(shortDir).find(' '), std::string::npos);
            }
        }
    }
}

TEST_F(BackupTest, ArchiveModeQuotesPathsThatHoldASpace) {
    fs::create_directories(host_ / "Profiles" / "Taro Yamada");
    test::WriteHostFile(host_ / "Profiles" / "Taro Yamada" / "USER.DAT", "taro");
    request_.archiveMode = true;
    request_.targets = {{"Profiles\\Taro Yamada\\USER.DAT", true}};

    BackupReg(request_);

    ASSERT_TRUE(Boxes().empty());
    ASSERT_GE(FakeArchiver::calls.size(), 3u);
    EXPECT_EQ(FakeArchiver::calls[1],
              "a -a1 \"C:\\WINDOWS\\Profiles\\Taro Yamada\\USERBU.LZH\" "
              "\"C:\\WINDOWS\\Profiles\\Taro Yamada\\USER.DAT\"");
    EXPECT_EQ(FakeArchiver::calls[2],
              "s \"C:\\WINDOWS\\Profiles\\Taro Yamada\\USERBU.LZH\" "
              "\"C:\\WINDOWS\\Profiles\\Taro Yamada\\\"");
    EXPECT_TRUE(Exists("C:\\WINDOWS\\Profiles\\Taro Yamada\\USERBU.EXE"));
}

TEST_F(BackupTest, EveryHiveFailingLeavesHeaderAndFooterAndASecondCallReplacesTheFile) {
    request_.targets[1].selected = true;
    BackupReg(request_);
    ASSERT_NE(Batch().find("SYSTEM.BEF"), std::string::npos);

    fs::remove(host_ / "SYSTEM.DAT");
    fs::remove(host_ / "USER.DAT");
    BackupReg(request_);

    ASSERT_EQ(Boxes().size(), 2u);
    EXPECT_EQ(Boxes()[0].kind, ui::BoxKind::Plain);
    EXPECT_EQ(Boxes()[0].caption, "Quillmere");
    EXPECT_EQ(Boxes()[0].text, "SYSTEM.DAT: copy failure to back up[2]");
    EXPECT_EQ(Boxes()[1].text, "USER.DAT: copy failure to back up[2]");
    EXPECT_EQ(Batch(), std::string(kHeader) + kFooter);
}

TEST_F(BackupTest, BusyLibraryRemovesOldFilesSkipsTheHiveAndTriesTheNext) {
    request_.archiveMode = true;
    request_.targets[1].selected = true;
    test::WriteHostFile(host_ / "SYSTEMBU.LZH", "old archive");
    test::WriteHostFile(host_ / "SYSTEMBU.EXE", "old program");
    FakeArchiver::busyCalls = 1;

    BackupReg(request_);

    ASSERT_EQ(Boxes().size(), 1u);
    EXPECT_EQ(Boxes()[0].text, "another UNLHA is working!");
    EXPECT_FALSE(Exists("C:\\WINDOWS\\SYSTEMBU.LZH"));
    EXPECT_FALSE(Exists("C:\\WINDOWS\\SYSTEMBU.EXE"));
    EXPECT_EQ(FakeArchiver::calls[1], "running");  // straight on to USER.DAT
    EXPECT_TRUE(Exists("C:\\WINDOWS\\USERBU.EXE"));
    const std::string batch = Batch();
    EXPECT_EQ(batch.find("SYSTEM"), std::string::npos);
    EXPECT_NE(batch.find("C:\\WINDOWS\\USERBU.EXE\r\n"), std::string::npos);
}

TEST_F(BackupTest, LibraryFailuresLeaveWhatTheyMadeAndNoBlock) {
    struct Case {
        int add, sfx, check;
        const char* message;
        bool lzhLeft, exeLeft;
    };
    const Case cases[] = {
        {3, 0, 1, "SYSTEM.DAT: compress failure[3]", false, false},
        {0, 7, 1, "SYSTEM.DAT: make sfx failure[7]", true, false},
        {0, 0, 0, "SYSTEM.DAT: check archive failure[0]", true, true},
        {0, 0, -2, "SYSTEM.DAT: check archive failure[-2]", true, true},
    };
    request_.archiveMode = true;
    request_.testArchive = true;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        ClearBoxes();
        FakeArchiver::Reset();
        FakeArchiver::addResult = c.add;
        FakeArchiver::sfxResult = c.sfx;
        FakeArchiver::checkResult = c.check;

        BackupReg(request_);

        ASSERT_EQ(Boxes().size(), 1u);
        EXPECT_EQ(Boxes()[0].text, c.message);
        EXPECT_EQ(Exists("C:\\WINDOWS\\SYSTEMBU.LZH"), c.lzhLeft);
        EXPECT_EQ(Exists("C:\\WINDOWS\\SYSTEMBU.EXE"), c.exeLeft);
        EXPECT_EQ(Batch(), std::string(kHeader) + kFooter);
    }
}

// The offline system, except that deleting `refused` fails with a sharing
// violation, as when another program holds the file open.
class RefusingDelete : public platform::offline::OfflinePlatform {
  public:
    std::string refused;
    platform::BOOL DeleteFileA(const char* path) override {
        if (path && refused == path) {
            SetLastError(platform::kErrorSharingViolation);
            return 0;
        }
        return OfflinePlatform::DeleteFileA(path);
    }
};

TEST_F(BackupTest, OldBackupThatCannotBeDeletedStopsOnlyThatHive) {
    RefusingDelete refusing;
    platform::Set(&refusing);
    test::WriteHostFile(host_ / "SYSTEM.BEF", "an older backup");
    refusing.refused = "C:\\WINDOWS\\SYSTEM.BEF";
    request_.targets[1].selected = true;

    BackupReg(request_);

    ASSERT_EQ(Boxes().size(), 1u);
    EXPECT_EQ(Boxes()[0].text, "SYSTEM.DAT: cannot delete old back-up[32]");
    EXPECT_EQ(Read("C:\\WINDOWS\\SYSTEM.BEF"), "an older backup");
    EXPECT_EQ(Read("C:\\WINDOWS\\USER.BEF"), "user hive");
    EXPECT_EQ(Batch().find("SYSTEM"), std::string::npos);

    ClearBoxes();
    request_.archiveMode = true;
    request_.targets = {{"SYSTEM.DAT", true}};
    test::WriteHostFile(host_ / "SYSTEMBU.EXE", "an older program");
    refusing.refused = "C:\\WINDOWS\\SYSTEMBU.EXE";
    BackupReg(request_);
    ASSERT_EQ(Boxes().size(), 1u);
    EXPECT_EQ(Boxes()[0].text, "SYSTEM.DAT: cannot delete old arc-exe[32]");
    EXPECT_TRUE(FakeArchiver::calls.empty());
    platform::Set(platform_.get());
}

// A folder named like the backup is no file: nothing is deleted and its
// attributes stay; the copy onto it then fails with its own message.
TEST_F(BackupTest, FolderNamedLikeTheBackupIsNoOldBackup) {
    fs::create_directories(host_ / "SYSTEM.BEF" / "inner");
    ASSERT_TRUE(platform_->SetFileAttributesA("C:\\WINDOWS\\SYSTEM.BEF",
                                              platform::kAttrDirectory | platform::kAttrHidden));
    request_.targets[1].selected = true;

    BackupReg(request_);

    ASSERT_EQ(Boxes().size(), 1u);
    EXPECT_EQ(Boxes()[0].text, "SYSTEM.DAT: copy failure to back up[5]");
    EXPECT_TRUE(fs::is_directory(host_ / "SYSTEM.BEF" / "inner"));
    EXPECT_EQ(platform_->GetFileAttributesA("C:\\WINDOWS\\SYSTEM.BEF"),
              platform::kAttrDirectory | platform::kAttrHidden);
    EXPECT_EQ(Read("C:\\WINDOWS\\USER.BEF"), "user hive");
    EXPECT_EQ(Batch().find("SYSTEM"), std::string::npos);
}

TEST_F(BackupTest, RebuildOnlyOrNothingSelectedTouchesNothing) {
    fs::create_directories(host_ / "HELP");
    test::WriteHostFile(host_ / "HELP" / "SBRCOVER.BAT", "earlier batch");
    test::WriteHostFile(host_ / "SYSTEM.BEF", "earlier backup");

    request_.rebuildOnly = true;
    BackupReg(request_);
    request_.rebuildOnly = false;
    request_.targets[0].selected = false;
    BackupReg(request_);

    EXPECT_EQ(Batch(), "earlier batch");
    EXPECT_EQ(Read("C:\\WINDOWS\\SYSTEM.BEF"), "earlier backup");
    EXPECT_TRUE(Boxes().empty());
}

TEST_F(BackupTest, UnwritableBatchFileRaisesBatchWriteErrorAndKeepsTheBackups) {
    // A file named HELP stands where the folder should be.
    test::WriteHostFile(host_ / "HELP", "not a folder");

    try {
        BackupReg(request_);
        FAIL() << "no error raised";
    } catch (const BatchWriteError& e) {
        EXPECT_EQ(e.path(), "C:\\WINDOWS\\HELP\\SBRCOVER.BAT");
        EXPECT_STREQ(e.what(), "C:\\WINDOWS\\HELP\\SBRCOVER.BAT に書き込めません");
        EXPECT_NE(e.lastError(), 0u);
    }
    EXPECT_EQ(Read("C:\\WINDOWS\\SYSTEM.BEF"), "system hive");
    EXPECT_FALSE(meBat_.empty());  // emptied at the start of the next call

    fs::remove(host_ / "HELP");
    BackupReg(request_);
    EXPECT_EQ(Batch(), std::string(kHeader) + kSystemCopyBlock + kFooter);
}

// A batch from an earlier backup never names a backup that is being made
// anew: it has lost its blocks before the old backup is deleted.
TEST_F(BackupTest, EarlierBatchLosesItsBlocksBeforeTheOldBackupGoes) {
    struct Watching : platform::offline::OfflinePlatform {
        std::string batchAtDelete = "<not deleted>";
        platform::BOOL DeleteFileA(const char* path) override {
            std::vector<std::uint8_t> bytes;
            if (std::string(path) == "C:\\WINDOWS\\SYSTEM.BEF" &&
                ReadWholeFile("C:\\WINDOWS\\HELP\\SBRCOVER.BAT", &bytes)) {
                batchAtDelete.assign(bytes.begin(), bytes.end());
            }
            return OfflinePlatform::DeleteFileA(path);
        }
    };
    BackupReg(request_);
    ASSERT_EQ(Batch(), std::string(kHeader) + kSystemCopyBlock + kFooter);
    Watching watching;
    platform::Set(&watching);
    BackupReg(request_);
    platform::Set(platform_.get());
    EXPECT_EQ(watching.batchAtDelete, std::string(kHeader) + kFooter);
    EXPECT_EQ(Batch(), std::string(kHeader) + kSystemCopyBlock + kFooter);
    EXPECT_TRUE(Boxes().empty());
}

TEST_F(BackupTest, HelpFolderIsCreatedWithMissingParents) {
    // Neither the folder nor its two parents exist yet.
    request_.windowsDirectory = "C:\\WINDOWS\\NEW\\DEEPER";
    request_.targets = {{"NONE.DAT", true}};

    BackupReg(request_);

    EXPECT_EQ(Read("C:\\WINDOWS\\NEW\\DEEPER\\HELP\\SBRCOVER.BAT"), std::string(kHeader) + kFooter);
}

// The batch is read in DOS on the system itself, so it speaks the system's
// language whatever the program's: English on code page 1252, and Japanese
// bytes, exactly as ever, on code page 932 even when the program is English.
TEST_F(BackupTest, BatchSpeaksTheLanguageOfTheSystemsCodePage) {
    texts::ScopedLanguage programInJapanese(texts::Language::Japanese);
    setenv("SABREL_CODEPAGE", "1252", 1);
    platform::offline::OfflinePlatform english;
    unsetenv("SABREL_CODEPAGE");
    platform::Set(&english);
    BackupReg(request_);
    platform::Set(platform_.get());
    EXPECT_EQ(Batch(),
              "@ECHO OFF\r\n"
              "ECHO ---=== Registry restore batch ===---\r\n"
              "ECHO.\r\n"
              "ECHO __ Puts the registry saved just before Sabrel ran\r\n"
              "ECHO __ back in place of the current one to restore the system.\r\n"
              "ECHO.\r\n"
              "PAUSE\r\n"
              "ECHO --- Restoring SYSTEM.DAT...\r\n"
              "C:\\WINDOWS\\COMMAND\\ATTRIB -R -S -H C:\\WINDOWS\\SYSTEM.DAT\r\n"
              "C:\\WINDOWS\\COMMAND\\ATTRIB -R -S -H C:\\WINDOWS\\SYSTEM.BEF\r\n"
              "IF EXIST C:\\WINDOWS\\SYSTEM.BEF DEL C:\\WINDOWS\\SYSTEM.DAT\r\n"
              "COPY C:\\WINDOWS\\SYSTEM.BEF C:\\WINDOWS\\SYSTEM.DAT /Y\r\n"
              "ECHO.\r\n"
              "ECHO _ The registry is restored.\r\n"
              "ECHO _ Type WIN to start Windows.\r\n"
              "ECHO.\r\n");

    texts::ScopedLanguage programInEnglish(texts::Language::English);
    BackupReg(request_);
    EXPECT_EQ(Batch(), std::string(kHeader) + kSystemCopyBlock + kFooter);
}

TEST_F(BackupTest, ShortPathBeyondTheLimitKeepsTheBackupWithoutABlock) {
    // 26 folders of eight letters: a 253-character path that is its own 8.3
    // form, too long for the 250 the query allows.
    std::string entry;
    fs::path folder = host_;
    for (int i = 0; i < 26; ++i) {
        entry += "ABCDEFGH\\";
        folder /= "ABCDEFGH";
    }
    fs::create_directories(folder);
    test::WriteHostFile(folder / "USER.DAT", "deep hive");
    // One folder shorter by four: 249 characters, the longest the query holds.
    std::string fits;
    fs::path fitsFolder = host_;
    for (int i = 0; i < 25; ++i) {
        fits += "ABCDEFGH\\";
        fitsFolder /= "ABCDEFGH";
    }
    fits += "ABCD\\";
    fs::create_directories(fitsFolder / "ABCD");
    test::WriteHostFile(fitsFolder / "ABCD" / "USER.DAT", "hive that fits");
    request_.targets = {{entry + "USER.DAT", true}, {fits + "USER.DAT", true}};

    BackupReg(request_);

    ASSERT_EQ(Boxes().size(), 1u);
    EXPECT_EQ(Boxes()[0].text, entry + "USER.DAT: cannot get short path[122]");
    EXPECT_EQ(Read("C:\\WINDOWS\\" + entry + "USER.BEF"), "deep hive");
    EXPECT_EQ(Read("C:\\WINDOWS\\" + fits + "USER.BEF"), "hive that fits");
    const std::string batch = Batch();
    EXPECT_EQ(batch.find(entry + "USER.DAT"), std::string::npos);
    EXPECT_NE(batch.find(fits + "USER.DAT"), std::string::npos);
}

TEST_F(BackupTest, ArchiveModeWithoutAUsableLibraryFailsEachHive) {
    request_.archiveMode = true;
    request_.archiver = nullptr;
    request_.targets[1].selected = true;

    BackupReg(request_);

    ASSERT_EQ(Boxes().size(), 2u);
    EXPECT_EQ(Boxes()[0].text, "SYSTEM.DAT: compress failure[127]");
    EXPECT_EQ(Batch(), std::string(kHeader) + kFooter);
}

TEST(BackupNaming, FollowsTheRuleAndNeverSplitsADoubleByteCharacter) {
    EXPECT_EQ(CopyBackupName("C:\\WINDOWS\\SYSTEM.DAT"), "C:\\WINDOWS\\SYSTEM.BEF");
    EXPECT_EQ(ArchiveBackupName("C:\\WINDOWS\\SYSTEM.DAT", ".LZH"), "C:\\WINDOWS\\SYSTEMBU.LZH");
    EXPECT_EQ(ArchiveBackupName("C:\\WINDOWS\\USER.DAT", ".EXE"), "C:\\WINDOWS\\USERBU.EXE");
    EXPECT_EQ(ArchiveBackupName("C:\\WINDOWS\\CLASSES.DAT", ".EXE"), "C:\\WINDOWS\\CLASSEBU.EXE");
    EXPECT_EQ(ArchiveBackupName("C:\\A.B\\NOEXT", ".LZH"), "C:\\A.B\\NOEXTBU.LZH");
    // "abc" then two double-byte characters: six bytes would end inside the second.
    EXPECT_EQ(ArchiveBackupName("C:\\W\\abcアイ.DAT", ".EXE"), "C:\\W\\abcアBU.EXE");
    // A trail byte 0x5C ("ソ" is 83 5C) is not a separator.
    EXPECT_EQ(ArchiveBackupName("C:\\ソフト\\USER.DAT", ".LZH"), "C:\\ソフト\\USERBU.LZH");
}

}  // namespace
}  // namespace sabrel::backup
