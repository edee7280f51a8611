// The desktop start of a build without the windowed desktop.
#include "os/desktop_start.h"

namespace os {

int RunWithDesktop(int /*argc*/, char** /*argv*/, const std::function<int()>& program) {
  return program();
}

bool WindowedDesktopWanted() {
  return false;
}

}  // namespace os
