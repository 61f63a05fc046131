// SPDX-License-Identifier: MIT
// Every text the user sees and every fixed line that Sabrel writes, in one
// table. The sources are UTF-8 and the build stores them as code page 932
// bytes (-fexec-charset=CP932), so each constant holds exactly the bytes the
// system shows or writes. "　" is the ideographic space U+3000 (81 40).
// Format strings use printf conventions; "\r\n" joins the lines of a message.
#pragma once

namespace sabrel::texts {

// --- Application -------------------------------------------------------------
inline constexpr char kAppTitle[] = "Quillmere";
inline constexpr char kAppTitleBoot[] = "Sabrel Boot...";
inline constexpr char kAppWindowClass[] = "TApplication";
inline constexpr char kMainCaption[] = "Sabrel <Quillmere>";
inline constexpr char kOptionsCaption[] = "Sabrel <Quillmere> ｵﾌﾟｼｮﾝ設定";
inline constexpr char kAppErrorCaption[] = "ｱﾌﾟﾘｹｰｼｮﾝ ｴﾗｰ";

// --- Message boxes ------------------------------------------------------------
inline constexpr char kConfirmCaption[] = "確認";
inline constexpr char kWarningCaption[] = "警告";
inline constexpr char kButtonYes[] = "はい(&Y)";
inline constexpr char kButtonNo[] = "いいえ(&N)";
inline constexpr char kButtonOk[] = "OK";

// --- Start-up checks ----------------------------------------------------------
inline constexpr char kMsgVersionUnknown[] = "windows のバージョンが不明です.";
inline constexpr char kMsgNotWin9x[] = "win9x コアでなければ実行できません.";
inline constexpr char kMsgWinDirFailed[] = "windowsﾌｫﾙﾀﾞ名取得に失敗しました.";
// The Linux program: SABREL_WINDIR is unset, or names no folder holding a hive.
inline constexpr char kMsgNoInstallation[] =
    "windowsﾌｫﾙﾀﾞが見つかりません.\r\n"
    "SABREL_WINDIR に windows 9x のﾌｫﾙﾀﾞを指定して下さい.";
// The Linux program's choice of installation (argument or chooser).
inline constexpr char kMsgNotAnInstallation[] =
    "%s は windows 9x のｲﾝｽﾄｰﾙではありません.\r\n"
    "SYSTEM.DAT と WIN.COM のある windows ﾌｫﾙﾀﾞか, ﾄﾞﾗｲﾌﾞのﾙｰﾄを選んで下さい.";
inline constexpr char kMsgPathMissing[] = "%s が見つかりません.";
inline constexpr char kMsgImageUnsupported[] =
    "%s はﾃﾞｨｽｸ ｲﾒｰｼﾞです.\r\nﾃﾞｨｽｸ ｲﾒｰｼﾞにはまだ対応していません. ﾌｫﾙﾀﾞを選んで下さい.";
inline constexpr char kChooserCaption[] = "Sabrel - windows 9x のｲﾝｽﾄｰﾙを選んで下さい";
inline constexpr char kChooserRecent[] = "最近使ったｲﾝｽﾄｰﾙ:";
inline constexpr char kChooserPath[] = "場所:";
inline constexpr char kChooserOpen[] = "開く(&O)";
inline constexpr char kChooserFolder[] = "ﾌｫﾙﾀﾞ(&F)...";
inline constexpr char kChooserImage[] = "ｲﾒｰｼﾞ(&I)...";
inline constexpr char kChooserCancel[] = "ｷｬﾝｾﾙ";
inline constexpr char kChooserImageFilter[] = "ﾃﾞｨｽｸ ｲﾒｰｼﾞ\t*.{img,ima,raw,bin,dsk,hdd,vhd}";
// The Linux programs on a disk image (SABREL_IMAGE): why it cannot be used.
// The first %s is always the image's file name.
inline constexpr char kMsgImageNotFound[] = "%s が見つかりません.";
inline constexpr char kMsgImageAccess[] = "%s を読み書きできません. ﾌｧｲﾙの権限を確かめて下さい.";
inline constexpr char kMsgImageLocked[] =
    "%s は他の Sabrel が使用中です.\r\n終わるのを待ってからもう一度実行して下さい.";
inline constexpr char kMsgImageForeign[] =
    "%s は %s 形式のｲﾒｰｼﾞで, このままでは読めません.\r\n"
    "raw ｲﾒｰｼﾞに変換してから指定して下さい. 例:\r\n"
    "qemu-img convert -O raw %s disk.img";
inline constexpr char kMsgImageUnsupportedVhd[] =
    "%s は差分 VHD で, このままでは読めません.\r\n"
    "raw ｲﾒｰｼﾞに変換してから指定して下さい. 例:\r\n"
    "qemu-img convert -O raw %s disk.img";
inline constexpr char kMsgImageNoVolume[] = "%s に FAT ﾎﾞﾘｭｰﾑが見つかりません.";
inline constexpr char kMsgImageNoSuchPartition[] = "%s にはﾊﾟｰﾃｨｼｮﾝ %u の FAT ﾎﾞﾘｭｰﾑがありません.";
inline constexpr char kMsgImageAmbiguous[] =
    "%s には windows 9x の入った FAT ﾊﾟｰﾃｨｼｮﾝが一つに決まりません.\r\n"
    "SABREL_PARTITION にﾊﾟｰﾃｨｼｮﾝの番号を指定して下さい.";
inline constexpr char kMsgImageCorrupt[] = "%s の FAT ﾎﾞﾘｭｰﾑが壊れています.";
inline constexpr char kMsgImageBadPartition[] =
    "SABREL_PARTITION の %s は番号ではありません. 1 以上の番号を指定して下さい.";
inline constexpr char kMsgImageNoWindows[] =
    "%s の %s に windows 9x のｲﾝｽﾄｰﾙがありません.\r\n"
    "SABREL_WINDIR に C:\\WINDOWS のような DOS のﾊﾟｽを指定して下さい.";
// The window title's tail on Linux: which installation is open.
inline constexpr char kTitleInstallation[] = " - %s";

// --- Wizard window -------------------------------------------------------------
inline constexpr char kLabel5[] = "レジストリ再構成ユーティリティ";
inline constexpr char kLabel9Credit[] = "Sabrel for Windows 95/98/Me";
inline constexpr char kLabel2[] = "　他の実行中の全てのプログラムを終了させてから　";
inline constexpr char kLabel3[] = "　OK を押して下さい.　";
inline constexpr char kLabel6Reboot[] = "　※レジストリを再構成した後、再起動します.　";
inline constexpr char kLabel6Shutdown[] = "　※レジストリを再構成した後、ｼｬｯﾄﾀﾞｳﾝします.　";
inline constexpr char kLabel6SabrelOnly[] = "　※レジストリを再構成します.　";
inline constexpr char kLabel4[] = "　ｷｬﾝｾﾙ を押すとﾌﾟﾛｸﾞﾗﾑを終了します.　";
inline constexpr char kBtOk[] = "OK";
inline constexpr char kBtOption[] = "ｵﾌﾟｼｮﾝ...";
inline constexpr char kBtCancel[] = "ｷｬﾝｾﾙ";
inline constexpr char kBtDbg[] = "でばぐ";
inline constexpr char kLbDoing[] = "　　再 構 成 し て い ま す ...　　";
inline constexpr char kLabel1Stopped[] = "　再構成を中止しました.　";
inline constexpr char kBtFin1[] = "終了";
inline constexpr char kLabel7Done[] = "  再構成されたレジストリができました.  ";
inline constexpr char kBtRebootReboot[] = "このボタンを押すと再起動します";
inline constexpr char kBtRebootShutdown[] = "このボタンを押すとｼｬｯﾄﾀﾞｳﾝします";
inline constexpr char kBtRebootSabrelOnly[] = "Sabrel を終了します";
inline constexpr char kBtAbort[] = "やっぱり、やめる.";

inline constexpr char kAskBackupOnly[] =
    "オプションで選択したレジストリについて\r\n\r\nバックアップのみ行います.";
inline constexpr char kMsgBackupDone[] = "バックアップを完了しました.";
inline constexpr char kMsgCannotReboot[] =
    "自動で再起動できません.\r\nスタートメニューから再起動して下さい.";
inline constexpr char kMsgCannotShutdown[] =
    "自動でシャットダウンできません.\r\nスタートメニューからシャットダウンして下さい.";

// --- Results report -------------------------------------------------------------
inline constexpr char kResultHeading[] = ">>> 実行結果 <<<";
inline constexpr char kColPath[] = "レジストリのパス名";
inline constexpr char kColBefore[] = "前(Bytes)";
inline constexpr char kColAfter[] = "後(Bytes)";
inline constexpr char kColRatio[] = "率(%)";
// The general error handler's text when a selected hive's present size is 0
// and the ratio has no value.
inline constexpr char kMsgZeroDivide[] = "浮動小数点数の 0 による除算";

// --- Rebuild worker -------------------------------------------------------------
inline constexpr char kTempKey[] = "MIRONET_SABREL";
inline constexpr char kExtRebuilt[] = ".CLN";
// The worker thread could not be started: the platform's last-error code.
inline constexpr char kMsgCannotStartRun[] = "再構成を開始できません[%d]";
inline constexpr char kMsgKeyExists[] =
    "再構成に使用するキーと同名のキーが存在します\r\n　ソフト製作者に連絡して下さい.";
// G1: hive path (long), ghost count.
inline constexpr char kMsgGhostBefore[] =
    "%s\r\n\r\n%d 個の幽霊キーを発見しました。\r\n"
    "再構成作業中にシステムが止まるかもしれません。\r\n\r\n"
    "　　レジストリの再構成を中止します。";
inline constexpr char kMsgCannotDelete[] = "%s を削除できませんでした";
inline constexpr char kMsgNoShortPath[] = "%s: 短いパス名を獲得できません[%d]";
inline constexpr char kMsgCannotLoad[] = "%s: ロードできません[%d]";
inline constexpr char kMsgCannotSave[] = "%s: 再構成できません[%d]";
inline constexpr char kMsgCannotUnload[] = "%s: ロード解除できません[%d]";
// G2: hive path (short), ghost count.
inline constexpr char kMsgGhostAfter[] =
    "%s\r\n\r\n再構成後、%d 個の幽霊キーを発見しました。\r\n"
    "これを使うと今後のシステム運用に不具合が起こるかもしれません。\r\n\r\n"
    "　　このレジストリの再構成を中止します。";
// K: hive path (short), lost count.
inline constexpr char kMsgKeysLost[] =
    "%s\r\n\r\n再構成で %d 個のレジストリキーを失いました。\r\n"
    "これを使うと今後のシステム運用に不具合が起こるかもしれません。\r\n\r\n"
    "　　このレジストリの再構成を中止します。";
inline constexpr char kMsgCannotWrite[] = "%s に書き込めません";
inline constexpr char kMsgIoError[] = "I/O ｴﾗｰ (%d)";
inline constexpr char kMsgOutOfMemory[] = "ﾒﾓﾘが不足しています";

// --- Replacement at restart -------------------------------------------------------
inline constexpr char kWininitName[] = "WININIT.INI";
inline constexpr char kRenameSection[] = "Rename";
inline constexpr char kFontCache[] = "ttfCache";
inline constexpr char kIconCache[] = "ShellIconCache";

// --- Withdrawal -------------------------------------------------------------------
inline constexpr char kAskDeleteRebuilt[] =
    "再構成したレジストリを削除しますか？\r\n\r\n　(現在のレジストリは残ります.)";

// --- Options dialog ---------------------------------------------------------------
inline constexpr char kOptLabel1[] = "　◆再構成対象　";
inline constexpr char kOptLabel2[] = "　◆各種設定　";
inline constexpr char kTabDousa[] = "1. 動作";
inline constexpr char kTabBeforeRebld[] = "2. 再構成前";
inline constexpr char kTabBckUp[] = "3. ﾊﾞｯｸｱｯﾌﾟ";
inline constexpr char kTabAfterReBld[] = "4. 再構成後";
inline constexpr char kTabTerminate[] = "5. 終了方法";
inline constexpr char kTabReplace[] = "6. 置換時";
inline constexpr char kRbRebldBckup[] = "再構成とﾊﾞｯｸｱｯﾌﾟ";
inline constexpr char kRbRebldOnly[] = "再構成のみ";
inline constexpr char kRbBckupOnly[] = "ﾊﾞｯｸｱｯﾌﾟのみ";
inline constexpr char kCbCheckReg[] = "ﾚｼﾞｽﾄﾘを検査する";
inline constexpr char kCbBeforeGhost[] = "検査で幽霊ｷｰがあっても再構成強行";
inline constexpr char kRbBUcopy[] = "そのまま";
inline constexpr char kRbBUarc[] = "圧縮書庫";
inline constexpr char kCbBUarcTest[] = "作成書庫検査";
inline constexpr char kCbCheckReg2[] = "ﾚｼﾞｽﾄﾘを検査する";
inline constexpr char kCbAfterGhost[] = "再構成後に幽霊ｷｰがあっても強行";
inline constexpr char kCbIgnoreLost[] = "Good･Badｷｰが減っても強行";
inline constexpr char kCbSweepDGAP[] = "D-Gapを除去する";
inline constexpr char kRbWinReboot[] = "Windows再起動";
inline constexpr char kRbWinTerm[] = "Windows終了";
inline constexpr char kRbSBterm[] = "Sabrelのみ終了";
inline constexpr char kCbDelFCache[] = "ttfCacheを削除する";
inline constexpr char kCbDelICache[] = "ShellIconCacheを削除する";
inline constexpr char kUnlhaVersion[] = " Unlha32.dll version %3d.%02d";
inline constexpr char kUnlhaNotFound[] = "　Unlha32.dll not Found...";
inline constexpr char kMsgNothingSelected[] = "１つも選択されていません";
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
inline constexpr const char* kBatchHeader[] = {
    "@ECHO OFF",
    "ECHO ---=== レジストリ復帰バッチ ===---",
    "ECHO.",
    "ECHO __ Sabrel 実行直前に退避したレジストリを",
    "ECHO __ 現在のレジストリに置き換えて環境を復帰します.",
    "ECHO.",
    "PAUSE",
};
inline constexpr char kBatchRestoring[] = "ECHO --- %s をリストアしています...";
inline constexpr char kBatchAttrib[] = "%s\\COMMAND\\ATTRIB -R -S -H %s";
inline constexpr char kBatchIfExistDel[] = "IF EXIST %s DEL %s";
inline constexpr char kBatchCopy[] = "COPY %s %s /Y";
inline constexpr char kBatchCd[] = "CD %s";
inline constexpr char kBatchCdRoot[] = "CD \\";
inline constexpr const char* kBatchFooter[] = {
    "ECHO.",
    "ECHO _ 復帰しました.",
    "ECHO _「WIN」と入力して windows を起動して下さい.",
    "ECHO.",
};

}  // namespace sabrel::texts
