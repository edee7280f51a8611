// Modal dialogs as descriptions: a caption and controls (static text, edit
// boxes, check boxes, radio buttons, push buttons) with the ids of the
// program's dialog resources, plus behaviour rules that run when the user
// changes a control. Every desktop backend shows the same description: the
// headless one fills it from the answer script or the terminal, a windowed
// one draws it. The caller reads the values back after RunDialog.
//
// Answer script lines for dialogs ("PREFIX=>" matches the caption):
//   dialog: 1037=Local news; 1019=on; 1016=2; hours; OK
// Pieces are separated by ';' ("\;" for a ';' inside a value) and applied in
// order, as a user would click: "ID=value" or "Label=value" types into an
// edit or ticks/unticks a check box (on/off, yes/no, 1/0, checked/unchecked);
// a piece naming a radio button (id or label) selects it; the last piece
// naming a push button (id or label) presses it. Without a button the dialog
// ends with OK. A piece that names no enabled control is traced and ignored.
//
// File choosers: "file: /path/to/file" chooses a path, "file:" alone
// cancels.
//
// A windowed desktop draws the description as a form: the controls in
// their order, one row each, except that a control marked same_row (or one
// that plainly continues a sentence: an unlabelled edit after a check box
// or a short "Label:", the text or the radio buttons after that edit) stays
// on the row before it; the push buttons form the bottom row. Each change
// by the user goes through UserType/UserCheck/UserSelectRadio, and the form
// is then read back from the description, so the rule's enabling and values
// show at once. Closing the window counts as Cancel.
//
// Locks. Dialogs, file choosers and questions are shown one at a time under
// the desktop's own lock (the dialog lock), which is the last in every lock
// order: while it is held the caller only waits for the user, never for a
// lock of the program's (os/desktop_backend.h). A chooser shown from a
// database operation on the platform thread must not wait for the request
// queue's lock either: the thread holding that lock (the reaper, the
// on-line switch) may be waiting for the operation lock of the request the
// platform thread is serving. So the attachment choosers take the queue
// lock only when it is free; the preferred-browser chooser, shown from the
// user-interface thread or the command worker outside any operation, may
// wait for it. The dialog lock keeps two dialogs apart on its own.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace os {

class Window;

enum class ControlKind { kStatic, kEdit, kCheckBox, kRadio, kButton };

// Button ids shared by every dialog.
inline constexpr int kIdOk = 1;
inline constexpr int kIdCancel = 2;

struct DialogControl {
  int id = 0;  // 0 or -1 for static texts that nobody addresses
  ControlKind kind = ControlKind::kStatic;
  std::string label;     // the text shown on or beside the control
  std::string text;      // an edit box's contents
  bool checked = false;  // check box ticked, radio button selected
  bool enabled = true;
  int group = 0;            // radio buttons of one group exclude each other
  size_t max_length = 0;    // an edit box's limit in bytes; 0: none
  bool multi_line = false;  // an edit box of several lines
  bool is_default = false;  // the button that Enter presses
  bool same_row = false;    // drawn on the row of the control before it
};

class Dialog;
// A behaviour rule: runs after the control `id` changed by the user's hand
// (0 when the dialog opens) and may change other controls.
using DialogRule = std::function<void(Dialog& dialog, int id)>;

class Dialog {
 public:
  Dialog(int resource_id, std::string caption)
      : resource_id_(resource_id), caption_(std::move(caption)) {}

  int ResourceId() const { return resource_id_; }
  const std::string& Caption() const { return caption_; }
  const std::vector<DialogControl>& Controls() const { return controls_; }

  // Building the description.
  void AddStatic(std::string label, int id = -1);
  void AddEdit(int id, std::string label, std::string text = "", size_t max_length = 0,
               bool multi_line = false);
  void AddCheckBox(int id, std::string label, bool checked = false);
  void AddRadio(int id, std::string label, int group, bool checked = false);
  void AddButton(int id, std::string label, bool is_default = false);
  // Puts the control added last on the row of the one before it.
  void SameRow();
  void SetRule(DialogRule rule) { rule_ = std::move(rule); }

  DialogControl* Find(int id);
  const DialogControl* Find(int id) const;
  // The enabled, addressable control whose id (decimal) or label (blanks
  // and a trailing ':' ignored, any case) is `name`; null when none.
  DialogControl* FindByName(std::string_view name);

  // Reading and changing values; the caller's own changes run no rule.
  std::string Text(int id) const;
  bool Checked(int id) const;
  void SetText(int id, std::string text);
  void SetChecked(int id, bool checked);
  void SetEnabled(int id, bool enabled);
  // The id of the selected radio button of a group, 0 when none.
  int SelectedRadio(int group) const;

  // What a user does; each runs the rule afterwards. An edit's text is cut
  // to its limit at a character boundary. False when the control is absent
  // or disabled.
  bool UserType(int id, std::string text);
  bool UserCheck(int id, bool checked);
  bool UserSelectRadio(int id);
  // Runs the rule with id 0; backends call it when the dialog is shown.
  void Open();

  // Set when the dialog ended: the id of the button pressed; kIdCancel for
  // Cancel, closing the window, or no answer at all.
  int result = kIdCancel;

 private:
  int resource_id_;
  std::string caption_;
  std::vector<DialogControl> controls_;
  DialogRule rule_;
};

// Shows the dialog modal to `owner` (may be null), lets the user (or the
// answer script) fill it, and returns the id of the button that ended it,
// also left in dialog.result. Headless without a script or terminal: Cancel.
int RunDialog(const Window* owner, Dialog& dialog);

// A file chooser. `filter` is "Description (*.ext)" or empty. On a choice
// the path lands in *path and the answer is true; Cancel gives false and
// leaves *path as it was.
bool ChooseOpenFile(const Window* owner, std::string_view title, std::string_view filter,
                    std::string* path);
bool ChooseSaveFile(const Window* owner, std::string_view title, std::string_view filter,
                    std::string* path);
// The open chooser with files to propose (shown to the user, who picks one
// or names another); the first is the chooser's starting selection.
bool ChooseOpenFile(const Window* owner, std::string_view title, std::string_view filter,
                    std::string* path, const std::vector<std::string>& proposals);

}  // namespace os
