// SPDX-License-Identifier: MIT
#include "app/form1.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "app/form3.h"
#include "app/form_decls.h"
#include "app/program.h"
#include "backup/backup.h"
#include "common/errors.h"
#include "common/format.h"
#include "common/paths.h"
#include "common/texts.h"
#include "hive/checker.h"
#include "options/form2.h"
#include "platform/platform.h"
#include "rebuild/withdrawal.h"
#include "ui/ui.h"

namespace sabrel::app {

TForm1::TForm1() : ui::Form(Form1Decl()) {
    Bind("btOk", ui::Event::Click, [this] { btOkClick(); });
    Bind("btCancel", ui::Event::Click, [this] { btCancelClick(); });
    Bind("btOption", ui::Event::Click, [this] { btOptionClick(); });
    Bind("Timer1", ui::Event::Timer, [this] { Timer1Timer(); });
    Bind("btReboot", ui::Event::Click, [this] { btRebootClick(); });
    Bind("btAbort", ui::Event::Click, [this] { btAbortClick(); });
    Bind("btFin1", ui::Event::Click, [this] { btFin1Click(); });
    Bind("Label7", ui::Event::DoubleClick, [this] { meBatDblClick(); });
    Bind("btDBG", ui::Event::Click, [this] { meBatDblClick(); });
}

std::string TForm1::WinDirText() const {
    return std::string(WinDir, std::find(WinDir, WinDir + sizeof WinDir, '\0'));
}

void TForm1::DisableStart() {
    Get("btOk").SetEnabled(false);
    Get("btOption").SetEnabled(false);
}

void TForm1::FormCreate() {
    platform::Platform& p = platform::Get();
    SetBackColor(ui::kBlack);
    RunState = rebuild::rsIdle;
    AnimCount = 0;
    Get("nbStage").ShowPage("00");

    platform::OsVersionInfo version;
    version.dwOSVersionInfoSize = sizeof version;
    bool versionKnown = p.GetVersionExA(&version) != 0;
    if (!versionKnown) {
        ui::ShowMessage(texts::kMsgVersionUnknown);
        DisableStart();
    } else if (version.dwPlatformId != platform::kVerPlatformWin32Windows) {
        // After a failed query the record holds nothing to test.
        ui::ShowMessage(texts::kMsgNotWin9x);
        DisableStart();
    }

    // Each field compared as a signed 32-bit number, the build number whole
    // (its high half carries the version on this family).
    IsLastRelease = !(static_cast<std::int32_t>(version.dwMajorVersion) < 4 ||
                      static_cast<std::int32_t>(version.dwMinorVersion) < 90 ||
                      static_cast<std::int32_t>(version.dwBuildNumber) < 3000);

    // Room for 125 characters; a longer directory (the call then returns the
    // size it needs) is a failed query rather than a cut or garbage path.
    platform::UINT n = p.GetWindowsDirectoryA(WinDir, 125);
    if (n == 0 || n >= 125) {
        std::memset(WinDir, 0, sizeof WinDir);
        ui::ShowMessage(texts::kMsgWinDirFailed);
        DisableStart();
    }
}

void TForm1::btOkClick() {
    options::TForm2& options = *Form2;
    // Taken once: the options cannot change during the run.
    const rebuild::RunOptions chosen = options.RunOptionsNow();
    if (chosen.mode == rebuild::RunMode::BackupOnly) {
        if (!ui::Confirm(texts::kAskBackupOnly)) return;
        // Without its restore batch file the backup is not complete: after
        // that error the completion message would report a failure as success.
        bool batchWritten = true;
        try {
            options.BackupReg();
        } catch (const BatchWriteError& e) {
            ui::ShowError(texts::kAppTitle, e.what());
            batchWritten = false;
        }
        if (batchWritten) ui::ShowMessage(texts::kMsgBackupDone);
        options.ReleaseArchiver();
        ui::AskToEnd();
        return;
    }

    rebuild::RunInputs& in = job_.inputs;
    in.options = chosen;
    in.winDir = WinDirText();
    in.targets = options.TargetsNow();
    job_.hooks.backup = [] { Form2->BackupReg(); };
    job_.hooks.releaseArchiver = [] { Form2->ReleaseArchiver(); };
    job_.hooks.checkHive = [](const std::string& path) {
        // The program's checker has always been given at most 255 bytes of a
        // path (a longer one is no Windows 9x path).
        return Form4->Check(path.substr(0, 255).c_str());
    };
    if (exitProcessHook) {
        job_.hooks.exitProcess = [hook = exitProcessHook](platform::UINT code) { hook(code); };
    }
    job_.runState = &RunState;

    Get("nbStage").ShowPage("01");
    RunState = rebuild::rsRunning;
    platform::DWORD id = 0;
    if (rebuild::StartRebuildThread(&job_, &id)) {
        WorkerThreadId = id;
    } else {
        // No thread, no run: the user is told why, then the timer shows the
        // stopped page.
        ui::ShowMessage(
            Format(texts::kMsgCannotStartRun, static_cast<int>(platform::Get().GetLastError())));
        RunState = rebuild::rsAborted;
    }
}

void TForm1::btCancelClick() {
    Form2->ReleaseArchiver();
    ui::AskToEnd();
}

void TForm1::btOptionClick() {
    Form2->ShowModal();
    SetEndCaptions();
}

void TForm1::SetEndCaptions() {
    switch (Form2->RunOptionsNow().end) {
        case rebuild::EndOption::Reboot:
            Get("Label6").SetCaption(texts::kLabel6Reboot);
            Get("btReboot").SetCaption(texts::kBtRebootReboot);
            break;
        case rebuild::EndOption::Shutdown:
            Get("Label6").SetCaption(texts::kLabel6Shutdown);
            Get("btReboot").SetCaption(texts::kBtRebootShutdown);
            break;
        case rebuild::EndOption::SabrelOnly:
            Get("Label6").SetCaption(texts::kLabel6SabrelOnly);
            Get("btReboot").SetCaption(texts::kBtRebootSabrelOnly);
            break;
    }
}

void TForm1::Timer1Timer() {
    ui::Control& timer = Get("Timer1");
    switch (RunState.load()) {
        case rebuild::rsRunning: {
            const std::vector<std::string>& frames = Get("ilImgLst").Decl().items;
            if (AnimCount >= 0 && static_cast<std::size_t>(AnimCount) < frames.size()) {
                Get("imgFld").SetImage(frames[static_cast<std::size_t>(AnimCount)]);
            }
            ++AnimCount;
            if (static_cast<std::size_t>(AnimCount) >= frames.size()) AnimCount = 0;
            break;
        }
        case rebuild::rsAborted:
            timer.SetEnabled(false);
            RunState = rebuild::rsIdle;
            Get("nbStage").ShowPage("02");
            break;
        case rebuild::rsDone:
            timer.SetEnabled(false);
            RunState = rebuild::rsRevealing;
            AnimCount = 0;
            Get("nbStage").ShowPage("03");
            timer.SetEnabled(true);
            break;
        case rebuild::rsRevealing:
            ++AnimCount;
            if (AnimCount == 10) {
                Get("imComplete").SetVisible(true);
                Get("btReboot").SetVisible(true);
            }
            if (AnimCount == 20) {
                timer.SetEnabled(false);
                RunState = rebuild::rsIdle;
                Get("btAbort").SetVisible(true);
            }
            break;
        default:
            break;
    }
}

void TForm1::btRebootClick() {
    platform::Platform& p = platform::Get();
    const rebuild::EndOption end = Form2->RunOptionsNow().end;
    Get("btReboot").SetEnabled(false);
    Get("btAbort").SetEnabled(false);
    if (end == rebuild::EndOption::Reboot) {
        if (!p.ExitWindowsEx(platform::kEwxReboot, 0)) ui::ShowMessage(texts::kMsgCannotReboot);
    }
    if (end == rebuild::EndOption::Shutdown) {
        if (!p.ExitWindowsEx(platform::kEwxShutdown, 0)) {
            ui::ShowMessage(texts::kMsgCannotShutdown);
        }
    }
    ui::AskToEnd();
}

void TForm1::btAbortClick() {
    if (ui::Confirm(texts::kAskDeleteRebuilt)) {
        rebuild::DeleteRebuiltFiles(WinDirText(), Form2->TargetsNow());
    }
    Get("nbStage").ShowPage("02");
}

void TForm1::btFin1Click() {
    const rebuild::RunOptions o = Form2->RunOptionsNow();
    rebuild::CancelReplacements(WinDirText(), Form2->TargetsNow(), o.delFontCache, o.delIconCache);
    Form2->ReleaseArchiver();
    ui::AskToEnd();
}

std::int64_t TForm1::HiveFileSize(const std::string& path) {
    std::uint64_t size = 0;
    platform::Platform& p = platform::Get();
    if (!p.GetFileSizeByPath(path.c_str(), &size)) throw IoError(p.GetLastError());
    return static_cast<std::int64_t>(size);
}

void TForm1::meBatDblClick() {
    ui::Control& rows = Form3->Get("lvResult");
    rows.ClearRows();
    std::string winDir = WinDirText();
    const std::string separator = ThousandSeparator();
    for (const rebuild::TargetEntry& target : Form2->TargetsNow()) {
        std::vector<std::string> row{target.text};
        std::string path = JoinPath(winDir, target.text);
        std::int64_t before = HiveFileSize(path);
        row.push_back(FormatThousands(before, separator));
        if (target.selected) {
            std::int64_t after = HiveFileSize(ReplaceExtension(path, texts::kExtRebuilt));
            row.push_back(FormatThousands(after, separator));
            // The ratio has no value for an empty hive: abandon the report.
            if (before == 0) throw ZeroDivideError();
            long double ratio = static_cast<long double>(after) / before * 100;
            row.push_back(FormatRatio(ratio));
        }
        rows.AddRow(std::move(row));
    }
    Form3->ShowModal();
}

}  // namespace sabrel::app
