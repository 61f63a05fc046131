// SPDX-License-Identifier: MIT
// The modal message box, drawn by FLTK on the user-interface thread: the
// caption, the text as given (lines broken where the text breaks them), and
// the buttons in a row, left to right, the first one the default. The window
// class is "SabrelBox", so that tests and scripts can find the box whatever
// its caption says.
#pragma once

#include <string>
#include <vector>

#include "ui/ui.h"

namespace sabrel::ui::fltk {

inline constexpr char kBoxWindowClass[] = "SabrelBox";

// All texts UTF-8. Returns the index of the button pressed. `closeAnswer` is
// the index that the window's close command gives, or -1 when the box cannot
// be closed that way and waits for a button; `escapeAnswer` is the one that
// Escape gives (the no or cancel button), or -1 when Escape does nothing.
// Return presses the button with the focus (at first the first one); a
// button's letter marked with '&' presses it.
int RunMessageBox(BoxKind kind, const std::string& caption, const std::string& text,
                  const std::vector<std::string>& buttons, int closeAnswer, int escapeAnswer);

}  // namespace sabrel::ui::fltk
