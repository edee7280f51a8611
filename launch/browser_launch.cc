// Launch of the preferred browser.
#include "launch/browser_launch.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <sstream>

#include "browser/action_context.h"
#include "browser/template_expander.h"
#include "engine/shared_context.h"
#include "launch/browser_processes.h"
#include "launch/chromium_family.h"
#include "launch/firefox_family.h"
#include "launch/preferred_browser.h"
#include "launch/registry_values.h"
#include "os/desktop.h"
#include "os/files.h"
#include "os/process.h"
#include "os/sync.h"
#include "platform/database_operation.h"

namespace launch {

namespace {

constexpr char kCorvaneTitle[] = "Corvane";

bool ReadWhole(const std::string& path, std::string* text) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::ostringstream out;
  out << in.rdbuf();
  *text = out.str();
  return true;
}

void SetPlatformString(engine::ThreadHandle& handle, const char* name, const std::string& value) {
  (void)platform::RunDatabaseOperation(handle, platform::kSetEnvironmentString,
                                       {reinterpret_cast<intptr_t>(name),
                                        reinterpret_cast<intptr_t>(value.c_str()), 1});
}

bool Named(const std::string& path, const char* family) {
  std::string name = path.substr(path.rfind('/') + 1);
  for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return name.find(family) != std::string::npos;
}

// CORVANE_BROWSER_ARGS: more arguments for the browser, separated by
// blanks (a headless run: "--headless=new --no-sandbox").
std::vector<std::string> ExtraArguments() {
  std::vector<std::string> words;
  if (const char* text = std::getenv("CORVANE_BROWSER_ARGS")) {
    std::istringstream in(text);
    std::string word;
    while (in >> word) words.push_back(word);
  }
  return words;
}

}  // namespace

LaunchTiming& LaunchTimes() {
  static LaunchTiming timing;
  return timing;
}

std::string TimeZoneText(long minutes_west) {
  if (minutes_west % 60 == 0) return std::to_string(minutes_west / 60);
  long whole = minutes_west < 0 ? -minutes_west : minutes_west;
  long extra = whole % 60;
  long hours = whole / 60;
  if ((extra != 30 && extra != 45) || minutes_west < -765 || minutes_west > 720) return "";
  char text[48];  // room for any long, which the checks above already bound
  std::snprintf(text, sizeof text, "%s%ld%02ld", minutes_west < 0 ? "-" : "", extra, hours);
  return text;
}

void WriteTimeZoneSettings(engine::ThreadHandle& handle) {
  tzset();
  SetPlatformString(handle, "ZONE_SET", "1");
  SetPlatformString(handle, "Timezone", TimeZoneText(timezone / 60));
  SetPlatformString(handle, "DST", daylight != 0 ? "1" : "0");
}

void WriteSplashPage(engine::ThreadHandle& handle) {
  engine::SharedContext& shared = *handle.shared;
  std::string ini;
  (void)ReadWhole(shared.programDir + "/ledra.ini", &ini);
  bool stand_alone = ini.find(kStandAloneMarker) != std::string::npos;
  if (stand_alone) WriteTimeZoneSettings(handle);
  std::string source;
  if (!ReadWhole(shared.programDir + "/" + (stand_alone ? kSplashTemplate : kNetworkSplashTemplate),
                 &source)) {
    engine::Trace(&handle, "\nNo splash template in htmdata");
  }
  std::string page;
  (void)platform::RunOnPlatformThread(handle, [&](engine::ThreadHandle& thread) {
    browser::ActionContext context;
    context.shared = thread.shared;
    context.handle = &thread;
    browser::ExpandTemplate(context, source, &page);
    return 1;
  });
  std::ofstream out(shared.programDir + "/" + kSplashPage, std::ios::binary | std::ios::trunc);
  out << page;
}

std::vector<std::string> BrowserCommand(const std::string& browser, const std::string& program_dir,
                                        const std::string& page) {
  std::vector<std::string> arguments;
  if (Named(browser, "firefox")) {
    arguments = FirefoxArguments(program_dir, page);
  } else if (Named(browser, "chrom")) {
    arguments = ChromiumArguments(program_dir, page);
  } else {
    arguments = {page};
  }
  std::vector<std::string> extra = ExtraArguments();
  arguments.insert(arguments.end() - 1, extra.begin(), extra.end());
  return arguments;
}

int LaunchBrowser(engine::ThreadHandle& handle, bool check_first) {
  engine::SharedContext& shared = *handle.shared;
  WriteSplashPage(handle);
  std::string browser = PreferredBrowser();
  if (browser.empty() || !os::FileExists(browser)) {
    os::SleepMs(LaunchTimes().no_browser_ms);
    return 0;
  }
  // Checked only when there is a browser to launch: a program running
  // standalone has no reason to end because the user has a browser open.
  if (check_first && !RunningBrowsers(browser).empty()) {
    os::MessageBox(shared.mainWindow, kExitBrowsersMessage, kCorvaneTitle, os::Icon::kInformation,
                   os::Buttons::kOk);
    os::SleepMs(LaunchTimes().before_exit_ms);
    // An orderly end: shutdown restores the browsers' settings.
    if (shared.mainWindow != nullptr) os::PostDestroy(*shared.mainWindow);
    return 0;
  }
  std::string page = !shared.startUrl.empty()
                         ? shared.startUrl
                         : "file://" + shared.programDir + "/" + kSplashPage;
  if (Named(browser, "firefox") && !WriteFirefoxProfile(shared.programDir))
    engine::Trace(&handle, "\nCould not write the browser profile " + FirefoxProfileFolder(shared.programDir));
  int pid = 0;
  os::ProcessStatus status = os::ProcessStart(browser, BrowserCommand(browser, shared.programDir, page), &pid);
  if (status != os::ProcessStatus::kOk) {
    os::MessageBox(shared.mainWindow,
                   "The browser " + browser + " could not be started (" +
                       os::ProcessStatusText(status) + ").",
                   kCorvaneTitle, os::Icon::kExclamation, os::Buttons::kOk);
    return 0;
  }
  NoteStartedBrowser(pid);
  engine::Trace(&handle, "\nBrowser started: " + browser + " " + page);
  os::SleepMs(LaunchTimes().after_launch_ms);
  return 1;
}

std::string BrowserCacheFolder() {
  BrowserKind kind = KindOfBrowser(PreferredBrowser());
  RegKey key;
  std::string folder;
  if (kind == BrowserKind::kExplorer && OpenKey(Hklm(), kExplorerCacheKey, &key))
    (void)ReadText(key, "Directory", &folder);
  if (kind == BrowserKind::kNetscape && OpenKey(Hkcu(), kNetscapeCacheKey, &key))
    (void)ReadText(key, "Cache Dir", &folder);
  return folder;
}

int EmptyBrowserCache() {
  std::string folder = BrowserCacheFolder();
  if (folder.empty() || !os::FolderExists(folder)) return 0;
  return os::ClearFolder(folder);
}

}  // namespace launch
