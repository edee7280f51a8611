// Message boxes and questions: the icon and title the program gives, the
// buttons OK, Yes/No or OK/Cancel. Closing the box (or Esc) is the safe
// answer: No or Cancel (OK for a plain message).
#pragma once

#include <QMessageBox>
#include <string_view>

#include "os/desktop.h"

namespace os::qt {

// A box ready to be opened; it deletes itself when closed.
QMessageBox* MakeMessageBox(std::string_view text, std::string_view title, Icon icon,
                            Buttons buttons);
// The answer of a finished box.
Answer BoxAnswer(const QMessageBox& box, Buttons buttons);
Answer SafeAnswer(Buttons buttons);

}  // namespace os::qt
