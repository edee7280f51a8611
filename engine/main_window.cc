// The main window procedure and the shutdown sequence.
#include "engine/main_window.h"

#include <cstdio>
#include <memory>

#include "engine/hooks.h"
#include "engine/startup.h"
#include "os/files.h"
#include "os/process.h"
#include "os/registry.h"
#include "os/sync.h"
#include "platform/configuration.h"
#include "platform/database_operation.h"
#include "platform/open_database.h"

namespace engine {

namespace {

constexpr int kShutdownChecks = 7;
constexpr int kCheckIntervalMs = 1000;
std::unique_ptr<SharedContext> owned_shared;

void SetMenuCheck(MainWindowState& state) {
  if (state.shared == nullptr) return;
  state.hideDashboardChecked = state.shared->dashboardState == 0;
  state.menuCheckDone = true;
  if (state.shared->mainWindow != nullptr)
    state.shared->mainWindow->SetMenuChecked(kCommandHideDashboard, state.hideDashboardChecked);
}

void About(MainWindowState& state) {
  if (state.shared != nullptr) {
    state.shared->trace = state.shared->trace != 0 ? 0 : 1;
    state.traceListVisible = state.shared->trace == 1;
    if (state.shared->mainWindow != nullptr)
      state.shared->mainWindow->SetListVisible(state.traceListVisible);
  }
  os::MessageBox(state.shared != nullptr ? state.shared->mainWindow : nullptr, kAboutMessage,
                 kAboutTitle, os::Icon::kInformation, os::Buttons::kOk);
}

void HideDashboard(MainWindowState& state) {
  if (state.shared == nullptr) return;
  SharedContext& shared = *state.shared;
  shared.dashboardState = shared.dashboardState != 0 ? 0 : 1;
  os::RegistryKey key;
  if (os::RegistryCreateKey(os::RegistryRoot::kCurrentUser, kCorvaneKey, &key) ==
      os::RegistryStatus::kOk) {
    (void)os::RegistryWriteText(key, "DashboardState", std::to_string(shared.dashboardState));
    (void)os::RegistryFlush(key);
  }
  SetMenuCheck(state);
}

void CloseRequest(MainWindowState& state, os::Window& window) {
  if (!state.closingAsked) {
    state.closingAsked = true;
    os::MessageBox(&window, kFirstCloseMessage, kMainWindowTitle, os::Icon::kInformation,
                   os::Buttons::kOk);
    return;
  }
  if (os::MessageBox(&window, kCloseQuestion, kMainWindowTitle, os::Icon::kQuestion,
                     os::Buttons::kYesNo) == os::Answer::kYes) {
    os::PostDestroy(window);
  }
}

void Shutdown(MainWindowState& state) {
  if (state.shared == nullptr || state.ui == nullptr) return;
  SharedContext& shared = *state.shared;
  ThreadHandle& ui = *state.ui;
  PrepareShutdown(ui);
  shared.traceList = nullptr;
  SetStop(shared, kStopRequested);
  // Up to seven checks a second apart; each ends as soon as the last
  // worker has gone. A restart keeps the bound: the context is freed after.
  for (int check = 0; check < kShutdownChecks && WorkersAlive(shared) > 0; ++check) {
    shared.wake.WaitFor(kCheckIntervalMs, [&] { return WorkersAlive(shared) <= 0; });
  }
  state.workersEnded = WorkersAlive(shared) <= 0;
  bool restart = shared.restart != 0;
  if (!restart && Hooks().closeBrowsers != nullptr) Hooks().closeBrowsers(ui);
  std::string program = shared.programDir + "/" + kProgramName;
  CleanUp(ui);
  if (restart) {
    std::fflush(nullptr);
    os::SleepMs(kCheckIntervalMs);
    int pid = 0;
    state.restartStarted =
        os::ProcessStart(program, {kRestartArgument}, &pid) == os::ProcessStatus::kOk;
  }
}

}  // namespace

MainWindowState& MainWindow() {
  static MainWindowState state;
  return state;
}

void AdoptSharedContext(std::unique_ptr<SharedContext> shared) {
  owned_shared = std::move(shared);
  MainWindow().shared = owned_shared.get();
  SetMenuCheck(MainWindow());
}

void PrepareShutdown(ThreadHandle& handle) {
  if (handle.shared == nullptr) return;
  (void)platform::RunOnPlatformThread(handle, [](ThreadHandle& thread) {
    (void)platform::SetEnvironmentValue(platform::kEnvRunning, "");
    if (platform::OpenDatabase* web = thread.shared->webDatabase) {
      (void)platform::SetEnvironmentValue(platform::kEnvLastWebServer, web->server);
      (void)platform::SetEnvironmentValue(platform::kEnvLastWebDatabase, web->path);
    }
    return 1;
  });
}

void CleanUp(ThreadHandle& handle) {
  if (handle.shared == nullptr) return;
  SharedContext& shared = *handle.shared;
  if (Hooks().restoreBrowserSettings != nullptr) Hooks().restoreBrowserSettings(handle);
  if (Hooks().clearBrowserCache != nullptr) Hooks().clearBrowserCache(handle);
  std::string wtemp = shared.programDir + "/wtemp";
  os::SweepFolderByAge(wtemp, 0);
  os::RemoveFolder(wtemp);
  handle.Attach(nullptr);
  MainWindowState& state = MainWindow();
  if (state.shared == &shared) {
    state.shared = nullptr;
    // A worker that did not end still reads the context: keep it.
    if (!state.workersEnded) {
      (void)owned_shared.release();
    } else {
      owned_shared.reset();
    }
  }
}

void MainWindowProcedure(os::Window& window, const os::Message& message) {
  MainWindowState& state = MainWindow();
  switch (message.kind) {
    case os::MessageKind::kClose:
      CloseRequest(state, window);
      break;
    case os::MessageKind::kCommand:
      if (message.word == kCommandAbout) {
        About(state);
      } else if (message.word == kCommandPreferredBrowser) {
        if (Hooks().preferredBrowserDialog != nullptr && state.ui != nullptr)
          Hooks().preferredBrowserDialog(*state.ui);
      } else if (message.word == kCommandHideDashboard) {
        HideDashboard(state);
      }
      break;
    case os::MessageKind::kDestroy:
      Shutdown(state);
      os::PostQuit(window, 0);
      break;
    default:
      break;
  }
}

}  // namespace engine
