// The preferred browser and its chooser.
#include "launch/preferred_browser.h"

#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <mutex>
#include <sys/stat.h>

#include "engine/shared_context.h"
#include "engine/thread_handle.h"
#include "launch/registry_values.h"
#include "os/desktop.h"
#include "os/dialog.h"

namespace launch {

namespace {

constexpr const char* kPathBrowsers[] = {"firefox-esr", "firefox", "chromium", "google-chrome"};
constexpr char kCorvaneTitle[] = "Corvane";

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

}  // namespace

BrowserKind KindOfBrowser(const std::string& path) {
  std::string lower = Lower(path);
  if (lower.find("iexplore") != std::string::npos) return BrowserKind::kExplorer;
  if (lower.find("netscape") != std::string::npos) return BrowserKind::kNetscape;
  // The program's own name decides before the folders it lives in.
  size_t slash = lower.rfind('/');
  std::string name = slash == std::string::npos ? lower : lower.substr(slash + 1);
  for (const std::string& text : {name, lower}) {
    if (text.find("firefox") != std::string::npos) return BrowserKind::kNetscape;
    if (text.find("chrom") != std::string::npos) return BrowserKind::kExplorer;
  }
  return BrowserKind::kUnknown;
}

std::string PreferredBrowser() {
  RegKey key;
  std::string path;
  if (OpenKey(Hkcu(), kOwnKey, &key)) (void)ReadText(key, kPreferredBrowserValue, &path);
  if (path.size() > kPreferredBrowserBytes) path.resize(kPreferredBrowserBytes);
  return path;
}

void SetPreferredBrowser(const std::string& path) {
  RegKey key = CreateKey(Hkcu(), kOwnKey);
  WriteText(key, kPreferredBrowserValue, path);
  Flush(key);
}

bool RunnableProgram(const std::string& path) {
  struct stat info;
  return !path.empty() && stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
         access(path.c_str(), X_OK) == 0;
}

std::vector<std::string> BrowsersOnPath() {
  std::vector<std::string> found;
  const char* path = std::getenv("PATH");
  std::string folders = path != nullptr ? path : "/usr/local/bin:/usr/bin:/bin";
  for (const char* name : kPathBrowsers) {
    size_t start = 0;
    while (start <= folders.size()) {
      size_t end = folders.find(':', start);
      if (end == std::string::npos) end = folders.size();
      std::string candidate = end > start ? folders.substr(start, end - start) : std::string(".");
      candidate.append("/").append(name);
      if (RunnableProgram(candidate)) {
        found.push_back(candidate);
        break;
      }
      start = end + 1;
    }
  }
  return found;
}

void ChoosePreferredBrowser(engine::ThreadHandle& handle) {
  engine::SharedContext* shared = handle.shared;
  std::unique_lock<os::Lock> dialog_lock;
  if (shared != nullptr) dialog_lock = std::unique_lock<os::Lock>(shared->queueLock);
  std::vector<std::string> proposals;
  std::string current = PreferredBrowser();
  if (!current.empty())
    proposals.push_back(current);
  else
    proposals = BrowsersOnPath();
  std::string chosen = proposals.empty() ? "" : proposals.front();
  const os::Window* owner = shared != nullptr ? shared->mainWindow : nullptr;
  if (!os::ChooseOpenFile(owner, kChooseBrowserTitle, kChooseBrowserFilter, &chosen, proposals))
    return;
  if (chosen.size() >= kChosenPathBytes) {
    os::MessageBox(owner, "The path of the chosen browser is longer than 511 bytes; it is not kept.",
                   kCorvaneTitle, os::Icon::kExclamation, os::Buttons::kOk);
    return;
  }
  SetPreferredBrowser(chosen);
}

bool EnsurePreferredBrowser(engine::ThreadHandle& handle, std::string* browser) {
  std::string path = PreferredBrowser();
  if (!RunnableProgram(path)) {
    if (!path.empty()) {
      const os::Window* owner = handle.shared != nullptr ? handle.shared->mainWindow : nullptr;
      os::MessageBox(owner, "The preferred browser " + path + " is missing or cannot be run.",
                     kCorvaneTitle, os::Icon::kExclamation, os::Buttons::kOk);
    }
    ChoosePreferredBrowser(handle);
    path = PreferredBrowser();
  }
  if (!RunnableProgram(path)) return false;
  *browser = path;
  return true;
}

}  // namespace launch
