// A window record of os/desktop.h drawn as a top-level window: its title,
// its menu bar, the list box filling it (the trace list of corvex, the log
// list of corvjobs, the newest line on top), topmost and minimised as the
// record says. The user's menu commands and close requests go to the
// record's queue, where the program's own window loop takes them.
#pragma once

#include <QMainWindow>
#include <string>
#include <vector>

#include "os/desktop.h"

class QListWidget;
class QCloseEvent;

namespace os::qt {

class WindowView : public QMainWindow {
 public:
  // `lines`: what the list holds already, oldest first.
  WindowView(Window* record, const std::string& title, const WindowLook& look,
             const std::vector<std::string>& lines);

  // The record changed: check marks and the list's visibility follow.
  void Apply(const WindowLook& look);
  void AddLine(const std::string& line);
  void ClearLines();
  const TraceList* List() const { return list_source_; }
  QListWidget* ListWidget() const { return list_; }

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  Window* record_;
  const TraceList* list_source_;
  QListWidget* list_ = nullptr;
};

}  // namespace os::qt
