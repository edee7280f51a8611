// The browsers' proxy settings in the registry store: saving them under our
// own key and pointing both browser families at corvex (redirect), putting
// the saved values back (restore), and choosing the upstream proxy that
// corvex itself uses from what the redirection found.
//
// The keys are the browsers' own names: the Netscape keys stand for the
// Firefox family, the Internet Explorer keys for Chromium and Chrome. The
// family adapters fill them from the user's real settings before the
// redirection and carry the redirected values to the browsers they start.
#pragma once

#include <cstdint>
#include <string>

namespace launch {

inline constexpr char kOwnKey[] = "Software\\Pellam\\Corvane\\Proxy Information\\";
inline constexpr char kSavedNetscapeKey[] =
    "Software\\Pellam\\Corvane\\Proxy Information\\Netscape Navigator";
inline constexpr char kSavedExplorerKey[] =
    "Software\\Pellam\\Corvane\\Proxy Information\\Internet Explorer";
inline constexpr char kNetscapeProxyKey[] = "Software\\Netscape\\Netscape Navigator\\Proxy Information";
inline constexpr char kNetscapeMainKey[] = "Software\\Netscape\\Netscape Navigator\\Main";
inline constexpr char kNetscapeCacheKey[] = "Software\\Netscape\\Netscape Navigator\\Cache\\";
inline constexpr char kExplorerProxyKey[] =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";
inline constexpr char kExplorerMainKey[] = "Software\\Microsoft\\Internet Explorer\\Main";
inline constexpr char kExplorerCacheKey[] =
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\Cache\\Paths\\";

// What one redirection found (process-wide working results).
struct RedirectResult {
  uint16_t port = 0;                   // the local port the browsers were pointed at
  bool netscapeWasRedirected = false;  // already pointing at corvex: nothing saved
  std::string netscapeUpstream;        // "host:port" or empty
  std::string netscapeOverrides;       // its old No_Proxy
  bool explorerWasRedirected = false;
  std::string explorerUpstream;
  std::string explorerOverrides;  // its old ProxyOverride
  std::string explorerProxyServer;  // the new ProxyServer text
};

// Saves both browsers' settings under our key and points them at
// "localhost" and local_port; disable_underline also sets their
// "Anchor Underline" to "no". Failed registry calls leave values unchanged.
RedirectResult RedirectBrowsers(uint16_t local_port, bool disable_underline);

// Moves browsers that point at localhost:from over to localhost:to, saving
// nothing (the listener chose its port after the redirection: a local
// port of 0 means any free one).
void RepointBrowsers(uint16_t from, uint16_t to);

// After the listener is up: when it took another port than the browsers
// were pointed at (a local port of 0), repoints them at it.
void FollowListenerPort(uint16_t listener_port);

// Copies the saved values back to the browsers' keys, each with its type.
// Keys that cannot be opened are skipped; the saved values stay.
void RestoreBrowsers();

// The ProxyServer text that points the Internet Explorer family at
// local_port, for an old value; *upstream gets the old http server.
std::string RedirectedProxyServer(const std::string& old_value, uint16_t local_port,
                                  std::string* upstream);

// The upstream proxy choice of start-up for one browser family.
enum class BrowserKind { kUnknown, kNetscape, kExplorer };
struct UpstreamChoice {
  bool fromConfiguration = false;  // take "HTTPProxy"/"ProxyOverrides" as they are
  std::string proxy;               // else: write these into them
  std::string overrides;
};
// For the browser kind: when the saved "Proxy Type" (Netscape) or
// "ProxyEnable" (Internet Explorer) is not 0 and the redirection found no
// upstream, the Configuration items apply; otherwise the redirection's
// upstream, with the old override list when there is one.
UpstreamChoice ChooseUpstream(BrowserKind kind, const RedirectResult& result);

// The working results of the last RedirectBrowsers in this process.
RedirectResult& LastRedirect();

}  // namespace launch
