// The Firefox family's preferences and profile.
#include "launch/firefox_family.h"

#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string_view>

#include "launch/proxy_environment.h"
#include "launch/proxy_settings.h"
#include "launch/registry_values.h"

namespace launch {

namespace {

constexpr char kSystemProxyType[] = "5";

void SkipBlanks(const std::string& line, size_t* at) {
  while (*at < line.size() && std::isspace(static_cast<unsigned char>(line[*at]))) ++(*at);
}

bool ReadQuoted(const std::string& line, size_t* at, std::string* text) {
  if (*at >= line.size() || line[*at] != '"') return false;
  text->clear();
  for (++(*at); *at < line.size(); ++(*at)) {
    char c = line[*at];
    if (c == '"') {
      ++(*at);
      return true;
    }
    if (c == '\\' && *at + 1 < line.size()) c = line[++(*at)];
    *text += c;
  }
  return false;
}

// user_pref("name", value); with a string, a whole number, true or false.
bool ReadPrefLine(const std::string& line, std::string* name, std::string* value) {
  size_t at = 0;
  SkipBlanks(line, &at);
  constexpr std::string_view kStart = "user_pref(";
  if (line.compare(at, kStart.size(), kStart) != 0) return false;
  at += kStart.size();
  SkipBlanks(line, &at);
  if (!ReadQuoted(line, &at, name)) return false;
  SkipBlanks(line, &at);
  if (at >= line.size() || line[at] != ',') return false;
  ++at;
  SkipBlanks(line, &at);
  if (at < line.size() && line[at] == '"') {
    if (!ReadQuoted(line, &at, value)) return false;
  } else {
    size_t start = at;
    if (at < line.size() && line[at] == '-') ++at;
    while (at < line.size() && std::isalnum(static_cast<unsigned char>(line[at]))) ++at;
    *value = line.substr(start, at - start);
    bool number = !value->empty() && value->find_first_not_of("-0123456789") == std::string::npos &&
                  *value != "-";
    if (!number && *value != "true" && *value != "false") return false;
  }
  SkipBlanks(line, &at);
  if (at >= line.size() || line[at] != ')') return false;
  ++at;
  SkipBlanks(line, &at);
  if (at >= line.size() || line[at] != ';') return false;
  ++at;
  SkipBlanks(line, &at);
  return at == line.size() || line.compare(at, 2, "//") == 0;
}

bool Comment(const std::string& line) {
  size_t at = 0;
  SkipBlanks(line, &at);
  return at == line.size() || line.compare(at, 2, "//") == 0 || line[at] == '#' ||
         line.compare(at, 2, "/*") == 0 || line[at] == '*';
}

uint32_t NumberOr(const FirefoxPrefs& prefs, const std::string& name, uint32_t fallback) {
  auto found = prefs.find(name);
  if (found == prefs.end() || found->second.empty() ||
      found->second.find_first_not_of("0123456789") != std::string::npos || found->second.size() > 9)
    return fallback;
  return static_cast<uint32_t>(std::strtoul(found->second.c_str(), nullptr, 10));
}

std::string TextOr(const FirefoxPrefs& prefs, const std::string& name, const std::string& fallback) {
  auto found = prefs.find(name);
  return found == prefs.end() ? fallback : found->second;
}

// A string for a user_pref line.
std::string Quoted(const std::string& text) {
  std::string out = "\"";
  for (char c : text) {
    if (c == '"' || c == '\\') out += '\\';
    if (static_cast<unsigned char>(c) >= ' ') out += c;
  }
  return out + "\"";
}

}  // namespace

bool ReadFirefoxPrefs(const std::string& path, FirefoxPrefs* prefs, int* bad_lines) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::string line;
  bool in_block_comment = false;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (in_block_comment) {
      in_block_comment = line.find("*/") == std::string::npos;
      continue;
    }
    std::string name, value;
    if (ReadPrefLine(line, &name, &value)) {
      (*prefs)[name] = value;
    } else if (Comment(line)) {
      size_t open = line.find("/*");
      if (open != std::string::npos && line.find("*/", open) == std::string::npos) in_block_comment = true;
    } else {
      ++*bad_lines;
    }
  }
  return true;
}

std::string DefaultFirefoxProfile() {
  const char* home = std::getenv("HOME");
  if (home == nullptr || *home == 0) return "";
  std::string root = std::string(home) + "/.mozilla/firefox";
  std::ifstream in(root + "/profiles.ini");
  if (!in) return "";
  struct Section {
    std::string name, path;
    bool relative = true, is_default = false;
  };
  std::vector<Section> sections;
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.size() > 1 && line[0] == '[' && line.back() == ']') {
      sections.push_back({line.substr(1, line.size() - 2), "", true, false});
      continue;
    }
    size_t equals = line.find('=');
    if (sections.empty() || equals == std::string::npos) continue;
    std::string key = line.substr(0, equals), value = line.substr(equals + 1);
    Section& s = sections.back();
    if (key == "Path" || (key == "Default" && s.name.rfind("Install", 0) == 0)) s.path = value;
    if (key == "IsRelative") s.relative = value != "0";
    if (key == "Default" && value == "1") s.is_default = true;
  }
  auto folder = [&](const Section& s) {
    return s.relative ? root + "/" + s.path : s.path;
  };
  for (const Section& s : sections)
    if (s.name.rfind("Install", 0) == 0 && !s.path.empty()) return folder(s);
  for (const Section& s : sections)
    if (s.name.rfind("Profile", 0) == 0 && s.is_default && !s.path.empty()) return folder(s);
  for (const Section& s : sections)
    if (s.name.rfind("Profile", 0) == 0 && !s.path.empty()) return folder(s);
  return "";
}

void FillNetscapeKeys(const std::string& program_dir, const EnvironmentProxy& environment,
                      std::vector<std::string>* problems) {
  FirefoxPrefs prefs;
  std::string profile = DefaultFirefoxProfile();
  if (!profile.empty()) {
    for (const char* file : {"/prefs.js", "/user.js"}) {
      int bad = 0;
      if (ReadFirefoxPrefs(profile + file, &prefs, &bad) && bad > 0) {
        problems->push_back("The Firefox preferences " + profile + file + " have " +
                            std::to_string(bad) +
                            " damaged line(s); the lines that can be read are used.");
      }
    }
  }
  std::string type = TextOr(prefs, "network.proxy.type", kSystemProxyType);
  RegKey browser = CreateKey(Hkcu(), kNetscapeProxyKey);
  if (type == kSystemProxyType || type.find_first_not_of("0123456789") != std::string::npos) {
    bool have = !environment.httpHost.empty();
    WriteText(browser, "HTTP_Proxy", environment.httpHost);
    WriteNumber(browser, "Http_ProxyPort", have ? environment.httpPort : 0);
    WriteNumber(browser, "Proxy Type", have ? 1 : 0);
    WriteText(browser, "No_Proxy", environment.noProxy);
  } else {
    uint32_t kind = NumberOr(prefs, "network.proxy.type", 0);
    // Automatic set-ups (2, 4) name no server corvex could use.
    bool manual = kind == 1 || kind == 0;
    WriteText(browser, "HTTP_Proxy", manual ? TextOr(prefs, "network.proxy.http", "") : "");
    WriteNumber(browser, "Http_ProxyPort", manual ? NumberOr(prefs, "network.proxy.http_port", 0) : 0);
    WriteNumber(browser, "Proxy Type", kind);
    WriteText(browser, "No_Proxy", TextOr(prefs, "network.proxy.no_proxies_on", ""));
  }
  Flush(browser);
  RegKey main = CreateKey(Hkcu(), kNetscapeMainKey);
  WriteText(main, "Anchor Underline",
            TextOr(prefs, "browser.underline_anchors", "true") == "false" ? "no" : "yes");
  Flush(main);
  RegKey cache = CreateKey(Hkcu(), kNetscapeCacheKey);
  WriteText(cache, "Cache Dir", FirefoxCacheFolder(program_dir));
  Flush(cache);
}

std::string FirefoxProfileFolder(const std::string& program_dir) {
  return program_dir + "/profiles/firefox";
}

std::string FirefoxCacheFolder(const std::string& program_dir) {
  return FirefoxProfileFolder(program_dir) + "/cache/cache2/entries";
}

bool WriteFirefoxProfile(const std::string& program_dir) {
  std::string folder = FirefoxProfileFolder(program_dir);
  std::error_code error;
  std::filesystem::create_directories(folder + "/cache", error);
  if (error) return false;
  RegKey browser, main;
  std::string host, no_proxy, underline;
  uint32_t port = 0, type = 0;
  if (OpenKey(Hkcu(), kNetscapeProxyKey, &browser)) {
    (void)ReadText(browser, "HTTP_Proxy", &host);
    (void)ReadNumber(browser, "Http_ProxyPort", &port);
    (void)ReadNumber(browser, "Proxy Type", &type);
    (void)ReadText(browser, "No_Proxy", &no_proxy);
  }
  if (OpenKey(Hkcu(), kNetscapeMainKey, &main)) (void)ReadText(main, "Anchor Underline", &underline);
  std::ostringstream js;
  js << "// Written by corvex before each launch from its browser settings.\n"
     << "user_pref(\"network.proxy.type\", " << type << ");\n"
     << "user_pref(\"network.proxy.http\", " << Quoted(host) << ");\n"
     << "user_pref(\"network.proxy.http_port\", " << port << ");\n"
     << "user_pref(\"network.proxy.no_proxies_on\", " << Quoted(no_proxy) << ");\n"
     << "user_pref(\"browser.underline_anchors\", " << (underline == "no" ? "false" : "true")
     << ");\n"
     << "user_pref(\"browser.cache.disk.parent_directory\", " << Quoted(folder + "/cache") << ");\n"
     << "user_pref(\"browser.shell.checkDefaultBrowser\", false);\n";
  std::string path = folder + "/user.js";
  {
    std::ofstream out(path + ".tmp", std::ios::binary | std::ios::trunc);
    out << js.str();
    if (!out.flush()) return false;
  }
  std::filesystem::rename(path + ".tmp", path, error);
  return !error;
}

std::vector<std::string> FirefoxArguments(const std::string& program_dir, const std::string& page) {
  return {"-profile", FirefoxProfileFolder(program_dir), "-no-remote", page};
}

}  // namespace launch
