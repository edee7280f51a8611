// The plain outbound connection.
#include "jobs/outbound.h"

#include <errno.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <strings.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

namespace jobs {

namespace {

void SplitHostPort(std::string_view text, std::string* host, uint16_t* port) {
  size_t colon = text.find(':');
  *host = std::string(text.substr(0, colon));
  *port = 80;
  if (colon != std::string_view::npos) {
    long value = std::strtol(std::string(text.substr(colon + 1)).c_str(), nullptr, 10);
    if (value > 0 && value < 65536) *port = static_cast<uint16_t>(value);
  }
}

// Connects within `timeout_ms`; false on failure or time-out.
bool ConnectWithin(int fd, const sockaddr* address, socklen_t length, int timeout_ms) {
  int flags = fcntl(fd, F_GETFL, 0);
  if (flags < 0 || fcntl(fd, F_SETFL, flags | O_NONBLOCK) != 0) return false;
  int result = ::connect(fd, address, length);
  if (result != 0 && errno != EINPROGRESS) return false;
  if (result != 0) {
    pollfd p{fd, POLLOUT, 0};
    int ready;
    do {
      ready = ::poll(&p, 1, timeout_ms);
    } while (ready < 0 && errno == EINTR);
    if (ready <= 0) return false;
    int error = 0;
    socklen_t size = sizeof error;
    if (getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &size) != 0 || error != 0) {
      errno = error;
      return false;
    }
  }
  return fcntl(fd, F_SETFL, flags) == 0;
}

}  // namespace

bool RoutesThroughProxy(std::string_view host_and_port, std::string_view upstream_proxy,
                        std::string_view overrides) {
  if (upstream_proxy.empty()) return false;
  if (overrides.empty()) return true;
  if (!host_and_port.empty() && overrides.find(host_and_port) != std::string_view::npos)
    return false;
  if (overrides.find("<local>") != std::string_view::npos &&
      host_and_port.find('.') == std::string_view::npos) {
    return false;
  }
  return true;
}

const PlainOutbound::CacheEntry* PlainOutbound::Lookup(const std::string& name) {
  for (const CacheEntry& entry : cache_)
    if (strcasecmp(entry.name.c_str(), name.c_str()) == 0) return &entry;
  if (network_down_) return nullptr;
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  // getaddrinfo reads a dotted number as an address by itself.
  if (getaddrinfo(name.c_str(), nullptr, &hints, &found) != 0 || found == nullptr) return nullptr;
  CacheEntry entry;
  entry.name = name;
  const uint8_t* bytes = reinterpret_cast<const uint8_t*>(found->ai_addr);
  entry.address.assign(bytes, bytes + found->ai_addrlen);
  freeaddrinfo(found);
  Log("\nAllocating Net Address cache: " + name);
  cache_.push_back(std::move(entry));
  return &cache_.back();
}

OutboundResult PlainOutbound::Open(const OutboundRequest& request) {
  OutboundResult result;
  result.via_proxy =
      RoutesThroughProxy(request.host_and_port, request.upstream_proxy, request.overrides);
  std::string host = request.host;
  uint16_t port = request.port;
  if (result.via_proxy) SplitHostPort(request.upstream_proxy, &host, &port);

  const CacheEntry* entry = Lookup(host);
  if (entry == nullptr) {
    Log("\nNetwork Address " + host + " unresolvable");
    return result;
  }
  int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) {
    Log("\nsocket() failed");
    return result;
  }
  linger lingering{1, 10};
  if (setsockopt(fd, SOL_SOCKET, SO_LINGER, &lingering, sizeof lingering) != 0)
    Log("\nCould not set socket option SO_LINGER");
  int on = 1;
  if (setsockopt(fd, SOL_SOCKET, SO_KEEPALIVE, &on, sizeof on) != 0)
    Log("\nCould not set socket option SO_KEEPALIVE");
  std::vector<uint8_t> address = entry->address;
  reinterpret_cast<sockaddr_in*>(address.data())->sin_port = htons(port);
  if (!ConnectWithin(fd, reinterpret_cast<const sockaddr*>(address.data()),
                     static_cast<socklen_t>(address.size()), request.connect_timeout_ms)) {
    if (errno == ENETDOWN) network_down_ = true;
    ::close(fd);
    Log("\nconnect() failed");
    return result;
  }
  (void)os::SetReceiveTimeout(fd, request.idle_timeout_ms);
  result.socket = fd;
  return result;
}

}  // namespace jobs
