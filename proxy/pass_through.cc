// Worker 'j'.
#include "proxy/pass_through.h"

#include <memory>
#include <optional>

#include "common/html_escape.h"
#include "common/reply_forms.h"
#include "common/route.h"
#include "common/text.h"
#include "engine/output_layer.h"
#include "engine/reply_file.h"
#include "os/files.h"
#include "proxy/body_codec.h"
#include "proxy/dashboard.h"
#include "proxy/forward_request.h"
#include "proxy/network.h"
#include "proxy/response_head.h"
#include "proxy/tunnel.h"

namespace proxy {

namespace {

// Seconds the network test may take before the notice of a network that
// does not answer.
constexpr int kShuntTestSeconds = 8;

std::string Page(const char* format, std::string_view host) {
  return common::Format(format, common::HtmlEscape(HostWithoutPort(host)).c_str());
}

// Reads from the server with the relay's idle time-out.
class ServerReader {
 public:
  ServerReader(os::Socket server, engine::SharedContext& shared)
      : server_(server), stop_fd_(shared.stopFd) {}
  // The count, 0 at the server's end, or a negative common::kReceive* / -1.
  long Next() {
    return common::ReceiveWithin(server_, piece_.get(), kRelayPiece, Settings().idle_timeout_ms,
                                 stop_fd_);
  }
  std::string_view Piece(long got) const {
    return std::string_view(piece_.get(), static_cast<size_t>(got));
  }

 private:
  os::Socket server_;
  int stop_fd_;
  std::unique_ptr<char[]> piece_ = std::make_unique<char[]>(kRelayPiece);
};

// How the body of a response ends.
class BodyEnd {
 public:
  BodyEnd(const ResponseHead& head, bool has_body)
      : has_body_(has_body), chunked_(head.chunked), remaining_(head.content_length) {}
  // The part of `piece` that belongs to the body; sets Done() when the body
  // ended within it. False on a damaged chunked framing.
  bool Take(std::string_view piece, std::string_view* body) {
    if (!has_body_) {
      *body = {};
      done_ = true;
      return true;
    }
    if (chunked_) {
      bool ok = true;
      size_t used = scanner_.Add(piece, nullptr, &ok);
      *body = piece.substr(0, used);
      done_ = scanner_.Done();
      return ok;
    }
    if (remaining_ >= 0) {
      size_t take =
          std::min<unsigned long long>(static_cast<unsigned long long>(remaining_), piece.size());
      *body = piece.substr(0, take);
      remaining_ -= static_cast<long long>(take);
      done_ = remaining_ == 0;
      return true;
    }
    *body = piece;
    return true;
  }
  bool Done() const { return done_ || (has_body_ && !chunked_ && remaining_ == 0); }

 private:
  bool has_body_;
  bool chunked_;
  long long remaining_;  // -1: until the server closes
  ChunkedDecoder scanner_;
  bool done_ = false;
};

// Relays a response without touching it, up to the end of its body.
void RelayUntouched(os::Socket browser, ServerReader& reader, std::string_view first,
                    size_t head_length, const ResponseHead& head, bool has_body) {
  BodyEnd end(head, has_body);
  std::string_view body;
  bool ok = end.Take(first.substr(head_length), &body);
  std::string out(first.substr(0, head_length));
  out.append(body);
  if (!os::SendAll(browser, out) || !ok) return;
  while (!end.Done()) {
    long got = reader.Next();
    if (got <= 0) return;
    ok = end.Take(reader.Piece(got), &body);
    if (!os::SendAll(browser, body) || !ok) return;
  }
}

// Relays an HTML page with the fragment before its closing tag, decoding a
// chunked or compressed body on the way.
void RelayWithFragment(os::Socket browser, ServerReader& reader, std::string_view first,
                       size_t head_length, const ResponseHead& head, std::string fragment) {
  std::optional<ChunkedDecoder> dechunk;
  if (head.chunked) dechunk.emplace();
  std::unique_ptr<Inflater> inflater;
  if (Inflater::Knows(head.content_encoding))
    inflater = std::make_unique<Inflater>(head.content_encoding);
  bool decoded = dechunk.has_value() || inflater != nullptr;
  // The length counts the bytes as sent, compressed or not.
  long long remaining = head.chunked ? -1 : head.content_length;
  FragmentInjector injector(fragment);

  std::string out = RewriteHtmlHead(first.substr(0, head_length), head, fragment.size(), decoded);
  bool ended = false;
  // One piece of the body as received; false when the relay must stop
  // without the fragment (damaged body).
  auto feed = [&](std::string_view piece) -> bool {
    std::string plain, inflated;
    if (dechunk) {
      bool ok = true;
      dechunk->Add(piece, &plain, &ok);
      if (!ok) return false;
      ended = dechunk->Done();
      piece = plain;
    } else if (remaining >= 0) {
      piece = piece.substr(0, std::min<unsigned long long>(
                                  static_cast<unsigned long long>(remaining), piece.size()));
      remaining -= static_cast<long long>(piece.size());
      ended = remaining == 0;
    }
    if (inflater) {
      if (!inflater->Add(piece, &inflated)) return false;
      piece = inflated;
    }
    injector.Add(piece, &out);
    return true;
  };
  // A body cut short goes out as far as it came, without the fragment.
  auto cut_short = [&] {
    injector.Release(&out);
    (void)os::SendAll(browser, out);
  };
  if (!feed(first.substr(head_length))) return cut_short();
  while (!ended) {
    if (!out.empty() && !os::SendAll(browser, out)) return;
    out.clear();
    long got = reader.Next();
    if (got == 0) break;  // the server's end is the body's end
    if (got < 0 || !feed(reader.Piece(got))) return cut_short();
  }
  injector.Finish(&out);
  (void)os::SendAll(browser, out);
}

// Reads the response head and relays the response. Returns the reply to
// send instead when the server gave no usable response (nothing has been
// sent to the browser then).
std::optional<std::string> Relay(engine::ThreadHandle& handle, engine::RequestEntry& entry,
                                 os::Socket server, const BrowserRequest& request,
                                 std::string_view server_host) {
  ServerReader reader(server, *handle.shared);
  std::string first;
  size_t head_length = 0;
  while (head_length == 0) {
    long got = reader.Next();
    if (got == common::kReceiveTimedOut) return Page(kTimeoutPageFormat, server_host);
    if (got <= 0) return Page(kBadGatewayPageFormat, server_host);
    first.append(reader.Piece(got));
    if (first.size() >= 5 && !common::StartsWithNoCase(first, "HTTP/"))
      return Page(kBadGatewayPageFormat, server_host);
    head_length = HeadLength(first);
    if (head_length == 0 && first.size() > kMaxResponseHead)
      return Page(kBadGatewayPageFormat, server_host);
  }
  ResponseHead head;
  if (!ParseResponseHead(std::string_view(first).substr(0, head_length), &head))
    return Page(kBadGatewayPageFormat, server_host);

  bool has_body = HasBody(head, MethodIs(request, "HEAD"));
  std::string fragment;
  bool decodable = head.content_encoding.empty() || head.content_encoding == "identity" ||
                   Inflater::Knows(head.content_encoding);
  // The strip is corvex's own HTML inside a foreign page: its links are
  // written for the browser here, as the output layer does for our replies.
  if (has_body && IsHtml(head) && decodable)
    fragment = engine::RewritePageText(DashboardFor(handle, request.url), handle.shared->programDir);
  common::SetNoDelay(entry.socket);
  if (fragment.empty()) {
    RelayUntouched(entry.socket, reader, first, head_length, head, has_body);
  } else {
    RelayWithFragment(entry.socket, reader, first, head_length, head, std::move(fragment));
  }
  return std::nullopt;
}

// Whether the network notice replaces the request: the marker file exists
// and the network, last seen down, does not answer the test either.
bool ShuntDue(engine::ThreadHandle& handle) {
  engine::SharedContext& shared = *handle.shared;
  if (!os::FileExists(shared.programDir + "/" + kShuntFile)) return false;
  return shared.networkUp == 0 && TestNetwork(handle, kShuntTestSeconds) == 0;
}

}  // namespace

std::string HostWithoutPort(std::string_view host_text) {
  std::string host;
  uint16_t port = 0;
  if (common::SplitHostPort(host_text, 80, &host, &port)) return host;
  return std::string(host_text.substr(0, host_text.find(':')));
}

std::string ShuntNotice(std::string_view raw_request) {
  std::string_view line = raw_request.substr(0, raw_request.find('\n'));
  size_t last_blank = line.rfind(' ');
  size_t first_blank = line.find(' ');
  if (last_blank != std::string_view::npos && last_blank > first_blank)
    line = line.substr(0, last_blank);
  size_t slashes = line.find("//");
  std::string_view page = slashes == std::string_view::npos ? "" : line.substr(slashes + 2);
  return common::Format(kShuntNoticeFormat, common::HtmlEscape(page).c_str());
}

void ServePassThrough(engine::ThreadHandle& handle, engine::RequestEntry& entry) {
  engine::SharedContext& shared = *handle.shared;
  if (entry.rawRequest.empty()) return engine::FinishEntry(shared, entry);
  if (ShuntDue(handle)) return engine::AnswerWithText(shared, entry, ShuntNotice(entry.rawRequest));

  BrowserRequest request;
  switch (ParseBrowserRequest(entry.rawRequest, &request)) {
    case ParseResult::kOk:
      break;
    case ParseResult::kNotHttp:
      return engine::AnswerWithText(shared, entry, kNotHttpPage);
    case ParseResult::kNoRequestLine:
    case ParseResult::kNoHost:
      return engine::AnswerWithText(shared, entry, kNoHostPage);
  }
  common::RouteKind route = common::ChooseRoute(
      request.host, shared.upstreamProxy, shared.proxyOverrides, common::OverrideMatch::kEntry);
  // Browsing an ordinary page ends off-line mode.
  shared.offline = 0;
  if (MethodIs(request, "CONNECT")) return ServeTunnel(handle, entry, request, route);

  std::string server_host =
      route == common::RouteKind::kDirect ? request.host : shared.upstreamProxy;
  os::Socket server = ConnectTo(handle, server_host);
  if (server == os::kNoSocket) {
    return engine::AnswerWithText(
        shared, entry,
        std::string(common::kReplyUnavailable) + Page(kUnresolvedPageFormat, server_host));
  }
  std::optional<std::string> failed;
  if (os::SendAll(server, OutgoingRequest(request, route, shared.dashboardState != 0))) {
    failed = Relay(handle, entry, server, request, server_host);
  } else {
    failed = Page(kBadGatewayPageFormat, server_host);
  }
  os::ShutdownAndClose(server);
  if (failed) return engine::AnswerWithText(shared, entry, *failed);
  engine::FinishEntry(shared, entry);
}

}  // namespace proxy
