// Opening the outbound connection of a fetch: the route (directly to the
// URL's host, or through the upstream proxy unless the host is in the
// override list), the name lookup and the connect, each bounded in time.
// The fetcher sees only this interface, so that the program's shared
// outbound code can take the place of the plain one below.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "os/socket.h"

namespace jobs {

struct OutboundRequest {
  std::string host;            // the URL's host, without its port
  uint16_t port = 80;          // the URL's port
  std::string host_and_port;   // as written in the URL ("h" or "h:8080")
  std::string upstream_proxy;  // "host:port" or ""; port 80 when absent
  std::string overrides;       // hosts reached directly, "<local>" for dotless
  int connect_timeout_ms = 30000;
  int idle_timeout_ms = 60000;  // set on the socket for every receive
};

struct OutboundResult {
  os::Socket socket = os::kNoSocket;  // kNoSocket: the connection failed
  bool via_proxy = false;             // the request line carries the full URL
};

// Whether the request goes through the upstream proxy: a proxy is set, and
// the host (with its port when written) does not occur in the override
// list, and "<local>" is not there for a host without a dot. Letter case
// counts.
bool RoutesThroughProxy(std::string_view host_and_port, std::string_view upstream_proxy,
                        std::string_view overrides);

class Outbound {
 public:
  virtual ~Outbound() = default;
  virtual OutboundResult Open(const OutboundRequest& request) = 0;
};

// The plain implementation: getaddrinfo through a per-run name cache,
// socket with linger and keep-alive, a connect bounded by the time-out.
// Failures are logged with the job's texts.
class PlainOutbound : public Outbound {
 public:
  using LogSink = std::function<void(std::string_view)>;
  explicit PlainOutbound(LogSink log) : log_(std::move(log)) {}
  OutboundResult Open(const OutboundRequest& request) override;

 private:
  struct CacheEntry {
    std::string name;
    std::vector<uint8_t> address;  // a sockaddr of the first address
  };
  const CacheEntry* Lookup(const std::string& name);
  void Log(std::string_view line) {
    if (log_) log_(line);
  }

  LogSink log_;
  std::vector<CacheEntry> cache_;  // in discovery order, for the run
  bool network_down_ = false;
};

}  // namespace jobs
