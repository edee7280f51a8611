// Name lookups with a time-out and a cancel, the name cache, and outbound
// connections, against a name server and listeners on loopback.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <string>
#include <vector>

#include "common/name_cache.h"
#include "common/outbound_connection.h"
#include "os/socket.h"
#include "tests/common/dns_responder.h"

namespace {

using common::LookupResult;
using Clock = std::chrono::steady_clock;

common::ResolverOptions Through(const DnsResponder& dns, int timeout_ms = 1000) {
  common::ResolverOptions options;
  options.servers = dns.Servers();
  options.timeout_ms = timeout_ms;
  return options;
}

long ElapsedMs(Clock::time_point since) {
  return static_cast<long>(
      std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - since).count());
}

TEST(ResolveName, TheThreeOutcomesOfTheResolver) {
  DnsResponder dns(DnsResponder::Mode::kAnswer, "10.1.2.3");
  common::NetAddress address;
  EXPECT_EQ(common::ResolveName("www.example.test", Through(dns), &address),
            LookupResult::kResolved);
  EXPECT_EQ(common::AddressText(address), "10.1.2.3");

  dns.SetMode(DnsResponder::Mode::kNoSuchName);
  auto start = Clock::now();
  EXPECT_EQ(common::ResolveName("nothing.example.test", Through(dns, 5000), &address),
            LookupResult::kNoSuchName);
  EXPECT_LT(ElapsedMs(start), 2000);

  dns.SetMode(DnsResponder::Mode::kSilent);
  start = Clock::now();
  EXPECT_EQ(common::ResolveName("slow.example.test", Through(dns, 300), &address),
            LookupResult::kTimedOut);
  long took = ElapsedMs(start);
  EXPECT_GE(took, 280);
  EXPECT_LT(took, 3000);
}

TEST(ResolveName, ACancelEndsTheWaitAndTellsNothing) {
  DnsResponder dns(DnsResponder::Mode::kSilent);
  common::ResolverOptions options = Through(dns, 60000);
  auto start = Clock::now();
  options.cancel = [&] { return ElapsedMs(start) > 200; };
  common::NetAddress address;
  EXPECT_EQ(common::ResolveName("slow.example.test", options, &address), LookupResult::kCancelled);
  EXPECT_LT(ElapsedMs(start), 3000);
}

TEST(ResolveName, AddressesNeedNoResolverAndBadNamesNoNetwork) {
  common::ResolverOptions options;
  options.servers = "127.0.0.1:9";  // nobody there
  options.timeout_ms = 100;
  common::NetAddress address;
  EXPECT_EQ(common::ResolveName("127.0.0.1", options, &address), LookupResult::kResolved);
  EXPECT_EQ(common::AddressText(address), "127.0.0.1");
  EXPECT_EQ(common::ResolveName("::1", options, &address), LookupResult::kResolved);
  EXPECT_EQ(common::AddressText(address), "::1");
  EXPECT_EQ(common::ResolveName("", options, &address), LookupResult::kNoSuchName);
  EXPECT_EQ(common::ResolveName(std::string("a\0b", 3), options, &address),
            LookupResult::kNoSuchName);
}

TEST(NameCache, KeepsNamesInOrderWithoutRegardToCaseUntilCleared) {
  DnsResponder dns(DnsResponder::Mode::kAnswer, "10.9.8.7");
  std::mutex lock;
  common::NameCache cache(lock);
  common::NetAddress address;
  bool added = false;
  ASSERT_EQ(cache.Lookup("Www.Example.Test", Through(dns), &address, &added),
            LookupResult::kResolved);
  EXPECT_TRUE(added);
  int asked = dns.Queries();
  ASSERT_EQ(cache.Lookup("www.example.test", Through(dns), &address, &added),
            LookupResult::kResolved);
  EXPECT_FALSE(added);
  EXPECT_EQ(dns.Queries(), asked);
  EXPECT_EQ(cache.Size(), 1u);

  // A name that does not exist is not kept.
  dns.SetMode(DnsResponder::Mode::kNoSuchName);
  EXPECT_EQ(cache.Lookup("none.example.test", Through(dns), &address), LookupResult::kNoSuchName);
  EXPECT_EQ(cache.Size(), 1u);

  cache.Clear();
  EXPECT_FALSE(cache.Find("www.example.test", &address));
  EXPECT_EQ(cache.Lookup("www.example.test", Through(dns), &address), LookupResult::kNoSuchName);
}

// A listener on a kernel-chosen loopback port.
struct Listener {
  Listener() {
    s = os::CreateStreamSocket();
    EXPECT_TRUE(os::Bind(s, "127.0.0.1", 0));
    EXPECT_TRUE(os::Listen(s, 8));
    port = os::LocalPort(s);
  }
  ~Listener() { os::Close(s); }
  os::Socket s;
  uint16_t port;
};

TEST(ConnectHost, ConnectsThroughTheCacheAndReportsTheNetwork) {
  Listener listener;
  std::mutex lock;
  common::NameCache cache(lock);
  std::vector<std::string> trace;
  std::vector<bool> states;
  common::OutboundOptions options;
  options.trace = [&](std::string_view line) { trace.emplace_back(line); };
  options.network_state = [&](bool up) { states.push_back(up); };
  common::ConnectResult result;
  os::Socket s = common::ConnectHost("127.0.0.1", listener.port, cache, options, &result);
  ASSERT_NE(s, os::kNoSocket);
  EXPECT_EQ(result, common::ConnectResult::kConnected);
  os::Close(s);
  EXPECT_EQ(trace, std::vector<std::string>{"\nAllocating Net Address cache: 127.0.0.1"});
  EXPECT_EQ(states, (std::vector<bool>{true, true}));
}

TEST(ConnectHost, TwoFailedConnectionsEmptyTheCache) {
  uint16_t closed_port;
  {
    Listener gone;
    closed_port = gone.port;
  }
  std::mutex lock;
  common::NameCache cache(lock);
  common::NetAddress address;
  ASSERT_EQ(cache.Lookup("127.0.0.1", {}, &address), LookupResult::kResolved);
  std::vector<std::string> trace;
  std::vector<bool> states;
  common::OutboundOptions options;
  options.trace = [&](std::string_view line) { trace.emplace_back(line); };
  options.network_state = [&](bool up) { states.push_back(up); };
  common::ConnectResult result;
  os::Socket s = common::ConnectHost("127.0.0.1", closed_port, cache, options, &result);
  EXPECT_EQ(s, os::kNoSocket);
  EXPECT_EQ(result, common::ConnectResult::kConnectFailed);
  EXPECT_EQ(cache.Size(), 0u);
  // The second attempt resolved the host afresh.
  EXPECT_EQ(trace, (std::vector<std::string>{"\nconnect() failed",
                                             "\nAllocating Net Address cache: 127.0.0.1",
                                             "\nconnect() failed"}));
  EXPECT_EQ(states, (std::vector<bool>{false, true, false}));
}

TEST(ConnectHost, AnUnknownNameGivesNoSocket) {
  DnsResponder dns(DnsResponder::Mode::kNoSuchName);
  std::mutex lock;
  common::NameCache cache(lock);
  common::OutboundOptions options;
  options.resolver = Through(dns);
  std::vector<bool> states;
  options.network_state = [&](bool up) { states.push_back(up); };
  common::ConnectResult result;
  common::LookupResult lookup;
  EXPECT_EQ(common::ConnectHost("none.example.test", 80, cache, options, &result, &lookup),
            os::kNoSocket);
  EXPECT_EQ(result, common::ConnectResult::kUnresolved);
  EXPECT_EQ(lookup, LookupResult::kNoSuchName);
  EXPECT_EQ(states, std::vector<bool>{true});
}

TEST(ReceiveWithin, DataCloseTimeOutAndStop) {
  Listener listener;
  os::Socket client = os::ConnectLoopback(listener.port);
  os::Socket server = os::Accept(listener.s);
  char buffer[16];
  EXPECT_EQ(common::ReceiveWithin(client, buffer, sizeof buffer, 50, -1), common::kReceiveTimedOut);
  ASSERT_TRUE(os::SendAll(server, "hi"));
  EXPECT_EQ(common::ReceiveWithin(client, buffer, sizeof buffer, 1000, -1), 2);
  int stop[2];
  ASSERT_EQ(pipe(stop), 0);
  ASSERT_EQ(write(stop[1], "x", 1), 1);
  EXPECT_EQ(common::ReceiveWithin(client, buffer, sizeof buffer, 1000, stop[0]),
            common::kReceiveStopped);
  os::Close(server);
  EXPECT_EQ(common::ReceiveWithin(client, buffer, sizeof buffer, 1000, -1), 0);
  os::Close(client);
  close(stop[0]);
  close(stop[1]);
}

}  // namespace
