// Worker 'g'.
#include "launch/browser_watch.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "engine/shared_context.h"
#include "engine/startup.h"
#include "launch/browser_launch.h"
#include "launch/browser_processes.h"
#include "launch/preferred_browser.h"
#include "launch/proxy_settings.h"
#include "os/desktop.h"

namespace launch {

namespace {

constexpr char kCorvaneTitle[] = "Corvane";

bool Ask(engine::SharedContext& shared, const char* question) {
  return os::MessageBox(shared.mainWindow, question, kCorvaneTitle, os::Icon::kQuestion,
                        os::Buttons::kYesNo) == os::Answer::kYes;
}

// Waits up to ms; true when stop was set meanwhile.
bool Pause(engine::SharedContext& shared, int ms) {
  return shared.wake.WaitFor(ms, [&] { return shared.stop != 0; });
}

}  // namespace

WatchTiming& WatchTimes() {
  static WatchTiming timing = [] {
    WatchTiming t;
    auto env = [](const char* name, int fallback) {
      const char* text = std::getenv(name);
      return text != nullptr && *text != 0 ? std::atoi(text) : fallback;
    };
    t.settle_ms = env("CORVANE_WATCH_SETTLE_MS", t.settle_ms);
    t.tick_ms = env("CORVANE_WATCH_TICK_MS", t.tick_ms);
    t.after_answer_ms = env("CORVANE_WATCH_AFTER_MS", t.after_answer_ms);
    return t;
  }();
  return timing;
}

bool ServeLaunchRequest(engine::ThreadHandle& handle) {
  engine::SharedContext& shared = *handle.shared;
  std::string path = shared.programDir + "/" + engine::kLaunchFile;
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::ostringstream text;
  text << in.rdbuf();
  in.close();
  if (!text.str().empty()) shared.startUrl = text.str();
  std::remove(path.c_str());
  engine::Trace(&handle, "\nLaunch request: " + text.str());
  (void)LaunchBrowser(handle, false);
  return true;
}

void BrowserWatch(engine::ThreadHandle& handle) {
  engine::SharedContext& shared = *handle.shared;
  bool asked = false;
  FollowListenerPort(shared.localPort);  // a restart launched nothing that did
  (void)ServeLaunchRequest(handle);
  if (Pause(shared, WatchTimes().settle_ms)) return;
  while (shared.stop == 0) {
    if (Pause(shared, WatchTimes().tick_ms)) return;
    if (!asked && RunningBrowsers(PreferredBrowser()).empty()) {
      asked = true;
      if (Ask(shared, kNoBrowserQuestion)) {
        if (shared.mainWindow != nullptr) os::PostDestroy(*shared.mainWindow);
      } else if (Ask(shared, kLaunchQuestion)) {
        asked = false;
        (void)LaunchBrowser(handle, true);
        if (Pause(shared, WatchTimes().after_answer_ms)) return;
      } else if (Ask(shared, kScanQuestion)) {
        asked = false;
        if (Pause(shared, WatchTimes().after_answer_ms)) return;
      } else {
        os::MessageBox(shared.mainWindow, kStandaloneNotice, kCorvaneTitle, os::Icon::kInformation,
                       os::Buttons::kOk);
      }
    }
    (void)ServeLaunchRequest(handle);
  }
}

}  // namespace launch
