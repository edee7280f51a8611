// Start-up and shutdown through the browser layer on an installed program
// folder, with stand-in browsers: the upstream proxy from the user's
// environment, the exact launch, the splash page, our Firefox profile, the
// cache emptied, the settings restored; and the browser watch with scripted
// answers.
#include <map>

#include "engine/event_string.h"
#include "engine/instance.h"
#include "platform/configuration.h"
#include "platform/database_operation.h"
#include "platform/open_database.h"
#include "tests/launch/program_fixture.h"

namespace {

std::string ConfigurationItem(engine::ThreadHandle& handle, const char* item) {
  std::string value = "<absent>";
  (void)platform::RunOnPlatformThread(handle, [&](engine::ThreadHandle& thread) {
    platform::OpenDatabase* config = platform::OpenDatabaseRecord(thread, platform::kLocalServer,
                                                                  platform::kConfigurationDatabase);
    std::map<std::string, std::string> items;
    if (config != nullptr && platform::ReadConfiguration(config->handle, &items) && items.count(item))
      value = items[item];
    return 1;
  });
  return value;
}

using LaunchProgram = ProgramFixture;

TEST_F(LaunchProgram, StartUpRedirectsLaunchesAndShutdownRestores) {
  std::string browser = StandIn("firefox-rec", false);
  setenv("http_proxy", "http://upstream.example:3128/", 1);
  setenv("no_proxy", "intranet.example", 1);
  engine::SharedContext& shared = Start();
  ASSERT_FALSE(engine::MainWindow().shared == nullptr);
  std::string port = std::to_string(shared.localPort);

  // The environment's proxy became corvex's upstream and went into the
  // Configuration document; the browser was pointed at corvex.
  EXPECT_EQ(shared.upstreamProxy, "upstream.example:3128");
  EXPECT_EQ(shared.proxyOverrides, "intranet.example");
  EXPECT_EQ(ConfigurationItem(*ui_, "HTTPProxy"), "upstream.example:3128");
  EXPECT_EQ(ConfigurationItem(*ui_, "ProxyOverrides"), "intranet.example");
  EXPECT_EQ(ConfigurationItem(*ui_, "PreferredBrowser"), browser);
  EXPECT_EQ(Text(launch::kNetscapeProxyKey, "HTTP_Proxy"), "localhost");

  // Launched once, on the start page, with our own profile.
  std::string profile = prog_ + "/profiles/firefox";
  ASSERT_TRUE(Eventually([&] { return ReadFile(browser + ".args").find("--") != std::string::npos; }));
  EXPECT_EQ(ReadFile(browser + ".args"),
            "-profile\n" + profile + "\n-no-remote\n" + shared.startUrl + "\n--\n");
  EXPECT_NE(ReadFile(profile + "/user.js").find("user_pref(\"network.proxy.http_port\", " + port + ");"),
            std::string::npos);
  // The splash page: the network template, expanded.
  std::string splash = ReadFile(prog_ + "/htmdata/splash.htm");
  EXPECT_NE(splash.find("Program folder: " + prog_ + " "), std::string::npos) << splash;
  EXPECT_NE(splash.find("Ledra servers of your network"), std::string::npos);
  EXPECT_EQ(splash.find("$WCTX_"), std::string::npos);

  // Shutdown empties our profile's cache and gives the keys back.
  std::string cache = prog_ + "/profiles/firefox/cache/cache2/entries";
  ASSERT_EQ(std::system(("mkdir -p '" + cache + "'").c_str()), 0);
  WriteFile(cache + "/0A1B", "cached");
  Shutdown();
  EXPECT_FALSE(os::FileExists(cache + "/0A1B"));
  EXPECT_EQ(Text(launch::kNetscapeProxyKey, "HTTP_Proxy"), "upstream.example");
  EXPECT_EQ(Number(launch::kNetscapeProxyKey, "Http_ProxyPort"), 3128);
  EXPECT_NE(ReadFile(profile + "/user.js").find("\"network.proxy.http\", \"upstream.example\""),
            std::string::npos);
  unsetenv("http_proxy");
  unsetenv("no_proxy");
}

TEST_F(LaunchProgram, StandAloneSplashWritesTheTimeZoneStrings) {
  std::string browser = StandIn("chromium-rec", false);
  WriteFile(prog_ + "/ledra.ini", ReadFile(prog_ + "/ledra.ini") + "CorvaneType=StandAlone\n");
  setenv("TZ", "IST-5:30", 1);
  engine::SharedContext& shared = Start();
  unsetenv("TZ");
  std::string ini = ReadFile(prog_ + "/ledra.ini");
  EXPECT_NE(ini.find("ZONE_SET=1"), std::string::npos) << ini;
  EXPECT_NE(ini.find("Timezone=-3005"), std::string::npos) << ini;
  EXPECT_NE(ini.find("DST=0"), std::string::npos) << ini;
  EXPECT_NE(ReadFile(prog_ + "/htmdata/splash.htm").find("on this computer alone"), std::string::npos);
  // Chromium: the Internet Explorer rules, no proxy in the environment.
  std::string profile = prog_ + "/profiles/chromium";
  ASSERT_TRUE(Eventually([&] { return ReadFile(browser + ".args").find("--\n") != std::string::npos; }));
  EXPECT_EQ(ReadFile(browser + ".args"),
            "--user-data-dir=" + profile + "\n--disk-cache-dir=" + profile +
                "/cache\n--no-first-run\n--no-default-browser-check\n"
                "--proxy-server=http=localhost:" + std::to_string(shared.localPort) + "\n" +
                shared.startUrl + "\n--\n");
  EXPECT_EQ(shared.upstreamProxy, "");
}

TEST_F(LaunchProgram, NoBrowserMeansStandaloneAndARestartLaunchesNothing) {
  // A browser of the user's runs; with nothing to launch it ends nothing.
  std::string other = folder_ + "/firefox-oth";
  WriteFile(other, "#!/bin/sh\nwhile [ ! -e \"$0.stop\" ]; do sleep 0.05; done\n", true);
  setenv("CORVANE_BROWSER_NAMES", "firefox-oth", 1);
  int pid = 0;
  ASSERT_EQ(os::ProcessStart(other, {}, &pid), os::ProcessStatus::kOk);
  ASSERT_TRUE(Eventually([&] { return !launch::RunningBrowsers("").empty(); }));
  launch::SetPreferredBrowser(folder_ + "/missing-browser");
  engine::SharedContext& shared = Start();
  WriteFile(other + ".stop", "");
  EXPECT_FALSE(trace_.Contains(launch::kExitBrowsersMessage));
  EXPECT_TRUE(trace_.Contains("The preferred browser " + folder_ + "/missing-browser is missing or cannot be run."));
  EXPECT_TRUE(trace_.Contains(engine::kNoBrowserMessage));
  EXPECT_EQ(shared.stop, 0);
  Shutdown();
  std::string browser = StandIn("firefox-rst", false);
  Start("Restart");
  EXPECT_TRUE(trace_.Contains(engine::kResetCompleteMessage));
  os::SleepMs(200);
  EXPECT_FALSE(os::FileExists(browser + ".args"));
}

TEST_F(LaunchProgram, ARunningBrowserEndsTheStartInOrder) {
  std::string browser = StandIn("firefox-run", true);
  int pid = 0;
  ASSERT_EQ(os::ProcessStart(browser, {}, &pid), os::ProcessStatus::kOk);
  ASSERT_TRUE(Eventually([&] { return !launch::RunningBrowsers(browser).empty(); }));
  Start();
  EXPECT_TRUE(trace_.Contains(launch::kExitBrowsersMessage));
  os::Message message;
  ASSERT_TRUE(window_.Peek(&message));
  EXPECT_EQ(message.kind, os::MessageKind::kDestroy);
  WriteFile(browser + ".stop", "");
  ASSERT_TRUE(Eventually([&] { return !os::ProcessIsRunning(pid); }));
  EXPECT_EQ(ReadFile(browser + ".args"), "--\n");  // only the test's own start
}

class Watch : public ProgramFixture {
 protected:
  void SetUp() override {
    ProgramFixture::SetUp();
    launch::WatchTimes() = {100, 50, 300};
  }
  void StartWatch() { ASSERT_TRUE(engine::StartWorker('g', 1, shared_, "")); }
  int Launches(const std::string& browser) {
    std::string args = ReadFile(browser + ".args");
    int n = 0;
    for (size_t at = args.find("--\n"); at != std::string::npos; at = args.find("--\n", at + 1)) ++n;
    return n;
  }
};

TEST_F(Watch, ClosingTheBrowserAsksAndThreeNosMeanStandalone) {
  std::string browser = StandIn("firefox-w1", true);
  Answers("No\nNo\nNo\n");
  Start();
  ASSERT_TRUE(Eventually([&] { return Launches(browser) == 1; }));
  StartWatch();
  os::SleepMs(400);  // the browser runs: no question
  EXPECT_EQ(Count(launch::kNoBrowserQuestion), 0);
  WriteFile(browser + ".stop", "");
  ASSERT_TRUE(Eventually([&] { return Count(launch::kStandaloneNotice) == 1; }));
  EXPECT_EQ(Count(launch::kNoBrowserQuestion), 1);
  EXPECT_EQ(Count(launch::kLaunchQuestion), 1);
  EXPECT_EQ(Count(launch::kScanQuestion), 1);
  // No more questions, but launch requests are still served.
  std::remove((browser + ".stop").c_str());
  WriteFile(prog_ + "/kvlaunch.dat", "http://example.org/asked-for");
  ASSERT_TRUE(Eventually([&] { return Launches(browser) == 2; }));
  EXPECT_FALSE(os::FileExists(prog_ + "/kvlaunch.dat"));
  EXPECT_NE(ReadFile(browser + ".args").find("http://example.org/asked-for\n--\n"), std::string::npos);
  WriteFile(browser + ".stop", "");
  os::SleepMs(300);
  EXPECT_EQ(Count(launch::kNoBrowserQuestion), 1);
}

TEST_F(Watch, YesToTheFirstQuestionShutsDown) {
  StandIn("firefox-w2", false);
  Answers("Yes\n");
  Start();
  StartWatch();
  os::Message message;
  ASSERT_TRUE(Eventually([&] { return window_.Peek(&message); }));
  EXPECT_EQ(message.kind, os::MessageKind::kDestroy);
  EXPECT_EQ(Count(launch::kLaunchQuestion), 0);
}

TEST_F(Watch, LaunchInsteadAndScanAgainAskAnew) {
  std::string browser = StandIn("firefox-w3", false);
  Answers("No\nYes\nNo\nNo\nYes\n");
  Start();
  ASSERT_TRUE(Eventually([&] { return Launches(browser) == 1; }));
  StartWatch();
  // No, Yes: launched again (the stand-in ends at once, so asked again).
  ASSERT_TRUE(Eventually([&] { return Launches(browser) == 2; }));
  // No, No, Yes: scan again, then the script is used up: No to everything.
  ASSERT_TRUE(Eventually([&] { return Count(launch::kStandaloneNotice) == 1; }));
  EXPECT_EQ(Count(launch::kNoBrowserQuestion), 3);
  EXPECT_EQ(Count(launch::kScanQuestion), 2);
  EXPECT_EQ(Launches(browser), 2);
}

TEST_F(Watch, AStartWithAPageArgumentReachesTheRunningProgram) {
  std::string browser = StandIn("firefox-w4", true);
  Start();
  StartWatch();
  ASSERT_TRUE(Eventually([&] { return Launches(browser) == 1; }));
  // The second start finds this program running (its instance lock held
  // here), writes the request file and exits; the watch serves it.
  engine::InstanceLock running;
  ASSERT_TRUE(running.Take(prog_));
  std::string corvex = prog_ + "/corvex";
  int code = -1;
  ASSERT_EQ(os::ProcessRun(corvex, {"URL=\"http://example.org/second start\""}, 20000, &code),
            os::ProcessStatus::kOk);
  ASSERT_TRUE(Eventually([&] { return Launches(browser) == 2; }));
  EXPECT_NE(ReadFile(browser + ".args").find("\nhttp://example.org/second start\n--\n"), std::string::npos);
  EXPECT_EQ(shared_->startUrl, "http://example.org/second start");
  WriteFile(browser + ".stop", "");
}

}  // namespace
