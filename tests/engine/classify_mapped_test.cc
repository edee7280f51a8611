// Classification as users meet it: the synonym forms the output layer
// writes, read back on the way in.
#include <gtest/gtest.h>

#include <string>

#include "engine/classify.h"
#include "engine/url_mapping.h"

namespace {

TEST(ClassifyMapped, SynonymFormsAreWrittenBackAndOnlyTheRequestLineDecides) {
  engine::SetClassicUrls(false);
  static const struct {
    const char* raw;
    int type;
    const char* rewritten;  // nullptr: unchanged
  } cases[] = {
      {"GET http://corvane.asledraclient/Local:/x.ldf:/V/All%20Documents/LR/ HTTP/1.1\r\n"
       "Host: corvane.asledraclient\r\n\r\n",
       1,
       "GET http://[kv]/Local:/x.ldf:/V/All Documents/LR/ HTTP/1.1\r\n"
       "Host: corvane.asledraclient\r\n\r\n"},
      {"GET http://www.example.com.-w.corvane.storedpage/a.html HTTP/1.1\r\n\r\n", 2,
       "GET http://[wr;$WCTX_CorvjobsicaContext]www.example.com/a.html HTTP/1.1\r\n\r\n"},
      {"POST http://h.-xx.corvane.storedform/cgi HTTP/1.1\r\n\r\nq=http://corvane.command/N/", 2,
       "POST http://[wrs;x]h/cgi HTTP/1.1\r\n\r\nq=http://corvane.command/N/"},
      {"GET http://corvane.command/ HTTP/1.1\r\n\r\n", 3, "GET http://[wc]/ HTTP/1.1\r\n\r\n"},
      // The Referer is written back too, but decides nothing: a page of
      // corvex refers every request made from it.
      {"GET http://www.example.com/a.gif HTTP/1.1\r\n"
       "Referer: http://corvane.asledraclient/Local:/x.ldf:/V/1/R/\r\n\r\n",
       0,
       "GET http://www.example.com/a.gif HTTP/1.1\r\nReferer: http://[kv]/Local:/x.ldf:/V/1/R/"
       "\r\n\r\n"},
      {"GET http://corvane.command/N/ HTTP/1.1\r\nreferer: http://h.-w.corvane.storedpage/p%20q\r\n"
       "\r\n",
       3,
       "GET http://[wc]/N/ HTTP/1.1\r\nreferer: http://[wr;$WCTX_CorvjobsicaContext]h/p q\r\n\r\n"},
      // A pseudo-host or synonym inside another URL is no request for it.
      {"GET http://www.example.com/?u=http://[kv]/x HTTP/1.1\r\n\r\n", 0, nullptr},
      {"GET http://www.example.com/?u=http://Corvane.Command/N/ HTTP/1.1\r\n\r\n", 0, nullptr},
      // What has always been accepted still is.
      {"GET http://[KV]/Local:/ HTTP/1.0\r\n\r\n", 1, "GET http://[kv]/Local:/ HTTP/1.0\r\n\r\n"},
      {"GET http://Corvane.LookupReplica.host.example/page HTTP/1.0\r\n\r\n", 2,
       "GET http://[wr;host.example/page HTTP/1.0\r\n\r\n"},
      // The icon of corvex's own hosts comes from the program folder; a
      // stored site's is its own.
      {"GET http://corvane.asledraclient/favicon.ico HTTP/1.1\r\n\r\n", 0,
       "GET http://corvane.programfolder/favicon.ico HTTP/1.1\r\n\r\n"},
      {"GET http://h.-w.corvane.storedpage/favicon.ico HTTP/1.1\r\n\r\n", 2,
       "GET http://[wr;$WCTX_CorvjobsicaContext]h/favicon.ico HTTP/1.1\r\n\r\n"},
      // The program folder is served apart; nothing to rewrite.
      {"GET http://corvane.programfolder/images/a.gif HTTP/1.1\r\n\r\n", 0, nullptr},
      // No CR or LF can be smuggled into the request through an escape.
      {"GET http://corvane.command/M/?a%0D%0AReferer:%20http://evil/ HTTP/1.1\r\n\r\n", 3,
       "GET http://[wc]/M/?a%0D%0AReferer: http://evil/ HTTP/1.1\r\n\r\n"},
      {"", 0, nullptr},
      {"GET", 0, nullptr},
  };
  for (const auto& c : cases) {
    std::string raw = c.raw;
    EXPECT_EQ(engine::ClassifyText(raw), c.type) << c.raw;
    EXPECT_EQ(raw, c.rewritten ? c.rewritten : c.raw);
  }
}

}  // namespace
