// Outbound TCP connections to web servers and upstream proxies: the name
// lookup through a name cache, the connect with its time-out and a second
// attempt, and receives that give up after an idle time-out. Shared by the
// pass-through of corvex and the crawler of corvjobs; what the caller's
// program keeps (trace, network state) is reached through the callbacks.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "common/name_cache.h"
#include "os/socket.h"

namespace common {

// Trace lines of a connection, as the caller shows them.
inline constexpr char kTraceUnresolvable[] = "\nNetwork Address unresolvable";
inline constexpr char kTraceSocketFailed[] = "\nsocket() failed";
inline constexpr char kTraceNoLinger[] = "\nCould not set socket option SO_LINGER";
inline constexpr char kTraceNoKeepAlive[] = "\nCould not set socket option SO_KEEPALIVE";
inline constexpr char kTraceConnectFailed[] = "\nconnect() failed";
inline constexpr char kTraceAllocating[] = "\nAllocating Net Address cache: ";

// Seconds an outbound socket lingers on close with data unsent.
inline constexpr int kLingerSeconds = 10;

enum class ConnectResult {
  kConnected,
  kUnresolved,     // the lookup gave no address (see *lookup for why)
  kSocketFailed,   // no socket could be made
  kConnectFailed,  // both attempts failed or timed out
};

struct OutboundOptions {
  ResolverOptions resolver;
  int connect_timeout_ms = 30000;
  int attempts = 2;
  // Trace lines (may be empty).
  std::function<void(std::string_view)> trace;
  // The network answered (true) or did not (false): a name found or known
  // not to exist, a connection made; a lookup time-out, a failed connection.
  // A cancelled lookup reports nothing. May be empty.
  std::function<void(bool)> network_state;
};

// Connects to `host` (a name or an address) and `port`. Each attempt looks
// the host up in `cache` (resolving and appending it when absent), makes a
// stream socket with lingering (10 s) and keep-alive on, and connects
// within the time-out. A failed connect empties the cache, so the second
// attempt resolves the host afresh. Returns the connected (blocking) socket,
// or kNoSocket with *result (may be null) telling why; *lookup (may be null)
// gets the last lookup's result.
[[nodiscard]] os::Socket ConnectHost(const std::string& host, uint16_t port, NameCache& cache,
                                     const OutboundOptions& options, ConnectResult* result,
                                     LookupResult* lookup = nullptr);

// Receives at most `size` bytes, waiting at most `idle_ms` for the first of
// them: the count, 0 when the peer has closed, kReceiveTimedOut when nothing
// came in time, kReceiveStopped when `wake_fd` (may be -1) became readable,
// -1 on error.
inline constexpr long kReceiveTimedOut = -2;
inline constexpr long kReceiveStopped = -3;
long ReceiveWithin(os::Socket s, char* buffer, size_t size, int idle_ms, int wake_fd);

// Switches off the small-segment delay on `s`, so that a reply sent in
// several pieces is not held back waiting for acknowledgements.
void SetNoDelay(os::Socket s);

}  // namespace common
