// Outbound connections with time-outs.
#include "common/outbound_connection.h"

#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>

namespace common {

namespace {

void Say(const OutboundOptions& options, std::string_view line) {
  if (options.trace) options.trace(line);
}

void Network(const OutboundOptions& options, bool up) {
  if (options.network_state) options.network_state(up);
}

// Connects the non-blocking socket within `timeout_ms`; stops early when
// `wake_fd` becomes readable. Leaves the socket blocking again.
bool ConnectWithin(int s, const NetAddress& address, uint16_t port, int timeout_ms, int wake_fd) {
  NetAddress target = address;
  if (target.storage.ss_family == AF_INET)
    reinterpret_cast<sockaddr_in*>(&target.storage)->sin_port = htons(port);
  else
    reinterpret_cast<sockaddr_in6*>(&target.storage)->sin6_port = htons(port);
  int flags = ::fcntl(s, F_GETFL, 0);
  if (flags < 0 || ::fcntl(s, F_SETFL, flags | O_NONBLOCK) < 0) return false;
  int status = ::connect(s, reinterpret_cast<const sockaddr*>(&target.storage), target.length);
  if (status != 0 && errno != EINPROGRESS) return false;
  if (status != 0) {
    pollfd fds[2] = {{s, POLLOUT, 0}, {wake_fd, POLLIN, 0}};
    nfds_t count = wake_fd >= 0 ? 2 : 1;
    int ready;
    do {
      ready = ::poll(fds, count, timeout_ms);
    } while (ready < 0 && errno == EINTR);
    if (ready <= 0) return false;
    if (count == 2 && (fds[1].revents & POLLIN) != 0) return false;
    int error = 0;
    socklen_t length = sizeof error;
    if (::getsockopt(s, SOL_SOCKET, SO_ERROR, &error, &length) != 0 || error != 0) return false;
  }
  return ::fcntl(s, F_SETFL, flags) == 0;
}

}  // namespace

os::Socket ConnectHost(const std::string& host, uint16_t port, NameCache& cache,
                       const OutboundOptions& options, ConnectResult* result,
                       LookupResult* lookup) {
  auto give = [&](ConnectResult r) {
    if (result != nullptr) *result = r;
    return os::kNoSocket;
  };
  int attempts = options.attempts < 1 ? 1 : options.attempts;
  for (int attempt = 1; attempt <= attempts; ++attempt) {
    NetAddress address;
    bool added = false;
    LookupResult found = cache.Lookup(host, options.resolver, &address, &added);
    if (lookup != nullptr) *lookup = found;
    if (found != LookupResult::kResolved) {
      if (found == LookupResult::kNoSuchName) Network(options, true);
      if (found == LookupResult::kTimedOut) Network(options, false);
      Say(options, kTraceUnresolvable);
      return give(ConnectResult::kUnresolved);
    }
    if (added) {
      Network(options, true);
      Say(options, std::string(kTraceAllocating) + host);
    }
    int s = ::socket(address.storage.ss_family, SOCK_STREAM | SOCK_CLOEXEC, IPPROTO_TCP);
    if (s < 0) {
      Say(options, kTraceSocketFailed);
      return give(ConnectResult::kSocketFailed);
    }
    linger lingering{1, kLingerSeconds};
    if (::setsockopt(s, SOL_SOCKET, SO_LINGER, &lingering, sizeof lingering) != 0)
      Say(options, kTraceNoLinger);
    int on = 1;
    if (::setsockopt(s, SOL_SOCKET, SO_KEEPALIVE, &on, sizeof on) != 0)
      Say(options, kTraceNoKeepAlive);
    if (ConnectWithin(s, address, port, options.connect_timeout_ms, options.resolver.wake_fd)) {
      Network(options, true);
      SetNoDelay(s);
      if (result != nullptr) *result = ConnectResult::kConnected;
      return s;
    }
    Network(options, false);
    cache.Clear();
    ::close(s);
    Say(options, kTraceConnectFailed);
  }
  return give(ConnectResult::kConnectFailed);
}

long ReceiveWithin(os::Socket s, char* buffer, size_t size, int idle_ms, int wake_fd) {
  pollfd fds[2] = {{s, POLLIN, 0}, {wake_fd, POLLIN, 0}};
  nfds_t count = wake_fd >= 0 ? 2 : 1;
  int ready;
  do {
    ready = ::poll(fds, count, idle_ms);
  } while (ready < 0 && errno == EINTR);
  if (ready < 0) return -1;
  if (ready == 0) return kReceiveTimedOut;
  if ((fds[0].revents & (POLLIN | POLLERR | POLLHUP)) == 0) return kReceiveStopped;
  ssize_t got;
  do {
    got = ::recv(s, buffer, size, 0);
  } while (got < 0 && errno == EINTR);
  return got < 0 ? -1 : static_cast<long>(got);
}

void SetNoDelay(os::Socket s) {
  int on = 1;
  (void)::setsockopt(s, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
}

}  // namespace common
