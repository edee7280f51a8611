// The cross-site check.
#include "engine/request_origin.h"

#include <strings.h>

#include <cstring>

#include "common/html_escape.h"
#include "common/text.h"
#include "engine/changing_requests.h"
#include "engine/url_mapping.h"

namespace engine {

namespace {

// The value of the header `name` ("Origin"), trimmed; none when the
// request's headers do not hold it.
std::optional<std::string> HeaderValue(std::string_view raw, std::string_view name) {
  size_t at = raw.find('\n');
  while (at != std::string_view::npos && at + 1 < raw.size()) {
    size_t start = at + 1;
    size_t end = raw.find('\n', start);
    std::string_view line = raw.substr(start, end == std::string_view::npos ? end : end - start);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.empty()) break;  // the end of the headers
    if (line.size() > name.size() && line[name.size()] == ':' &&
        strncasecmp(line.data(), name.data(), name.size()) == 0) {
      std::string_view value = line.substr(name.size() + 1);
      while (!value.empty() && (value.front() == ' ' || value.front() == '\t'))
        value.remove_prefix(1);
      while (!value.empty() && (value.back() == ' ' || value.back() == '\t'))
        value.remove_suffix(1);
      return std::string(value);
    }
    at = end;
  }
  return std::nullopt;
}

std::string_view FirstLine(std::string_view raw) {
  std::string_view line = raw.substr(0, raw.find('\n'));
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  return line;
}

// The URL of a request line ("GET URL HTTP/1.1").
std::string_view LineUrl(std::string_view line) {
  size_t blank = line.find(' ');
  if (blank == std::string_view::npos) return "";
  std::string_view url = line.substr(blank + 1);
  size_t last = url.rfind(' ');
  if (last != std::string_view::npos && url.substr(last + 1, 5) == "HTTP/") url = url.substr(0, last);
  return url;
}

constexpr std::string_view kScheme = "http://";

// Whether the text after "http://" begins with one of `hosts`.
template <size_t N>
bool NamesHost(std::string_view rest, const OwnHost (&hosts)[N]) {
  for (const OwnHost& own : hosts) {
    std::string_view host = own.host;
    if (!common::StartsWithNoCase(rest, host)) continue;
    if (own.prefix || host.back() == ']') return true;
    // A plain host name ends the authority: a port or a longer name is
    // someone else's.
    if (rest.size() == host.size()) return true;
    char next = rest[host.size()];
    if (next == '/' || next == '?' || next == '#') return true;
  }
  return false;
}

// The synonym host of the authority after "http://"; none for a host with
// a port, which is someone else's.
const SynonymHost* SynonymOf(std::string_view rest) {
  std::string_view host = rest.substr(0, rest.find_first_of("/?#"));
  if (host.empty() || host.find(':') != std::string_view::npos) return nullptr;
  return FindSynonymHost(host);
}

}  // namespace

bool IsOwnOrigin(std::string_view origin) {
  if (!common::StartsWithNoCase(origin, kScheme)) return false;
  std::string_view rest = origin.substr(kScheme.size());
  if (NamesHost(rest, kOwnHosts)) return true;
  // The synonym hosts the browser sees (engine/url_mapping.h): those of
  // the pages corvex writes itself are ours; stored pages are not.
  const SynonymHost* synonym = SynonymOf(rest);
  return synonym != nullptr && synonym->ownPages;
}

bool IsStoredPageOrigin(std::string_view origin) {
  if (!common::StartsWithNoCase(origin, kScheme)) return false;
  std::string_view rest = origin.substr(kScheme.size());
  if (NamesHost(rest, kStoredPageHosts)) return true;
  const SynonymHost* synonym = SynonymOf(rest);
  return synonym != nullptr && !synonym->ownPages;
}

RequestSource SourceOf(std::string_view raw_request) {
  RequestSource source;
  for (const char* name : {"Origin", "Referer"}) {
    std::optional<std::string> value = HeaderValue(raw_request, name);
    if (!value.has_value() || value->empty()) continue;
    source.header = name;
    source.value = std::move(*value);
    source.own = IsOwnOrigin(source.value);
    source.storedPage = !source.own && IsStoredPageOrigin(source.value);
    break;
  }
  return source;
}

std::optional<std::string> RefuseForeignChange(const ThreadHandle* handle,
                                               std::string_view raw_request, const char* change) {
  // No request text: a call of the program's own, not one from the network.
  if (change == nullptr || raw_request.empty()) return std::nullopt;
  RequestSource source = SourceOf(raw_request);
  std::string line(FirstLine(raw_request));
  if (source.header.empty() && !common::StartsWithNoCase(line, "POST ")) {
    Trace(handle, common::Format(kConfirmTraceFormat, line.c_str()));
    std::string url(LineUrl(line));
    return common::Format(kConfirmReplyFormat, change, common::HtmlEscape(url).c_str());
  }
  if (source.own) return std::nullopt;
  if (source.storedPage) {
    char letter = CommandLetter(raw_request);
    if (std::string_view(change) == kStoredFormChange ||
        (std::string_view(change) == kCommandChange && letter != '\0' &&
         std::strchr(kStoredPageCommandLetters, letter) != nullptr))
      return std::nullopt;
  }
  Trace(handle, common::Format(kRefusalTraceFormat, source.header.c_str(), source.value.c_str(),
                               line.c_str()));
  return common::Format(kForbiddenReplyFormat, change, common::HtmlEscape(source.value).c_str());
}

}  // namespace engine
