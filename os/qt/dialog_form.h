// A dialog description of os/dialog.h drawn as a form. The controls keep
// their order: one row each, except that a control marked same_row, an
// unlabelled edit after a check box or a short "Label:" text, and the short
// texts and radio buttons that follow such an edit stay on the row before
// (so "Include pages that are [1] links away" reads as one sentence); the
// push buttons form the bottom row, on the right. Each change the user
// makes goes through the description's UserType/UserCheck/UserSelectRadio,
// which run its rule, and the whole form is then read back from the
// description, so enabling and values follow at once. A push button ends
// the form with its id; closing the window or Esc ends it with Cancel.
//
// Every control's widget is named "control_<id>" (tests find them).
#pragma once

#include <QDialog>
#include <map>

#include "os/dialog.h"

namespace os::qt {

class DialogForm : public QDialog {
 public:
  // The description stays the caller's and must outlive the form's use.
  explicit DialogForm(Dialog& dialog, QWidget* parent = nullptr);
  // The id of the button that ended the form: kIdCancel for a close.
  int Pressed() const { return pressed_; }
  // Reads every control back from the description.
  void Refresh();

  void done(int result) override;
  void reject() override;

 private:
  struct Drawn {
    QWidget* widget = nullptr;  // the control itself
    QWidget* label = nullptr;   // the text beside an edit, greyed with it
  };
  Dialog& dialog_;
  std::map<int, Drawn> drawn_;  // by index in the description
  int pressed_ = kIdCancel;
};

}  // namespace os::qt
