// Puts the browser layer into the request engine's hooks. corvex links this
// library whole, so the hooks are in place before main runs.
#include "launch/install.h"

#include "engine/hooks.h"
#include "engine/shared_context.h"
#include "launch/browser_launch.h"
#include "launch/browser_processes.h"
#include "launch/browser_watch.h"
#include "launch/chromium_family.h"
#include "launch/firefox_family.h"
#include "launch/preferred_browser.h"
#include "launch/proxy_environment.h"
#include "launch/proxy_settings.h"
#include "os/desktop.h"
#include "os/files.h"
#include "platform/configuration.h"
#include "platform/database_operation.h"
#include "platform/open_database.h"

namespace launch {

namespace {

constexpr char kCorvaneTitle[] = "Corvane";

void ReplaceSettings(engine::ThreadHandle& handle, bool disable_underline) {
  engine::SharedContext& shared = *handle.shared;
  FillBrowserKeys(shared.programDir, shared.mainWindow);
  RedirectResult result = RedirectBrowsers(shared.localPort, disable_underline);
  engine::Trace(&handle, "\nBrowsers pointed at localhost:" + std::to_string(shared.localPort) +
                             (result.netscapeWasRedirected || result.explorerWasRedirected
                                  ? " (they pointed there already)"
                                  : ""));
}

bool SavedProxy(engine::ThreadHandle& handle, std::string* proxy, std::string* overrides) {
  UpstreamChoice choice = ChooseUpstream(KindOfBrowser(PreferredBrowser()), LastRedirect());
  if (choice.fromConfiguration) return false;
  *proxy = choice.proxy;
  *overrides = choice.overrides;
  (void)platform::RunOnPlatformThread(handle, [&](engine::ThreadHandle& thread) {
    platform::OpenDatabase* config = platform::OpenDatabaseRecord(
        thread, platform::kLocalServer, platform::kConfigurationDatabase);
    if (config == nullptr || config->handle == 0) return 0;
    bool written = platform::WriteConfigurationItem(config->handle, "HTTPProxy", choice.proxy) &&
                   platform::WriteConfigurationItem(config->handle, "ProxyOverrides", choice.overrides);
    return written ? 1 : 0;
  });
  return true;
}

void Launch(engine::ThreadHandle& handle) {
  if (handle.shared != nullptr) FollowListenerPort(handle.shared->localPort);
  (void)EmptyBrowserCache();
  (void)LaunchBrowser(handle, true);
}

void Close(engine::ThreadHandle& handle) {
  if (handle.shared == nullptr) return;
  (void)CloseOurBrowsers(PreferredBrowser(), handle.shared->programDir + "/profiles");
}

void Restore(engine::ThreadHandle& handle) {
  RestoreBrowsers();
  // Our own Firefox profile follows the keys it was written from.
  if (handle.shared != nullptr && os::FolderExists(FirefoxProfileFolder(handle.shared->programDir)))
    (void)WriteFirefoxProfile(handle.shared->programDir);
}

}  // namespace

void FillBrowserKeys(const std::string& program_dir, const os::Window* owner) {
  EnvironmentProxy environment = ReadEnvironmentProxy();
  std::vector<std::string> problems = environment.problems;
  FillNetscapeKeys(program_dir, environment, &problems);
  FillExplorerKeys(program_dir, environment);
  for (const std::string& problem : problems)
    os::MessageBox(owner, problem, kCorvaneTitle, os::Icon::kExclamation, os::Buttons::kOk);
}

void InstallBrowserLayer() {
  engine::EngineHooks& hooks = engine::Hooks();
  hooks.replaceBrowserSettings = ReplaceSettings;
  hooks.ensurePreferredBrowser = EnsurePreferredBrowser;
  hooks.savedBrowserProxy = SavedProxy;
  hooks.launchBrowser = Launch;
  hooks.preferredBrowserDialog = ChoosePreferredBrowser;
  hooks.closeBrowsers = Close;
  hooks.restoreBrowserSettings = Restore;
  hooks.clearBrowserCache = [](engine::ThreadHandle&) { (void)EmptyBrowserCache(); };
  hooks.browserWatch = BrowserWatch;
}

namespace {
struct Installer {
  Installer() { InstallBrowserLayer(); }
} installer;
}  // namespace

}  // namespace launch
