// The stored copy of a response.
#include "jobs/stored_response.h"

#include <algorithm>
#include <utility>
#include <vector>

#include "common/page_replica_format.h"
#include "common/text.h"
#include "jobs/http_response.h"
#include "jobs/link_scan.h"

namespace jobs {

namespace {

constexpr char kScheme[] = "http://";
constexpr size_t kSchemeLength = 7;

std::string Marker(bool form) {
  return std::string(form ? "[wrs;" : "[wr;") + common::kContextMarker + "]";
}

bool InRanges(const std::vector<std::pair<size_t, size_t>>& ranges, size_t at) {
  auto after = std::upper_bound(ranges.begin(), ranges.end(), std::make_pair(at, size_t(-1)));
  return after != ranges.begin() && at < std::prev(after)->second;
}

// Replaces the value of the Content-length header by `length`.
std::string WithContentLength(std::string_view response, long length) {
  size_t end = response.find("\r\n\r\n");
  std::string_view headers = response.substr(0, end);
  size_t at = common::FindText('<', headers, "Content-length: ");
  if (at == common::kNotFound) return std::string(response);
  size_t value = at + 16;
  size_t stop = response.find_first_of("\r\n", value);
  std::string out(response.substr(0, value));
  out += std::to_string(length);
  out.append(response.substr(stop));
  return out;
}

}  // namespace

std::string RewriteAbsoluteLinks(std::string_view text, StoredKind kind) {
  std::vector<std::pair<size_t, size_t>> ranges;
  if (kind == StoredKind::kPage) ranges = StyleAndSrcsetRanges(text);
  std::sort(ranges.begin(), ranges.end());
  const bool css = kind == StoredKind::kStyleSheet;
  std::string out;
  out.reserve(text.size() + text.size() / 16);
  size_t i = 0;
  for (;;) {
    size_t found = common::FindText('<', text.substr(i), kScheme);
    if (found == common::kNotFound) break;
    size_t at = i + found;
    out.append(text.substr(i, at - i));
    out.append(text.substr(at, kSchemeLength));
    char before = at > 0 ? text[at - 1] : '\0';
    bool url_call =
        before == '(' && at >= 4 && common::StartsWithNoCase(text.substr(at - 4), "url(");
    if (at >= 8 && common::StartsWithNoCase(text.substr(at - 8), "action=\"")) {
      out += Marker(true);
    } else if (kind == StoredKind::kRedirect || before == '"' || before == '\'' || before == '=' ||
               url_call) {
      out += Marker(false);
    } else if ((before == ' ' || before == ',' || before == '\n' || before == '\t') &&
               (css || InRanges(ranges, at))) {
      out += Marker(false);
    }
    i = at + kSchemeLength;
  }
  out.append(text.substr(i));
  if (!css) out += '\n';
  return out;
}

std::string StoredResponse(std::string_view response, StoredKind kind, long* body_length) {
  size_t body = BodyStart(response);
  long received = body == std::string_view::npos ? 0 : static_cast<long>(response.size() - body);
  if (body_length != nullptr) *body_length = received;
  if (kind == StoredKind::kAsIs) return std::string(response);
  std::string rewritten = RewriteAbsoluteLinks(response, kind);
  if (body == std::string_view::npos || kind == StoredKind::kRedirect) return rewritten;
  if (kind == StoredKind::kStyleSheet) {
    size_t new_body = BodyStart(rewritten);
    return WithContentLength(rewritten, static_cast<long>(rewritten.size() - new_body));
  }
  // The markers grow the page; the announced length grows with them, or a
  // browser would stop reading before the page's end.
  long growth = static_cast<long>(rewritten.size()) - static_cast<long>(response.size()) - 1;
  return WithContentLength(rewritten, received + kDashboardRoom + growth);
}

}  // namespace jobs
