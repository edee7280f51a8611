// What the pass-through changes on the way: the browser's request, the head
// of an HTML page, chunked and compressed bodies and the place of the
// fragment.
#include <gtest/gtest.h>
#include <zlib.h>

#include <string>

#include "proxy/body_codec.h"
#include "proxy/dashboard.h"
#include "proxy/forward_request.h"
#include "proxy/response_head.h"

namespace {

using proxy::BrowserRequest;
using proxy::ParseResult;

TEST(ForwardRequest, GoesOutAsHttp10WithTheConnectionClosed) {
  const std::string raw =
      "POST http://h.example:8080/form?x=1 HTTP/1.1\r\nHost: h.example:8080\r\n"
      "Connection: keep-alive, X-Private\r\nKeep-Alive: 300\r\nProxy-Connection: keep-alive\r\n"
      "X-Private: secret\r\nTE: trailers\r\nUpgrade: h2c\r\nProxy-Authorization: Basic eDp5\r\n"
      "Accept-Encoding: gzip, deflate, br, zstd\r\nContent-Length: 5\r\nX-Folded: a\r\n  b\r\n"
      "\r\nhello";
  BrowserRequest request;
  ASSERT_EQ(proxy::ParseBrowserRequest(raw, &request), ParseResult::kOk);
  EXPECT_EQ(request.host, "h.example:8080");
  EXPECT_EQ(request.path, "/form?x=1");
  EXPECT_EQ(request.body, "hello");

  EXPECT_EQ(proxy::OutgoingRequest(request, common::RouteKind::kDirect, false),
            "POST /form?x=1 HTTP/1.0\r\nHost: h.example:8080\r\n"
            "Accept-Encoding: gzip, deflate, br, zstd\r\nContent-Length: 5\r\nX-Folded: a b\r\n"
            "Connection: close\r\n\r\nhello");
  // Through the upstream proxy: the absolute URL, its credentials, and only
  // the codings the pass-through can decode while the dashboard is on.
  EXPECT_EQ(proxy::OutgoingRequest(request, common::RouteKind::kUpstream, true),
            "POST http://h.example:8080/form?x=1 HTTP/1.0\r\nHost: h.example:8080\r\n"
            "Proxy-Authorization: Basic eDp5\r\nAccept-Encoding: gzip, deflate\r\n"
            "Content-Length: 5\r\nX-Folded: a b\r\nConnection: close\r\n\r\nhello");
}

TEST(ForwardRequest, BadRequestLinesAndMissingHosts) {
  static const struct {
    const char* raw;
    ParseResult result;
    const char* outgoing;  // direct, dashboard off; "" when not parsed
  } cases[] = {
      {"GET http://h.example HTTP/1.0\r\n\r\n", ParseResult::kOk,
       "GET / HTTP/1.0\r\nHost: h.example\r\nConnection: close\r\n\r\n"},
      {"GET http://h.example/a\n\n", ParseResult::kOk,
       "GET /a HTTP/1.0\r\nHost: h.example\r\nConnection: close\r\n\r\n"},
      {"HEAD HTTP://H.example/ HTTP/1.1\r\nAccept-Encoding: br\r\n\r\n", ParseResult::kOk,
       "HEAD / HTTP/1.0\r\nAccept-Encoding: br\r\nHost: H.example\r\nConnection: close\r\n\r\n"},
      {"GET / HTTP/1.1\r\nHost: h.example\r\n\r\n", ParseResult::kNoHost, ""},
      {"GET http:///x HTTP/1.1\r\n\r\n", ParseResult::kNoHost, ""},
      {"GET ftp://h.example/ HTTP/1.0\r\n\r\n", ParseResult::kNotHttp, ""},
      {"GARBAGE\r\n\r\n", ParseResult::kNoRequestLine, ""},
      {"", ParseResult::kNoRequestLine, ""},
      {" http://h/ HTTP/1.0\r\n\r\n", ParseResult::kNoHost, ""},
  };
  for (const auto& c : cases) {
    BrowserRequest request;
    ASSERT_EQ(proxy::ParseBrowserRequest(c.raw, &request), c.result) << c.raw;
    if (c.result == ParseResult::kOk) {
      EXPECT_EQ(proxy::OutgoingRequest(request, common::RouteKind::kDirect, false), c.outgoing);
    }
  }
  BrowserRequest connect;
  ASSERT_EQ(proxy::ParseBrowserRequest("CONNECT h.example:443 HTTP/1.1\r\n\r\nEARLY", &connect),
            ParseResult::kOk);
  EXPECT_EQ(connect.host, "h.example:443");
  EXPECT_EQ(connect.body, "EARLY");
}

TEST(ResponseHead, ReadsStatusTypeLengthAndCodings) {
  static const struct {
    const char* head;
    bool ok;
    int status;
    bool html;
    long long length;
    bool chunked;
    const char* encoding;
  } cases[] = {
      {"HTTP/1.1 200 OK\r\nContent-Type: text/html; charset=utf-8\r\nContent-Length: 12\r\n\r\n",
       true, 200, true, 12, false, ""},
      {"HTTP/1.0 404 Not Found\ncontent-type: TEXT/HTML\n\n", true, 404, true, -1, false, ""},
      {"HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\nTransfer-Encoding: chunked\r\n"
       "Content-Length: 9\r\n\r\n",
       true, 200, false, -1, true, ""},
      {"HTTP/1.1 200 OK\r\nContent-Encoding: GZIP\r\nContent-Length: 1, 2\r\n\r\n", true, 200,
       false, -1, false, "gzip"},
      {"HTTP/1.1 200 OK\r\nContent-Length: 5\r\nContent-Length: 6\r\n\r\n", true, 200, false, -1,
       false, ""},
      {"HTTP/1.1 204\r\n\r\n", true, 204, false, -1, false, ""},
      {"HTTP/1.1 2000 OK\r\n\r\n", false, 0, false, -1, false, ""},
      {"HTTP/1.1 abc\r\n\r\n", false, 0, false, -1, false, ""},
      {"ICY 200 OK\r\n\r\n", false, 0, false, -1, false, ""},
      {"HTTP/1.1\r\n\r\n", false, 0, false, -1, false, ""},
  };
  for (const auto& c : cases) {
    proxy::ResponseHead head;
    ASSERT_EQ(proxy::ParseResponseHead(c.head, &head), c.ok) << c.head;
    if (!c.ok) continue;
    EXPECT_EQ(head.status, c.status) << c.head;
    EXPECT_EQ(proxy::IsHtml(head), c.html) << c.head;
    EXPECT_EQ(head.content_length, c.length) << c.head;
    EXPECT_EQ(head.chunked, c.chunked) << c.head;
    EXPECT_EQ(head.content_encoding, c.encoding) << c.head;
  }
  EXPECT_EQ(proxy::HeadLength("HTTP/1.0 200 OK\r\nA: b\r\n\r\nbody"), 25u);
  EXPECT_EQ(proxy::HeadLength("HTTP/1.0 200 OK\nA: b\n\nbody"), 22u);
  EXPECT_EQ(proxy::HeadLength("HTTP/1.0 200 OK\r\nA: b\r\n"), 0u);
}

TEST(ResponseHead, AnHtmlHeadGrowsByTheFragmentOnceAndLosesItsDates) {
  const std::string head =
      "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nContent-Length: 1000\r\n"
      "Last-Modified: Tue, 01 Jul 2025 10:00:00 GMT\r\nexpires: 0\r\nETag: \"x\"\r\n\r\n";
  proxy::ResponseHead parsed;
  ASSERT_TRUE(proxy::ParseResponseHead(head, &parsed));
  EXPECT_EQ(proxy::RewriteHtmlHead(head, parsed, 50, false),
            "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nContent-Length: 1050\r\n"
            "bast-Modified: Tue, 01 Jul 2025 10:00:00 GMT\r\nbxpires: 0\r\nETag: \"x\"\r\n\r\n");

  const std::string coded =
      "HTTP/1.1 200 OK\nContent-Type: text/html\nContent-Encoding: gzip\n"
      "Transfer-Encoding: chunked\nContent-Length: 77\nVary: Accept-Encoding\n\n";
  ASSERT_TRUE(proxy::ParseResponseHead(coded, &parsed));
  EXPECT_EQ(proxy::RewriteHtmlHead(coded, parsed, 50, true),
            "HTTP/1.1 200 OK\nContent-Type: text/html\nVary: Accept-Encoding\n\n");

  const std::string unusable = "HTTP/1.0 200 OK\r\nContent-Length: x\r\n\r\n";
  ASSERT_TRUE(proxy::ParseResponseHead(unusable, &parsed));
  EXPECT_EQ(proxy::RewriteHtmlHead(unusable, parsed, 50, false), "HTTP/1.0 200 OK\r\n\r\n");
}

TEST(ResponseHead, BodiesOfHeadRequestsAndEmptyStatusesStayEmpty) {
  proxy::ResponseHead head;
  for (int status : {100, 204, 304}) {
    head.status = status;
    EXPECT_FALSE(proxy::HasBody(head, false)) << status;
  }
  head.status = 200;
  EXPECT_TRUE(proxy::HasBody(head, false));
  EXPECT_FALSE(proxy::HasBody(head, true));
}

std::string Decode(const std::string& chunked, size_t piece, bool* ok, size_t* used_total) {
  proxy::ChunkedDecoder decoder;
  std::string out;
  *ok = true;
  *used_total = 0;
  for (size_t at = 0; at < chunked.size() && !decoder.Done(); at += piece) {
    std::string_view part = std::string_view(chunked).substr(at, piece);
    *used_total += decoder.Add(part, &out, ok);
    if (!*ok) break;
  }
  if (!decoder.Done()) *ok = false;
  return out;
}

TEST(ChunkedDecoder, DecodesInAnyPiecesAndStopsAtTheEnd) {
  const std::string body = "5;name=v\r\nhello\r\nA\r\n0123456789\r\n0\r\nTrailer: t\r\n\r\nEXTRA";
  for (size_t piece : {1, 2, 3, 7, 100}) {
    bool ok;
    size_t used;
    EXPECT_EQ(Decode(body, piece, &ok, &used), "hello0123456789") << piece;
    EXPECT_TRUE(ok);
    EXPECT_EQ(used, body.size() - 5) << piece;
  }
  bool ok;
  size_t used;
  EXPECT_EQ(Decode("3\nabc\n0\n\n", 1, &ok, &used), "abc");
  EXPECT_TRUE(ok);
  for (const char* bad : {"x\r\n", "\r\n", "5\r\nhelloXX", "FFFFFFFFFFFFFFFFFFFF\r\n"}) {
    Decode(bad, 100, &ok, &used);
    EXPECT_FALSE(ok) << bad;
  }
}

std::string Compressed(const std::string& text, int window_bits) {
  z_stream stream{};
  deflateInit2(&stream, 6, Z_DEFLATED, window_bits, 8, Z_DEFAULT_STRATEGY);
  std::string out(deflateBound(&stream, text.size()) + 32, '\0');
  stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(text.data()));
  stream.avail_in = static_cast<uInt>(text.size());
  stream.next_out = reinterpret_cast<Bytef*>(out.data());
  stream.avail_out = static_cast<uInt>(out.size());
  deflate(&stream, Z_FINISH);
  out.resize(stream.total_out);
  deflateEnd(&stream);
  return out;
}

TEST(Inflater, GzipZlibAndRawDeflateInSmallPieces) {
  std::string text;
  for (int i = 0; i < 5000; ++i) text += "line " + std::to_string(i) + "\n";
  static const struct {
    const char* coding;
    int window_bits;
  } cases[] = {{"gzip", 15 + 16}, {"x-gzip", 15 + 16}, {"deflate", 15}, {"deflate", -15}};
  for (const auto& c : cases) {
    std::string coded = Compressed(text, c.window_bits);
    for (size_t piece : {1, 13, 4096}) {
      proxy::Inflater inflater(c.coding);
      std::string out;
      bool ok = true;
      for (size_t at = 0; at < coded.size() && ok; at += piece)
        ok = inflater.Add(std::string_view(coded).substr(at, piece), &out);
      EXPECT_TRUE(ok) << c.coding << " " << c.window_bits << " " << piece;
      EXPECT_EQ(out, text) << c.coding << " " << c.window_bits << " " << piece;
    }
  }
  // Two gzip members one after another are one body.
  proxy::Inflater two("gzip");
  std::string out;
  EXPECT_TRUE(two.Add(Compressed("first ", 31) + Compressed("second", 31), &out));
  EXPECT_EQ(out, "first second");
  proxy::Inflater damaged("gzip");
  // A block of the reserved type.
  EXPECT_FALSE(damaged.Add(std::string("\x1f\x8b\x08\0\0\0\0\0\0\x03\x07\0", 12), &out));
  EXPECT_FALSE(proxy::Inflater::Knows("br"));
  EXPECT_TRUE(proxy::Inflater::Knows("GZIP"));
}

TEST(FragmentInjector, TheFragmentGoesBeforeTheLastClosingTag) {
  static const struct {
    const char* page;
    const char* expected;
  } cases[] = {
      {"<html><body>x</body></HTML>\n<!-- c -->\n", "<html><body>x</body>[F]</HTML>\n<!-- c -->\n"},
      {"<html></html><p></Html>", "<html></html><p>[F]</Html>"},
      {"no closing tag", "no closing tag[F]"},
      {"</HTM L>", "</HTM L>[F]"},
      {"", "[F]"},
  };
  for (const auto& c : cases) {
    for (size_t piece : {1, 5, 1000}) {
      proxy::FragmentInjector injector("[F]");
      std::string out;
      std::string page = c.page;
      for (size_t at = 0; at < page.size(); at += piece) injector.Add(page.substr(at, piece), &out);
      injector.Finish(&out);
      EXPECT_EQ(out, c.expected) << c.page << " / " << piece;
    }
  }
  // A long page goes out as it comes, all but its held-back end.
  proxy::FragmentInjector injector("[F]");
  std::string out;
  injector.Add(std::string(proxy::kHeldBack + 100, 'a'), &out);
  EXPECT_EQ(out.size(), 100u);
  injector.Finish(&out);
  EXPECT_EQ(out.size(), proxy::kHeldBack + 103);
}

TEST(RouteActingLinks, OnlyLinksToActingCommandsAreRedirected) {
  static const struct {
    const char* strip;
    const char* routed;
  } cases[] = {
      {"<a href=\"http://[wc]/S/?http://h/\">S</a>", "<a href=\"F\">S</a>"},
      {"<a href=\"http://[wc]/N/\">N</a><a href=\"http://[wc]/1/\">1</a>",
       "<a href=\"F\">N</a><a href=\"F\">1</a>"},
      {"<a href=\"http://[wc]/F/?x\" x=\"y\">F</a>", "<a href=\"F\" x=\"y\">F</a>"},
      // Reading links stay.
      {"<a href=\"http://[wc]/\">W</a><a href=\"http://[wc]/D/F/u\">D</a>",
       "<a href=\"http://[wc]/\">W</a><a href=\"http://[wc]/D/F/u\">D</a>"},
      {"<a href=\"http://[kv]/Local:/x:/E/1/\">C</a>", "<a href=\"http://[kv]/Local:/x:/E/1/\">C</a>"},
      // A link cut off at the end is left as it is.
      {"<a href=\"http://[wc]/S/?open", "<a href=\"http://[wc]/S/?open"},
      {"", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(proxy::RouteActingLinks(c.strip, "F"), c.routed) << c.strip;
}

}  // namespace
