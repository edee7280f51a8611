// Redirect, restore and the upstream choice over the registry store.
#include "launch/proxy_settings.h"

#include <strings.h>

#include <cctype>
#include <initializer_list>
#include <string>

#include "launch/registry_values.h"

namespace launch {

namespace {

constexpr char kLocalhost[] = "localhost";
constexpr size_t kProxyServerBytes = 1000;

bool StartsWithNoCase(const std::string& text, const char* prefix) {
  return strncasecmp(text.c_str(), prefix, std::char_traits<char>::length(prefix)) == 0;
}

// The start of the "http=" entry (at the start or after a ';', any case),
// or npos.
size_t FindHttpEntry(const std::string& list) {
  for (size_t at = 0; at + 5 <= list.size(); ++at) {
    if ((at == 0 || list[at - 1] == ';') && strncasecmp(list.c_str() + at, "http=", 5) == 0)
      return at;
  }
  return std::string::npos;
}

// Whether the list already sends http to localhost:port (the entry's value
// is exactly that, so port 808 does not match a list for 8085).
bool PointsAtUs(const std::string& list, uint16_t port) {
  std::string wanted = "http=localhost:" + std::to_string(port);
  for (size_t at = list.find(wanted); at != std::string::npos; at = list.find(wanted, at + 1)) {
    size_t end = at + wanted.size();
    if ((at == 0 || list[at - 1] == ';') && (end == list.size() || list[end] == ';')) return true;
  }
  return false;
}

void SaveUnderline(const char* main_path, const char* saved_path, bool disable_underline) {
  RegKey main = CreateKey(Hkcu(), main_path);
  RegKey saved = CreateKey(Hkcu(), saved_path);
  std::string underline;
  if (ReadText(main, "Anchor Underline", &underline)) {
    WriteText(saved, "Anchor Underline", underline);
    if (disable_underline) WriteText(main, "Anchor Underline", "no");
  }
  Flush(main);
}

void RedirectNetscape(uint16_t port, bool disable_underline, RedirectResult* result) {
  RegKey browser = CreateKey(Hkcu(), kNetscapeProxyKey);
  RegKey saved = CreateKey(Hkcu(), kSavedNetscapeKey);
  std::string host;
  uint32_t old_port = 0;
  (void)ReadText(browser, "HTTP_Proxy", &host);
  bool have_port = ReadNumber(browser, "Http_ProxyPort", &old_port);
  if (strcasecmp(host.c_str(), kLocalhost) == 0 && old_port == port) {
    result->netscapeWasRedirected = true;
    result->netscapeUpstream.clear();
    return;
  }
  if (StartsWithNoCase(host, "http://")) host.erase(0, 7);
  WriteText(saved, "HTTP_Proxy", host);
  uint32_t type = 0;
  bool have_type = ReadNumber(browser, "Proxy Type", &type);
  if (have_type) WriteNumber(saved, "Proxy Type", type);
  std::string no_proxy;
  if (ReadText(browser, "No_Proxy", &no_proxy)) WriteText(saved, "No_Proxy", no_proxy);
  result->netscapeOverrides = no_proxy;
  if (have_port) WriteNumber(saved, "Http_ProxyPort", old_port);
  // A missing type counts as 0: a browser without one has no proxy set up.
  if (!host.empty() && host[0] != '(' && host[0] != ':' && have_type && type != 0)
    result->netscapeUpstream = host + ":" + std::to_string(old_port);
  else
    result->netscapeUpstream.clear();

  WriteText(browser, "HTTP_Proxy", kLocalhost);
  WriteNumber(browser, "Http_ProxyPort", port);
  WriteNumber(browser, "Proxy Type", 1);
  WriteText(browser, "No_Proxy", "");
  Flush(browser);

  SaveUnderline(kNetscapeMainKey, kSavedNetscapeKey, disable_underline);
  RegKey main = CreateKey(Hkcu(), kNetscapeMainKey);
  uint32_t check = 0;
  if (ReadNumber(main, "Check Server", &check)) WriteNumber(saved, "Check Server", check);
  WriteNumber(main, "Check Server", 0);
  Flush(main);
  Flush(saved);
}

void RedirectExplorer(uint16_t port, bool disable_underline, RedirectResult* result) {
  RegKey browser = CreateKey(Hkcu(), kExplorerProxyKey);
  RegKey saved = CreateKey(Hkcu(), kSavedExplorerKey);
  std::string old_value;
  (void)ReadText(browser, "ProxyServer", &old_value);
  if (old_value.size() > kProxyServerBytes) old_value.resize(kProxyServerBytes);
  if (PointsAtUs(old_value, port)) {
    result->explorerWasRedirected = true;
    result->explorerUpstream.clear();
    result->explorerProxyServer = old_value;
    return;
  }
  WriteText(saved, "ProxyServer", old_value);
  uint32_t enable = 0;
  bool have_enable = ReadNumber(browser, "ProxyEnable", &enable);
  if (have_enable) WriteNumber(saved, "ProxyEnable", enable);
  uint32_t sync = 0;
  if (ReadNumber(browser, "SyncMode", &sync)) WriteNumber(saved, "SyncMode", sync);
  std::string overrides;
  if (ReadText(browser, "ProxyOverride", &overrides)) WriteText(saved, "ProxyOverride", overrides);
  result->explorerOverrides = overrides;

  std::string upstream;
  result->explorerProxyServer = RedirectedProxyServer(old_value, port, &upstream);
  result->explorerUpstream = have_enable && enable != 0 ? upstream : "";

  WriteText(browser, "ProxyServer", result->explorerProxyServer);
  WriteNumber(browser, "ProxyEnable", 1);
  WriteNumber(browser, "SyncMode", 3);
  WriteText(browser, "ProxyOverride", "");
  Flush(browser);
  SaveUnderline(kExplorerMainKey, kSavedExplorerKey, disable_underline);
  Flush(saved);
}

void CopyBack(const RegKey& saved, const RegKey& browser, const char* name) {
  os::RegistryValue value;
  if (os::RegistryReadValue(saved, name, &value) != os::RegistryStatus::kOk) return;
  if (value.type == os::RegistryValueType::kNumber)
    WriteNumber(browser, name, value.number);
  else
    WriteText(browser, name, value.text);
}

void Restore(const char* saved_path, const char* proxy_path, const char* main_path,
             std::initializer_list<const char*> proxy_values,
             std::initializer_list<const char*> main_values) {
  RegKey saved;
  if (!OpenKey(Hkcu(), saved_path, &saved)) return;
  RegKey browser;
  if (OpenKey(Hkcu(), proxy_path, &browser)) {
    for (const char* name : proxy_values) CopyBack(saved, browser, name);
    Flush(browser);
  }
  RegKey main;
  if (OpenKey(Hkcu(), main_path, &main)) {
    for (const char* name : main_values) CopyBack(saved, main, name);
    Flush(main);
  }
}

}  // namespace

std::string RedirectedProxyServer(const std::string& old_value, uint16_t port,
                                  std::string* upstream) {
  std::string local = "localhost:" + std::to_string(port);
  upstream->clear();
  if (old_value.empty()) return "ftp=;gopher=;http=" + local + ";https=;";
  size_t entry = FindHttpEntry(old_value);
  if (entry != std::string::npos) {
    size_t value = entry + 5;
    size_t end = old_value.find(';', value);
    if (end == std::string::npos) end = old_value.size();
    *upstream = old_value.substr(value, end - value);
    return old_value.substr(0, value) + local + old_value.substr(end);
  }
  // A per-protocol list without an http entry is no server name: http went
  // direct, so it gains an entry and there is no upstream.
  if (old_value.find('=') != std::string::npos)
    return old_value + (old_value.back() == ';' ? "" : ";") + "http=" + local;
  *upstream = old_value;
  return "ftp=" + old_value + ";gopher=" + old_value + ";http=" + local + ";https=" + old_value;
}

void RepointBrowsers(uint16_t from, uint16_t to) {
  RegKey netscape;
  std::string host;
  uint32_t port = 0;
  if (OpenKey(Hkcu(), kNetscapeProxyKey, &netscape) && ReadText(netscape, "HTTP_Proxy", &host) &&
      strcasecmp(host.c_str(), kLocalhost) == 0 && ReadNumber(netscape, "Http_ProxyPort", &port) &&
      port == from) {
    WriteNumber(netscape, "Http_ProxyPort", to);
    Flush(netscape);
  }
  RegKey explorer;
  std::string list;
  if (OpenKey(Hkcu(), kExplorerProxyKey, &explorer) && ReadText(explorer, "ProxyServer", &list) &&
      PointsAtUs(list, from)) {
    std::string old_entry = "http=localhost:" + std::to_string(from);
    size_t at = list.find(old_entry);
    while (at != std::string::npos && !((at == 0 || list[at - 1] == ';') &&
                                        (at + old_entry.size() == list.size() ||
                                         list[at + old_entry.size()] == ';')))
      at = list.find(old_entry, at + 1);
    list.replace(at, old_entry.size(), "http=localhost:" + std::to_string(to));
    WriteText(explorer, "ProxyServer", list);
    Flush(explorer);
  }
}

void FollowListenerPort(uint16_t listener_port) {
  RedirectResult& last = LastRedirect();
  if (last.port == listener_port) return;
  RepointBrowsers(last.port, listener_port);
  last.port = listener_port;
}

RedirectResult& LastRedirect() {
  static RedirectResult last;
  return last;
}

RedirectResult RedirectBrowsers(uint16_t local_port, bool disable_underline) {
  RedirectResult result;
  result.port = local_port;
  RedirectNetscape(local_port, disable_underline, &result);
  RedirectExplorer(local_port, disable_underline, &result);
  LastRedirect() = result;
  return result;
}

void RestoreBrowsers() {
  Restore(kSavedNetscapeKey, kNetscapeProxyKey, kNetscapeMainKey,
          {"HTTP_Proxy", "Http_ProxyPort", "Proxy Type", "No_Proxy"},
          {"Anchor Underline", "Check Server"});
  Restore(kSavedExplorerKey, kExplorerProxyKey, kExplorerMainKey,
          {"ProxyServer", "ProxyEnable", "ProxyOverride", "SyncMode"}, {"Anchor Underline"});
}

UpstreamChoice ChooseUpstream(BrowserKind kind, const RedirectResult& result) {
  UpstreamChoice choice;
  if (kind == BrowserKind::kUnknown) {
    choice.fromConfiguration = true;
    return choice;
  }
  bool netscape = kind == BrowserKind::kNetscape;
  RegKey saved;
  uint32_t enabled = 0;
  if (OpenKey(Hkcu(), netscape ? kSavedNetscapeKey : kSavedExplorerKey, &saved))
    (void)ReadNumber(saved, netscape ? "Proxy Type" : "ProxyEnable", &enabled);
  const std::string& upstream = netscape ? result.netscapeUpstream : result.explorerUpstream;
  if (enabled != 0 && upstream.empty()) {
    choice.fromConfiguration = true;
    return choice;
  }
  choice.proxy = upstream;
  if (!upstream.empty()) choice.overrides = netscape ? result.netscapeOverrides : result.explorerOverrides;
  return choice;
}

}  // namespace launch
