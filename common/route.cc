// Routing of outbound requests.
#include "common/route.h"

#include "common/text.h"

namespace common {

namespace {

bool SeparatorBefore(char c) {
  return c == ' ' || c == ',' || c == ';' || c == '\n';
}

bool SeparatorAfter(char c) {
  return SeparatorBefore(c) || c == '/' || c == '\\';
}

// Whether the occurrence of a host at `at` (length `length`) in the list is
// an entry of its own.
bool EntryAt(std::string_view list, size_t at, size_t length) {
  size_t end = at + length;
  if (end < list.size() && !SeparatorAfter(list[end])) return false;
  if (at == 0) return true;
  if (at >= 7 && StartsWithNoCase(list.substr(at - 7), "http://")) return true;
  return SeparatorBefore(list[at - 1]);
}

std::string_view WithoutScheme(std::string_view host) {
  return StartsWithNoCase(host, "http://") ? host.substr(7) : host;
}

}  // namespace

bool HostInOverrides(std::string_view host, std::string_view overrides, OverrideMatch match) {
  host = WithoutScheme(host);
  if (host.empty()) return false;
  if (match == OverrideMatch::kAnywhere) return overrides.find(host) != std::string_view::npos;
  // Every occurrence is tried: "b.com" listed after "ab.com" is still an
  // entry, although its first occurrence sits inside "ab.com".
  for (size_t at = overrides.find(host); at != std::string_view::npos;
       at = overrides.find(host, at + 1)) {
    if (EntryAt(overrides, at, host.size())) return true;
  }
  return false;
}

RouteKind ChooseRoute(std::string_view host, std::string_view upstream, std::string_view overrides,
                      OverrideMatch match) {
  if (upstream.empty()) return RouteKind::kDirect;
  if (overrides.empty()) return RouteKind::kUpstream;
  host = WithoutScheme(host);
  if (HostInOverrides(host, overrides, match)) return RouteKind::kDirect;
  bool local = overrides.find(kLocalKeyword) != std::string_view::npos;
  if (local && !host.empty() && host.find('.') == std::string_view::npos) return RouteKind::kDirect;
  return RouteKind::kUpstream;
}

std::string ExtractHost(std::string* request) {
  size_t line_end = request->find_first_of("\r\n");
  if (line_end == std::string::npos) line_end = request->size();
  std::string_view line(request->data(), line_end);
  size_t blank = line.find(' ');
  if (blank == std::string_view::npos) return "";
  size_t url = blank + 1;
  size_t url_end = line.find(' ', url);
  if (url_end == std::string_view::npos) url_end = line.size();
  std::string_view url_text = line.substr(url, url_end - url);
  size_t scheme_end = url_text.find("://");
  // The scheme is letters only ("http"); "://" further in is part of a path.
  if (scheme_end == std::string_view::npos || scheme_end == 0) return "";
  for (size_t i = 0; i < scheme_end; ++i) {
    char c = url_text[i];
    bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
    if (!letter) return "";
  }
  size_t host_start = scheme_end + 3;
  size_t host_end = url_text.find_first_of("/?#", host_start);
  if (host_end == std::string_view::npos) host_end = url_text.size();
  std::string host(url_text.substr(host_start, host_end - host_start));
  if (host.empty()) return "";
  std::string path(url_text.substr(host_end));
  if (path.empty() || path[0] != '/') path = "/" + path;
  request->replace(url, url_end - url, path);
  return host;
}

bool SplitHostPort(std::string_view text, uint16_t default_port, std::string* host,
                   uint16_t* port) {
  std::string_view name = text;
  std::string_view port_text;
  if (!text.empty() && text[0] == '[') {
    size_t close = text.find(']');
    if (close == std::string_view::npos) return false;
    name = text.substr(1, close - 1);
    std::string_view rest = text.substr(close + 1);
    if (!rest.empty()) {
      if (rest[0] != ':') return false;
      port_text = rest.substr(1);
      if (port_text.empty()) return false;
    }
  } else if (size_t colon = text.find(':'); colon != std::string_view::npos) {
    name = text.substr(0, colon);
    port_text = text.substr(colon + 1);
    if (port_text.empty()) return false;
  }
  if (name.empty()) return false;
  uint32_t number = default_port;
  if (!port_text.empty()) {
    if (port_text.size() > 5) return false;
    number = 0;
    for (char c : port_text) {
      if (c < '0' || c > '9') return false;
      number = number * 10 + static_cast<uint32_t>(c - '0');
    }
  }
  if (number == 0 || number > 65535) return false;
  *host = std::string(name);
  *port = static_cast<uint16_t>(number);
  return true;
}

}  // namespace common
