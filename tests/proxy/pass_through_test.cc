// The pass-through with real origins on loopback: byte-for-byte relay, the
// dashboard in HTML pages (plain, gzip, deflate, chunked), the request as it
// goes out, keep-alive origins, the upstream proxy, dead, stalled and broken
// servers, bad requests.
#include <chrono>
#include <string>

#include "common/reply_forms.h"
#include "proxy/pass_through.h"
#include "tests/common/dns_responder.h"
#include "tests/common/loopback_exchange.h"
#include "tests/proxy/peers.h"
#include "tests/proxy/proxy_engine.h"

namespace {

using Clock = std::chrono::steady_clock;

const std::string kPage =
    "<html><head><title>Origin page</title></head>\n<body><p>Hello from the origin.</p></body>\n"
    "</HTML>\n<!-- after the closing tag -->\n";

std::string HeadOf(const std::string& reply) {
  return reply.substr(0, reply.find("\r\n\r\n") + 4);
}
std::string BodyOf(const std::string& reply) {
  size_t end = reply.find("\r\n\r\n");
  return end == std::string::npos ? "" : reply.substr(end + 4);
}
bool Has(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

// The origin's own answer to a plain HTTP/1.0 request.
std::string Direct(uint16_t port, const std::string& path) {
  return Exchange(port, "GET " + path + " HTTP/1.0\r\nConnection: close\r\n\r\n");
}

long MsSince(Clock::time_point start) {
  return static_cast<long>(
      std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count());
}

class PassThrough : public ProxyEngine {
 protected:
  void SetUp() override {
    ProxyEngine::SetUp();
    ASSERT_NE(origin_.Port(), 0) << "python3 did not start the origin";
  }
  peers::Origin origin_;
};

TEST_F(PassThrough, PagesPassByteForByteWhileTheDashboardIsHidden) {
  shared_->dashboardState = 0;
  Start();
  for (const char* path : {"/page.html", "/nolength.html", "/data.bin", "/chunked.bin",
                           "/chunked.html", "/gzip.html", "/notmodified.html"}) {
    std::string expected = Direct(origin_.Port(), path);
    ASSERT_FALSE(expected.empty()) << path;
    EXPECT_EQ(Get(origin_.Url(path)), expected) << path;
  }
  // Browsing a page ends off-line mode.
  shared_->offline = 1;
  (void)Get(origin_.Url("/page.html"));
  EXPECT_EQ(shared_->offline, 0);
}

TEST_F(PassThrough, TheFragmentGoesOnceBeforeTheClosingTagAndTheLengthCounts) {
  Start();
  std::string reply = Get(origin_.Url("/page.html"));
  std::string head = HeadOf(reply), body = BodyOf(reply);
  size_t tag = kPage.find("</HTML>");
  ASSERT_EQ(body.substr(0, tag), kPage.substr(0, tag));
  ASSERT_TRUE(body.size() > kPage.size());
  std::string fragment = body.substr(tag, body.size() - kPage.size());
  EXPECT_EQ(body.substr(tag + fragment.size()), kPage.substr(tag));
  EXPECT_TRUE(Has(fragment, "<div id=\"dashboard\"")) << fragment;
  // Inside the live page the acting links lead to the page's dashboard frameset.
  EXPECT_TRUE(Has(fragment, "href=\"http://[wc]/D/F/" + origin_.Url("/page.html") + "\""));
  EXPECT_FALSE(Has(fragment, "[wc]/S/")) << fragment;
  EXPECT_TRUE(
      Has(head, "\r\nContent-Length: " + std::to_string(kPage.size() + fragment.size()) + "\r\n"))
      << head;
  EXPECT_EQ(body.size(), kPage.size() + fragment.size());
  EXPECT_TRUE(Has(head, "\r\nbast-Modified: Tue, 01 Jul 2025 10:00:00 GMT\r\n")) << head;
  EXPECT_TRUE(Has(head, "\r\nbxpires: Wed, 02 Jul 2025 10:00:00 GMT\r\n")) << head;

  // Without a length the page ends when the server closes.
  std::string open_ended = BodyOf(Get(origin_.Url("/nolength.html")));
  ASSERT_GT(open_ended.size(), kPage.size());
  EXPECT_EQ(open_ended.substr(0, tag), kPage.substr(0, tag));
  EXPECT_EQ(open_ended.substr(open_ended.size() - (kPage.size() - tag)), kPage.substr(tag));
  EXPECT_TRUE(Has(open_ended.substr(tag), "<div id=\"dashboard\"")) << open_ended;
  EXPECT_TRUE(Has(open_ended, "/D/F/" + origin_.Url("/nolength.html") + "\"")) << open_ended;

  // Nothing is added to what has no body.
  std::string head_only = Send("HEAD " + origin_.Url("/page.html") + " HTTP/1.1\r\n\r\n");
  EXPECT_TRUE(Has(head_only, "Content-Length: " + std::to_string(kPage.size()) + "\r\n"));
  EXPECT_EQ(BodyOf(head_only), "");
  EXPECT_EQ(BodyOf(Get(origin_.Url("/notmodified.html"))), "");
}

TEST_F(PassThrough, CompressedAndChunkedPagesArriveDecodedWithTheFragment) {
  Start();
  std::string plain = BodyOf(Get(origin_.Url("/page.html")));
  for (const char* path : {"/gzip.html", "/deflate.html", "/chunked.html", "/chunked-gzip.html"}) {
    std::string reply = Get(origin_.Url(path));
    std::string head = HeadOf(reply);
    EXPECT_FALSE(Has(head, "Content-Encoding")) << path << head;
    EXPECT_FALSE(Has(head, "Transfer-Encoding")) << path << head;
    EXPECT_FALSE(Has(head, "Content-Length")) << path << head;
    // The fragment names the page's own URL; otherwise the page is the
    // plain one.
    std::string body = BodyOf(reply);
    std::string expected = plain;
    std::string plain_url = origin_.Url("/page.html"), url = origin_.Url(path);
    for (size_t at = expected.find(plain_url); at != std::string::npos;
         at = expected.find(plain_url, at + url.size())) {
      expected.replace(at, plain_url.size(), url);
    }
    EXPECT_EQ(body, expected) << path;
  }
  // A coding the pass-through cannot read passes untouched, without a
  // fragment, rather than corrupted.
  EXPECT_EQ(Get(origin_.Url("/brotli.html")), Direct(origin_.Port(), "/brotli.html"));
}

TEST_F(PassThrough, TheRequestGoesOutAsHttp10WithTheConnectionClosed) {
  Start();
  std::string echoed = BodyOf(Send("POST " + origin_.Url("/echo") +
                                   " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: keep-alive\r\n"
                                   "Proxy-Connection: keep-alive\r\nAccept-Encoding: gzip, br\r\n"
                                   "Content-Length: 4\r\n\r\nbody"));
  EXPECT_EQ(echoed,
            "POST /echo HTTP/1.0\r\nHost: 127.0.0.1\r\nAccept-Encoding: gzip\r\n"
            "Content-Length: 4\r\nConnection: close\r\n\r\nbody");
}

TEST_F(PassThrough, AKeepAliveOriginIsAnsweredWithoutWaitingForItsIdleTimeOut) {
  proxy::Settings().idle_timeout_ms = 20000;
  Start();
  for (uint16_t dashboard : {0, 1}) {
    shared_->dashboardState = dashboard;
    auto start = Clock::now();
    std::string reply = Get(origin_.Url("/keepalive.html"));
    EXPECT_LT(MsSince(start), 5000) << dashboard;
    EXPECT_TRUE(Has(reply, "<!-- after the closing tag -->\n")) << reply;
  }
}

TEST_F(PassThrough, DeadStalledAndBrokenServersGetAPageAndTheProxyKeepsServing) {
  uint16_t closed = peers::FreePort();
  DnsResponder dns(DnsResponder::Mode::kNoSuchName);
  proxy::Settings().dns_servers = dns.Servers();
  Start();
  EXPECT_EQ(Get("http://127.0.0.1:" + std::to_string(closed) + "/x"),
            "HTTP/1.0 503 Service Unavailable\r\n\r\n<H1>URL Error</h1><h3>Corvane Proxy is unable "
            "to locate a DNS entry for: 127.0.0.1.  <br>Please check the URL and try again.</h3>");
  EXPECT_EQ(shared_->networkUp, 0);
  EXPECT_EQ(shared_->nameCache.Size(), 0u);

  EXPECT_EQ(Get("http://nothing.example.test/"),
            "HTTP/1.0 503 Service Unavailable\r\n\r\n<H1>URL Error</h1><h3>Corvane Proxy is unable "
            "to locate a DNS entry for: nothing.example.test.  <br>Please check the URL and try "
            "again.</h3>");
  // The resolver answered: the network is up.
  EXPECT_EQ(shared_->networkUp, 1);

  auto start = Clock::now();
  EXPECT_EQ(Get(origin_.Url("/stall")),
            "HTTP/1.0 504 Gateway Timeout\r\n\r\n<H1>URL Error</h1><h3>The server 127.0.0.1 did "
            "not answer in time.  <br>Please try again later.</h3>");
  EXPECT_LT(MsSince(start), 4000);
  // A page cut off by a stalled server ends without the fragment.
  start = Clock::now();
  std::string cut = Get(origin_.Url("/slowbody.html"));
  EXPECT_LT(MsSince(start), 4000);
  EXPECT_EQ(BodyOf(cut), kPage.substr(0, 20));

  const std::string bad_gateway =
      "HTTP/1.0 502 Bad Gateway\r\n\r\n<H1>URL Error</h1><h3>The server 127.0.0.1 sent no valid "
      "response.  <br>Please try again later.</h3>";
  EXPECT_EQ(Get(origin_.Url("/garbage")), bad_gateway);
  EXPECT_EQ(Get(origin_.Url("/midheader")), bad_gateway);
  EXPECT_EQ(Send("GET / HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n"), proxy::kNoHostPage);
  EXPECT_EQ(Send("GET ftp://127.0.0.1/ HTTP/1.0\r\n\r\n"), proxy::kNotHttpPage);
  // A URL without a path reaches the server's root.
  EXPECT_TRUE(Has(Get(origin_.Url("")), "HTTP/1.0 404 Not Found"));
  EXPECT_EQ(BodyOf(Get(origin_.Url("/data.bin"))).size(), 100000u);
}

TEST_F(PassThrough, TheNameCacheKeepsAHostUntilAConnectionFails) {
  Start();
  (void)Get(origin_.Url("/page.html"));
  (void)Get(origin_.Url("/data.bin"));
  int allocations = 0;
  for (const std::string& line : trace_.Lines())
    if (line == "\nAllocating Net Address cache: 127.0.0.1") ++allocations;
  EXPECT_EQ(allocations, 1);
  EXPECT_EQ(shared_->nameCache.Size(), 1u);
  (void)Get("http://127.0.0.1:" + std::to_string(peers::FreePort()) + "/");
  EXPECT_EQ(shared_->nameCache.Size(), 0u);
  (void)Get(origin_.Url("/page.html"));
  EXPECT_EQ(shared_->nameCache.Size(), 1u);
}

TEST_F(PassThrough, WithTheNetworkDownAndTheMarkerFileALocalNoticeAnswers) {
  // No name server answers: the network test fails at once.
  proxy::Settings().dns_servers = "127.0.0.1:" + std::to_string(peers::FreePort());
  std::ofstream(folder_ + "/" + proxy::kShuntFile) << "";
  shared_->networkUp = 0;
  Start();
  EXPECT_EQ(Get("http://www.example.test/a<b>?c"),
            "HTTP/1.0 200 OK\n\n\n\n<html><center>\nNetwork connections are unavailable or not "
            "responding (no DNS response).  <br>\nYou may check for an<a "
            "href=\"http://[wr;$WCTX_CorvjobsicaContext]www.example.test/a&lt;b&gt;?c\"> offline "
            "copy</a> in your Favorites<br> or go to your <a href=\"http://[wc]\">Corvane "
            "Workspace.</a> </body></html>");
  EXPECT_TRUE(trace_.Contains("Network services not responding, all pending jobs are deferred."));
}

class Upstream : public PassThrough {
 protected:
  void SetUp() override {
    PassThrough::SetUp();
    if (!peers::HavePrograms({"tinyproxy"})) GTEST_SKIP() << "tinyproxy is not installed";
    tinyproxy_ = std::make_unique<peers::Tinyproxy>(folder_);
    ASSERT_NE(tinyproxy_->Port(), 0) << "tinyproxy did not start";
    shared_->upstreamProxy = "127.0.0.1:" + std::to_string(tinyproxy_->Port());
  }
  // Whether the echoed request came through tinyproxy (it adds its Via).
  bool ThroughUpstream(const std::string& host_url) {
    std::string echoed = BodyOf(Get(host_url + "/echo"));
    EXPECT_TRUE(Has(echoed, "GET /echo HTTP/1.")) << echoed;
    return Has(echoed, "tinyproxy");
  }
  std::unique_ptr<peers::Tinyproxy> tinyproxy_;
};

TEST_F(Upstream, OverrideListsDecideWhatGoesDirect) {
  std::string origin_host = "127.0.0.1:" + std::to_string(origin_.Port());
  std::string by_name = "http://localhost:" + std::to_string(origin_.Port());
  static const struct {
    std::string overrides;
    bool through_ip;    // http://127.0.0.1:port
    bool through_name;  // http://localhost:port
  } cases[] = {
      {"", true, true},
      {"*.intra; " + origin_host, false, true},
      // The host text carries its port; the name has no dot, the address has.
      {"<local>", true, false},
      {"http://" + origin_host + ",<local>", false, false},
      // Inside another entry it is no entry of its own.
      {"x" + origin_host, true, true},
  };
  Start();
  for (const auto& c : cases) {
    shared_->proxyOverrides = c.overrides;
    EXPECT_EQ(ThroughUpstream(origin_.Url("")), c.through_ip) << c.overrides;
    EXPECT_EQ(ThroughUpstream(by_name), c.through_name) << c.overrides;
  }
  // The dashboard is added to pages that came through the upstream proxy.
  shared_->proxyOverrides = "";
  EXPECT_TRUE(Has(Get(origin_.Url("/page.html")), "<div id=\"dashboard\""));
}

TEST_F(Upstream, ADeadUpstreamProxyIsNamedOnThePage) {
  shared_->upstreamProxy = "127.0.0.1:" + std::to_string(peers::FreePort());
  Start();
  EXPECT_TRUE(Has(Get(origin_.Url("/page.html")), "unable to locate a DNS entry for: 127.0.0.1."));
}

}  // namespace
