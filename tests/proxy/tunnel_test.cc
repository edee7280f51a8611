// HTTPS through corvex: curl completes a TLS exchange with openssl s_server
// through a CONNECT tunnel, directly and through tinyproxy; a CONNECT to a
// closed port gets the 503 page.
#include <string>

#include "tests/proxy/peers.h"
#include "tests/proxy/proxy_engine.h"

namespace {

class Tunnel : public ProxyEngine {
 protected:
  void SetUp() override {
    ProxyEngine::SetUp();
    if (!peers::HavePrograms({"openssl", "curl"})) GTEST_SKIP() << "openssl or curl missing";
    tls_ = std::make_unique<peers::TlsServer>(folder_);
    ASSERT_NE(tls_->Port(), 0) << "openssl s_server did not start";
  }

  // curl's exit status and the page it fetched through corvex.
  std::string Curl(int* status) {
    return peers::Output(
        "curl -sSk --max-time 20 --proxy http://127.0.0.1:" + std::to_string(port_) +
            " https://127.0.0.1:" + std::to_string(tls_->Port()) + "/",
        status);
  }

  std::unique_ptr<peers::TlsServer> tls_;
};

TEST_F(Tunnel, CurlReachesATlsServerThroughTheTunnel) {
  Start();
  int status = -1;
  std::string page = Curl(&status);
  EXPECT_EQ(status, 0);
  EXPECT_NE(page.find("Ciphers supported in s_server binary"), std::string::npos) << page;

  // Through the upstream proxy, which makes a tunnel of its own.
  if (!peers::HavePrograms({"tinyproxy"})) return;
  peers::Tinyproxy tinyproxy(folder_);
  ASSERT_NE(tinyproxy.Port(), 0);
  shared_->upstreamProxy = "127.0.0.1:" + std::to_string(tinyproxy.Port());
  page = Curl(&status);
  EXPECT_EQ(status, 0);
  EXPECT_NE(page.find("Ciphers supported in s_server binary"), std::string::npos) << page;
}

TEST_F(Tunnel, AClosedPortGetsTheUnavailablePage) {
  Start();
  EXPECT_EQ(Send("CONNECT 127.0.0.1:" + std::to_string(peers::FreePort()) +
                 " HTTP/1.1\r\nHost: x\r\n\r\n"),
            "HTTP/1.0 503 Service Unavailable\r\n\r\n<H1>URL Error</h1><h3>Corvane Proxy is unable "
            "to locate a DNS entry for: 127.0.0.1.  <br>Please check the URL and try again.</h3>");
  // The tunnel answers at once and copies bytes both ways, untouched.
  os::Socket s = os::ConnectLoopback(port_);
  ASSERT_TRUE(os::SendAll(
      s, "CONNECT 127.0.0.1:" + std::to_string(tls_->Port()) + " HTTP/1.1\r\nHost: x\r\n\r\n"));
  char buffer[256];
  long got = os::Receive(s, buffer, sizeof buffer);
  EXPECT_EQ(std::string(buffer, got > 0 ? got : 0), "HTTP/1.0 200 Connection established\r\n\r\n");
  os::Close(s);
}

}  // namespace
