// SPDX-License-Identifier: MIT
// The options dialog TForm2: the option set of a run (its controls are the
// settings), the target hive list lbRegs, the dialog's own copy of the Windows
// directory, the archiver library, and the backup routine BackupReg.
//
// Creation (the constructor runs FormCreate) loads the archiver library, reads
// the Windows directory and the logon user name, and fills and pre-selects the
// target list. The dialog is then shown modally from the wizard's first page
// as often as the user likes; its controls keep their state for the life of
// the process.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "backup/archiver_api.h"
#include "rebuild/run_options.h"
#include "ui/form.h"

namespace sabrel::options {

// What the dialog needs of the main window, which is created before it.
struct MainWindowLink {
    // The platform reports version 4.90, build 3000 or later.
    bool isLastRelease = false;
    // The main window's start button btOk; OK disables it when no hive is
    // selected and enables it otherwise. May be null (nothing to update).
    ui::Control* startButton = nullptr;
};

class TForm2 : public ui::Form {
  public:
    explicit TForm2(const MainWindowLink& main);
    ~TForm2() override;

    // --- Handlers -------------------------------------------------------------
    void FormCreate();
    void btOKClick();
    void rbBUcopyClick();
    void rbBUarcClick();
    void cbCheckRegClick();
    void cbCheckReg2Click();

    // --- The option set: the controls themselves --------------------------------
    ui::Control& Label1;
    ui::Control& lbRegs;
    ui::Control& Label2;
    ui::Control& pgOption;
    ui::Control& rbRebldBckup;
    ui::Control& rbRebldOnly;
    ui::Control& rbBckupOnly;
    ui::Control& cbCheckReg;
    ui::Control& cbBeforeGhost;
    ui::Control& rbBUcopy;
    ui::Control& rbBUarc;
    ui::Control& cbBUarc_test;
    ui::Control& cbCheckReg2;
    ui::Control& cbAfterGhost;
    ui::Control& cbIgnoreLost;
    ui::Control& cbSweepDGAP;
    ui::Control& rbWinReboot;
    ui::Control& rbWinTerm;
    ui::Control& rbSBterm;
    ui::Control& cbDelFCache;
    ui::Control& cbDelICache;
    ui::Control& lbUnlhaVer;
    ui::Control& btOK;
    ui::Control& meBat;

    // The option set as the controls hold it now; everything that acts on the
    // options reads them through this one value.
    rebuild::RunOptions RunOptionsNow() const;

    // --- The target list (indices from 0) ---------------------------------------
    std::size_t TargetCount() const { return lbRegs.Count(); }
    const std::string& TargetText(std::size_t i) const { return lbRegs.Item(i); }
    bool TargetSelected(std::size_t i) const { return lbRegs.Marked(i); }
    std::size_t SelectedCount() const { return lbRegs.MarkedCount(); }
    // The whole list with its marks, as it is now.
    std::vector<rebuild::TargetEntry> TargetsNow() const;

    // The dialog's own copy of the Windows directory; empty when it could not
    // be read.
    const std::string& WinDir() const { return winDir_; }
    // The logon user name; empty when it could not be read.
    const std::string& UserName() const { return userName_; }

    // The archiver library: all empty when it did not load.
    ArchiverApi& Archiver() { return archiver_; }
    const ArchiverApi& Archiver() const { return archiver_; }
    // Releases the library if it is loaded and not yet released, and records
    // the release. Safe to call any number of times.
    void ReleaseArchiver();

    // Backs up the selected hives and writes the restore batch file, from the
    // state of the controls at the moment of the call. Throws
    // BatchWriteError when the batch file cannot be written.
    void BackupReg();

    void SetStartButton(ui::Control* button) { main_.startButton = button; }

  private:
    void LoadArchiver();
    void ScanProfiles();

    MainWindowLink main_;
    std::string winDir_;
    std::string userName_;
    ArchiverApi archiver_;
};

// The logon user's profile folder test: equal texts when ASCII letters are
// compared without regard to case. The texts are read as Shift-JIS, so the
// trail byte of a double-byte character is compared exactly, never folded.
bool SameNameIgnoringAsciiCase(const std::string& a, const std::string& b);

}  // namespace sabrel::options
