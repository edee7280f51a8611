// The network test: what the resolver's answer says about the network, and
// the trace lines that show it.
#include <stdlib.h>

#include <chrono>
#include <string>

#include "engine/hooks.h"
#include "tests/common/dns_responder.h"
#include "tests/proxy/proxy_engine.h"

namespace {

class NetworkTest : public ProxyEngine {};

TEST_F(NetworkTest, TheResolversAnswerSetsTheNetworkState) {
  DnsResponder dns(DnsResponder::Mode::kNoSuchName);
  proxy::Settings().dns_servers = dns.Servers();
  Start();
  ASSERT_NE(engine::Hooks().networkTest, nullptr);
  shared_->networkUp = 0;
  // A name that does not exist, answered at once: the network is up.
  EXPECT_EQ(engine::Hooks().networkTest(*ui_, 5), 1);
  EXPECT_EQ(shared_->networkUp, 1);
  EXPECT_TRUE(trace_.Contains("Testing network..."));
  EXPECT_TRUE(trace_.Contains("Done testing network."));
  EXPECT_TRUE(trace_.Contains("Network services responding normally."));

  // No answer within the time-out: down.
  dns.SetMode(DnsResponder::Mode::kSilent);
  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(engine::Hooks().networkTest(*ui_, 1), 0);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(4));
  EXPECT_EQ(shared_->networkUp, 0);
  EXPECT_TRUE(trace_.Contains("Network services not responding, all pending jobs are deferred."));

  // A cancel (Esc) changes nothing.
  shared_->networkUp = 1;
  os::SetKeyStateHook([](os::Key key) { return key == os::Key::kEsc; });
  EXPECT_EQ(engine::Hooks().networkTest(*ui_, 30), 1);
  EXPECT_EQ(shared_->networkUp, 1);

  // Without a time-out of its own the test takes networkTimeout.
  os::SetKeyStateHook(nullptr);
  shared_->networkTimeout = 1;
  start = std::chrono::steady_clock::now();
  EXPECT_EQ(engine::Hooks().networkTest(*ui_, 0), 0);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(4));
}

TEST_F(NetworkTest, AConfiguredLoopbackTestHostAnswersWithoutAnyNameServer) {
  // The name servers never answer, as on a closed build machine.
  DnsResponder dns(DnsResponder::Mode::kSilent);
  proxy::Settings().dns_servers = dns.Servers();
  setenv("CORVANE_NETWORK_TEST_HOST", "127.0.0.1", 1);
  Start();
  unsetenv("CORVANE_NETWORK_TEST_HOST");
  EXPECT_EQ(proxy::Settings().network_test_host, "127.0.0.1");
  shared_->networkUp = 0;
  // A silent name server would have made this a time-out (0).
  EXPECT_EQ(engine::Hooks().networkTest(*ui_, 30), 1);
  EXPECT_EQ(shared_->networkUp, 1);
  EXPECT_TRUE(trace_.Contains("Network services responding normally."));
  // The default name would have waited for the silent name server.
  proxy::Settings().network_test_host = proxy::kTestName;
  EXPECT_EQ(engine::Hooks().networkTest(*ui_, 1), 0);
}

}  // namespace
