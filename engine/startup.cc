// Start-up, steps 1 to 20.
#include "engine/startup.h"

#include <strings.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>

#include "common/status_file.h"
#include "engine/event_string.h"
#include "engine/hooks.h"
#include "engine/listener.h"
#include "engine/url_mapping.h"
#include "os/files.h"
#include "os/registry.h"
#include "platform/configuration.h"
#include "platform/database_operation.h"
#include "platform/open_database.h"
#include "platform/view_records.h"

namespace engine {

namespace {

constexpr char kCorvaneTitle[] = "Corvane";
constexpr int kWorkspaceOperation = 28;
constexpr int kStopWaitMs = 7000;
const char* const kResortedViews[] = {"by Category", "by Date", "by Name", "by URL"};

uint16_t ReadDashboardState() {
  os::RegistryKey key;
  std::string text;
  if (os::RegistryOpenKey(os::RegistryRoot::kCurrentUser, kCorvaneKey, &key) !=
          os::RegistryStatus::kOk ||
      os::RegistryReadText(key, "DashboardState", &text) != os::RegistryStatus::kOk) {
    return 1;
  }
  return static_cast<uint16_t>(std::atoi(text.c_str()));
}

std::string GetEnvironment(ThreadHandle& ui, const char* name) {
  char value[platform::kEnvironmentBufferSize] = {};
  (void)platform::RunDatabaseOperation(
      ui, platform::kGetEnvironmentString,
      {reinterpret_cast<intptr_t>(name), static_cast<intptr_t>(sizeof value),
       reinterpret_cast<intptr_t>(value)});
  return value;
}

void SetEnvironment(ThreadHandle& ui, const char* name, const std::string& value) {
  (void)platform::RunDatabaseOperation(
      ui, platform::kSetEnvironmentString,
      {reinterpret_cast<intptr_t>(name), reinterpret_cast<intptr_t>(value.c_str()), 1});
}

long NumberOr(const std::string& text, long fallback) {
  if (text.empty()) return fallback;
  return std::strtol(text.c_str(), nullptr, 10);
}

bool ReadWholeFile(const std::string& path, std::string* text) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::ostringstream out;
  out << in.rdbuf();
  *text = out.str();
  return true;
}

// Start-up cannot go on: stop the platform thread, take back the folder
// made for reply files, and leave the program.
StartupResult EndStartUp(ThreadHandle& ui, std::unique_ptr<SharedContext> shared, int exit_code) {
  SetStop(*shared, kStopRequested);
  bool ended = shared->wake.WaitFor(kStopWaitMs, [&] { return WorkersAlive(*shared) <= 0; });
  os::RemoveFolder(shared->programDir + "/wtemp");
  ui.Attach(nullptr);
  // A thread that did not end still reads the context: keep it.
  if (!ended) (void)shared.release();
  StartupResult result;
  result.exitNow = true;
  result.exitCode = exit_code;
  return result;
}

}  // namespace

int PortOverride() {
  const char* text = std::getenv("CORVANE_LOCALPORT");
  if (text == nullptr || *text == 0) return -1;
  char* end = nullptr;
  long port = std::strtol(text, &end, 10);
  if (*end != 0 || port < 0 || port > 65535) return -2;
  return static_cast<int>(port);
}

StartupResult StartUp(ThreadHandle& ui, const StartupOptions& options) {
  auto done = [&](int step, SharedContext& shared) {
    if (options.stepDone != nullptr) options.stepDone(step, shared);
  };

  // 1. The shared context with its three locks (made with it).
  auto shared = std::make_unique<SharedContext>();
  shared->trace = options.traceOn ? 1 : 0;
  shared->mainWindow = options.mainWindow;
  shared->traceList = options.traceList;
  ui.Attach(shared.get());
  if (const char* address = std::getenv("CORVANE_LISTEN_ADDRESS"); address && *address)
    shared->listenAddress = address;
  done(1, *shared);

  // 2. The program folder. Linux paths begin with "/", so "file://" and
  // the folder make a complete URL.
  shared->programDir = os::WorkingFolder();
  shared->programDirUrl = shared->programDir;
  if (!os::CreateFolder(shared->programDir + "/wtemp")) {
    Trace(&ui, "\nCould not create " + shared->programDir + "/wtemp");
  }
  done(2, *shared);

  // 3.
  shared->dashboardState = ReadDashboardState();
  done(3, *shared);

  // 4. The platform thread, before anything touches the platform.
  if (!StartWorker('f', 1, shared.get(), "")) {
    ui.Attach(nullptr);
    os::RemoveFolder(shared->programDir + "/wtemp");
    return StartupResult{};
  }
  done(4, *shared);

  // 5. The configuration database.
  platform::OpenDatabase* configuration = nullptr;
  int32_t config_handle =
      platform::RunDatabaseOperation(ui, platform::kOpenDatabase,
                                     {reinterpret_cast<intptr_t>(platform::kLocalServer),
                                      reinterpret_cast<intptr_t>(platform::kConfigurationDatabase),
                                      reinterpret_cast<intptr_t>(&configuration)});
  if (config_handle <= 0) {
    os::MessageBox(options.mainWindow, platform::kMissingConfigurationMessage, kCorvaneTitle,
                   os::Icon::kExclamation, os::Buttons::kOk);
    return EndStartUp(ui, std::move(shared), 1);
  }
  done(5, *shared);

  // 6. The page-replica database of the last run.
  {
    std::string path = GetEnvironment(ui, platform::kEnvLastWebDatabase);
    std::string server = GetEnvironment(ui, platform::kEnvLastWebServer);
    if (path.empty()) path = platform::EnvironmentDefault(platform::kEnvLastWebDatabase);
    if (server.empty()) server = platform::EnvironmentDefault(platform::kEnvLastWebServer);
    (void)platform::RunDatabaseOperation(
        ui, platform::kOpenDatabase,
        {reinterpret_cast<intptr_t>(server.c_str()), reinterpret_cast<intptr_t>(path.c_str())});
  }
  done(6, *shared);

  // 7. The Configuration document.
  std::map<std::string, std::string> items;
  (void)platform::RunOnPlatformThread(ui, [&](ThreadHandle&) {
    return platform::ReadConfiguration(static_cast<VXHandle>(config_handle), &items) ? 1 : 0;
  });
  int port = PortOverride();
  if (port < 0) {
    long configured = NumberOr(items["LocalPort"], kDefaultLocalPort);
    port = configured > 0 && configured <= 65535 ? static_cast<int>(configured) : kDefaultLocalPort;
  }
  shared->localPort = static_cast<uint16_t>(port);
  bool disable_underline =
      !items["DisableUnderline"].empty() && items["DisableUnderline"][0] == 'Y';
  if (!items["ClassicURLs"].empty() &&
      (items["ClassicURLs"][0] == 'Y' || items["ClassicURLs"][0] == 'y'))
    SetClassicUrls(true);
  done(7, *shared);

  // 8.
  if (Hooks().replaceBrowserSettings != nullptr)
    Hooks().replaceBrowserSettings(ui, disable_underline);
  done(8, *shared);

  // 9.
  SetEnvironment(ui, platform::kEnvRunning, "TRUE");
  done(9, *shared);

  // 10. The start page: a URL handed over by a later start wins.
  shared->startUrl = items["StartupURL"];
  std::string launch_path = shared->programDir + "/" + kLaunchFile;
  std::string handed_over;
  if (ReadWholeFile(launch_path, &handed_over)) {
    shared->startUrl = handed_over;
    std::remove(launch_path.c_str());
  }
  shared->startTarget = "_top";
  done(10, *shared);

  // 11.
  shared->replicatorsAllowed =
      static_cast<uint16_t>(NumberOr(GetEnvironment(ui, platform::kEnvReplicatorsAllowed), 3));
  shared->networkTimeout =
      static_cast<int16_t>(NumberOr(GetEnvironment(ui, platform::kEnvNetworkTimeout), 120));
  shared->linesInView =
      static_cast<uint32_t>(NumberOr(GetEnvironment(ui, platform::kEnvLinesInView), 30));
  done(11, *shared);

  // 12.
  if (std::string browser = GetEnvironment(ui, platform::kEnvPreferredBrowser); !browser.empty()) {
    os::RegistryKey key;
    if (os::RegistryCreateKey(os::RegistryRoot::kCurrentUser, kProxyInformationKey, &key) ==
        os::RegistryStatus::kOk) {
      (void)os::RegistryWriteText(key, "Preferred Browser", browser);
    }
    SetEnvironment(ui, platform::kEnvPreferredBrowser, "");
  }
  done(12, *shared);

  // 13. Re-sort the Favourites views when their sorting was changed.
  if (!GetEnvironment(ui, platform::kEnvPageSortingChanged).empty()) {
    SetEnvironment(ui, platform::kEnvPageSortingChanged, "");
    int32_t web_handle = platform::RunOnPlatformThread(ui, [](ThreadHandle& thread) {
      platform::OpenDatabase* web = thread.shared->webDatabase;
      return web != nullptr ? static_cast<int32_t>(web->handle) : 0;
    });
    if (web_handle > 0 &&
        os::MessageBox(options.mainWindow, kPageSortingQuestion, kCorvaneTitle, os::Icon::kQuestion,
                       os::Buttons::kYesNo) == os::Answer::kYes) {
      shared->resorting = 1;
      for (const char* view : kResortedViews) {
        (void)platform::RunDatabaseOperation(ui, platform::kGetViewRecordByName,
                                             {web_handle, reinterpret_cast<intptr_t>(view)});
      }
      shared->resorting = 0;
    }
  }
  done(13, *shared);

  // 14. The preferred browser and the upstream proxy.
  if (Hooks().ensurePreferredBrowser != nullptr) {
    std::string browser;
    if (!Hooks().ensurePreferredBrowser(ui, &browser)) {
      os::MessageBox(options.mainWindow, kNoBrowserMessage, kCorvaneTitle, os::Icon::kInformation,
                     os::Buttons::kOk);
    } else {
      (void)platform::RunOnPlatformThread(ui, [&](ThreadHandle&) {
        return platform::WriteConfigurationItem(static_cast<VXHandle>(config_handle),
                                                "PreferredBrowser", browser)
                   ? 1
                   : 0;
      });
    }
  }
  if (Hooks().savedBrowserProxy == nullptr ||
      !Hooks().savedBrowserProxy(ui, &shared->upstreamProxy, &shared->proxyOverrides)) {
    shared->upstreamProxy = items["HTTPProxy"];
    shared->proxyOverrides = items["ProxyOverrides"];
  }
  done(14, *shared);

  // 15.
  Trace(&ui, kVantixReadyTrace);
  done(15, *shared);

  // 16.
  SetUpListener(ui);
  done(16, *shared);

  // 17. The workspace page.
  {
    std::string workspace = shared->programDir + "/htmdata/wkspace.htm";
    (void)platform::RunDatabaseOperation(ui, kWorkspaceOperation,
                                         {reinterpret_cast<intptr_t>(workspace.c_str())});
  }
  done(17, *shared);

  // 18.
  (void)common::WriteStatusLine(" ", shared->programDir);
  done(18, *shared);

  // 19.
  if (strcasecmp(options.commandLine.c_str(), "Restart") == 0) {
    os::MessageBox(options.mainWindow, kResetCompleteMessage, kCorvaneTitle, os::Icon::kInformation,
                   os::Buttons::kOk);
  } else if (Hooks().launchBrowser != nullptr) {
    Hooks().launchBrowser(ui);
  }
  done(19, *shared);

  // 20.
  (void)common::WriteStatusLine(kIdleStatus, shared->programDir);
  done(20, *shared);

  StartupResult result;
  result.shared = std::move(shared);
  return result;
}

}  // namespace engine
