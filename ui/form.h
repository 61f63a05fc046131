// SPDX-License-Identifier: MIT
// The live side of a form: one portable Control object per declared control,
// holding the state that the rest of the program reads and writes (checked,
// enabled, visible, caption, items and their marks, page, picture, rows), and
// the Form that owns them, dispatches user events to its handlers and tracks
// its own visibility and modal result.
//
// "The controls are the settings": other parts read these objects directly.
// Threads: state is changed on the user-interface thread only, except a
// LineBuffer, which a backup run may fill from the worker thread; observers
// are therefore never told about LineBuffer changes. Reading from another
// thread is fine while the user-interface thread leaves the control alone.
//
// Backends report user actions through the User*/TimerTick methods; these
// apply the control's own behaviour (a check box toggles, a radio button is
// selected, a list item's mark toggles, a tab comes to the front), then run
// the handler bound to that control and event. Setting state from code never
// runs a handler.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "ui/form_decl.h"

namespace sabrel::ui {

class Form;

// What changed, for a backend's observer.
enum class Change : std::uint8_t {
    Caption,
    Visible,
    Enabled,
    Checked,
    Items,  // items added or cleared (list box)
    Marks,  // selection marks (list box)
    Page,   // page index (page control, notebook)
    Image,  // picture
    Rows,   // list view rows
    Color,  // form background
    Timer,  // a timer was started or stopped (its Enabled changed)
};

class Control {
  public:
    Control(Form& owner, const ControlDecl& decl, Control* parent);
    Control(const Control&) = delete;
    Control& operator=(const Control&) = delete;

    const ControlDecl& Decl() const { return decl_; }
    const std::string& Name() const { return decl_.name; }
    ControlKind Kind() const { return decl_.kind; }
    Control* Parent() const { return parent_; }
    Form& Owner() const { return owner_; }

    const std::string& Caption() const { return caption_; }
    void SetCaption(std::string caption);

    bool Visible() const { return visible_; }
    void SetVisible(bool visible);

    // For a timer: running.
    bool Enabled() const { return enabled_; }
    void SetEnabled(bool enabled);

    // Check box and radio button. Checking a radio button unchecks the other
    // radio buttons with the same parent.
    bool Checked() const { return checked_; }
    void SetChecked(bool checked);

    // List box items with their marks; LineBuffer lines (marks unused).
    std::size_t Count() const { return items_.size(); }
    const std::string& Item(std::size_t i) const { return items_.at(i); }
    const std::vector<std::string>& Items() const { return items_; }
    void AddItem(std::string text, bool marked = false);
    void ClearItems();
    // A LineBuffer's lines, for routines that fill it in place (no notice is
    // given; see above). Aborts for any other kind.
    std::vector<std::string>& MutableLines();
    // False for an index past the end.
    bool Marked(std::size_t i) const { return i < marks_.size() && marks_[i] != 0; }
    void SetMarked(std::size_t i, bool marked);
    std::size_t MarkedCount() const;

    // Page control (the tab in front) and notebook (the page shown).
    int PageIndex() const { return pageIndex_; }
    void SetPageIndex(int index);
    // Notebook: shows the page of that name; false when there is none.
    bool ShowPage(const std::string& pageName);
    // The child pages (tab sheets or notebook pages), in order.
    std::vector<Control*> Pages() const;
    Control* ActivePage() const;

    // Picture: the image resource shown, empty for none.
    const std::string& Image() const { return image_; }
    void SetImage(std::string resource);

    // List view rows; each row has at most one text per column.
    const std::vector<std::vector<std::string>>& Rows() const { return rows_; }
    void ClearRows();
    void AddRow(std::vector<std::string> row);

    // Bumped by every change; lets a backend skip unchanged controls.
    std::uint32_t Revision() const { return revision_.load(std::memory_order_relaxed); }

  private:
    void Changed(Change what);

    Form& owner_;
    const ControlDecl& decl_;
    Control* parent_;
    std::string caption_;
    bool visible_;
    bool enabled_;
    bool checked_;
    std::vector<std::string> items_;
    std::vector<std::uint8_t> marks_;
    int pageIndex_ = 0;
    std::string image_;
    std::vector<std::vector<std::string>> rows_;
    // Atomic: a LineBuffer may change on the worker thread while a backend
    // scans revisions on the user-interface thread.
    std::atomic<std::uint32_t> revision_{0};
};

// A backend's view of changes; called on the thread that made the change
// (the user-interface thread, see above).
class FormObserver {
  public:
    virtual ~FormObserver() = default;
    virtual void ControlChanged(Control& control, Change what) = 0;
    virtual void FormChanged(Form& form, Change what) = 0;
};

// A backend's window for one form. FormChanged sorts the form's changes into
// the three that a window shows; a backend supplies those.
class FormWindowBase {
  public:
    virtual ~FormWindowBase() = default;
    void FormChanged(Change what);
    virtual void SyncCaption() = 0;
    virtual void SyncColor() = 0;
    // Shows or hides the window as the form's visibility says.
    virtual void SyncVisible() = 0;
};

enum class Event : std::uint8_t { Click, DoubleClick, Timer };

class Form {
  public:
    // Builds every control from `decl`, which must outlive the form. Registers
    // the form with the current Ui backend, if one is set.
    explicit Form(const FormDecl& decl);
    // A temporary declaration would be gone before the form.
    explicit Form(FormDecl&&) = delete;
    virtual ~Form();
    Form(const Form&) = delete;
    Form& operator=(const Form&) = delete;

    const FormDecl& Decl() const { return decl_; }
    const std::string& Name() const { return decl_.name; }

    // The control of that name; aborts when there is none (a programming error).
    Control& Get(const std::string& name) const;
    Control* Find(const std::string& name) const;
    const std::vector<std::unique_ptr<Control>>& Controls() const { return controls_; }

    const std::string& Caption() const { return caption_; }
    void SetCaption(std::string caption);
    Color BackColor() const { return color_; }
    void SetBackColor(Color color);

    // --- Showing (through the Ui backend) -----------------------------------
    bool Visible() const { return visible_; }
    void Show();
    // Shows the form modally and returns when it has closed.
    ModalResult ShowModal();
    void Hide();

    // --- Used by backends ---------------------------------------------------
    // True when the control is visible and enabled together with every
    // container it sits in, and every page it sits on is the one in front.
    bool IsUsable(const Control& control) const;
    bool IsShowing(const Control& control) const;

    // User actions. Each returns false, changing nothing, when the control
    // does not exist or is not usable, or the event does not apply to it.
    bool UserClick(const std::string& name);
    bool UserClickItem(const std::string& name, std::size_t index);
    bool UserDoubleClick(const std::string& name);
    bool UserSelectPage(const std::string& name, int index);
    // A tick of a running timer.
    bool TimerTick(const std::string& name);
    // The window's close command (keyboard or title bar); true when the form
    // agreed and was hidden.
    bool UserClose();

    // Modal bookkeeping for backends: BeginModal before the modal loop, run the
    // loop while ModalRunning(), then EndModal.
    void BeginModal();
    bool ModalRunning() const { return visible_ && modalResult_ == ModalResult::None; }
    ModalResult EndModal();
    ModalResult GetModalResult() const { return modalResult_; }
    void SetModalResult(ModalResult result) { modalResult_ = result; }

    void SetObserver(FormObserver* observer) { observer_ = observer; }
    FormObserver* Observer() const { return observer_; }

  protected:
    // Handlers are methods of the derived form; bind them by control and event.
    void Bind(const std::string& control, Event event, std::function<void()> handler);
    // Called for the close command; return false to refuse the close.
    virtual bool CanClose() { return true; }

  private:
    friend class Control;
    void Notify(Control& control, Change what);
    bool Dispatch(const std::string& control, Event event);

    const FormDecl& decl_;
    std::vector<std::unique_ptr<Control>> controls_;
    std::map<std::string, Control*> byName_;
    std::map<std::pair<std::string, Event>, std::function<void()>> handlers_;
    std::string caption_;
    Color color_;
    bool visible_ = false;
    ModalResult modalResult_ = ModalResult::None;
    FormObserver* observer_ = nullptr;
};

}  // namespace sabrel::ui
