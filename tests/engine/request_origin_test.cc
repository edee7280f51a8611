// The cross-site check: whose page a request comes from, which requests
// change something, and the refusal of a change from a foreign page on the
// command worker and the stored-page worker.
#include "engine/request_origin.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>

#include "engine/changing_requests.h"
#include "engine/reply_file.h"
#include "platform/database_operation.h"
#include "running_engine.h"

namespace {

TEST(RequestOrigin, OwnHostsStoredPagesAndEveryoneElse) {
  enum Kind { kOwn, kStored, kElse };
  static const struct {
    const char* origin;
    Kind kind;
  } cases[] = {
      {"http://[kv]", kOwn},
      {"http://[KV]/Local:/d.ldf:/V/1/LR/", kOwn},
      {"http://[wc]/D/D/http://example.org/", kOwn},
      {"http://corvane.asledraclient", kOwn},
      {"http://Corvane.AsLedraClient/Local:/d.ldf:/V/1/R/", kOwn},
      {"http://corvane.command", kOwn},
      {"http://Corvane.Command/D/F/x", kOwn},
      {"http://corvane.asledraclient?x", kOwn},
      {"http://Corvane.Verbatim/r%5Bkv", kOwn},
      {"http://corvane.programfolder", kOwn},
      // Stored pages are web content from elsewhere, served by corvex.
      {"http://[wr;Local;Replicas.Web;kvwebrs.ldf]example.org/page", kStored},
      {"http://[wrs;$WCTX_CorvjobsicaContext]example.org/form", kStored},
      {"http://corvane.lookupreplica.example.org", kStored},
      {"http://example-2eorg.local.corvane.storedpage/", kStored},
      {"http://corvane.storedform", kStored},
      // Someone else's.
      {"null", kElse},
      {"", kElse},
      {"http://example.org", kElse},
      {"http://example.org/?http://[kv]/", kElse},
      {"https://corvane.command", kElse},
      {"http://corvane.command:8080", kElse},
      {"http://corvane.commander.example", kElse},
      {"http://corvane.asledraclient.example.org/", kElse},
      {"http://evil.example/http://Corvane.Command/", kElse},
      {"http://[kv", kElse},
      {"file:///opt/corvane/htmdata/offline.htm", kElse},
      {"http://127.0.0.1:8085", kElse},
      {"http://corvane.programfolder:81/", kElse},
      {"http://x.corvane.storedpage:81/", kElse},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(engine::IsOwnOrigin(c.origin), c.kind == kOwn) << c.origin;
    EXPECT_EQ(engine::IsStoredPageOrigin(c.origin), c.kind == kStored) << c.origin;
  }
}

// A stored page's script runs with the page; the page may do only what the
// strip corvex adds to it does.
TEST(RequestOrigin, AStoredPageMayOnlyDoWhatItsStripDoes) {
  const std::string stored = "Referer: http://[wr;Local;Replicas.Web;kvwebrs.ldf]example.org/p\r\n";
  const std::string origin = "Origin: http://example-2eorg.local.corvane.storedpage\r\n";
  auto refused = [](const std::string& raw, const char* change) {
    return engine::RefuseForeignChange(nullptr, raw, change).has_value();
  };
  for (const std::string& from : {stored, origin}) {
    EXPECT_FALSE(refused("GET http://[wc]/N/ HTTP/1.1\r\n" + from + "\r\n", engine::kCommandChange));
    EXPECT_FALSE(refused("GET http://[wc]/F/?x HTTP/1.1\r\n" + from + "\r\n",
                         engine::kCommandChange));
    EXPECT_FALSE(refused("POST http://[wrs;Local;Replicas.Web;kvwebrs.ldf]example.org/f HTTP/1.1\r\n" +
                             from + "\r\n",
                         engine::kStoredFormChange));
    EXPECT_TRUE(refused("GET http://[wc]/1/ HTTP/1.1\r\n" + from + "\r\n", engine::kCommandChange));
    EXPECT_TRUE(refused("GET http://[wc]/S/?x HTTP/1.1\r\n" + from + "\r\n",
                        engine::kCommandChange));
    EXPECT_TRUE(refused("GET http://[kv]/Local:/d.ldf:/V/1/D/1/ HTTP/1.1\r\n" + from + "\r\n",
                        "deleting"));
    EXPECT_TRUE(refused("POST http://[kv]/Local:/d.ldf:/E/1/ HTTP/1.1\r\n" + from + "\r\n",
                        engine::kSubmissionChange));
  }
}

TEST(RequestOrigin, OriginFirstThenRefererAndAbsentCountsAsOwn) {
  static const struct {
    const char* raw;
    const char* header;
    bool own;
  } cases[] = {
      {"GET http://[wc]/1/ HTTP/1.0\r\n\r\n", "", true},
      {"GET http://[wc]/1/ HTTP/1.0\r\nReferer: http://evil.example/\r\n\r\n", "Referer", false},
      {"GET http://[wc]/1/ HTTP/1.0\r\nreferer:http://[kv]/x\r\n\r\n", "Referer", true},
      {"POST http://[kv]/ HTTP/1.0\r\nOrigin: null\r\nReferer: http://[kv]/\r\n\r\n", "Origin",
       false},
      {"POST http://[kv]/ HTTP/1.0\r\nORIGIN:  http://corvane.asledraclient \r\nReferer: "
       "http://evil.example/\r\n\r\n",
       "Origin", true},
      {"POST http://[kv]/ HTTP/1.0\r\nOrigin: \r\nReferer: http://evil.example/\r\n\r\n", "Referer",
       false},
      // Bare line feeds end lines too; only the headers count.
      {"GET http://[wc]/1/ HTTP/1.0\nReferer: http://evil.example/\n\n", "Referer", false},
      {"POST http://[wc]/1/ HTTP/1.0\r\n\r\nOrigin: http://evil.example\r\n", "", true},
      {"GET http://[wc]/1/ HTTP/1.0\r\nX-Origin: http://evil.example\r\n\r\n", "", true},
      {"GET http://[wc]/1/ HTTP/1.0\r\nOrigins: http://evil.example\r\n\r\n", "", true},
      {"", "", true},
  };
  for (const auto& c : cases) {
    engine::RequestSource source = engine::SourceOf(c.raw);
    EXPECT_EQ(source.header, c.header) << c.raw;
    EXPECT_EQ(source.own, c.own) << c.raw;
  }
}

TEST(ChangingRequests, KvCommandsThatChangeDataAndThoseThatRead) {
  static const struct {
    const char* line;
    bool changes;
  } cases[] = {
      {"POST http://[kv]/Local:/d.ldf:/C/1/", true},
      {"PUT http://[kv]/Local:/d.ldf:/E/1/", true},
      {"POST http://[kv]/Local:/", true},
      {"GET http://[kv]/Local:/d.ldf:/V/All/DX/", true},
      {"GET http://[kv]/Local:/d.ldf:/V/All/DE/", true},
      {"GET http://[kv]/Local:/d.ldf:/V/All/D/", true},
      {"GET http://[kv]/Local:/d.ldf:/V/All/Dd17/0/17/", true},
      {"GET http://[kv]/Local:/d.ldf:/V/All/C/", true},
      {"GET http://[kv]/Local:/d.ldf:/V/All/Cd17/", true},
      {"GET http://[kv]/Local:/d.ldf:/V/All/vX/", true},
      {"GET http://[kv]/Local:/d.ldf:/V/All/vC/", true},
      {"GET http://[kv]/Local:/d.ldf:/V/All/vP/", true},
      {"GET http://[kv]/Local:/d.ldf:/V/All/XL/", true},
      {"GET http://[kv]/Local:/d.ldf:/V/All/FS/?SearchText=x&S", true},
      {"GET http://[kv]/Local:/d.ldf:/?/Compact", true},
      {"GET http://[kv]/Local:/d.ldf:/?/FullText", true},
      {"GET http://[kv]/Local:/d.ldf:/?/Delete", true},
      {"GET http://[kv]/Local:/d.ldf:/A/12/ap/0/x/", true},
      {"GET http://[kv]/Local:/d.ldf:/A/12/DP/0/report.htm/{http://[kv]/}/", true},
      // Reads.
      {"GET http://[kv]/", false},
      {"GET http://[kv]/Local:/", false},
      {"GET http://[kv]/Local:/d.ldf:/", false},
      {"GET http://[kv]/Local:/d.ldf:/V/All/LR/", false},
      {"GET http://[kv]/Local:/d.ldf:/V/All/R/", false},
      {"GET http://[kv]/Local:/d.ldf:/V/All/SA/", false},
      {"GET http://[kv]/Local:/d.ldf:/V/All/Sx17/1/17/", false},
      {"GET http://[kv]/Local:/d.ldf:/V/All/XE/", false},
      {"GET http://[kv]/Local:/d.ldf:/V/All/Fr/", false},
      {"GET http://[kv]/Local:/d.ldf:/V/All/F/", false},
      {"GET http://[kv]/Local:/d.ldf:/V/All/vx/", false},
      {"GET http://[kv]/Local:/d.ldf:/V/All/x3o/", false},
      {"GET http://[kv]/Local:/d.ldf:/V/All/dX/", false},
      {"GET http://[kv]/Local:/d.ldf:/D/12/LR/", false},
      {"GET http://[kv]/Local:/d.ldf:/E/12/LR/", false},
      {"GET http://[kv]/Local:/d.ldf:/C/3/LR/", false},
      {"GET http://[kv]/Local:/d.ldf:/A/12/ds/0/x.gif/", false},
      {"GET http://[kv]/Local:/d.ldf:/n/CORVANE_NAVIGATORS_ENABLEMENT_TOGGLE/", false},
  };
  for (const auto& c : cases) {
    auto request = engine::ParseDatabaseRequest(std::string(c.line) + " HTTP/1.0\r\n\r\n");
    ASSERT_TRUE(request) << c.line;
    EXPECT_EQ(engine::KvRequestChanges(*request), c.changes) << c.line;
  }
}

TEST(ChangingRequests, CommandLettersThatAct) {
  static const struct {
    const char* raw;
    char letter;
    bool acts;
  } cases[] = {
      {"GET http://[wc]/1/ HTTP/1.0\r\n", '1', true},
      {"GET http://[wc]/1 HTTP/1.0\r\n", '1', true},
      {"GET http://[wc]/N/ HTTP/1.0\r\n", 'N', true},
      {"GET http://[wc]/S/?http://example.org/ HTTP/1.0\r\n", 'S', true},
      {"GET http://[wc]/F/?http://example.org/ HTTP/1.0\r\n", 'F', true},
      {"GET http://[wc]/M/?Hello HTTP/1.0\r\n", 'M', true},
      {"GET http://[wc]/7/?Hello HTTP/1.0\r\n", '7', true},
      {"GET http://[wc]/A/ HTTP/1.0\r\n", 'A', true},
      {"GET http://[wc]/B/ HTTP/1.0\r\n", 'B', true},
      {"GET http://[wc]/D/D/http://example.org/ HTTP/1.0\r\n", 'D', false},
      {"GET http://[wc]/ HTTP/1.0\r\n", '\0', false},
      {"GET http://[wc]/n/ HTTP/1.0\r\n", 'n', false},
      // Classified by its Referer: the request line names no letter.
      {"GET http://example.org/ HTTP/1.0\r\nReferer: http://[wc]/1/\r\n", '\0', false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(engine::CommandLetter(c.raw), c.letter) << c.raw;
    EXPECT_EQ(engine::CommandRequestActs(c.raw), c.acts) << c.raw;
  }
}

std::atomic<int> handled{0};
void CountAndAnswer(engine::ThreadHandle& handle, engine::RequestEntry& entry) {
  ++handled;
  engine::AnswerWithText(*handle.shared, entry, "HANDLED");
}

using CrossSite = RunningEngine;

TEST_F(CrossSite, ACommandThatActsIsRefusedToAForeignPage) {
  engine::Hooks().commandHandler = CountAndAnswer;
  handled = 0;
  Start();
  std::string reply = Exchange(
      {"GET http://Corvane.Command/1/ HTTP/1.1\r\nReferer: http://evil.example/page\r\n\r\n"});
  EXPECT_EQ(reply.rfind("HTTP/1.0 403 Forbidden\r\n", 0), 0u) << reply;
  EXPECT_NE(reply.find("http://evil.example/page"), std::string::npos);
  EXPECT_EQ(handled, 0);
  EXPECT_TRUE(
      trace_.Contains("Refused, from a foreign page (Referer: http://evil.example/page): "
                      "GET http://[wc]/1/ HTTP/1.1"));
  // The page is escaped where it is named.
  reply = Exchange({"POST http://[wc]/S/?x HTTP/1.1\r\nOrigin: http://e.example/<b>\r\n\r\n"});
  EXPECT_NE(reply.find("http://e.example/&lt;b&gt;"), std::string::npos) << reply;
  EXPECT_EQ(handled, 0);

  // Our own pages, a POST without either header, and a command that only
  // reads.
  EXPECT_EQ(
      Exchange({"GET http://[wc]/1/ HTTP/1.1\r\nReferer: http://[kv]/Local:/d.ldf:/\r\n\r\n"}),
      "HANDLED");
  EXPECT_EQ(Exchange({"GET http://[wc]/N/ HTTP/1.1\r\nOrigin: http://corvane.command\r\n\r\n"}),
            "HANDLED");
  EXPECT_EQ(Exchange({"POST http://[wc]/S/?x HTTP/1.0\r\nContent-Length: 0\r\n\r\n"}), "HANDLED");
  EXPECT_EQ(Exchange({"GET http://[wc]/D/D/x HTTP/1.1\r\nReferer: http://evil.example/\r\n\r\n"}),
            "HANDLED");
  EXPECT_EQ(handled, 4);
}

// A GET that names no page at all may come from a bookmark, but also from
// a foreign page that withholds its referrer: it is asked about, never
// carried out, and the page that asks is one of ours, so following its
// link carries the command out.
TEST_F(CrossSite, AGetThatNamesNoPageIsAskedAboutFirst) {
  engine::Hooks().commandHandler = CountAndAnswer;
  handled = 0;
  Start();
  std::string reply = Exchange({"GET http://Corvane.Command/1/?a\"b HTTP/1.1\r\n\r\n"});
  EXPECT_EQ(reply.rfind("HTTP/1.0 403 Forbidden\r\n", 0), 0u) << reply;
  EXPECT_NE(reply.find("X-Frame-Options: DENY\r\n"), std::string::npos) << reply;
  EXPECT_NE(reply.find("<a href=\"http://[wc]/1/?a&quot;b\">"), std::string::npos) << reply;
  EXPECT_EQ(handled, 0);
  EXPECT_TRUE(trace_.Contains("Not carried out, no page named: GET http://[wc]/1/?a\"b HTTP/1.1"));
  // The click on that page.
  EXPECT_EQ(Exchange({"GET http://[wc]/1/?a HTTP/1.1\r\nReferer: http://[wc]/1/?a\r\n\r\n"}),
            "HANDLED");
  EXPECT_EQ(handled, 1);
}

std::atomic<int> stored_forms{0};
int32_t CountStoredForm(engine::ThreadHandle&, const engine::OperationArgs& args) {
  ++stored_forms;
  if (std::FILE* reply = std::fopen(reinterpret_cast<const char*>(args[0]), "w")) {
    std::fputs("STORED", reply);
    std::fclose(reply);
  }
  return 1;
}

TEST_F(CrossSite, AFormPostedToAStoredPageFromAForeignPageIsRefused) {
  stored_forms = 0;
  platform::SetDatabaseOperation(platform::kSubmitStoredForm, CountStoredForm);
  Start();
  std::string foreign =
      "POST http://[wr;Local;Replicas.Web;kvwebrs.ldf]example.org/form HTTP/1.1\r\nOrigin: null\r\n"
      "Content-length: 3\r\n\r\na=1";
  EXPECT_EQ(Exchange({foreign}).rfind("HTTP/1.0 403 Forbidden\r\n", 0), 0u);
  EXPECT_EQ(stored_forms, 0);
  std::string own =
      "POST http://[wrs;Local;Replicas.Web;kvwebrs.ldf]example.org/form HTTP/1.1\r\n"
      "Origin: http://[wr;Local;Replicas.Web;kvwebrs.ldf]example.org\r\nContent-length: "
      "3\r\n\r\na=1";
  EXPECT_EQ(Exchange({own}), "STORED");
  EXPECT_EQ(stored_forms, 1);
  platform::ResetDatabaseOperations();
}

}  // namespace
