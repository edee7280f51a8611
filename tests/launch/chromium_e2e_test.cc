// End to end with Debian's Chromium, headless: corvex launches it on the
// splash page, the page's requests reach corvex through its proxy setting
// (seen in corvex's trace), and quitting the browser makes the watch ask
// its first question, whose Yes shuts corvex down with the settings
// restored. Skipped where Chromium is not installed.
#include <signal.h>

#include <cctype>

#include "launch/browser_processes.h"
#include "launch/proxy_settings.h"
#include "tests/launch/launch_fixture.h"
#include "os/process.h"
#include "os/sync.h"

namespace {

constexpr char kChromium[] = "/usr/lib/chromium/chromium";

using ChromiumEndToEnd = LaunchFixture;

TEST_F(ChromiumEndToEnd, LaunchedThroughCorvexAndWatched) {
  if (access(kChromium, X_OK) != 0) GTEST_SKIP() << "no " << kChromium;
  std::string prog = folder_ + "/prog";
  setenv("CORVANE_BIN_DIR", CORVANE_BIN_DIR, 1);
  int code = -1;
  ASSERT_EQ(os::ProcessRun(CORVANE_SOURCE_DIR "/scripts/install", {prog}, 120000, &code),
            os::ProcessStatus::kOk);
  ASSERT_EQ(code, 0);
  // Its own name, so that only this browser counts as running (other
  // Chromiums on the machine are not ours to watch).
  std::string browser = folder_ + "/chromium-e2e";
  ASSERT_EQ(symlink(kChromium, browser.c_str()), 0);
  PutText(launch::kOwnKey, "Preferred Browser", browser);
  WriteFile(prog + "/kvlaunch.dat", "file://" + prog + "/htmdata/splash.htm");
  Answers("No recognized browser active=>Yes\n");
  std::string script =
      "cd '" + prog + "' && CORVANE_LOCALPORT=0 CORVANE_TRACE=1 CORVANE_WATCH_SETTLE_MS=1000 "
      "CORVANE_WATCH_TICK_MS=500 CORVANE_BROWSER_ARGS='--headless=new --no-sandbox --disable-gpu' "
      "exec ./corvex > out.txt 2> trace.txt";
  int corvex = 0;
  ASSERT_EQ(os::ProcessStart("/bin/sh", {"-c", script}, &corvex), os::ProcessStatus::kOk);
  auto eventually = [](auto condition, int seconds) {
    for (int i = 0; i < seconds * 10; ++i) {
      if (condition()) return true;
      os::SleepMs(100);
    }
    return false;
  };
  std::string trace;
  // The splash page refreshes to the catalogue, which only corvex serves
  // (the browser writes the host in lower case).
  bool reached = eventually([&] {
    trace = ReadFile(prog + "/trace.txt");
    for (char& c : trace) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return trace.find("creating event: get http://corvane.asledraclient/ ") != std::string::npos;
  }, 90);
  trace = ReadFile(prog + "/trace.txt");
  EXPECT_TRUE(reached) << trace;
  EXPECT_NE(trace.find("Browser started: " + browser + " file://" + prog + "/htmdata/splash.htm"),
            std::string::npos);
  // Quit the browser: the watch asks, the answer shuts corvex down.
  for (int pid : launch::RunningBrowsers(browser)) kill(pid, SIGTERM);
  bool ended = eventually([&] { return !os::ProcessIsRunning(corvex); }, 60);
  if (!ended) kill(corvex, SIGTERM);
  EXPECT_TRUE(ended) << ReadFile(prog + "/trace.txt");
  trace = ReadFile(prog + "/trace.txt");
  EXPECT_NE(trace.find("No recognized browser active. Shutdown Corvane?"), std::string::npos);
  EXPECT_EQ(Text(launch::kExplorerProxyKey, "ProxyServer"), "");  // restored
  for (int pid : launch::RunningBrowsers(browser)) kill(pid, SIGKILL);
}

}  // namespace
