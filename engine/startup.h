// Start-up of corvex, steps 1 to 20 in order: the shared context, the
// program folder, the platform thread, the configuration and page-replica
// databases, the settings, the browsers' proxy settings, the listener, the
// workspace page, the status lines and the browser launch. Runs on the
// user-interface thread; every platform step goes through the operation
// channel to the platform thread.
#pragma once

#include <memory>
#include <string>

#include "engine/shared_context.h"
#include "engine/thread_handle.h"
#include "os/desktop.h"

namespace engine {

inline constexpr char kProgramName[] = "corvex";
inline constexpr char kLaunchFile[] = "kvlaunch.dat";
inline constexpr char kResetCompleteMessage[] = "Reset complete, you may proceed.";
inline constexpr char kNoBrowserMessage[] =
    "No browser launch performed, running standalone in background only.";
inline constexpr char kPageSortingQuestion[] =
    "You have changed the Corvane preference for displaying page parts of Favorites. Do you want "
    "to update the display now?\nUpdating the display can take a long time depending on the "
    "number of Favorites you have. You cannot use Corvane while the display is being updated. "
    "Click Yes to update now or click No to use the new sort style for new pages only.";
inline constexpr char kVantixReadyTrace[] = "\nSuccessful Vantix initialization.";
inline constexpr char kIdleStatus[] = "Replicator ready, idle.";
inline constexpr char kCorvaneKey[] = "Software\\Pellam\\Corvane\\";
inline constexpr char kProxyInformationKey[] = "Software\\Pellam\\Corvane\\Proxy Information\\";
inline constexpr int kDefaultLocalPort = 8085;

struct StartupOptions {
  std::string commandLine;  // after the entry point took any URL from it
  os::Window* mainWindow = nullptr;
  os::TraceList* traceList = nullptr;
  bool traceOn = false;     // trace lines from the start (CORVANE_TRACE=1)
  // Called after each step (1 to 20) has run; for tests.
  void (*stepDone)(int step, SharedContext& shared) = nullptr;
};

struct StartupResult {
  std::unique_ptr<SharedContext> shared;  // null when start-up ended the program
  bool exitNow = false;                   // the program ends with exitCode
  int exitCode = 0;
};

// Runs start-up with the user-interface thread's handle, which gets the
// shared context attached. The listening port is the Configuration item
// "LocalPort"; the environment variable CORVANE_LOCALPORT overrides it.
StartupResult StartUp(ThreadHandle& ui, const StartupOptions& options);

// The port from CORVANE_LOCALPORT: -1 when unset, -2 when not a port.
int PortOverride();

}  // namespace engine
