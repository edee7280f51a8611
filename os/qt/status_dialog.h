// The job task's timed status dialog: a small topmost dialog holding one
// centred, sunken text, its top-left corner at (screen width / 2 - 200,
// screen height / 2 - 80), which closes itself after its time. It is not
// modal to the job's window: the job waits for it, the user's menu stays.
#pragma once

#include <QDialog>
#include <string_view>

namespace os::qt {

QDialog* MakeStatusDialog(std::string_view caption, std::string_view text, int milliseconds);

}  // namespace os::qt
