// The main window of corvex through the desktop layer: the close-request
// flags, the menu commands (About toggles the trace list, Set Preferred
// Browser, Hide Dashboard) and the destroy message, which runs the
// shutdown: prepare, stop the workers (at most 7 seconds), close the
// browsers, clean up, and start the program again when a restart was asked.
//
// Headless: SIGUSR1 stands for the About command, SIGINT for a close
// request, SIGTERM for destroying the window (corvex's main).
#pragma once

#include <memory>

#include "engine/shared_context.h"
#include "engine/thread_handle.h"
#include "os/desktop.h"

namespace engine {

inline constexpr char kMainWindowClass[] = "Corvane_MainWindow";
inline constexpr char kMainWindowTitle[] = "Corvane";
inline constexpr long kCommandAbout = 40004;
inline constexpr long kCommandPreferredBrowser = 40005;
inline constexpr long kCommandHideDashboard = 40006;

inline constexpr char kFirstCloseMessage[] =
    "Please shut down all browsers instead. Corvane will automatically shutdown afterwards.";
inline constexpr char kCloseQuestion[] = "Shut down Corvane and all currently running browsers?";
inline constexpr char kAboutTitle[] = "Help About";
inline constexpr char kAboutMessage[] =
    "Corvane for Linux\nRelease 1.0\n\nChoosing About again switches the trace list on or off.";
inline constexpr char kRestartArgument[] = "Restart";

// What the window procedure works on. One per process.
struct MainWindowState {
  SharedContext* shared = nullptr;  // owned here from start-up to clean-up
  ThreadHandle* ui = nullptr;       // the user-interface thread's handle
  bool closingAsked = false;        // set by the first close request
  bool menuCheckDone = false;       // set once the check mark is first set
  bool hideDashboardChecked = false;
  bool traceListVisible = false;
  bool workersEnded = true;         // false when a worker outlived the wait
  bool restartStarted = false;
};

MainWindowState& MainWindow();

// Takes the shared context of start-up into the window's keeping and sets
// the "Hide Dashboard" check mark (the first paint).
void AdoptSharedContext(std::unique_ptr<SharedContext> shared);

void MainWindowProcedure(os::Window& window, const os::Message& message);

// The two halves of shutdown.
void PrepareShutdown(ThreadHandle& handle);
void CleanUp(ThreadHandle& handle);

}  // namespace engine
