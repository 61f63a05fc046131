// SPDX-License-Identifier: MIT
// Every text the user sees and every fixed line that Sabrel writes, in one
// table. The sources are UTF-8 and the build stores them as code page 932
// bytes (-fexec-charset=CP932), so each constant holds exactly the bytes the
// system shows or writes. "　" is the ideographic space U+3000 (81 40).
// Format strings use printf conventions; "\r\n" joins the lines of a message.
//
// A text the user reads comes in two languages: Japanese, and English in plain
// ASCII (the same bytes in every ANSI code page) with the same fills in the
// same order and the same number of lines. A Text reads as the language the
// program runs in; names of files, keys and commands are one plain constant.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

namespace sabrel::texts {

enum class Language : std::uint8_t { Japanese, English };

namespace detail {
inline std::atomic<Language> g_language{Language::Japanese};
}  // namespace detail

// The language every Text reads as; Japanese until a program chooses.
inline Language CurrentLanguage() {
    return detail::g_language.load(std::memory_order_relaxed);
}
inline void SetLanguage(Language language) {
    detail::g_language.store(language, std::memory_order_relaxed);
}

// Sets the language for a scope (a test, a one-off piece of output) and puts
// the previous one back.
class ScopedLanguage {
  public:
    explicit ScopedLanguage(Language language) : previous_(CurrentLanguage()) {
        SetLanguage(language);
    }
    ~ScopedLanguage() { SetLanguage(previous_); }
    ScopedLanguage(const ScopedLanguage&) = delete;
    ScopedLanguage& operator=(const ScopedLanguage&) = delete;

  private:
    Language previous_;
};

// The Windows program's rule: Japanese when the ANSI code page is 932.
inline Language LanguageForCodePage(unsigned codePage) {
    return codePage == 932 ? Language::Japanese : Language::English;
}

// The Linux programs' rule: SABREL_LANG ("ja" or "en") when it is one of
// those, else the first of LC_ALL, LC_MESSAGES and LANG that is set and not
// empty, Japanese when it starts with "ja". Null stands for unset.
Language LanguageForLocale(const char* sabrelLang, const char* lcAll, const char* lcMessages,
                           const char* lang);
// The same rule over this process's environment.
Language LanguageFromEnvironment();

struct Text {
    const char* ja;
    const char* en;

    constexpr const char* In(Language language) const {
        return language == Language::English ? en : ja;
    }
    // The bytes in the program's language, where an overload leaves the
    // conversions below ambiguous.
    const char* c_str() const { return In(CurrentLanguage()); }
    // A Text stands where its callers want bytes: a printf format (const char*)
    // or a caption or message (std::string).
    operator const char*() const { return c_str(); }
    operator std::string() const { return c_str(); }
};

// A fixed series of lines in both languages.
struct Lines {
    const char* const* ja;
    const char* const* en;
    int count;

    constexpr const char* const* In(Language language) const {
        return language == Language::English ? en : ja;
    }
};

// --- Application -------------------------------------------------------------
inline constexpr char kAppTitle[] = "Quillmere";
inline constexpr char kAppTitleBoot[] = "Sabrel Boot...";
inline constexpr char kAppWindowClass[] = "TApplication";
inline constexpr char kMainCaption[] = "Sabrel <Quillmere>";
inline constexpr Text kOptionsCaption{"Sabrel <Quillmere> ｵﾌﾟｼｮﾝ設定",
                                      "Sabrel <Quillmere> Options"};
inline constexpr Text kAppErrorCaption{"ｱﾌﾟﾘｹｰｼｮﾝ ｴﾗｰ", "Application Error"};

// --- Message boxes ------------------------------------------------------------
inline constexpr Text kConfirmCaption{"確認", "Confirm"};
inline constexpr Text kWarningCaption{"警告", "Warning"};
inline constexpr Text kButtonYes{"はい(&Y)", "&Yes"};
inline constexpr Text kButtonNo{"いいえ(&N)", "&No"};
inline constexpr char kButtonOk[] = "OK";

// --- Start-up checks ----------------------------------------------------------
inline constexpr Text kMsgVersionUnknown{"windows のバージョンが不明です.",
                                         "The Windows version is unknown."};
inline constexpr Text kMsgNotWin9x{"win9x コアでなければ実行できません.",
                                   "Sabrel runs only on the Windows 9x core."};
inline constexpr Text kMsgWinDirFailed{"windowsﾌｫﾙﾀﾞ名取得に失敗しました.",
                                       "Could not get the name of the Windows folder."};
// The Linux program: SABREL_WINDIR is unset, or names no folder holding a hive.
inline constexpr Text kMsgNoInstallation{
    "windowsﾌｫﾙﾀﾞが見つかりません.\r\n"
    "SABREL_WINDIR に windows 9x のﾌｫﾙﾀﾞを指定して下さい.",
    "The Windows folder cannot be found.\r\n"
    "Set SABREL_WINDIR to a Windows 9x folder."};
// The Linux program's choice of installation (argument or chooser).
inline constexpr Text kMsgNotAnInstallation{
    "%s は windows 9x のｲﾝｽﾄｰﾙではありません.\r\n"
    "SYSTEM.DAT と WIN.COM のある windows ﾌｫﾙﾀﾞか, ﾄﾞﾗｲﾌﾞのﾙｰﾄを選んで下さい.",
    "%s is not a Windows 9x installation.\r\n"
    "Choose a Windows folder holding SYSTEM.DAT and WIN.COM, or the root of a drive."};
inline constexpr Text kMsgPathMissing{"%s が見つかりません.", "%s cannot be found."};
inline constexpr Text kMsgImageUnsupported{
    "%s はﾃﾞｨｽｸ ｲﾒｰｼﾞです.\r\nﾃﾞｨｽｸ ｲﾒｰｼﾞにはまだ対応していません. ﾌｫﾙﾀﾞを選んで下さい.",
    "%s is a disk image.\r\nDisk images are not supported yet. Please choose a folder."};
inline constexpr Text kChooserCaption{"Sabrel - windows 9x のｲﾝｽﾄｰﾙを選んで下さい",
                                      "Sabrel - Choose a Windows 9x installation"};
inline constexpr Text kChooserRecent{"最近使ったｲﾝｽﾄｰﾙ:", "Recent installations:"};
inline constexpr Text kChooserPath{"場所:", "Location:"};
inline constexpr Text kChooserOpen{"開く(&O)", "&Open"};
inline constexpr Text kChooserFolder{"ﾌｫﾙﾀﾞ(&F)...", "&Folder..."};
inline constexpr Text kChooserImage{"ｲﾒｰｼﾞ(&I)...", "&Image..."};
inline constexpr Text kChooserCancel{"ｷｬﾝｾﾙ", "Cancel"};
inline constexpr Text kChooserImageFilter{"ﾃﾞｨｽｸ ｲﾒｰｼﾞ\t*.{img,ima,raw,bin,dsk,hdd,vhd}",
                                          "Disk images\t*.{img,ima,raw,bin,dsk,hdd,vhd}"};
// The Linux programs on a disk image (SABREL_IMAGE): why it cannot be used.
// The first %s is always the image's file name.
inline constexpr Text kMsgImageNotFound{"%s が見つかりません.", "%s cannot be found."};
inline constexpr Text kMsgImageAccess{
    "%s を読み書きできません. ﾌｧｲﾙの権限を確かめて下さい.",
    "%s cannot be read or written. Please check the file's permissions."};
inline constexpr Text kMsgImageLocked{
    "%s は他の Sabrel が使用中です.\r\n終わるのを待ってからもう一度実行して下さい.",
    "%s is in use by another Sabrel.\r\nPlease wait until it ends, then try again."};
inline constexpr Text kMsgImageForeign{
    "%s は %s 形式のｲﾒｰｼﾞで, このままでは読めません.\r\n"
    "raw ｲﾒｰｼﾞに変換してから指定して下さい. 例:\r\n"
    "qemu-img convert -O raw %s disk.img",
    "%s is an image in %s format, which cannot be read as it is.\r\n"
    "Please convert it to a raw image first, for example:\r\n"
    "qemu-img convert -O raw %s disk.img"};
inline constexpr Text kMsgImageUnsupportedVhd{
    "%s は差分 VHD で, このままでは読めません.\r\n"
    "raw ｲﾒｰｼﾞに変換してから指定して下さい. 例:\r\n"
    "qemu-img convert -O raw %s disk.img",
    "%s is a differencing VHD, which cannot be read as it is.\r\n"
    "Please convert it to a raw image first, for example:\r\n"
    "qemu-img convert -O raw %s disk.img"};
inline constexpr Text kMsgImageNoVolume{"%s に FAT ﾎﾞﾘｭｰﾑが見つかりません.",
                                        "No FAT volume can be found in %s."};
inline constexpr Text kMsgImageNoSuchPartition{"%s にはﾊﾟｰﾃｨｼｮﾝ %u の FAT ﾎﾞﾘｭｰﾑがありません.",
                                               "%s has no FAT volume in partition %u."};
inline constexpr Text kMsgImageAmbiguous{
    "%s には windows 9x の入った FAT ﾊﾟｰﾃｨｼｮﾝが一つに決まりません.\r\n"
    "SABREL_PARTITION にﾊﾟｰﾃｨｼｮﾝの番号を指定して下さい.",
    "%s holds more than one FAT partition that may hold Windows 9x.\r\n"
    "Please set SABREL_PARTITION to the number of the partition."};
inline constexpr Text kMsgImageCorrupt{"%s の FAT ﾎﾞﾘｭｰﾑが壊れています.",
                                       "The FAT volume in %s is damaged."};
inline constexpr Text kMsgImageBadPartition{
    "SABREL_PARTITION の %s は番号ではありません. 1 以上の番号を指定して下さい.",
    "%s in SABREL_PARTITION is not a number. Please give a number from 1 up."};
inline constexpr Text kMsgImageNoWindows{
    "%s の %s に windows 9x のｲﾝｽﾄｰﾙがありません.\r\n"
    "SABREL_WINDIR に C:\\WINDOWS のような DOS のﾊﾟｽを指定して下さい.",
    "%s has no Windows 9x installation at %s.\r\n"
    "Please set SABREL_WINDIR to a DOS path such as C:\\WINDOWS."};
// The window title's tail on Linux: which installation is open.
inline constexpr char kTitleInstallation[] = " - %s";

// --- Wizard window -------------------------------------------------------------
inline constexpr Text kLabel5{"レジストリ再構成ユーティリティ", "Registry Rebuild Utility"};
inline constexpr char kLabel9Credit[] = "Sabrel for Windows 95/98/Me";
inline constexpr Text kLabel2{"　他の実行中の全てのプログラムを終了させてから　",
                              "  Close every other running program,  "};
inline constexpr Text kLabel3{"　OK を押して下さい.　", "  then press OK.  "};
inline constexpr Text kLabel6Reboot{"　※レジストリを再構成した後、再起動します.　",
                                    " * Windows restarts after the rebuild. "};
inline constexpr Text kLabel6Shutdown{"　※レジストリを再構成した後、ｼｬｯﾄﾀﾞｳﾝします.　",
                                      " * Windows shuts down after the rebuild. "};
inline constexpr Text kLabel6SabrelOnly{"　※レジストリを再構成します.　",
                                        " * The registry will be rebuilt. "};
inline constexpr Text kLabel4{"　ｷｬﾝｾﾙ を押すとﾌﾟﾛｸﾞﾗﾑを終了します.　",
                              "  Press Cancel to quit the program.  "};
inline constexpr char kBtOk[] = "OK";
inline constexpr Text kBtOption{"ｵﾌﾟｼｮﾝ...", "Options..."};
inline constexpr Text kBtCancel{"ｷｬﾝｾﾙ", "Cancel"};
inline constexpr Text kBtDbg{"でばぐ", "Debug"};
inline constexpr Text kLbDoing{"　　再 構 成 し て い ま す ...　　",
                               "    R e b u i l d i n g ...    "};
inline constexpr Text kLabel1Stopped{"　再構成を中止しました.　", "  The rebuild was stopped.  "};
inline constexpr Text kBtFin1{"終了", "Exit"};
inline constexpr Text kLabel7Done{"  再構成されたレジストリができました.  ",
                                  "  The rebuilt registry is ready.  "};
inline constexpr Text kBtRebootReboot{"このボタンを押すと再起動します",
                                      "Press this button to restart"};
inline constexpr Text kBtRebootShutdown{"このボタンを押すとｼｬｯﾄﾀﾞｳﾝします",
                                        "Press this button to shut down"};
inline constexpr Text kBtRebootSabrelOnly{"Sabrel を終了します", "Quit Sabrel"};
inline constexpr Text kBtAbort{"やっぱり、やめる.", "Never mind."};

inline constexpr Text kAskBackupOnly{
    "オプションで選択したレジストリについて\r\n\r\nバックアップのみ行います.",
    "The registries chosen in Options\r\n\r\nwill only be backed up."};
inline constexpr Text kMsgBackupDone{"バックアップを完了しました.", "The backup is complete."};
inline constexpr Text kMsgCannotReboot{
    "自動で再起動できません.\r\nスタートメニューから再起動して下さい.",
    "Windows cannot restart by itself.\r\nPlease restart from the Start menu."};
inline constexpr Text kMsgCannotShutdown{
    "自動でシャットダウンできません.\r\nスタートメニューからシャットダウンして下さい.",
    "Windows cannot shut down by itself.\r\nPlease shut down from the Start menu."};

// --- Results report -------------------------------------------------------------
inline constexpr Text kResultHeading{">>> 実行結果 <<<", ">>> Results <<<"};
inline constexpr Text kColPath{"レジストリのパス名", "Registry path"};
inline constexpr Text kColBefore{"前(Bytes)", "Size before"};
inline constexpr Text kColAfter{"後(Bytes)", "Size after"};
inline constexpr Text kColRatio{"率(%)", "Ratio (%)"};
// The general error handler's text when a selected hive's present size is 0
// and the ratio has no value.
inline constexpr Text kMsgZeroDivide{"浮動小数点数の 0 による除算",
                                     "Floating point division by zero"};

// --- Rebuild worker -------------------------------------------------------------
inline constexpr char kTempKey[] = "MIRONET_SABREL";
inline constexpr char kExtRebuilt[] = ".CLN";
// The worker thread could not be started: the platform's last-error code.
inline constexpr Text kMsgCannotStartRun{"再構成を開始できません[%d]",
                                         "Cannot start the rebuild[%d]"};
inline constexpr Text kMsgKeyExists{
    "再構成に使用するキーと同名のキーが存在します\r\n　ソフト製作者に連絡して下さい.",
    "A key with the name the rebuild uses already exists.\r\n  Please contact the author of this "
    "program."};
// G1: hive path (long), ghost count.
inline constexpr Text kMsgGhostBefore{
    "%s\r\n\r\n%d 個の幽霊キーを発見しました。\r\n"
    "再構成作業中にシステムが止まるかもしれません。\r\n\r\n"
    "　　レジストリの再構成を中止します。",
    "%s\r\n\r\n%d ghost keys were found.\r\n"
    "The system may hang while the rebuild is under way.\r\n\r\n"
    "    The registry rebuild is cancelled."};
inline constexpr Text kMsgCannotDelete{"%s を削除できませんでした", "Could not delete %s"};
inline constexpr Text kMsgNoShortPath{"%s: 短いパス名を獲得できません[%d]",
                                      "%s: cannot get the short path name[%d]"};
inline constexpr Text kMsgCannotLoad{"%s: ロードできません[%d]", "%s: cannot load[%d]"};
inline constexpr Text kMsgCannotSave{"%s: 再構成できません[%d]", "%s: cannot rebuild[%d]"};
inline constexpr Text kMsgCannotUnload{"%s: ロード解除できません[%d]", "%s: cannot unload[%d]"};
// G2: hive path (short), ghost count.
inline constexpr Text kMsgGhostAfter{
    "%s\r\n\r\n再構成後、%d 個の幽霊キーを発見しました。\r\n"
    "これを使うと今後のシステム運用に不具合が起こるかもしれません。\r\n\r\n"
    "　　このレジストリの再構成を中止します。",
    "%s\r\n\r\n%d ghost keys were found after the rebuild.\r\n"
    "Using it may cause the system trouble from now on.\r\n\r\n"
    "    The rebuild of this registry is cancelled."};
// K: hive path (short), lost count.
inline constexpr Text kMsgKeysLost{
    "%s\r\n\r\n再構成で %d 個のレジストリキーを失いました。\r\n"
    "これを使うと今後のシステム運用に不具合が起こるかもしれません。\r\n\r\n"
    "　　このレジストリの再構成を中止します。",
    "%s\r\n\r\nThe rebuild lost %d registry keys.\r\n"
    "Using it may cause the system trouble from now on.\r\n\r\n"
    "    The rebuild of this registry is cancelled."};
inline constexpr Text kMsgCannotWrite{"%s に書き込めません", "Cannot write to %s"};
inline constexpr Text kMsgIoError{"I/O ｴﾗｰ (%d)", "I/O error (%d)"};
inline constexpr Text kMsgOutOfMemory{"ﾒﾓﾘが不足しています", "Out of memory"};

// --- Replacement at restart -------------------------------------------------------
inline constexpr char kWininitName[] = "WININIT.INI";
inline constexpr char kRenameSection[] = "Rename";
inline constexpr char kFontCache[] = "ttfCache";
inline constexpr char kIconCache[] = "ShellIconCache";

// --- Withdrawal -------------------------------------------------------------------
inline constexpr Text kAskDeleteRebuilt{
    "再構成したレジストリを削除しますか？\r\n\r\n　(現在のレジストリは残ります.)",
    "Delete the rebuilt registry?\r\n\r\n  (The current registry stays.)"};

// --- Options dialog ---------------------------------------------------------------
inline constexpr Text kOptLabel1{"　◆再構成対象　", "  * Registries to rebuild  "};
inline constexpr Text kOptLabel2{"　◆各種設定　", "  * Settings  "};
inline constexpr Text kTabDousa{"1. 動作", "1. Action"};
inline constexpr Text kTabBeforeRebld{"2. 再構成前", "2. Before"};
inline constexpr Text kTabBckUp{"3. ﾊﾞｯｸｱｯﾌﾟ", "3. Backup"};
inline constexpr Text kTabAfterReBld{"4. 再構成後", "4. After"};
inline constexpr Text kTabTerminate{"5. 終了方法", "5. Finish"};
inline constexpr Text kTabReplace{"6. 置換時", "6. Replacing"};
inline constexpr Text kRbRebldBckup{"再構成とﾊﾞｯｸｱｯﾌﾟ", "Rebuild and back up"};
inline constexpr Text kRbRebldOnly{"再構成のみ", "Rebuild only"};
inline constexpr Text kRbBckupOnly{"ﾊﾞｯｸｱｯﾌﾟのみ", "Back up only"};
inline constexpr Text kCbCheckReg{"ﾚｼﾞｽﾄﾘを検査する", "Check the registry"};
inline constexpr Text kCbBeforeGhost{"検査で幽霊ｷｰがあっても再構成強行",
                                     "Rebuild even with ghost keys"};
inline constexpr Text kRbBUcopy{"そのまま", "Plain copy"};
inline constexpr Text kRbBUarc{"圧縮書庫", "Compressed archive"};
inline constexpr Text kCbBUarcTest{"作成書庫検査", "Test the archive"};
inline constexpr Text kCbCheckReg2{"ﾚｼﾞｽﾄﾘを検査する", "Check the registry"};
inline constexpr Text kCbAfterGhost{"再構成後に幽霊ｷｰがあっても強行",
                                    "Go ahead even with ghost keys"};
inline constexpr Text kCbIgnoreLost{"Good･Badｷｰが減っても強行", "Go ahead if Good/Bad keys drop"};
inline constexpr Text kCbSweepDGAP{"D-Gapを除去する", "Remove D-Gaps"};
inline constexpr Text kRbWinReboot{"Windows再起動", "Restart Windows"};
inline constexpr Text kRbWinTerm{"Windows終了", "Shut down Windows"};
inline constexpr Text kRbSBterm{"Sabrelのみ終了", "Quit Sabrel only"};
inline constexpr Text kCbDelFCache{"ttfCacheを削除する", "Delete ttfCache"};
inline constexpr Text kCbDelICache{"ShellIconCacheを削除する", "Delete ShellIconCache"};
inline constexpr char kUnlhaVersion[] = " Unlha32.dll version %3d.%02d";
inline constexpr Text kUnlhaNotFound{"　Unlha32.dll not Found...", "  Unlha32.dll not found..."};
inline constexpr Text kMsgNothingSelected{"１つも選択されていません", "Nothing is selected"};
inline constexpr char kHiveSystem[] = "SYSTEM.DAT";
inline constexpr char kHiveUser[] = "USER.DAT";
inline constexpr char kHiveClasses[] = "CLASSES.DAT";
inline constexpr char kProfilesDir[] = "\\PROFILES";
inline constexpr char kProfilesPrefix[] = "Profiles\\";
inline constexpr char kProfileHiveSuffix[] = "\\USER.DAT";
inline constexpr char kArchiverDll[] = "unlha32.dll";

// --- Backup -------------------------------------------------------------------------
inline constexpr char kMsgCannotDeleteOldBackup[] = "%s: cannot delete old back-up[%d]";
inline constexpr char kMsgCannotDeleteOldArcExe[] = "%s: cannot delete old arc-exe[%d]";
inline constexpr char kMsgUnlhaBusy[] = "another UNLHA is working!";
inline constexpr char kMsgCompressFailure[] = "%s: compress failure[%d]";
inline constexpr char kMsgMakeSfxFailure[] = "%s: make sfx failure[%d]";
inline constexpr char kMsgCheckArchiveFailure[] = "%s: check archive failure[%d]";
inline constexpr char kMsgCopyFailure[] = "%s: copy failure to back up[%d]";
inline constexpr char kMsgCannotGetShortPath[] = "%s: cannot get short path[%d]";
inline constexpr char kExtCopyBackup[] = ".BEF";
inline constexpr char kExtArchive[] = ".LZH";
inline constexpr char kExtSfx[] = ".EXE";
inline constexpr char kCmdArchive[] = "a -a1 %s %s";
inline constexpr char kCmdMakeSfx[] = "s %s %s\\";

// --- Restore batch file ----------------------------------------------------------------
inline constexpr char kBatchFolder[] = "\\HELP";
inline constexpr char kBatchName[] = "%s\\SBRCOVER.BAT";
namespace detail {
inline constexpr const char* kBatchHeaderJa[] = {
    "@ECHO OFF",
    "ECHO ---=== レジストリ復帰バッチ ===---",
    "ECHO.",
    "ECHO __ Sabrel 実行直前に退避したレジストリを",
    "ECHO __ 現在のレジストリに置き換えて環境を復帰します.",
    "ECHO.",
    "PAUSE",
};
inline constexpr const char* kBatchHeaderEn[] = {
    "@ECHO OFF",
    "ECHO ---=== Registry restore batch ===---",
    "ECHO.",
    "ECHO __ Puts the registry saved just before Sabrel ran",
    "ECHO __ back in place of the current one to restore the system.",
    "ECHO.",
    "PAUSE",
};
inline constexpr const char* kBatchFooterJa[] = {
    "ECHO.",
    "ECHO _ 復帰しました.",
    "ECHO _「WIN」と入力して windows を起動して下さい.",
    "ECHO.",
};
inline constexpr const char* kBatchFooterEn[] = {
    "ECHO.",
    "ECHO _ The registry is restored.",
    "ECHO _ Type WIN to start Windows.",
    "ECHO.",
};
static_assert(sizeof kBatchHeaderJa == sizeof kBatchHeaderEn);
static_assert(sizeof kBatchFooterJa == sizeof kBatchFooterEn);
}  // namespace detail

inline constexpr Lines kBatchHeader{detail::kBatchHeaderJa, detail::kBatchHeaderEn,
                                    sizeof detail::kBatchHeaderJa / sizeof(const char*)};
inline constexpr Text kBatchRestoring{"ECHO --- %s をリストアしています...",
                                      "ECHO --- Restoring %s..."};
inline constexpr char kBatchAttrib[] = "%s\\COMMAND\\ATTRIB -R -S -H %s";
inline constexpr char kBatchIfExistDel[] = "IF EXIST %s DEL %s";
inline constexpr char kBatchCopy[] = "COPY %s %s /Y";
inline constexpr char kBatchCd[] = "CD %s";
inline constexpr char kBatchCdRoot[] = "CD \\";
inline constexpr Lines kBatchFooter{detail::kBatchFooterJa, detail::kBatchFooterEn,
                                    sizeof detail::kBatchFooterJa / sizeof(const char*)};

}  // namespace sabrel::texts
