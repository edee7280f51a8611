// The web proxy's side of the network: its time-outs, the outbound
// connection of a pass-through request through the shared context's name
// cache, and the network test that tells the catalogue, the scheduler and
// the dialogs whether the network answers (`networkUp`).
#pragma once

#include <string>
#include <string_view>

#include "common/outbound_connection.h"
#include "engine/thread_handle.h"

namespace proxy {

// The name that the network test looks up: it never exists, so only
// whether the resolver answers in time matters.
inline constexpr char kTestName[] = "corvane.testing.network";

// Time-outs of outbound connections and where names are looked up. Read
// from the environment at installation (CORVANE_CONNECT_TIMEOUT_MS,
// CORVANE_IDLE_TIMEOUT_MS, CORVANE_TUNNEL_IDLE_MS, CORVANE_DNS_SERVERS,
// CORVANE_NETWORK_TEST_HOST); tests set them directly before the workers
// start.
struct ProxySettings {
  int connect_timeout_ms = 30000;
  // Silence of a server, after the request was sent, that ends the relay.
  int idle_timeout_ms = 120000;
  // Silence in both directions that ends an HTTPS tunnel.
  int tunnel_idle_ms = 300000;
  // Name servers instead of the system's ("127.0.0.1:5353"); empty: the
  // system's.
  std::string dns_servers;
  // The name the network test looks up. On a closed network (a build
  // machine) the name servers may never answer, and every test would take
  // its whole time-out and report the network down, deferring the
  // scheduler's jobs; there a loopback name or address ("127.0.0.1",
  // "localhost") answers at once.
  std::string network_test_host = kTestName;
};
ProxySettings& Settings();
void ReadSettingsFromEnvironment();

inline constexpr char kTraceTesting[] = "Testing network...";
inline constexpr char kTraceTested[] = "Done testing network.";
inline constexpr char kTraceNetworkUp[] = "Network services responding normally.";
inline constexpr char kTraceNetworkDown[] =
    "Network services not responding, all pending jobs are deferred.";

// The resolver options of a lookup by `handle`: `timeout_seconds`, or
// `networkTimeout` of the shared context when 0; the user cancels with Esc;
// stop cancels too.
common::ResolverOptions ResolverFor(engine::ThreadHandle& handle, int timeout_seconds = 0);

// Connects to `host_text` ("host" or "host:port", `default_port` when none
// is written) as worker 'j' does: through the name cache, two attempts,
// trace lines on the handle, `networkUp` kept. kNoSocket on failure, with
// *result (may be null) telling why.
[[nodiscard]] os::Socket ConnectTo(engine::ThreadHandle& handle, std::string_view host_text,
                                   common::ConnectResult* result = nullptr,
                                   uint16_t default_port = 80);

// Looks up the network test's name (kTestName unless configured) within `timeout_seconds` (networkTimeout when 0), sets
// `networkUp` from the answer and returns it: 1 the network answers, 0 it
// does not. A lookup the user cancelled leaves `networkUp` as it was.
int TestNetwork(engine::ThreadHandle& handle, int timeout_seconds);

}  // namespace proxy
