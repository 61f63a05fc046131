// SPDX-License-Identifier: MIT
#include "options/form2.h"

#include <cstdio>
#include <cstring>
#include <utility>

#include "backup/backup.h"
#include "common/paths.h"
#include "common/texts.h"
#include "options/form2_decl.h"
#include "platform/platform.h"
#include "ui/ui.h"

namespace sabrel::options {

namespace {

// The Windows directory and the user name are read into 128-byte fields; the
// platform is given room for 125 characters.
constexpr std::size_t kNameField = 128;
constexpr platform::UINT kNameLimit = 125;

// The text of a zero-terminated field, never reading past its end.
std::string FromField(const char* field, std::size_t size) {
    const void* end = std::memchr(field, 0, size);
    return std::string(field, end ? static_cast<const char*>(end) - field : size);
}

char FoldAscii(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

}  // namespace

bool SameNameIgnoringAsciiCase(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (IsSjisLeadByte(static_cast<unsigned char>(a[i])) && i + 1 < a.size()) {
            // A double-byte character: both bytes as they are.
            if (a[i] != b[i] || a[i + 1] != b[i + 1]) return false;
            ++i;
            continue;
        }
        if (FoldAscii(a[i]) != FoldAscii(b[i])) return false;
    }
    return true;
}

TForm2::TForm2(const MainWindowLink& main)
    : ui::Form(Form2Decl()),
      Label1(Get("Label1")),
      lbRegs(Get("lbRegs")),
      Label2(Get("Label2")),
      pgOption(Get("pgOption")),
      rbRebldBckup(Get("rbRebldBckup")),
      rbRebldOnly(Get("rbRebldOnly")),
      rbBckupOnly(Get("rbBckupOnly")),
      cbCheckReg(Get("cbCheckReg")),
      cbBeforeGhost(Get("cbBeforeGhost")),
      rbBUcopy(Get("rbBUcopy")),
      rbBUarc(Get("rbBUarc")),
      cbBUarc_test(Get("cbBUarc_test")),
      cbCheckReg2(Get("cbCheckReg2")),
      cbAfterGhost(Get("cbAfterGhost")),
      cbIgnoreLost(Get("cbIgnoreLost")),
      cbSweepDGAP(Get("cbSweepDGAP")),
      rbWinReboot(Get("rbWinReboot")),
      rbWinTerm(Get("rbWinTerm")),
      rbSBterm(Get("rbSBterm")),
      cbDelFCache(Get("cbDelFCache")),
      cbDelICache(Get("cbDelICache")),
      lbUnlhaVer(Get("lbUnlhaVer")),
      btOK(Get("btOK")),
      meBat(Get("meBat")),
      main_(main) {
    Bind("btOK", ui::Event::Click, [this] { btOKClick(); });
    Bind("rbBUcopy", ui::Event::Click, [this] { rbBUcopyClick(); });
    Bind("rbBUarc", ui::Event::Click, [this] { rbBUarcClick(); });
    Bind("cbCheckReg", ui::Event::Click, [this] { cbCheckRegClick(); });
    Bind("cbCheckReg2", ui::Event::Click, [this] { cbCheckReg2Click(); });
    FormCreate();
}

// The module is left to the program's end, as the system does; tests that
// create many dialogs release it through ReleaseArchiver.
TForm2::~TForm2() = default;

void TForm2::FormCreate() {
    platform::Platform& p = platform::Get();

    // The archiver library.
    LoadArchiver();

    // CLASSES.DAT on the family's last release, selected.
    if (main_.isLastRelease) lbRegs.AddItem(texts::kHiveClasses, true);

    // The dialog's own copy of the Windows directory. A directory that does
    // not fit the field (the query answers with the size it needs) is treated
    // as a failed query rather than cut short.
    char dir[kNameField] = {};
    const platform::UINT n = p.GetWindowsDirectoryA(dir, kNameLimit);
    if (n == 0 || n >= kNameLimit) {
        ui::ShowMessage(texts::kMsgWinDirFailed);
        ui::AskToEnd();
    } else {
        winDir_ = FromField(dir, kNameField);
    }

    // The fixed entries are selected.
    lbRegs.SetMarked(0, true);
    lbRegs.SetMarked(1, true);

    // The profile hives.
    ScanProfiles();
}

void TForm2::LoadArchiver() {
    platform::Platform& p = platform::Get();
    archiver_ = LoadArchiverApi(p, texts::kArchiverDll);
    if (archiver_.module) {
        const unsigned version = archiver_.getVersion();
        char caption[64];
        std::snprintf(caption, sizeof caption, texts::kUnlhaVersion, version / 100, version % 100);
        lbUnlhaVer.SetCaption(caption);
    }
    if (!archiver_.module) {
        // Copy backup only, for the life of the program.
        rbBUcopy.SetChecked(true);
        rbBUarc.SetChecked(false);
        rbBUarc.SetEnabled(false);
        cbBUarc_test.SetEnabled(false);
    }
}

void TForm2::ScanProfiles() {
    platform::Platform& p = platform::Get();
    const std::string root = winDir_ + texts::kProfilesDir;
    const platform::DWORD rootAttr = p.GetFileAttributesA(root.c_str());
    if (rootAttr == platform::kInvalidFileAttributes || !(rootAttr & platform::kAttrDirectory)) {
        return;
    }

    // The user name's failure is not reported: it then matches no folder.
    char name[kNameField] = {};
    platform::DWORD size = kNameLimit;
    if (p.GetUserNameA(name, &size)) userName_ = FromField(name, kNameLimit);

    const std::string pattern = root + "\\*.*";
    platform::FindData fd;
    platform::FindHandle h = p.FindFirstFileA(pattern.c_str(), &fd);
    if (h == platform::kInvalidFindHandle) return;
    do {
        // Exactly the directory attribute: a profile folder that is also
        // read-only, hidden, system or marked for archiving is passed over.
        if (fd.dwFileAttributes != platform::kAttrDirectory) continue;
        if (fd.cFileName == "." || fd.cFileName == "..") continue;
        const std::string entry =
            std::string(texts::kProfilesPrefix) + fd.cFileName + texts::kProfileHiveSuffix;
        const std::string full = winDir_ + "\\" + entry;
        const platform::DWORD attr = p.GetFileAttributesA(full.c_str());
        if (attr == platform::kInvalidFileAttributes || (attr & platform::kAttrDirectory)) continue;
        lbRegs.AddItem(entry, false);
        if (!userName_.empty() && SameNameIgnoringAsciiCase(fd.cFileName, userName_)) {
            lbRegs.SetMarked(lbRegs.Count() - 1, true);
            lbRegs.SetMarked(0, false);
            lbRegs.SetMarked(1, false);
            if (main_.isLastRelease) lbRegs.SetMarked(2, false);
        }
    } while (p.FindNextFileA(h, &fd));
    p.FindClose(h);
}

void TForm2::btOKClick() {
    if (lbRegs.MarkedCount() < 1) {
        ui::ShowWarning(texts::kMsgNothingSelected);
        if (main_.startButton) main_.startButton->SetEnabled(false);
    } else if (main_.startButton) {
        main_.startButton->SetEnabled(true);
    }
}

void TForm2::rbBUcopyClick() {
    cbBUarc_test.SetEnabled(false);
}

void TForm2::rbBUarcClick() {
    cbBUarc_test.SetEnabled(true);
}

void TForm2::cbCheckRegClick() {
    cbBeforeGhost.SetEnabled(cbCheckReg.Checked());
}

void TForm2::cbCheckReg2Click() {
    cbAfterGhost.SetEnabled(cbCheckReg2.Checked());
    cbIgnoreLost.SetEnabled(cbCheckReg2.Checked());
}

rebuild::RunOptions TForm2::RunOptionsNow() const {
    rebuild::RunOptions o;
    if (rbBckupOnly.Checked()) {
        o.mode = rebuild::RunMode::BackupOnly;
    } else if (rbRebldOnly.Checked()) {
        o.mode = rebuild::RunMode::RebuildOnly;
    } else {
        o.mode = rebuild::RunMode::RebuildAndBackup;
    }
    o.archiveBackup = rbBUarc.Checked();
    o.testArchive = cbBUarc_test.Checked();
    o.checkBefore = cbCheckReg.Checked();
    o.beforeGhost = cbBeforeGhost.Checked();
    o.checkAfter = cbCheckReg2.Checked();
    o.afterGhost = cbAfterGhost.Checked();
    o.ignoreLost = cbIgnoreLost.Checked();
    if (rbWinReboot.Checked()) {
        o.end = rebuild::EndOption::Reboot;
    } else if (rbWinTerm.Checked()) {
        o.end = rebuild::EndOption::Shutdown;
    } else {
        o.end = rebuild::EndOption::SabrelOnly;
    }
    o.delFontCache = cbDelFCache.Checked();
    o.delIconCache = cbDelICache.Checked();
    return o;
}

std::vector<rebuild::TargetEntry> TForm2::TargetsNow() const {
    std::vector<rebuild::TargetEntry> targets;
    targets.reserve(lbRegs.Count());
    for (std::size_t i = 0; i < lbRegs.Count(); ++i) {
        targets.push_back({lbRegs.Item(i), lbRegs.Marked(i)});
    }
    return targets;
}

void TForm2::ReleaseArchiver() {
    if (archiver_.module && !archiver_.released) {
        platform::Get().FreeLibrary(archiver_.module);
        archiver_.released = true;
    }
}

void TForm2::BackupReg() {
    const rebuild::RunOptions o = RunOptionsNow();
    backup::BackupRequest request;
    request.rebuildOnly = o.mode == rebuild::RunMode::RebuildOnly;
    request.archiveMode = o.archiveBackup;
    request.testArchive = o.testArchive;
    for (rebuild::TargetEntry& t : TargetsNow()) {
        request.targets.push_back({std::move(t.text), t.selected});
    }
    request.windowsDirectory = winDir_;
    request.archiver = &archiver_;
    request.lineBuffer = &meBat.MutableLines();
    backup::BackupReg(request);
}

}  // namespace sabrel::options
