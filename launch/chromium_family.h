// The Chromium family (chromium, chrome) under the Internet Explorer rules:
// the user's proxy from the environment, and the browser started with its
// own user data folder inside the program folder and the proxy of the
// Internet Explorer keys on its command line.
#pragma once

#include <string>
#include <vector>

namespace launch {

struct EnvironmentProxy;

// Fills the Internet Explorer keys from the environment and points the
// cache folder value at our profile's cache.
void FillExplorerKeys(const std::string& program_dir, const EnvironmentProxy& environment);

std::string ChromiumProfileFolder(const std::string& program_dir);
std::string ChromiumCacheFolder(const std::string& program_dir);

// A ProxyServer list as Chromium's --proxy-server takes it: entries for
// the schemes it knows (http, https, ftp, socks) that name a server; a
// single server stays as it is.
std::string ChromiumProxyList(const std::string& proxy_server);

// The arguments that start the browser on page: the user data and cache
// folders, then --proxy-server and --proxy-bypass-list from the keys while
// ProxyEnable is set (--no-proxy-server when not).
std::vector<std::string> ChromiumArguments(const std::string& program_dir, const std::string& page);

}  // namespace launch
