// The windowed desktop: the DesktopBackend of os/desktop_backend.h on Qt 6
// Widgets. Made on the GUI thread once the application object exists;
// every call from another thread goes through the bridge (gui_bridge.h).
#pragma once

#include <atomic>
#include <map>
#include <memory>

#include "os/desktop_backend.h"

namespace os::qt {

class WindowView;
class EscWatch;

class QtDesktop : public DesktopBackend {
 public:
  QtDesktop();
  ~QtDesktop() override;

  bool OnGuiThread() override;
  void PumpEvents() override;
  Answer Ask(const Window* owner, std::string_view text, std::string_view title, Icon icon,
             Buttons buttons) override;
  int RunDialog(const Window* owner, Dialog& dialog) override;
  bool ChooseFile(bool save, const Window* owner, std::string_view title, std::string_view filter,
                  const std::vector<std::string>& proposals, std::string* path) override;
  bool KeyDown(Key key) override;
  void ShowTimedStatus(std::string_view caption, std::string_view text, int milliseconds) override;
  void WindowShown(Window& window) override;
  void WindowChanged(Window& window) override;
  void WindowGone(Window& window) override;
  void ListAppended(TraceList& list, std::string_view line) override;
  void ListCleared(TraceList& list) override;

  // The drawn window of a record, null when none (GUI thread only).
  WindowView* View(const Window* window) const;

 private:
  std::map<const Window*, WindowView*> views_;  // GUI thread only
  std::unique_ptr<EscWatch> esc_watch_;
};

}  // namespace os::qt
