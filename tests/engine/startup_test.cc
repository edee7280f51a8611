// Start-up in process on a program folder made by the install step: every
// step reached in order, the status lines, the settings read from the
// Configuration document and the environment, the hooks of the browser
// layer in their places; then the shutdown through the main window.
#include "engine/startup.h"

#include <stdlib.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "common/status_file.h"
#include "engine/hooks.h"
#include "engine/main_window.h"
#include "ledra/vxapi.h"
#include "os/files.h"
#include "os/process.h"
#include "platform/operation_table.h"
#include "tests/common/program_folder.h"

namespace {

std::vector<std::string> events;

std::string ReadFile(const std::string& path) {
  std::ifstream in(path);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

class StartUp : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = MakeTempFolder("startup");
    ASSERT_FALSE(folder_.empty());
    ASSERT_TRUE(InstallProgramFolder(folder_ + "/prog"));
    prog_ = folder_ + "/prog";
    old_folder_ = os::WorkingFolder();
    ASSERT_EQ(chdir(prog_.c_str()), 0);
    setenv("CORVANE_REGISTRY", (folder_ + "/registry").c_str(), 1);
    setenv("CORVANE_LOCALPORT", "0", 1);
    unsetenv("CORVANE_LEDRA_INI");
    platform::InstallAccessLayer();
    events.clear();
  }
  void TearDown() override {
    engine::Hooks() = engine::EngineHooks{};
    ASSERT_EQ(chdir(old_folder_.c_str()), 0);
    unsetenv("CORVANE_LOCALPORT");
    std::string command = "rm -rf '" + folder_ + "'";
    ASSERT_EQ(std::system(command.c_str()), 0);
  }
  std::string folder_, prog_, old_folder_;
};

void Record(int step, engine::SharedContext& shared) {
  std::string entry = std::to_string(step);
  if (step == 18 || step == 20)
    entry += ":" + ReadFile(shared.programDir + "/" + common::kStatusFile);
  events.push_back(entry);
}

TEST_F(StartUp, ReachesEveryStepInOrderAndShutsDownClean) {
  // The browser layer's steps, recorded where start-up and shutdown call them.
  engine::Hooks().replaceBrowserSettings = [](engine::ThreadHandle&, bool underline) {
    events.push_back(std::string("replace") + (underline ? "+underline" : ""));
  };
  engine::Hooks().ensurePreferredBrowser = [](engine::ThreadHandle&, std::string* browser) {
    *browser = "/usr/bin/test-browser";
    events.push_back("ensure");
    return true;
  };
  engine::Hooks().launchBrowser = [](engine::ThreadHandle&) { events.push_back("launch"); };
  engine::Hooks().closeBrowsers = [](engine::ThreadHandle&) { events.push_back("close"); };
  engine::Hooks().restoreBrowserSettings = [](engine::ThreadHandle&) { events.push_back("restore"); };
  engine::Hooks().clearBrowserCache = [](engine::ThreadHandle&) { events.push_back("clear"); };
  std::ofstream(prog_ + "/kvlaunch.dat") << "http://example.org/handed";

  os::TraceList trace;
  os::Window window(engine::kMainWindowClass, engine::kMainWindowTitle, engine::MainWindowProcedure);
  std::unique_ptr<engine::ThreadHandle> ui = engine::MakeThreadHandle("", nullptr);
  engine::MainWindow().ui = ui.get();
  engine::StartupOptions options;
  options.mainWindow = &window;
  options.traceList = &trace;
  options.traceOn = true;
  options.stepDone = Record;
  engine::StartupResult result = engine::StartUp(*ui, options);
  ASSERT_NE(result.shared, nullptr);
  engine::SharedContext& shared = *result.shared;

  std::vector<std::string> expected;
  for (int step = 1; step <= 20; ++step) {
    if (step == 8) expected.push_back("replace");
    if (step == 14) expected.push_back("ensure");
    if (step == 19) expected.push_back("launch");
    expected.push_back(std::to_string(step) + (step == 18 ? ": " : step == 20 ? ":Replicator ready, idle." : ""));
  }
  EXPECT_EQ(events, expected);
  EXPECT_TRUE(trace.Contains("\nSuccessful Vantix initialization."));
  EXPECT_EQ(shared.startUrl, "http://example.org/handed");
  EXPECT_FALSE(os::FileExists(prog_ + "/kvlaunch.dat"));
  EXPECT_EQ(shared.startTarget, "_top");
  EXPECT_EQ(shared.replicatorsAllowed, 3);
  EXPECT_EQ(shared.networkTimeout, 120);
  EXPECT_EQ(shared.linesInView, 30u);
  EXPECT_EQ(shared.dashboardState, 1);  // no registry value yet
  EXPECT_NE(shared.localPort, 0);
  EXPECT_EQ(shared.programDir, prog_);
  EXPECT_TRUE(os::FolderExists(prog_ + "/wtemp"));

  // The main window takes the context; destroying it shuts down.
  engine::AdoptSharedContext(std::move(result.shared));
  EXPECT_FALSE(engine::MainWindow().hideDashboardChecked);
  events.clear();
  engine::MainWindowProcedure(window, {os::MessageKind::kDestroy, 0, 0});
  EXPECT_EQ(events, (std::vector<std::string>{"close", "restore", "clear"}));
  EXPECT_TRUE(engine::MainWindow().workersEnded);
  EXPECT_EQ(engine::MainWindow().shared, nullptr);
  EXPECT_FALSE(os::FolderExists(prog_ + "/wtemp"));
  engine::MainWindow() = engine::MainWindowState{};
}

TEST_F(StartUp, SettingsComeFromTheConfigurationAndTheEnvironment) {
  ASSERT_EQ(_VXInit(0x45004, nullptr, nullptr, nullptr), kVXOk);
  ASSERT_EQ(VXSetEnvironmentString("$Corvane_LinesInView", "12", 1), kVXOk);
  ASSERT_EQ(VXSetEnvironmentString("$Corvane_Network_Timeout", "45", 1), kVXOk);
  ASSERT_EQ(VXSetEnvironmentString("$Corvane_Preferred_Browser", "/opt/b", 1), kVXOk);
  VXTerm(0);
  unsetenv("CORVANE_LOCALPORT");
  std::string ini = ReadFile(prog_ + "/ledra.ini");

  os::Window window(engine::kMainWindowClass, engine::kMainWindowTitle, engine::MainWindowProcedure);
  std::unique_ptr<engine::ThreadHandle> ui = engine::MakeThreadHandle("", nullptr);
  engine::MainWindow().ui = ui.get();
  engine::StartupOptions options;
  options.mainWindow = &window;
  options.commandLine = "RESTART";
  engine::StartupResult result = engine::StartUp(*ui, options);
  ASSERT_NE(result.shared, nullptr);
  engine::SharedContext& shared = *result.shared;
  EXPECT_EQ(shared.linesInView, 12u);
  EXPECT_EQ(shared.networkTimeout, 45);
  // LocalPort of the Configuration document, the port install chose.
  EXPECT_GT(shared.localPort, 1024);
  EXPECT_EQ(shared.startUrl, "file://" + prog_ + "/htmdata/wkspace.htm");
  EXPECT_EQ(shared.upstreamProxy, "");
  engine::AdoptSharedContext(std::move(result.shared));
  engine::MainWindowProcedure(window, {os::MessageKind::kDestroy, 0, 0});
  engine::MainWindow() = engine::MainWindowState{};
  // The preferred browser went to the registry and left the environment.
  std::string after = ReadFile(prog_ + "/ledra.ini");
  EXPECT_EQ(after.find("$Corvane_Preferred_Browser"), std::string::npos) << after;
  EXPECT_NE(ReadFile(folder_ + "/registry").find("/opt/b"), std::string::npos);
  EXPECT_EQ(after.find("$Corvane_Running"), std::string::npos) << after;
}

}  // namespace
