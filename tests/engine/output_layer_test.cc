// The output layer on replies of every kind: generated pages, redirects,
// empty replies, stored pages, attachments; and the URLs inside pages.
#include "engine/output_layer.h"
#include "engine/request_origin.h"
#include "common/text.h"

#include <gtest/gtest.h>

#include <regex>
#include <string>

#include "engine/url_rewrite.h"
#include "tests/engine/url_judge.h"

namespace {

using engine::FinishReply;
using engine::ReplyRequest;

constexpr char kDir[] = "/opt/prog";

ReplyRequest Request(int type, std::string_view url = "http://[kv]/Local:/x.ldf:/V/1/R/") {
  ReplyRequest request;
  request.eventType = type;
  request.url = url;
  return request;
}

std::string Body(const std::string& reply) {
  size_t end = reply.find("\r\n\r\n");
  return end == std::string::npos ? "" : reply.substr(end + 4);
}

// Every status line and header ends in CRLF, and Content-Length is right.
void ExpectWellFormed(const std::string& reply) {
  size_t end = reply.find("\r\n\r\n");
  ASSERT_NE(end, std::string::npos) << reply;
  std::string head = reply.substr(0, end + 2);
  for (size_t at = head.find('\n'); at != std::string::npos; at = head.find('\n', at + 1))
    EXPECT_EQ(head[at - 1], '\r') << reply;
  std::smatch length;
  if (std::regex_search(head, length, std::regex("Content-Length: ([0-9]+)\r\n"))) {
    EXPECT_EQ(std::stoul(length[1]), reply.size() - end - 4) << reply;
  }
  std::smatch location;
  if (std::regex_search(head, location, std::regex("Location: ([^\r]*)\r\n"))) {
    EXPECT_EQ(url_judge::UrlProblem(location[1].str()), "") << location[1];
  }
}

TEST(OutputLayer, GeneratedRepliesGetAProperStatusLineAndHeaders) {
  static const struct {
    const char* reply;
    int type;
    const char* expected;
  } cases[] = {
      {"HTTP/1.0 200 OK \n\n<HTML>x</HTML>", 1,
       "HTTP/1.0 200 OK\r\nContent-Type: text/html; charset=utf-8\r\nCache-Control: no-cache\r\n"
       "Connection: close\r\nContent-Length: 14\r\n\r\n<HTML>x</HTML>"},
      {"<html><DT><H2>Ledra Error:</H2><DT><DT>gone<DT>", 1,
       "HTTP/1.0 200 OK\r\nContent-Type: text/html; charset=utf-8\r\nCache-Control: no-cache\r\n"
       "Connection: close\r\nContent-Length: 47\r\n\r\n"
       "<html><DT><H2>Ledra Error:</H2><DT><DT>gone<DT>"},
      {"HTTP/1.0 302 Temporarily Moved\nLocation: http://[kv]/Local:/Mail\\Arch ive.ldf:/V/1/LR/"
       "\n\n",
       1,
       "HTTP/1.0 302 Temporarily Moved\r\nLocation: "
       "http://corvane.asledraclient/Local:/Mail%5CArch%20ive.ldf:/V/1/LR/\r\n"
       "Cache-Control: no-cache\r\nConnection: close\r\nContent-Length: 0\r\n\r\n"},
      {"HTTP/1.1 204 No Content\n\n\n", 1, "HTTP/1.1 204 No Content\r\nConnection: close\r\n\r\n"},
      {"", 3, "HTTP/1.0 204 No Content\r\nConnection: close\r\n\r\n"},
      // The offline error page: a redirect to the program folder's page.
      {"HTTP/1.0 302 Temporarily Moved\r\nLocation: file:///opt/prog/htmdata/offline.htm\r\n\r\n"
       "left over",
       1,
       "HTTP/1.0 302 Temporarily Moved\r\nLocation: "
       "http://corvane.programfolder/htmdata/offline.htm\r\nContent-Type: text/html; "
       "charset=utf-8\r\nCache-Control: no-cache\r\nConnection: close\r\nContent-Length: 9\r\n"
       "\r\nleft over"},
      // An attachment keeps its type and its bytes.
      {"HTTP/1.0 200 OK\r\nContent-type: text/html\r\nContent-length: 99\r\n\r\n"
       "<a href=\"http://[kv]/\">",
       1,
       "HTTP/1.0 200 OK\r\nContent-type: text/html\r\nConnection: close\r\nContent-Length: 23\r\n"
       "\r\n<a href=\"http://[kv]/\">"},
  };
  for (const auto& c : cases) {
    std::string reply = FinishReply(c.reply, Request(c.type), kDir);
    EXPECT_EQ(reply, c.expected) << c.reply;
    ExpectWellFormed(reply);
  }
}

TEST(OutputLayer, EmptyRepliesSayWhatIsMissing) {
  std::string stored = FinishReply(
      "", Request(2, "http://[wr;$WCTX_CorvjobsicaContext]www.example.com/a.html"), kDir);
  EXPECT_EQ(stored.rfind("HTTP/1.0 404 Not Found\r\n", 0), 0u) << stored;
  EXPECT_NE(stored.find("href=\"http://www.example.com/a.html\""), std::string::npos) << stored;
  ExpectWellFormed(stored);

  std::string database = FinishReply("", Request(1, "http://[kv]/Local:/x.ldf:/Q/<b>"), kDir);
  EXPECT_EQ(database.rfind("HTTP/1.0 404 Not Found\r\n", 0), 0u);
  EXPECT_NE(database.find("&lt;b&gt;"), std::string::npos) << "the URL is echoed escaped";
  EXPECT_EQ(database.find("<b>"), std::string::npos);
  EXPECT_NE(database.find("href=\"http://corvane.asledraclient/Local:/kvhelp.ldf:/n/Contents\""),
            std::string::npos)
      << "what to try, written for the browser";

  ReplyRequest command = Request(3, "http://[wc]/N/");
  command.commandsBuilt = false;
  std::string interim = FinishReply("HTTP/1.1 204 No Content\n\n\n", command, kDir);
  EXPECT_EQ(interim.rfind("HTTP/1.0 501 Not Implemented\r\n", 0), 0u) << interim;
  command.commandsBuilt = true;
  EXPECT_EQ(FinishReply("HTTP/1.1 204 No Content\n\n\n", command, kDir).rfind("HTTP/1.1 204", 0),
            0u);
}

// The page that asks before a command named by no page is carried out:
// its link must leave in the form the browser reads.
TEST(OutputLayer, TheConfirmingPageLinksToTheCommandOnTheCommandHost) {
  std::string page = engine::FinishReply(
      common::Format(engine::kConfirmReplyFormat, "a command", "http://[wc]/1/"),
      Request(3, "http://[wc]/1/"), kDir);
  EXPECT_EQ(page.rfind("HTTP/1.0 403 Forbidden\r\n", 0), 0u) << page;
  EXPECT_NE(page.find("Content-Type: text/html; charset=utf-8\r\n"), std::string::npos) << page;
  EXPECT_NE(page.find("<a href=\"http://corvane.command/1/\">"), std::string::npos) << page;
}

TEST(OutputLayer, StoredPagesKeepTheirBytesButForLinksAndLength) {
  std::string page =
      "<a href=\"http://[wr;$WCTX_CorvjobsicaContext]www.example.com/b.html\">b</a>"
      "<img src=\"logo.gif\"><form action=\"http://[wrs;$WCTX_CorvjobsicaContext]www.example.com/"
      "cgi\">"
      "<!-- dashboard --><a href=\"http://[wc]/D/F/http://[wr;$WCTX_CorvjobsicaContext]"
      "www.example.com/a.html\">Dashboard</a></html>\n";
  std::string stored =
      "HTTP/1.1 200 OK\r\nServer: x\r\nContent-Type: text/html\r\n"
      "Content-length: 9500\r\nConnection: keep-alive\r\n\r\n" +
      page;
  std::string reply = FinishReply(stored, Request(2), kDir);
  ExpectWellFormed(reply);
  EXPECT_EQ(reply.rfind("HTTP/1.1 200 OK\r\nServer: x\r\nContent-Type: text/html\r\n", 0), 0u);
  EXPECT_EQ(reply.find("charset"), std::string::npos) << "a stored page keeps its own type";
  std::string body = Body(reply);
  EXPECT_NE(body.find("href=\"http://www.example.com.-w.corvane.storedpage/b.html\""),
            std::string::npos);
  EXPECT_NE(body.find("action=\"http://www.example.com.-w.corvane.storedform/cgi\""),
            std::string::npos);
  EXPECT_NE(body.find("href=\"http://corvane.command/D/F/http://%5Bwr;"), std::string::npos);
  EXPECT_NE(body.find("<img src=\"logo.gif\">"), std::string::npos);

  // The page's dashboard changes with the program's state: the browser asks
  // again each time, whatever caching the web server allowed.
  std::string cached = FinishReply(
      "HTTP/1.0 200 OK\r\nContent-Type: text/html\r\nLast-Modified: Mon, 07 Dec 2026 10:00:00 "
      "GMT\r\nCache-Control: max-age=86400\r\nExpires: Thu, 31 Dec 2037 23:59:59 GMT\r\n\r\n" +
          page,
      Request(2), kDir);
  ExpectWellFormed(cached);
  EXPECT_NE(cached.find("\r\nCache-Control: no-cache\r\n"), std::string::npos) << cached;
  EXPECT_EQ(cached.find("max-age"), std::string::npos) << cached;
  EXPECT_EQ(cached.find("Expires"), std::string::npos) << cached;
  EXPECT_NE(reply.find("\r\nCache-Control: no-cache\r\n"), std::string::npos) << reply;

  // A stored image is sent byte for byte, with the caching it was stored
  // with; a chunked page is made whole.
  std::string image = std::string("GIF89a http://[wr;x]y/\0\xff", 24);
  std::string gif = FinishReply(
      "HTTP/1.0 200 OK\r\nContent-Type: image/gif\r\nCache-Control: max-age=60\r\n\r\n" + image,
      Request(2), kDir);
  EXPECT_EQ(Body(gif), image);
  EXPECT_NE(gif.find("\r\nCache-Control: max-age=60\r\n"), std::string::npos) << gif;
  EXPECT_EQ(gif.find("no-cache"), std::string::npos) << gif;
  std::string chunked = FinishReply(
      "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nTransfer-Encoding: chunked\r\n\r\n"
      "5\r\n<a hr\r\n1b\r\nef=\"http://[wr;x]h/p\">x</a>\r\n0\r\n\r\n",
      Request(2), kDir);
  EXPECT_EQ(Body(chunked), "<a href=\"http://h.-xx.corvane.storedpage/p\">x</a>");
  EXPECT_EQ(chunked.find("Transfer-Encoding"), std::string::npos);

  // A stored redirect goes where its Location says, written for the browser.
  std::string moved = FinishReply(
      "HTTP/1.0 302 Found\r\nLocation: http://[wr;$WCTX_CorvjobsicaContext]www.example.com/n\r\n"
      "Content-Type: text/html\r\n\r\n",
      Request(2), kDir);
  EXPECT_NE(moved.find("Location: http://www.example.com.-w.corvane.storedpage/n\r\n"),
            std::string::npos);
  std::string live = FinishReply(
      "HTTP/1.0 302 Found\nLocation: http://www.example.com/a b\\c?d\\e\n\n", Request(2), kDir);
  EXPECT_NE(live.find("Location: http://www.example.com/a%20b/c?d%5Ce\r\n"), std::string::npos)
      << live;
}

TEST(OutputLayer, UrlsInPagesEndWhereTheirContextEndsThem) {
  static const struct {
    const char* page;
    const char* expected;
  } cases[] = {
      {"<A HREF=\"http://[kv]/L:/d.ldf:/V/All Documents/LR/\">",
       "<A HREF=\"http://corvane.asledraclient/L:/d.ldf:/V/All%20Documents/LR/\">"},
      {"<a href='http://[kv]/L:/d.ldf:/V/x \"y\"/'>",
       "<a href='http://corvane.asledraclient/L:/"
       "d.ldf:/V/x%20%22y%22/'>"},
      {"<a href=http://[wc]/N/ target=x>", "<a href=http://corvane.command/N/ target=x>"},
      {"setTimeout(\"window.open('http://[kv]/L:/d.ldf:/D/1/LR/1/5/','kvDocumentFrame')\",1000)",
       "setTimeout(\"window.open('http://corvane.asledraclient/L:/d.ldf:/D/1/LR/1/5/',"
       "'kvDocumentFrame')\",1000)"},
      {"background:url(file:///opt/prog/images/back1.jpg) no-repeat",
       "background:url(http://corvane.programfolder/images/back1.jpg) no-repeat"},
      {"<BASE HREF=\"file:///opt/prog/\">", "<BASE HREF=\"http://corvane.programfolder/\">"},
      {"<IMG SRC=\"FILE:////opt/prog/wtemp/CD5.GIF\" border=0>",
       "<IMG SRC=\"http://corvane.programfolder/wtemp/CD5.GIF\" border=0>"},
      {"<a href=\"http://Corvane.AsLedraClient/Local:/r\\k.ldf:/V/1/B/\">",
       "<a href=\"http://corvane.asledraclient/Local:/r%5Ck.ldf:/V/1/B/\">"},
      {"var dir='http://[kv]/'+server+':/'", "var dir='http://corvane.asledraclient/'+server+':/'"},
      // Left alone: other hosts and other folders, and text that only
      // resembles a URL.
      {"<a href=\"http://www.example.com/\">http://[::1]/ file:///etc/passwd</a> x: y",
       "<a href=\"http://www.example.com/\">http://[::1]/ file:///etc/passwd</a> x: y"},
      {"<a href=\"http://www.example.com.-w.corvane.storedpage/\">",
       "<a href=\"http://www.example.com.-w.corvane.storedpage/\">"},
  };
  for (const auto& c : cases) {
    std::string out;
    engine::RewriteUrls(c.page, kDir, &out);
    EXPECT_EQ(out, c.expected) << c.page;
  }
}

TEST(OutputLayer, RequestUrlIsTheRequestLinesUrl) {
  EXPECT_EQ(engine::RequestUrl("GET http://[kv]/a b/ HTTP/1.1\r\nHost: x\r\n\r\n"),
            "http://[kv]/a b/");
  EXPECT_EQ(engine::RequestUrl("GET http://[kv]/\n"), "http://[kv]/");
  EXPECT_EQ(engine::RequestUrl("garbage"), "");
}

}  // namespace
