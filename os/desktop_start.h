// The desktop a program runs on, chosen once at start.
//
// The windowed desktop is chosen when the program was built with it, a
// display is named (DISPLAY or WAYLAND_DISPLAY, or Qt's platform named in
// QT_QPA_PLATFORM) and CORVANE_DESKTOP is not "headless". Under the test
// suites (CORVANE_TEST set) it takes CORVANE_DESKTOP=windowed as well, so a
// test run on a developer's display never waits for a click. When the
// display cannot be reached the program says so in one line on standard
// error and runs headless. The headless desktop is os/desktop.h on its own.
#pragma once

#include <functional>

namespace os {

// Runs `program` on the chosen desktop and returns its exit code. The
// windowed desktop keeps the calling thread for drawing and runs `program`
// on a thread of its own; headless runs it on the calling thread. Call it
// from main() before any other thread starts, with the signals the program
// takes already blocked (the threads of the desktop inherit the mask).
int RunWithDesktop(int argc, char** argv, const std::function<int()>& program);

// Whether this start would take the windowed desktop (before the display
// is tried).
bool WindowedDesktopWanted();

}  // namespace os
