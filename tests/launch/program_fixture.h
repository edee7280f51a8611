// A program folder made by the install step, start-up run in process with
// the browser layer in the engine's hooks, and stand-in browsers: scripts
// that append their arguments to "<script>.args" (one per line, each launch
// ended by "--") and, when asked to, keep running until "<script>.stop"
// exists.
#pragma once

#include "engine/hooks.h"
#include "engine/main_window.h"
#include "engine/startup.h"
#include "launch/browser_launch.h"
#include "launch/browser_processes.h"
#include "launch/browser_watch.h"
#include "launch/install.h"
#include "launch/preferred_browser.h"
#include "os/process.h"
#include "os/sync.h"
#include "platform/operation_table.h"
#include "tests/common/program_folder.h"
#include "tests/launch/launch_fixture.h"

class ProgramFixture : public LaunchFixture {
 protected:
  void SetUp() override {
    LaunchFixture::SetUp();
    prog_ = folder_ + "/prog";
    ASSERT_TRUE(InstallProgramFolder(prog_));
    old_folder_ = os::WorkingFolder();
    ASSERT_EQ(chdir(prog_.c_str()), 0);
    setenv("CORVANE_LOCALPORT", "0", 1);
    unsetenv("CORVANE_LEDRA_INI");
    // The access layer's hooks open and close the databases: cleared hooks
    // first, so that its hooks stay.
    engine::Hooks() = engine::EngineHooks{};
    platform::InstallAccessLayer();
    launch::InstallBrowserLayer();
    launch::LaunchTimes() = {0, 0, 0};
    os::SetDesktopTrace(&trace_);
  }

  void TearDown() override {
    if (started_) Shutdown();
    os::SetDesktopTrace(nullptr);
    engine::Hooks() = engine::EngineHooks{};
    engine::MainWindow() = engine::MainWindowState{};
    unsetenv("CORVANE_LOCALPORT");
    ASSERT_EQ(chdir(old_folder_.c_str()), 0);
    LaunchFixture::TearDown();
  }

  // A stand-in browser named name in the test folder, made the preferred one.
  std::string StandIn(const std::string& name, bool keep_running) {
    std::string path = folder_ + "/" + name;
    std::string script = "#!/bin/sh\nfor a in \"$@\"; do printf '%s\\n' \"$a\"; done >> \"$0.args\"\n"
                         "echo -- >> \"$0.args\"\n";
    if (keep_running) script += "while [ ! -e \"$0.stop\" ]; do sleep 0.05; done\n";
    WriteFile(path, script, true);
    launch::SetPreferredBrowser(path);
    return path;
  }

  engine::SharedContext& Start(const std::string& command_line = "") {
    ui_ = engine::MakeThreadHandle("", nullptr);
    engine::MainWindow().ui = ui_.get();
    engine::StartupOptions options;
    options.mainWindow = &window_;
    options.traceList = &trace_;
    options.traceOn = true;
    options.commandLine = command_line;
    engine::StartupResult result = engine::StartUp(*ui_, options);
    EXPECT_NE(result.shared, nullptr);
    shared_ = result.shared.get();
    engine::AdoptSharedContext(std::move(result.shared));
    started_ = true;
    return *shared_;
  }

  void Shutdown() {
    started_ = false;
    engine::MainWindowProcedure(window_, {os::MessageKind::kDestroy, 0, 0});
  }

  // Waits up to 20 s for the condition.
  template <typename Condition>
  static bool Eventually(Condition condition) {
    for (int i = 0; i < 1000; ++i) {
      if (condition()) return true;
      os::SleepMs(20);
    }
    return condition();
  }

  int Count(const std::string& text) const {
    int n = 0;
    for (const std::string& line : trace_.Lines()) n += line.find(text) != std::string::npos ? 1 : 0;
    return n;
  }

  std::string prog_, old_folder_;
  os::TraceList trace_;
  os::Window window_{engine::kMainWindowClass, engine::kMainWindowTitle, engine::MainWindowProcedure};
  std::unique_ptr<engine::ThreadHandle> ui_;
  engine::SharedContext* shared_ = nullptr;
  bool started_ = false;
};
