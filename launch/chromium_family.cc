// The Chromium family's keys and command line.
#include "launch/chromium_family.h"

#include <strings.h>

#include "launch/proxy_environment.h"
#include "launch/proxy_settings.h"
#include "launch/registry_values.h"

namespace launch {

void FillExplorerKeys(const std::string& program_dir, const EnvironmentProxy& environment) {
  RegKey browser = CreateKey(Hkcu(), kExplorerProxyKey);
  std::string server = ExplorerProxyServer(environment);
  WriteText(browser, "ProxyServer", server);
  WriteNumber(browser, "ProxyEnable", server.empty() ? 0 : 1);
  WriteText(browser, "ProxyOverride", environment.noProxy);
  Flush(browser);
  RegKey cache = CreateKey(Hklm(), kExplorerCacheKey);
  WriteText(cache, "Directory", ChromiumCacheFolder(program_dir));
  Flush(cache);
}

std::string ChromiumProfileFolder(const std::string& program_dir) {
  return program_dir + "/profiles/chromium";
}

std::string ChromiumCacheFolder(const std::string& program_dir) {
  // Chromium keeps the HTTP cache of its "Default" profile there below the
  // --disk-cache-dir folder.
  return ChromiumProfileFolder(program_dir) + "/cache/Default/Cache/Cache_Data";
}

std::string ChromiumProxyList(const std::string& proxy_server) {
  if (proxy_server.find('=') == std::string::npos) return proxy_server;
  std::string list;
  size_t start = 0;
  while (start <= proxy_server.size()) {
    size_t end = proxy_server.find(';', start);
    if (end == std::string::npos) end = proxy_server.size();
    std::string entry = proxy_server.substr(start, end - start);
    size_t equals = entry.find('=');
    if (equals != std::string::npos && equals + 1 < entry.size()) {
      std::string scheme = entry.substr(0, equals);
      for (const char* known : {"http", "https", "ftp", "socks"}) {
        if (strcasecmp(scheme.c_str(), known) == 0) {
          if (!list.empty()) list += ';';
          list += entry;
        }
      }
    }
    start = end + 1;
  }
  return list;
}

std::vector<std::string> ChromiumArguments(const std::string& program_dir, const std::string& page) {
  std::string profile = ChromiumProfileFolder(program_dir);
  std::vector<std::string> arguments = {"--user-data-dir=" + profile,
                                        "--disk-cache-dir=" + profile + "/cache", "--no-first-run",
                                        "--no-default-browser-check"};
  RegKey browser;
  std::string server, overrides;
  uint32_t enable = 0;
  if (OpenKey(Hkcu(), kExplorerProxyKey, &browser)) {
    (void)ReadText(browser, "ProxyServer", &server);
    (void)ReadNumber(browser, "ProxyEnable", &enable);
    (void)ReadText(browser, "ProxyOverride", &overrides);
  }
  std::string list = ChromiumProxyList(server);
  if (enable != 0 && !list.empty()) {
    arguments.push_back("--proxy-server=" + list);
    if (!overrides.empty()) arguments.push_back("--proxy-bypass-list=" + overrides);
  } else {
    arguments.push_back("--no-proxy-server");
  }
  arguments.push_back(page);
  return arguments;
}

}  // namespace launch
