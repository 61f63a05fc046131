// The user-interface services that the core calls: message boxes, the timer,
// the end of the program. One interface, with win32, fltk and script backends.
// Message boxes may be asked for from any thread; a backend whose toolkit wants
// one UI thread runs the box there and blocks the caller until it is answered.
#pragma once

#include <string>

namespace sabrel::ui {

enum class BoxKind {
    Plain,    // caption = application title, one OK button
    Confirm,  // caption "確認", buttons "はい(&Y)" and "いいえ(&N)"
    Warning,  // caption "警告", the single button "はい(&Y)"
    Error,    // error box with one OK button and the given caption
};

enum class Answer { Ok, Yes, No };

class Ui {
public:
    virtual ~Ui() = default;
    // `caption` and `text` are code page 932 bytes.
    virtual Answer MessageBox(BoxKind kind, const std::string& caption,
                              const std::string& text) = 0;
};

Ui& Get();
void Set(Ui* ui);

// A plain message box with the application title and one OK button.
void ShowMessage(const std::string& text);
// The confirmation box; true for "はい(&Y)".
bool Confirm(const std::string& text);

}  // namespace sabrel::ui
