// SPDX-License-Identifier: MIT
// The program's own modal message box: a window with the caption, the text
// and exactly the buttons the texts table gives for its kind ("はい(&Y)" and
// "いいえ(&N)" for a question, "はい(&Y)" alone for the warning, "OK"
// otherwise). The system's MessageBoxA would label its buttons in the system's
// own language instead.
#pragma once

#include <string>
#include <vector>

#include "ui/ui.h"
#include "ui/win32/windows_api.h"

namespace sabrel::ui::win32 {

// Shows the box on the calling (user-interface) thread, centred on `owner`
// (or the screen), with every window of `disable` disabled while it is up.
// It sounds as the system's box with the same icon does (MessageBeep).
// Returns the index of the button pressed. The return key presses the focused
// button (the first at the start); escape and the close command answer with
// the last button unless the kind is a question, which wants a button. A quit
// request arriving meanwhile ends the box with that same answer (the last
// button for a question: "いいえ(&N)") and is passed on to the outer loop.
int RunMessageBox(HINSTANCE instance, HWND owner, const std::vector<HWND>& disable, BoxKind kind,
                  const std::string& caption, const std::string& text,
                  const std::vector<std::string>& buttons);

// The window class of the box, by which tests find it.
inline constexpr char kBoxClass[] = "SabrelBox";

}  // namespace sabrel::ui::win32
