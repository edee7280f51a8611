// The open and save file choosers: Qt's own file dialog (not the platform's,
// so it works on every display, the offscreen one too). The filter
// "Description (*.ext)" is offered first with "All files (*)"; the starting
// name, or else the first proposed file, is selected; the proposed files'
// folders are offered in the chooser's history. A save over an existing
// file asks first.
#pragma once

#include <QFileDialog>
#include <string>
#include <string_view>
#include <vector>

namespace os::qt {

QFileDialog* MakeFileChooser(bool save, std::string_view title, std::string_view filter,
                             const std::vector<std::string>& proposals, const std::string& start);

}  // namespace os::qt
