// CONNECT tunnels.
#include "proxy/tunnel.h"

#include <poll.h>
#include <sys/socket.h>

#include <cerrno>
#include <memory>
#include <string>

#include "common/html_escape.h"
#include "common/outbound_connection.h"
#include "common/reply_forms.h"
#include "common/text.h"
#include "engine/reply_file.h"
#include "proxy/network.h"
#include "proxy/pass_through.h"
#include "proxy/response_head.h"

namespace proxy {

namespace {

constexpr uint16_t kHttpsPort = 443;

// Asks the upstream proxy for a tunnel. True when it answered 200: any
// bytes after its head are left in *early. Otherwise *refusal holds what it
// answered (to pass on to the browser), or is empty when it said nothing
// usable.
bool AskUpstream(os::Socket upstream, const BrowserRequest& request, int idle_ms, int wake_fd,
                 std::string* early, std::string* refusal) {
  std::string ask = "CONNECT " + request.host + " HTTP/1.0\r\nHost: " + request.host + "\r\n";
  std::string credentials = HeaderValue(request, "Proxy-Authorization");
  if (!credentials.empty()) ask += "Proxy-Authorization: " + credentials + "\r\n";
  ask += "\r\n";
  if (!os::SendAll(upstream, ask)) return false;
  std::string answer;
  char piece[4096];
  size_t head_length = 0;
  while (head_length == 0) {
    long got = common::ReceiveWithin(upstream, piece, sizeof piece, idle_ms, wake_fd);
    if (got <= 0 || answer.size() > kMaxResponseHead) return false;
    answer.append(piece, static_cast<size_t>(got));
    head_length = HeadLength(answer);
  }
  ResponseHead head;
  if (!ParseResponseHead(std::string_view(answer).substr(0, head_length), &head)) return false;
  if (head.status / 100 == 2) {
    *early = answer.substr(head_length);
    return true;
  }
  // The refusal goes to the browser as it came (a 407 asks it for
  // credentials), with its body when the length says how long it is.
  *refusal = answer;
  if (head.content_length > 0) {
    size_t want =
        head_length + static_cast<size_t>(std::min<long long>(head.content_length, 65536));
    while (refusal->size() < want) {
      long got = common::ReceiveWithin(upstream, piece, sizeof piece, idle_ms, wake_fd);
      if (got <= 0) break;
      refusal->append(piece, static_cast<size_t>(got));
    }
    refusal->resize(std::min(refusal->size(), want));
  }
  return false;
}

}  // namespace

void PumpBothWays(int browser, int server, int idle_ms, int wake_fd) {
  // [0] browser to server, [1] server to browser.
  int from[2] = {browser, server};
  int to[2] = {server, browser};
  bool open[2] = {true, true};
  auto piece = std::make_unique<char[]>(kRelayPiece);
  while (open[0] || open[1]) {
    pollfd fds[3];
    int which[2] = {-1, -1};
    nfds_t count = 0;
    for (int d = 0; d < 2; ++d) {
      if (!open[d]) continue;
      which[d] = static_cast<int>(count);
      fds[count++] = pollfd{from[d], POLLIN, 0};
    }
    nfds_t wake_at = count;
    if (wake_fd >= 0) fds[count++] = pollfd{wake_fd, POLLIN, 0};
    int ready;
    do {
      ready = ::poll(fds, count, idle_ms);
    } while (ready < 0 && errno == EINTR);
    if (ready <= 0) return;  // silent for the idle time-out, or broken
    if (wake_fd >= 0 && (fds[wake_at].revents & POLLIN) != 0) return;
    for (int d = 0; d < 2; ++d) {
      if (!open[d] || fds[which[d]].revents == 0) continue;
      ssize_t got;
      do {
        got = ::recv(from[d], piece.get(), kRelayPiece, 0);
      } while (got < 0 && errno == EINTR);
      if (got < 0) return;
      if (got == 0) {
        open[d] = false;
        ::shutdown(to[d], SHUT_WR);
        continue;
      }
      if (!os::SendAll(to[d], std::string_view(piece.get(), static_cast<size_t>(got)))) return;
    }
  }
}

void ServeTunnel(engine::ThreadHandle& handle, engine::RequestEntry& entry,
                 const BrowserRequest& request, common::RouteKind route) {
  engine::SharedContext& shared = *handle.shared;
  bool direct = route == common::RouteKind::kDirect;
  std::string server_host = direct ? request.host : shared.upstreamProxy;
  os::Socket server = ConnectTo(handle, server_host, nullptr, direct ? kHttpsPort : 80);
  if (server == os::kNoSocket) {
    std::string page = common::Format(kUnresolvedPageFormat,
                                      common::HtmlEscape(HostWithoutPort(server_host)).c_str());
    return engine::AnswerWithText(shared, entry, std::string(common::kReplyUnavailable) + page);
  }
  std::string early;
  if (!direct) {
    std::string refusal;
    if (!AskUpstream(server, request, Settings().idle_timeout_ms, shared.stopFd, &early,
                     &refusal)) {
      os::ShutdownAndClose(server);
      if (refusal.empty())
        refusal = common::Format(kBadGatewayPageFormat,
                                 common::HtmlEscape(HostWithoutPort(server_host)).c_str());
      return engine::AnswerWithText(shared, entry, refusal);
    }
  }
  common::SetNoDelay(entry.socket);
  // Bytes the browser sent behind its CONNECT head, and bytes the upstream
  // proxy sent behind its answer, go first.
  bool sent = os::SendAll(entry.socket, std::string(kTunnelEstablished) + early) &&
              os::SendAll(server, request.body);
  if (sent) PumpBothWays(entry.socket, server, Settings().tunnel_idle_ms, shared.stopFd);
  os::ShutdownAndClose(server);
  engine::FinishEntry(shared, entry);
}

}  // namespace proxy
