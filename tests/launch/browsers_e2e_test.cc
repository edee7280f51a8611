// End to end with Debian's Chromium and Firefox ESR, headless: corvex
// launches the browser on the splash page, the page's requests reach corvex
// through the proxy setting it gave the browser (seen in corvex's trace),
// and quitting the browser makes the watch ask its first question, whose
// Yes shuts corvex down with the settings restored. A browser that is not
// installed is skipped.
#include <signal.h>

#include <cctype>

#include "launch/browser_processes.h"
#include "launch/proxy_settings.h"
#include "os/process.h"
#include "os/sync.h"
#include "tests/launch/launch_fixture.h"

namespace {

class BrowserEndToEnd : public LaunchFixture {
 protected:
  // The browser's processes: those whose command line names our profiles.
  std::vector<int> OurBrowserProcesses(const std::string& browser) {
    std::vector<int> ours;
    for (int pid : os::ProcessFindByName(browser.substr(browser.rfind('/') + 1))) ours.push_back(pid);
    for (int pid : launch::RunningBrowsers(browser)) ours.push_back(pid);
    for (const char* name : {"firefox-esr", "chromium"}) {
      for (int pid : os::ProcessFindByName(name)) {
        std::string line = ReadFile("/proc/" + std::to_string(pid) + "/cmdline");
        if (line.find(folder_ + "/prog/profiles/") != std::string::npos) ours.push_back(pid);
      }
    }
    return ours;
  }

  template <typename Condition>
  static bool Eventually(Condition condition, int seconds) {
    for (int i = 0; i < seconds * 10; ++i) {
      if (condition()) return true;
      os::SleepMs(100);
    }
    return false;
  }

  void Run(const char* binary, const std::string& name, const std::string& arguments,
           const char* restored_key, const char* restored_value, const char* restored_text) {
    if (access(binary, X_OK) != 0) GTEST_SKIP() << "no " << binary;
    std::string prog = folder_ + "/prog";
    setenv("CORVANE_BIN_DIR", CORVANE_BIN_DIR, 1);
    int code = -1;
    ASSERT_EQ(os::ProcessRun(CORVANE_SOURCE_DIR "/scripts/install", {prog}, 120000, &code),
              os::ProcessStatus::kOk);
    ASSERT_EQ(code, 0);
    // Its own name, so that only this browser counts as running (other
    // browsers on the machine are not ours to watch).
    std::string browser = folder_ + "/" + name;
    ASSERT_EQ(symlink(binary, browser.c_str()), 0);
    PutText(launch::kOwnKey, "Preferred Browser", browser);
    WriteFile(prog + "/kvlaunch.dat", "file://" + prog + "/htmdata/splash.htm");
    Answers("No recognized browser active=>Yes\n");
    std::string script = "cd '" + prog +
                         "' && CORVANE_LOCALPORT=0 CORVANE_TRACE=1 CORVANE_WATCH_SETTLE_MS=1000 "
                         "CORVANE_WATCH_TICK_MS=500 CORVANE_BROWSER_ARGS='" + arguments +
                         "' exec ./corvex > out.txt 2> trace.txt";
    int corvex = 0;
    ASSERT_EQ(os::ProcessStart("/bin/sh", {"-c", script}, &corvex), os::ProcessStatus::kOk);
    std::string trace;
    // The splash page refreshes to the catalogue, which only corvex serves
    // (browsers write the host in lower case).
    bool reached = Eventually([&] {
      trace = ReadFile(prog + "/trace.txt");
      for (char& c : trace) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
      return trace.find("creating event: get http://corvane.asledraclient/ ") != std::string::npos;
    }, 90);
    trace = ReadFile(prog + "/trace.txt");
    EXPECT_TRUE(reached) << trace;
    EXPECT_NE(trace.find("Browser started: " + browser + " file://" + prog + "/htmdata/splash.htm"),
              std::string::npos);
    // Quit the browser: the watch asks, the answer shuts corvex down.
    for (int pid : OurBrowserProcesses(browser)) kill(pid, SIGTERM);
    bool ended = Eventually([&] { return !os::ProcessIsRunning(corvex); }, 60);
    if (!ended) kill(corvex, SIGTERM);
    EXPECT_TRUE(ended) << ReadFile(prog + "/trace.txt");
    trace = ReadFile(prog + "/trace.txt");
    EXPECT_NE(trace.find("No recognized browser active. Shutdown Corvane?"), std::string::npos);
    EXPECT_EQ(Text(restored_key, restored_value), restored_text);
    for (int pid : OurBrowserProcesses(browser)) kill(pid, SIGKILL);
  }
};

TEST_F(BrowserEndToEnd, ChromiumLaunchedThroughCorvexAndWatched) {
  Run("/usr/lib/chromium/chromium", "chromium-e2e", "--headless=new --no-sandbox --disable-gpu",
      launch::kExplorerProxyKey, "ProxyServer", "");
}

TEST_F(BrowserEndToEnd, FirefoxLaunchedThroughCorvexAndWatched) {
  Run("/usr/lib/firefox-esr/firefox-esr", "firefox-e2e", "-headless", launch::kNetscapeProxyKey,
      "HTTP_Proxy", "");
  // Our own profile took the proxy setting; the user's profiles are untouched.
  EXPECT_NE(ReadFile(folder_ + "/prog/profiles/firefox/user.js").find("network.proxy.type"),
            std::string::npos);
  EXPECT_FALSE(os::FolderExists(home_ + "/.mozilla"));
}

}  // namespace
