// Proxy variables of the environment.
#include "launch/proxy_environment.h"

#include <cctype>
#include <cstdlib>

namespace launch {

namespace {

// The variable in lower case, else in upper case; null when neither is set.
const char* Variable(const char* lower, const char* upper, const char** used) {
  const char* value = std::getenv(lower);
  *used = lower;
  if (value == nullptr || *value == 0) {
    value = std::getenv(upper);
    *used = upper;
  }
  return value != nullptr && *value != 0 ? value : nullptr;
}

bool HostCharacter(char c) {
  return std::isalnum(static_cast<unsigned char>(c)) || c == '.' || c == '-' || c == '_';
}

void ReadOne(const char* lower, const char* upper, std::string* host, uint32_t* port,
             std::vector<std::string>* problems) {
  const char* used = nullptr;
  const char* value = Variable(lower, upper, &used);
  if (value == nullptr) return;
  if (!ParseProxyAddress(value, host, port)) {
    problems->push_back(std::string("The proxy variable ") + used + " (\"" + value +
                        "\") names no proxy server; it is ignored.");
    host->clear();
    *port = 0;
  }
}

}  // namespace

bool ParseProxyAddress(std::string_view text, std::string* host, uint32_t* port) {
  for (char c : text) {
    if (static_cast<unsigned char>(c) <= ' ' || c == 0x7f) return false;
  }
  size_t scheme = text.find("://");
  if (scheme != std::string_view::npos) text.remove_prefix(scheme + 3);
  // A path after the address means nothing to a proxy.
  text = text.substr(0, text.find('/'));
  size_t at = text.rfind('@');
  if (at != std::string_view::npos) text.remove_prefix(at + 1);
  std::string_view name = text;
  uint32_t number = 80;
  if (!text.empty() && text[0] == '[') {
    size_t close = text.find(']');
    if (close == std::string_view::npos) return false;
    name = text.substr(0, close + 1);
    text.remove_prefix(close + 1);
    if (!text.empty() && text[0] != ':') return false;
  } else {
    size_t colon = text.find(':');
    name = text.substr(0, colon);
    text = colon == std::string_view::npos ? std::string_view() : text.substr(colon);
    for (char c : name) {
      if (!HostCharacter(c)) return false;
    }
  }
  if (name.empty() || name == "[]") return false;
  if (!text.empty()) {
    std::string_view digits = text.substr(1);
    if (digits.empty() || digits.size() > 5) return false;
    number = 0;
    for (char c : digits) {
      if (!std::isdigit(static_cast<unsigned char>(c))) return false;
      number = number * 10 + static_cast<uint32_t>(c - '0');
    }
    if (number == 0 || number > 65535) return false;
  }
  *host = std::string(name);
  *port = number;
  return true;
}

EnvironmentProxy ReadEnvironmentProxy() {
  EnvironmentProxy proxy;
  ReadOne("http_proxy", "HTTP_PROXY", &proxy.httpHost, &proxy.httpPort, &proxy.problems);
  ReadOne("https_proxy", "HTTPS_PROXY", &proxy.httpsHost, &proxy.httpsPort, &proxy.problems);
  const char* used = nullptr;
  if (const char* value = Variable("no_proxy", "NO_PROXY", &used)) {
    std::string entry;
    auto finish = [&] {
      if (entry.empty()) return;
      if (!proxy.noProxy.empty()) proxy.noProxy += ';';
      proxy.noProxy += entry;
      entry.clear();
    };
    for (const char* c = value; *c != 0; ++c) {
      if (*c == ',' || *c == ';' || std::isspace(static_cast<unsigned char>(*c))) {
        finish();
      } else if (static_cast<unsigned char>(*c) >= ' ') {
        entry += *c;
      }
    }
    finish();
  }
  return proxy;
}

std::string ExplorerProxyServer(const EnvironmentProxy& proxy) {
  std::string http = proxy.httpHost.empty() ? "" : proxy.httpHost + ":" + std::to_string(proxy.httpPort);
  std::string https =
      proxy.httpsHost.empty() ? "" : proxy.httpsHost + ":" + std::to_string(proxy.httpsPort);
  if (http == https) return http;
  std::string list;
  if (!http.empty()) list = "http=" + http;
  if (!https.empty()) list += (list.empty() ? "" : ";") + std::string("https=") + https;
  return list;
}

}  // namespace launch
