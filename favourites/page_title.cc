// The page-title fetch.
#include "favourites/page_title.h"

#include <chrono>

#include "common/outbound_connection.h"
#include "common/route.h"
#include "common/text.h"
#include "engine/shared_context.h"

namespace favourites {

namespace {

constexpr size_t kBlock = 4095;
// A title is looked for in the head of a page; reading stops after this.
constexpr size_t kMostRead = 256 * 1024;

size_t FindNoCase(std::string_view text, std::string_view what, size_t from = 0) {
  if (what.size() > text.size()) return std::string_view::npos;
  for (size_t i = from; i + what.size() <= text.size(); ++i)
    if (common::StartsWithNoCase(text.substr(i), what)) return i;
  return std::string_view::npos;
}

// The title text, when the page holds a whole one.
bool FindTitle(std::string_view page, std::string* title) {
  size_t open = FindNoCase(page, "<TITLE>");
  if (open == std::string_view::npos) return false;
  size_t close = FindNoCase(page, "</TITLE", open + 7);
  if (close == std::string_view::npos) return false;
  *title = std::string(page.substr(open + 7, close - open - 7));
  return true;
}

}  // namespace

bool TitleRequest(std::string_view url, bool through_proxy, std::string* host_text,
                  std::string* request) {
  std::string line = "GET " + std::string(url) + " HTTP/1.0";
  std::string rewritten = line;
  std::string host = common::ExtractHost(&rewritten);
  if (host.empty()) return false;
  *host_text = host;
  *request = (through_proxy ? line : rewritten) + "\r\nHost: " + host + "\r\n\r\n";
  return true;
}

std::string TitleOfPage(std::string_view page) {
  std::string title;
  if (!FindTitle(page, &title)) return kUntitled;
  for (char& c : title)
    if (c == '\n' || c == '\r' || c == ',' || c == ';') c = ' ';
  size_t first = title.find_first_not_of(" \t");
  title = first == std::string::npos ? "" : title.substr(first);
  if (title.empty() || common::StartsWithNoCase(title, "Error")) return kUntitled;
  return title;
}

std::string PageTitle(engine::ThreadHandle& handle, const std::string& url) {
  engine::SharedContext& shared = *handle.shared;
  std::string host_text, request;
  if (!TitleRequest(url, false, &host_text, &request)) return kUntitled;
  common::RouteKind route = common::ChooseRoute(host_text, shared.upstreamProxy,
                                                shared.proxyOverrides, common::OverrideMatch::kEntry);
  std::string connect_to = host_text;
  if (route == common::RouteKind::kUpstream) {
    connect_to = shared.upstreamProxy;
    (void)TitleRequest(url, true, &host_text, &request);
  }
  std::string host;
  uint16_t port = 80;
  if (!common::SplitHostPort(connect_to, 80, &host, &port)) return kUntitled;
  common::OutboundOptions options;
  options.resolver.timeout_ms = kTitleFetchTimeoutMs;
  options.connect_timeout_ms = kTitleFetchTimeoutMs;
  options.attempts = 1;
  options.resolver.cancel = [&shared] { return shared.stop != 0; };
  os::Socket s = common::ConnectHost(host, port, shared.nameCache, options, nullptr);
  if (s == os::kNoSocket) return kUntitled;
  std::string page;
  if (os::SendAll(s, request)) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kTitleFetchTimeoutMs);
    char block[kBlock];
    std::string title;
    while (page.size() < kMostRead && !FindTitle(page, &title)) {
      auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
          deadline - std::chrono::steady_clock::now());
      if (left.count() <= 0) break;
      long got = common::ReceiveWithin(s, block, sizeof block, static_cast<int>(left.count()), -1);
      if (got <= 0) break;
      page.append(block, static_cast<size_t>(got));
    }
  }
  os::ShutdownAndClose(s);
  return TitleOfPage(page);
}

}  // namespace favourites
