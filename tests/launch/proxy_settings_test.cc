// The browsers' proxy settings on the registry store: redirect, restore and
// the upstream choice, with the single-server and "http=" lists, Proxy Type
// 0, and two starts without a clean shutdown.
#include "launch/proxy_settings.h"

#include "launch/preferred_browser.h"
#include "tests/launch/launch_fixture.h"

namespace {

using launch::BrowserKind;
using launch::kExplorerMainKey;
using launch::kExplorerProxyKey;
using launch::kNetscapeMainKey;
using launch::kNetscapeProxyKey;
using launch::kSavedExplorerKey;
using launch::kSavedNetscapeKey;

class ProxySettings : public LaunchFixture {
 protected:
  void Explorer(const std::string& server, uint32_t enable, const std::string& overrides = "") {
    PutText(kExplorerProxyKey, "ProxyServer", server);
    PutNumber(kExplorerProxyKey, "ProxyEnable", enable);
    PutNumber(kExplorerProxyKey, "SyncMode", 5);
    PutText(kExplorerProxyKey, "ProxyOverride", overrides);
  }
  void Netscape(const std::string& host, uint32_t port, uint32_t type, const std::string& no_proxy = "") {
    PutText(kNetscapeProxyKey, "HTTP_Proxy", host);
    PutNumber(kNetscapeProxyKey, "Http_ProxyPort", port);
    PutNumber(kNetscapeProxyKey, "Proxy Type", type);
    PutText(kNetscapeProxyKey, "No_Proxy", no_proxy);
  }
};

TEST_F(ProxySettings, ExplorerListsAreRedirectedAsTheRulesSay) {
  static const struct {
    const char* old_value;
    uint32_t enable;
    const char* redirected;
    const char* upstream;
  } cases[] = {
      // A single server for every protocol keeps serving the others.
      {"proxy:8080", 1, "ftp=proxy:8080;gopher=proxy:8080;http=localhost:8085;https=proxy:8080",
       "proxy:8080"},
      // A list keeps its other entries; the http entry's server is the upstream.
      {"http=p:80;ftp=f:21", 1, "http=localhost:8085;ftp=f:21", "p:80"},
      {"ftp=f:21;HTTP=p:80;https=s:443", 1, "ftp=f:21;HTTP=localhost:8085;https=s:443", "p:80"},
      // A list without an http entry sent http direct: it gains one, with
      // no upstream (not the list taken for a server name).
      {"ftp=f:21;https=s:443", 1, "ftp=f:21;https=s:443;http=localhost:8085", ""},
      {"", 1, "ftp=;gopher=;http=localhost:8085;https=;", ""},
      // Proxy switched off: redirected all the same, but no upstream.
      {"proxy:8080", 0, "ftp=proxy:8080;gopher=proxy:8080;http=localhost:8085;https=proxy:8080", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.old_value);
    Explorer(c.old_value, c.enable, "*.intra;<local>");
    launch::RedirectResult result = launch::RedirectBrowsers(8085, false);
    EXPECT_FALSE(result.explorerWasRedirected);
    EXPECT_EQ(Text(kExplorerProxyKey, "ProxyServer"), c.redirected);
    EXPECT_EQ(result.explorerUpstream, c.upstream);
    EXPECT_EQ(result.explorerOverrides, "*.intra;<local>");
    EXPECT_EQ(Number(kExplorerProxyKey, "ProxyEnable"), 1);
    EXPECT_EQ(Number(kExplorerProxyKey, "SyncMode"), 3);
    EXPECT_EQ(Text(kExplorerProxyKey, "ProxyOverride"), "");
    EXPECT_EQ(Text(kSavedExplorerKey, "ProxyServer"), c.old_value);
    EXPECT_EQ(Number(kSavedExplorerKey, "ProxyEnable"), c.enable);
    EXPECT_EQ(Number(kSavedExplorerKey, "SyncMode"), 5);
    EXPECT_EQ(Text(kSavedExplorerKey, "ProxyOverride"), "*.intra;<local>");
  }
}

TEST_F(ProxySettings, NetscapeIsSavedAndPointedAtLocalhost) {
  static const struct {
    const char* host;
    uint32_t type;
    const char* saved_host;
    const char* upstream;
  } cases[] = {
      {"proxy.example", 1, "proxy.example", "proxy.example:3128"},
      {"HTTP://proxy.example", 1, "proxy.example", "proxy.example:3128"},
      // Proxy Type 0: the old server is saved, but it is no upstream.
      {"proxy.example", 0, "proxy.example", ""},
      {"(none)", 1, "(none)", ""},
      {":3128", 1, ":3128", ""},
      {"", 1, "", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.host);
    Netscape(c.host, 3128, c.type, "intranet.example");
    launch::RedirectResult result = launch::RedirectBrowsers(8085, false);
    EXPECT_FALSE(result.netscapeWasRedirected);
    EXPECT_EQ(result.netscapeUpstream, c.upstream);
    EXPECT_EQ(result.netscapeOverrides, "intranet.example");
    EXPECT_EQ(Text(kSavedNetscapeKey, "HTTP_Proxy"), c.saved_host);
    EXPECT_EQ(Number(kSavedNetscapeKey, "Http_ProxyPort"), 3128);
    EXPECT_EQ(Number(kSavedNetscapeKey, "Proxy Type"), c.type);
    EXPECT_EQ(Text(kSavedNetscapeKey, "No_Proxy"), "intranet.example");
    EXPECT_EQ(Text(kNetscapeProxyKey, "HTTP_Proxy"), "localhost");
    EXPECT_EQ(Number(kNetscapeProxyKey, "Http_ProxyPort"), 8085);
    EXPECT_EQ(Number(kNetscapeProxyKey, "Proxy Type"), 1);
    EXPECT_EQ(Text(kNetscapeProxyKey, "No_Proxy"), "");
  }
}

TEST_F(ProxySettings, UnderlineAndCacheCheckAreSavedAndRestored) {
  PutText(kNetscapeMainKey, "Anchor Underline", "yes");
  PutNumber(kNetscapeMainKey, "Check Server", 2);
  PutText(kExplorerMainKey, "Anchor Underline", "yes");
  (void)launch::RedirectBrowsers(8085, /*disable_underline=*/true);
  EXPECT_EQ(Text(kNetscapeMainKey, "Anchor Underline"), "no");
  EXPECT_EQ(Text(kExplorerMainKey, "Anchor Underline"), "no");
  EXPECT_EQ(Number(kNetscapeMainKey, "Check Server"), 0);
  EXPECT_EQ(Text(kSavedNetscapeKey, "Anchor Underline"), "yes");
  EXPECT_EQ(Number(kSavedNetscapeKey, "Check Server"), 2);
  launch::RestoreBrowsers();
  EXPECT_EQ(Text(kNetscapeMainKey, "Anchor Underline"), "yes");
  EXPECT_EQ(Text(kExplorerMainKey, "Anchor Underline"), "yes");
  EXPECT_EQ(Number(kNetscapeMainKey, "Check Server"), 2);

  // Without the flag, and without the value, nothing is made up.
  launch::RegKey main;
  ASSERT_TRUE(launch::OpenKey(launch::Hkcu(), kExplorerMainKey, &main));
  ASSERT_EQ(os::RegistryDeleteValue(main, "Anchor Underline"), os::RegistryStatus::kOk);
  (void)launch::RedirectBrowsers(9000, false);
  EXPECT_EQ(Text(kNetscapeMainKey, "Anchor Underline"), "yes");
  EXPECT_EQ(Text(kExplorerMainKey, "Anchor Underline"), "<absent>");
}

TEST_F(ProxySettings, RestorePutsBackEveryValueWithItsType) {
  Explorer("http=p:80;ftp=f:21", 1, "<local>");
  Netscape("proxy.example", 3128, 1, "a.example");
  (void)launch::RedirectBrowsers(8085, false);
  launch::RestoreBrowsers();
  EXPECT_EQ(Text(kExplorerProxyKey, "ProxyServer"), "http=p:80;ftp=f:21");
  EXPECT_EQ(Number(kExplorerProxyKey, "ProxyEnable"), 1);
  EXPECT_EQ(Number(kExplorerProxyKey, "SyncMode"), 5);
  EXPECT_EQ(Text(kExplorerProxyKey, "ProxyOverride"), "<local>");
  EXPECT_EQ(Text(kNetscapeProxyKey, "HTTP_Proxy"), "proxy.example");
  EXPECT_EQ(Number(kNetscapeProxyKey, "Http_ProxyPort"), 3128);
  EXPECT_EQ(Number(kNetscapeProxyKey, "Proxy Type"), 1);
  EXPECT_EQ(Text(kNetscapeProxyKey, "No_Proxy"), "a.example");
}

TEST_F(ProxySettings, RestoreSkipsKeysThatDoNotExist) {
  launch::RestoreBrowsers();  // nothing saved, nothing there
  launch::RegKey key;
  EXPECT_FALSE(launch::OpenKey(launch::Hkcu(), kNetscapeProxyKey, &key));
  EXPECT_FALSE(launch::OpenKey(launch::Hkcu(), kExplorerProxyKey, &key));
  // Saved values but a browser key deleted since: still skipped, not made.
  Netscape("proxy.example", 3128, 1);
  (void)launch::RedirectBrowsers(8085, false);
  ASSERT_EQ(os::RegistryDeleteKey(launch::Hkcu(), kNetscapeProxyKey), os::RegistryStatus::kOk);
  launch::RestoreBrowsers();
  EXPECT_FALSE(launch::OpenKey(launch::Hkcu(), kNetscapeProxyKey, &key));
}

TEST_F(ProxySettings, TwoStartsWithoutShutdownKeepTheRealProxy) {
  Explorer("proxy:8080", 1, "<local>");
  Netscape("proxy.example", 3128, 1, "a.example");
  launch::RedirectResult first = launch::RedirectBrowsers(8085, false);
  EXPECT_EQ(first.explorerUpstream, "proxy:8080");
  // The first run ends without restoring; the second start finds both
  // browsers pointing at corvex and saves nothing over the real values.
  launch::RedirectResult second = launch::RedirectBrowsers(8085, false);
  EXPECT_TRUE(second.explorerWasRedirected);
  EXPECT_TRUE(second.netscapeWasRedirected);
  EXPECT_EQ(second.explorerUpstream, "");
  EXPECT_EQ(second.netscapeUpstream, "");
  EXPECT_EQ(Text(kSavedExplorerKey, "ProxyServer"), "proxy:8080");
  EXPECT_EQ(Text(kSavedNetscapeKey, "HTTP_Proxy"), "proxy.example");
  // So the upstream comes from the Configuration items...
  EXPECT_TRUE(launch::ChooseUpstream(BrowserKind::kExplorer, second).fromConfiguration);
  EXPECT_TRUE(launch::ChooseUpstream(BrowserKind::kNetscape, second).fromConfiguration);
  // ...and shutdown gives the browsers their real values back.
  launch::RestoreBrowsers();
  EXPECT_EQ(Text(kExplorerProxyKey, "ProxyServer"), "proxy:8080");
  EXPECT_EQ(Text(kNetscapeProxyKey, "HTTP_Proxy"), "proxy.example");
}

TEST_F(ProxySettings, AnotherPortIsNoRedirection) {
  // A list for port 808 is not one for 8085 (nor the other way round).
  Explorer("http=localhost:8085", 1);
  launch::RedirectResult result = launch::RedirectBrowsers(808, false);
  EXPECT_FALSE(result.explorerWasRedirected);
  EXPECT_EQ(result.explorerUpstream, "localhost:8085");
  Netscape("LOCALHOST", 8085, 1);
  EXPECT_TRUE(launch::RedirectBrowsers(8085, false).netscapeWasRedirected);
}

TEST_F(ProxySettings, AnyFreePortIsFollowedOnceTheListenerHasOne) {
  // Local port 0: the browsers are pointed before the listener picks one.
  Explorer("ftp=f:21;http=p:80", 1);
  Netscape("proxy.example", 3128, 1);
  (void)launch::RedirectBrowsers(0, false);
  launch::FollowListenerPort(43210);
  EXPECT_EQ(Text(kExplorerProxyKey, "ProxyServer"), "ftp=f:21;http=localhost:43210");
  EXPECT_EQ(Number(kNetscapeProxyKey, "Http_ProxyPort"), 43210);
  EXPECT_EQ(Text(kSavedExplorerKey, "ProxyServer"), "ftp=f:21;http=p:80");
  EXPECT_EQ(Text(kSavedNetscapeKey, "HTTP_Proxy"), "proxy.example");
  // The next start with that port finds them redirected already.
  launch::RedirectResult again = launch::RedirectBrowsers(43210, false);
  EXPECT_TRUE(again.explorerWasRedirected);
  EXPECT_TRUE(again.netscapeWasRedirected);
}

TEST_F(ProxySettings, UpstreamChoiceFollowsTheBrowserKind) {
  Explorer("proxy:8080", 1, "<local>");
  Netscape("ns.example", 3128, 0, "a.example");
  launch::RedirectResult result = launch::RedirectBrowsers(8085, false);
  launch::UpstreamChoice explorer = launch::ChooseUpstream(BrowserKind::kExplorer, result);
  EXPECT_FALSE(explorer.fromConfiguration);
  EXPECT_EQ(explorer.proxy, "proxy:8080");
  EXPECT_EQ(explorer.overrides, "<local>");
  // Proxy Type 0: no upstream and no overrides, written as such.
  launch::UpstreamChoice netscape = launch::ChooseUpstream(BrowserKind::kNetscape, result);
  EXPECT_FALSE(netscape.fromConfiguration);
  EXPECT_EQ(netscape.proxy, "");
  EXPECT_EQ(netscape.overrides, "");
  EXPECT_TRUE(launch::ChooseUpstream(BrowserKind::kUnknown, result).fromConfiguration);
}

TEST(BrowserKind, ThePathNamesTheRules) {
  static const struct {
    const char* path;
    BrowserKind kind;
  } cases[] = {
      {"C:\\Program Files\\Plus!\\Microsoft Internet\\IEXPLORE.EXE", BrowserKind::kExplorer},
      {"C:\\Program Files\\Netscape\\Communicator\\Program\\netscape.exe", BrowserKind::kNetscape},
      {"/usr/bin/firefox", BrowserKind::kNetscape},
      {"/usr/bin/firefox-esr", BrowserKind::kNetscape},
      {"/usr/bin/chromium", BrowserKind::kExplorer},
      {"/opt/google/chrome/google-chrome", BrowserKind::kExplorer},
      {"/opt/chrome-tools/firefox", BrowserKind::kNetscape},  // the program's name decides
      {"/usr/bin/lynx", BrowserKind::kUnknown},
      {"", BrowserKind::kUnknown},
  };
  for (const auto& c : cases) EXPECT_EQ(launch::KindOfBrowser(c.path), c.kind) << c.path;
}

}  // namespace
