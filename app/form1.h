// SPDX-License-Identifier: MIT
// TForm1: the main window, a four-page wizard. Page "00" offers OK, options
// and cancel; "01" animates while the rebuild worker runs; "02" says the run
// was stopped; "03" says the rebuilt registry is ready and reveals the end of
// run and withdraw buttons. Its fields are the program's shared state.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "rebuild/worker.h"
#include "ui/form.h"

namespace sabrel::app {

class TForm1 : public ui::Form {
  public:
    TForm1();

    // --- Shared state (all zero before FormCreate) ---------------------------
    rebuild::RunState RunState{rebuild::rsIdle};
    std::int32_t AnimCount = 0;
    char WinDir[128] = {};  // no trailing separator; empty when unreadable
    bool IsLastRelease = false;
    std::uint32_t WorkerThreadId = 0;

    // Ends the process from the worker's handler of last resort; empty means
    // the platform's ExitProcess (tests put their own here).
    std::function<void(unsigned)> exitProcessHook;

    // --- Handlers --------------------------------------------------------------
    void FormCreate();
    void btOkClick();
    void btCancelClick();
    void btOptionClick();
    void Timer1Timer();
    void btRebootClick();
    void btAbortClick();
    void btFin1Click();
    void meBatDblClick();

    // Size in bytes of the file at `path`; raises an input/output error.
    std::int64_t HiveFileSize(const std::string& path);

    std::string WinDirText() const;

  protected:
    // FormClose: every close is refused.
    bool CanClose() override { return false; }

  private:
    void SetEndCaptions();
    void DisableStart();
    rebuild::RebuildJob job_;
};

}  // namespace sabrel::app
