// Reading the browser's request and writing the one that goes out.
#include "proxy/forward_request.h"

#include <strings.h>

#include "common/text.h"

namespace proxy {

namespace {

std::string_view Trim(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r'))
    text.remove_suffix(1);
  return text;
}

bool SameNoCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && common::StartsWithNoCase(a, b);
}

// The comma-separated tokens of a header value, trimmed, parameters kept.
std::vector<std::string_view> Tokens(std::string_view value) {
  std::vector<std::string_view> tokens;
  while (!value.empty()) {
    size_t comma = value.find(',');
    std::string_view token = Trim(value.substr(0, comma));
    if (!token.empty()) tokens.push_back(token);
    if (comma == std::string_view::npos) break;
    value.remove_prefix(comma + 1);
  }
  return tokens;
}

bool HopByHop(std::string_view name, const std::vector<std::string_view>& named) {
  static const char* const kHopByHop[] = {"Connection", "Keep-Alive", "Proxy-Connection",
                                          "TE",         "Trailer",    "Upgrade"};
  for (const char* hop : kHopByHop)
    if (SameNoCase(name, hop)) return true;
  for (std::string_view token : named)
    if (SameNoCase(name, token)) return true;
  return false;
}

std::string DecodableCodings(std::string_view value) {
  std::string kept;
  for (std::string_view token : Tokens(value)) {
    std::string_view coding = Trim(token.substr(0, token.find(';')));
    bool decodable = false;
    for (const char* known : kDecodableCodings) decodable = decodable || SameNoCase(coding, known);
    if (!decodable) continue;
    if (!kept.empty()) kept += ", ";
    kept += token;
  }
  return kept.empty() ? "identity" : kept;
}

}  // namespace

ParseResult ParseBrowserRequest(std::string_view raw, BrowserRequest* request) {
  size_t line_end = raw.find('\n');
  std::string_view line = Trim(raw.substr(0, line_end));
  size_t blank = line.find(' ');
  if (line.empty() || blank == std::string_view::npos || blank == 0)
    return ParseResult::kNoRequestLine;
  request->method = std::string(line.substr(0, blank));
  std::string_view rest = Trim(line.substr(blank + 1));
  size_t url_end = rest.find(' ');
  request->url = std::string(rest.substr(0, url_end));
  request->version =
      url_end == std::string_view::npos ? "HTTP/1.0" : std::string(Trim(rest.substr(url_end)));
  if (request->url.empty()) return ParseResult::kNoRequestLine;

  // Headers up to the first empty line; a line that begins with a blank
  // continues the one before it.
  request->headers.clear();
  size_t at = line_end == std::string_view::npos ? raw.size() : line_end + 1;
  while (at < raw.size()) {
    size_t end = raw.find('\n', at);
    std::string_view header = raw.substr(at, end == std::string_view::npos ? raw.npos : end - at);
    at = end == std::string_view::npos ? raw.size() : end + 1;
    if (!header.empty() && header.back() == '\r') header.remove_suffix(1);
    if (header.empty()) break;
    if ((header[0] == ' ' || header[0] == '\t') && !request->headers.empty()) {
      request->headers.back().second += " ";
      request->headers.back().second += Trim(header);
      continue;
    }
    size_t colon = header.find(':');
    if (colon == std::string_view::npos || colon == 0) continue;
    request->headers.emplace_back(std::string(Trim(header.substr(0, colon))),
                                  std::string(Trim(header.substr(colon + 1))));
  }
  request->body = std::string(raw.substr(std::min(at, raw.size())));

  if (MethodIs(*request, "CONNECT")) {
    request->host = request->url;
    request->path.clear();
    return request->host.empty() ? ParseResult::kNoHost : ParseResult::kOk;
  }
  size_t scheme = request->url.find("://");
  if (scheme == std::string::npos) return ParseResult::kNoHost;
  if (!(scheme == 4 && common::StartsWithNoCase(request->url, "http")))
    return ParseResult::kNotHttp;
  std::string line_copy = request->method + " " + request->url;
  request->host = common::ExtractHost(&line_copy);
  if (request->host.empty()) return ParseResult::kNoHost;
  request->path = line_copy.substr(request->method.size() + 1);
  return ParseResult::kOk;
}

bool MethodIs(const BrowserRequest& request, const char* name) {
  return strcasecmp(request.method.c_str(), name) == 0;
}

std::string HeaderValue(const BrowserRequest& request, std::string_view name) {
  for (const auto& [header, value] : request.headers)
    if (SameNoCase(header, name)) return value;
  return "";
}

std::string OutgoingRequest(const BrowserRequest& request, common::RouteKind route,
                            bool decodable_only) {
  bool upstream = route == common::RouteKind::kUpstream;
  std::vector<std::string_view> named;
  for (const auto& [name, value] : request.headers)
    if (SameNoCase(name, "Connection") || SameNoCase(name, "Proxy-Connection"))
      for (std::string_view token : Tokens(value)) named.push_back(token);

  std::string out =
      request.method + " " + (upstream ? request.url : request.path) + " HTTP/1.0\r\n";
  bool has_host = false;
  for (const auto& [name, value] : request.headers) {
    if (HopByHop(name, named)) continue;
    if (!upstream && SameNoCase(name, "Proxy-Authorization")) continue;
    if (SameNoCase(name, "Host")) has_host = true;
    out += name;
    out += ": ";
    out += decodable_only && SameNoCase(name, "Accept-Encoding") ? DecodableCodings(value) : value;
    out += "\r\n";
  }
  if (!has_host) out += "Host: " + request.host + "\r\n";
  out += "Connection: close\r\n\r\n";
  out += request.body;
  return out;
}

}  // namespace proxy
