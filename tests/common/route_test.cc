// Routing of outbound requests: override lists, the host of a request line.
#include <gtest/gtest.h>

#include <string>

#include "common/route.h"

namespace {

using common::ChooseRoute;
using common::OverrideMatch;
using common::RouteKind;

TEST(Route, OverrideListsAsTheBrowserKeepsThem) {
  static const struct {
    const char* host;
    const char* upstream;
    const char* overrides;
    RouteKind expected;
  } cases[] = {
      {"host.example", "", "", RouteKind::kDirect},
      {"host.example", "proxy:3128", "", RouteKind::kUpstream},
      {"host.example", "proxy:3128", "*.intra; host.example", RouteKind::kDirect},
      // Its occurrence inside host.example is preceded by the letter h.
      {"ost.example", "proxy:3128", "*.intra; host.example", RouteKind::kUpstream},
      {"intranet", "proxy:3128", "<local>", RouteKind::kDirect},
      {"intranet.example", "proxy:3128", "<local>", RouteKind::kUpstream},
      {"a.example", "proxy:3128", "http://a.example,b.example", RouteKind::kDirect},
      {"b.example", "proxy:3128", "http://a.example,b.example", RouteKind::kDirect},
      {"b.example", "proxy:3128", "a.example\nb.example/", RouteKind::kDirect},
      {"b.example", "proxy:3128", "b.example\\x", RouteKind::kDirect},
      {"b.example", "proxy:3128", "b.examples", RouteKind::kUpstream},
      {"B.EXAMPLE", "proxy:3128", "b.example", RouteKind::kUpstream},
      {"b.example:8080", "proxy:3128", "b.example:8080", RouteKind::kDirect},
      {"b.example:8080", "proxy:3128", "b.example", RouteKind::kUpstream},
      {"http://b.example", "proxy:3128", "b.example", RouteKind::kDirect},
      // A later entry counts although the first occurrence is inside another.
      {"b.com", "proxy:3128", "ab.com; b.com", RouteKind::kDirect},
      {"", "proxy:3128", "<local>", RouteKind::kUpstream},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ChooseRoute(c.host, c.upstream, c.overrides, OverrideMatch::kEntry), c.expected)
        << c.host << " / " << c.overrides;
  }
}

TEST(Route, TheCrawlerMatchesAnywhereInTheList) {
  EXPECT_EQ(ChooseRoute("ost.example", "p:1", "host.example", OverrideMatch::kAnywhere),
            RouteKind::kDirect);
  EXPECT_EQ(ChooseRoute("Host.example", "p:1", "host.example", OverrideMatch::kAnywhere),
            RouteKind::kUpstream);
  EXPECT_EQ(ChooseRoute("intranet", "p:1", "x <local>", OverrideMatch::kAnywhere),
            RouteKind::kDirect);
}

TEST(ExtractHost, RewritesTheAbsoluteUrlIntoAPath) {
  static const struct {
    const char* request;
    const char* host;
    const char* rewritten;
  } cases[] = {
      {"GET http://h.example/a/b?c HTTP/1.1\r\nHost: h.example\r\n\r\n", "h.example",
       "GET /a/b?c HTTP/1.1\r\nHost: h.example\r\n\r\n"},
      {"GET http://h.example:8080/ HTTP/1.0\r\n\r\n", "h.example:8080", "GET / HTTP/1.0\r\n\r\n"},
      // A URL without a path gets one.
      {"GET http://h.example HTTP/1.0\r\n\r\n", "h.example", "GET / HTTP/1.0\r\n\r\n"},
      {"GET http://h.example?q=1 HTTP/1.0\r\n\r\n", "h.example", "GET /?q=1 HTTP/1.0\r\n\r\n"},
      {"GET http://h.example", "h.example", "GET /"},
      // No absolute URL in the request line: nothing changes.
      {"GET / HTTP/1.1\r\nReferer: http://x/\r\n\r\n", "",
       "GET / HTTP/1.1\r\nReferer: http://x/\r\n\r\n"},
      {"GET /a?u=http://x/ HTTP/1.1\r\n\r\n", "", "GET /a?u=http://x/ HTTP/1.1\r\n\r\n"},
      {"GET http:///p HTTP/1.0\r\n\r\n", "", "GET http:///p HTTP/1.0\r\n\r\n"},
      {"http://h/p", "", "http://h/p"},
      {"", "", ""},
  };
  for (const auto& c : cases) {
    std::string request = c.request;
    EXPECT_EQ(common::ExtractHost(&request), c.host) << c.request;
    EXPECT_EQ(request, c.rewritten);
  }
}

TEST(SplitHostPort, PortsAndRefusals) {
  static const struct {
    const char* text;
    bool ok;
    const char* host;
    uint16_t port;
  } cases[] = {
      {"h.example", true, "h.example", 80},
      {"h.example:8080", true, "h.example", 8080},
      {"[::1]:443", true, "::1", 443},
      {"[::1]", true, "::1", 80},
      {"h.example:", false, "", 0},
      {"h.example:0", false, "", 0},
      {"h.example:65536", false, "", 0},
      {"h.example:80x", false, "", 0},
      {":80", false, "", 0},
      {"", false, "", 0},
      {"[::1", false, "", 0},
      {"h:99999999999", false, "", 0},
  };
  for (const auto& c : cases) {
    std::string host = "unchanged";
    uint16_t port = 1;
    EXPECT_EQ(common::SplitHostPort(c.text, 80, &host, &port), c.ok) << c.text;
    if (c.ok) {
      EXPECT_EQ(host, c.host);
      EXPECT_EQ(port, c.port);
    } else {
      EXPECT_EQ(host, "unchanged");
    }
  }
}

}  // namespace
