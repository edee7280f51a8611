// The /proc scan for browsers.
#include "launch/browser_processes.h"

#include <signal.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <set>
#include <sstream>

#include "os/process.h"
#include "os/sync.h"

namespace launch {

namespace {

constexpr const char* kKnownNames[] = {"firefox", "firefox-esr", "firefox-bin", "chromium",
                                       "chromium-browser", "chrome", "google-chrome",
                                       "google-chrome-stable"};
constexpr int kCloseRounds = 100;
constexpr int kCloseRoundMs = 100;

std::mutex started_mutex;
std::set<int> started;  // guarded by started_mutex

std::string CommandLineOf(int pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/cmdline", std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

}  // namespace

std::vector<std::string> KnownBrowserNames(const std::string& preferred_browser) {
  std::vector<std::string> names;
  if (const char* list = std::getenv("CORVANE_BROWSER_NAMES")) {
    std::stringstream in(list);
    std::string name;
    while (std::getline(in, name, ',')) {
      if (!name.empty()) names.push_back(name);
    }
  } else {
    names.assign(std::begin(kKnownNames), std::end(kKnownNames));
  }
  std::string own = preferred_browser.substr(preferred_browser.rfind('/') + 1);
  if (!own.empty() && std::find(names.begin(), names.end(), own) == names.end()) names.push_back(own);
  return names;
}

std::vector<int> RunningBrowsers(const std::string& preferred_browser) {
  std::vector<int> pids;
  for (const std::string& name : KnownBrowserNames(preferred_browser)) {
    for (int pid : os::ProcessFindByName(name)) pids.push_back(pid);
  }
  std::sort(pids.begin(), pids.end());
  pids.erase(std::unique(pids.begin(), pids.end()), pids.end());
  return pids;
}

void NoteStartedBrowser(int pid) {
  std::lock_guard<std::mutex> guard(started_mutex);
  started.insert(pid);
}

int CloseOurBrowsers(const std::string& preferred_browser, const std::string& our_folder) {
  int asked = 0;
  for (int round = 0; round < kCloseRounds; ++round) {
    std::vector<int> ours;
    {
      std::lock_guard<std::mutex> guard(started_mutex);
      for (auto it = started.begin(); it != started.end();) {
        if (os::ProcessIsRunning(*it)) {
          ours.push_back(*it);
          ++it;
        } else {
          it = started.erase(it);
        }
      }
    }
    if (!our_folder.empty()) {
      for (int pid : RunningBrowsers(preferred_browser)) {
        if (CommandLineOf(pid).find(our_folder + "/") != std::string::npos) ours.push_back(pid);
      }
    }
    std::sort(ours.begin(), ours.end());
    ours.erase(std::unique(ours.begin(), ours.end()), ours.end());
    if (ours.empty()) break;
    for (int pid : ours) {
      if (kill(pid, SIGTERM) == 0 && round == 0) ++asked;
    }
    os::SleepMs(kCloseRoundMs);
  }
  return asked;
}

}  // namespace launch
