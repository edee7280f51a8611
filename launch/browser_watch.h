// The browser watch, worker 'g': serves launch requests left in
// kvlaunch.dat by a later start of the program, and asks the user what to
// do when no known browser runs any longer.
#pragma once

#include "engine/thread_handle.h"

namespace launch {

inline constexpr char kNoBrowserQuestion[] = "No recognized browser active. Shutdown Corvane?";
inline constexpr char kLaunchQuestion[] = "Launch your browser instead?";
inline constexpr char kScanQuestion[] = "Scan again for active browser?";
inline constexpr char kStandaloneNotice[] =
    "Continuing in standalone mode.  \n\nWhen you wish to exit, please use Corvane's mini-window.";

// Pauses of the watch in milliseconds: 25 s before the first scan, 3 s
// between scans, 20 s after a launch or a rescan chosen by the user.
// CORVANE_WATCH_SETTLE_MS, CORVANE_WATCH_TICK_MS and CORVANE_WATCH_AFTER_MS
// change them (tests).
struct WatchTiming {
  int settle_ms = 25000;
  int tick_ms = 3000;
  int after_answer_ms = 20000;
};
WatchTiming& WatchTimes();

// Serves the launch request when kvlaunch.dat exists: its text (when not
// empty) becomes the start page, the file is deleted and the browser
// launched without the running-browser check. True when there was one.
bool ServeLaunchRequest(engine::ThreadHandle& handle);

// The loop of worker 'g'; returns when stop is set.
void BrowserWatch(engine::ThreadHandle& handle);

}  // namespace launch
