// Outbound connections and the network test of corvex.
#include "proxy/network.h"

#include <cstdlib>

#include "common/route.h"
#include "os/desktop.h"

namespace proxy {

namespace {

int NumberFromEnvironment(const char* name, int fallback) {
  const char* text = std::getenv(name);
  if (text == nullptr || *text == '\0') return fallback;
  char* end = nullptr;
  long value = std::strtol(text, &end, 10);
  if (*end != '\0' || value <= 0 || value > 24L * 3600 * 1000) return fallback;
  return static_cast<int>(value);
}

common::OutboundOptions OutboundFor(engine::ThreadHandle& handle) {
  engine::SharedContext& shared = *handle.shared;
  common::OutboundOptions options;
  options.resolver = ResolverFor(handle);
  options.connect_timeout_ms = Settings().connect_timeout_ms;
  options.trace = [&handle](std::string_view line) { engine::Trace(&handle, line); };
  options.network_state = [&shared](bool up) { shared.networkUp = up ? 1 : 0; };
  return options;
}

}  // namespace

ProxySettings& Settings() {
  static ProxySettings settings;
  return settings;
}

void ReadSettingsFromEnvironment() {
  ProxySettings& s = Settings();
  s.connect_timeout_ms = NumberFromEnvironment("CORVANE_CONNECT_TIMEOUT_MS", s.connect_timeout_ms);
  s.idle_timeout_ms = NumberFromEnvironment("CORVANE_IDLE_TIMEOUT_MS", s.idle_timeout_ms);
  s.tunnel_idle_ms = NumberFromEnvironment("CORVANE_TUNNEL_IDLE_MS", s.tunnel_idle_ms);
  if (const char* servers = std::getenv("CORVANE_DNS_SERVERS")) s.dns_servers = servers;
  const char* test_host = std::getenv("CORVANE_NETWORK_TEST_HOST");
  if (test_host != nullptr && *test_host != '\0') s.network_test_host = test_host;
}

common::ResolverOptions ResolverFor(engine::ThreadHandle& handle, int timeout_seconds) {
  engine::SharedContext& shared = *handle.shared;
  int seconds = timeout_seconds != 0 ? timeout_seconds : shared.networkTimeout;
  if (seconds <= 0) seconds = 120;
  common::ResolverOptions options;
  options.timeout_ms = seconds * 1000;
  // Esc is read on the desktop the user sees; a headless desktop reads the
  // keys it was given.
  options.cancel = [] { return os::KeyDown(os::Key::kEsc); };
  options.servers = Settings().dns_servers;
  options.wake_fd = shared.stopFd;
  return options;
}

os::Socket ConnectTo(engine::ThreadHandle& handle, std::string_view host_text,
                     common::ConnectResult* result, uint16_t default_port) {
  std::string host;
  uint16_t port = 0;
  if (!common::SplitHostPort(host_text, default_port, &host, &port)) {
    engine::Trace(&handle, common::kTraceUnresolvable);
    if (result != nullptr) *result = common::ConnectResult::kUnresolved;
    return os::kNoSocket;
  }
  return common::ConnectHost(host, port, handle.shared->nameCache, OutboundFor(handle), result);
}

int TestNetwork(engine::ThreadHandle& handle, int timeout_seconds) {
  engine::SharedContext& shared = *handle.shared;
  engine::Trace(&handle, kTraceTesting);
  common::NetAddress address;
  bool added = false;
  const std::string name = Settings().network_test_host;
  common::LookupResult result =
      shared.nameCache.Lookup(name, ResolverFor(handle, timeout_seconds), &address, &added);
  switch (result) {
    case common::LookupResult::kResolved:
      if (added) engine::Trace(&handle, std::string(common::kTraceAllocating) + name);
      shared.networkUp = 1;
      break;
    case common::LookupResult::kNoSuchName:
      shared.networkUp = 1;
      break;
    case common::LookupResult::kTimedOut:
      shared.networkUp = 0;
      break;
    case common::LookupResult::kCancelled:
      break;
  }
  engine::Trace(&handle, kTraceTested);
  int up = shared.networkUp != 0 ? 1 : 0;
  engine::Trace(&handle, up != 0 ? kTraceNetworkUp : kTraceNetworkDown);
  return up;
}

}  // namespace proxy
