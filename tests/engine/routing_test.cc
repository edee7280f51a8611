// Classification, synonyms and the [kv] and [wr;...] URL grammars.
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "engine/classify.h"
#include "engine/database_request.h"
#include "engine/hooks.h"
#include "engine/replica_request.h"
#include "engine/thread_handle.h"

namespace {

using engine::ClassifyText;

TEST(Classify, PseudoHostsAndSynonyms) {
  static const struct {
    const char* raw;
    int type;
    const char* rewritten;  // nullptr: unchanged
  } cases[] = {
      {"GET http://[kv]/Local:/ HTTP/1.0\r\n\r\n", 1, nullptr},
      {"GET HTTP://[KV]/Local:/x HTTP/1.0\r\n\r\n", 1, "GET http://[kv]/Local:/x HTTP/1.0\r\n\r\n"},
      {"GET http://[WC]/N/ HTTP/1.0\r\n\r\n", 3, "GET http://[wc]/N/ HTTP/1.0\r\n\r\n"},
      {"GET http://[wr;Local;kvwebrs.ldf]www.example.com/ HTTP/1.0\r\n\r\n", 2, nullptr},
      {"POST http://[Wrs;x]y HTTP/1.0\r\n\r\n", 2, "POST http://[wrs;x]y HTTP/1.0\r\n\r\n"},
      {"GET http://[zz]/ HTTP/1.0\r\n\r\n", 0, nullptr},
      {"GET http://www.example.com/ HTTP/1.0\r\n\r\n", 0, nullptr},
      {"", 0, nullptr},
      {"GET http://[k", 0, nullptr},
      // The three synonyms, in any case, rewritten in place.
      {"GET http://corvane.asledraclient/Local:/kvconfig.ldf:/V/ HTTP/1.0\r\n\r\n", 1,
       "GET http://[kv]/Local:/kvconfig.ldf:/V/ HTTP/1.0\r\n\r\n"},
      {"GET http://Corvane.LookupReplica.host.example/page HTTP/1.0\r\n\r\n", 2,
       "GET http://[wr;host.example/page HTTP/1.0\r\n\r\n"},
      {"GET http://Corvane.Command/N/ HTTP/1.0\r\n\r\n", 3, "GET http://[wc]/N/ HTTP/1.0\r\n\r\n"},
      // The Referer decides when the request line holds an ordinary URL.
      {"GET http://www.example.com/a.gif HTTP/1.0\r\nReferer: http://Corvane.Command/N/\r\n\r\n", 3,
       "GET http://www.example.com/a.gif HTTP/1.0\r\nReferer: http://[wc]/N/\r\n\r\n"},
      // The later synonym overrides the earlier EventType.
      {"GET http://[kv]/Local:/ HTTP/1.0\r\nReferer: http://Corvane.LookupReplica.h/p\r\n\r\n", 2,
       "GET http://[kv]/Local:/ HTTP/1.0\r\nReferer: http://[wr;h/p\r\n\r\n"},
  };
  for (const auto& c : cases) {
    std::string raw = c.raw;
    EXPECT_EQ(ClassifyText(raw), c.type) << c.raw;
    EXPECT_EQ(raw, c.rewritten ? c.rewritten : c.raw);
  }
}

struct Expected {
  const char* server = nullptr;
  const char* database = nullptr;
  const char* command = nullptr;
  const char* argument1 = nullptr;
  const char* argument2 = nullptr;
  const char* argument3 = nullptr;
  const char* argument4 = nullptr;
  const char* returnUrl = nullptr;
};

std::string Show(const std::optional<std::string>& field) {
  return field ? "\"" + *field + "\"" : "absent";
}
std::string Show(const char* field) {
  return field ? "\"" + std::string(field) + "\"" : "absent";
}

TEST(DatabaseRequest, EveryFieldOfTheGrammar) {
  static const struct {
    const char* line;
    Expected fields;
  } cases[] = {
      {"GET http://[kv]/Local:/kvconfig.ldf:/E/1234/LR/0/What's Next/{http://[kv]/x/}/ HTTP/1.0",
       {"Local", "kvconfig.ldf", "E", "1234", "LR", "0", "what's next", "http://[kv]/x/"}},
      {"GET http://[kv]/Local:/kvconfig.ldf:/V/By Name/LR/ HTTP/1.0",
       {"Local", "kvconfig.ldf", "V", "By Name", "LR", nullptr, nullptr, nullptr}},
      {"GET http://[kv]/Local:/Mail\\Archive.LDF:/V/1/LR/ HTTP/1.0",
       {"Local", "mail\\archive.ldf", "V", "1", "LR", nullptr, nullptr, nullptr}},
      {"GET http://[kv]/Hub/Sales:/sales/q1.ldf:/V/ HTTP/1.0",
       {"Hub/Sales", "sales\\q1.ldf", "V", nullptr, nullptr, nullptr, nullptr, nullptr}},
      {"GET http://[kv]/Local:/Mail%2FArchive.ldf:/V/ HTTP/1.0",
       {"Local", "mail\\archive.ldf", "V", nullptr, nullptr, nullptr, nullptr, nullptr}},
      {"GET http://[kv]/Local:/Mail\\%2FArchive.ldf:/V/ HTTP/1.0",
       {"Local", "mail\\%2farchive.ldf", "V", nullptr, nullptr, nullptr, nullptr, nullptr}},
      {"GET http://[kv]/ HTTP/1.0", {}},
      {"GET http://[kv]/Local:/ HTTP/1.0", {"Local"}},
      {"GET http://[kv]/Local HTTP/1.0", {"Local"}},
      {"GET http://[kv]/Local:/Mail:/ HTTP/1.0", {"Local", "mail"}},
      {"GET http://[kv]/Local:/db.ldf:/V HTTP/1.0", {"Local", "db.ldf", "V"}},
      // Two slashes in a row give an empty field; text between ":" and "/" is skipped.
      {"GET http://[kv]/Local:/db.ldf:/V//LR/ HTTP/1.0", {"Local", "db.ldf", "V", "", "LR"}},
      {"GET http://[kv]/Local:junk/db.ldf:more/D/7/ HTTP/1.0", {"Local", "db.ldf", "D", "7"}},
      {"POST http://[kv]/Local:/db.ldf:/E/12/ HTTP/1.0", {"Local", "db.ldf", "E", "12"}},
      // Return URL: between the first "{" after argument 4 and the last "}".
      {"GET http://[kv]/L:/d:/V/1/2/3/4/{a}b}/ HTTP/1.0",
       {"L", "d", "V", "1", "2", "3", "4", "a}b"}},
      {"GET http://[kv]/L:/d:/V/1/2/3/4/{}/ HTTP/1.0",
       {"L", "d", "V", "1", "2", "3", "4", nullptr}},
      {"GET http://[kv]/L:/d:/V/1/2/3/4/{ HTTP/1.0", {"L", "d", "V", "1", "2", "3", "4", nullptr}},
      // Without a version the whole line after the method is the URL.
      {"GET http://[kv]/L:/d:/V/", {"L", "d", "V"}},
  };
  for (const auto& c : cases) {
    std::string raw = std::string(c.line) + "\r\nHost: x\r\n\r\n";
    auto request = engine::ParseDatabaseRequest(raw);
    ASSERT_NE(request, nullptr) << c.line;
    const Expected& e = c.fields;
    EXPECT_EQ(Show(request->server), Show(e.server)) << c.line;
    EXPECT_EQ(Show(request->database), Show(e.database)) << c.line;
    EXPECT_EQ(Show(request->command), Show(e.command)) << c.line;
    EXPECT_EQ(Show(request->argument1), Show(e.argument1)) << c.line;
    EXPECT_EQ(Show(request->argument2), Show(e.argument2)) << c.line;
    EXPECT_EQ(Show(request->argument3), Show(e.argument3)) << c.line;
    EXPECT_EQ(Show(request->argument4), Show(e.argument4)) << c.line;
    EXPECT_EQ(Show(request->returnUrl), Show(e.returnUrl)) << c.line;
    EXPECT_EQ(*request->method, std::string(c.line).substr(0, std::string(c.line).find(' ')));
  }
}

TEST(DatabaseRequest, UrlIsDecodedAndCutBeforeTheVersion) {
  auto request = engine::ParseDatabaseRequest(
      "GET http://[kv]/Local:/kvconfig.ldf:/V/By%20Name/ http/1.1\r\n\r\n");
  ASSERT_NE(request, nullptr);
  EXPECT_EQ(*request->url, "http://[kv]/Local:/kvconfig.ldf:/V/By Name/");
  EXPECT_EQ(*request->argument1, "By Name");
}

TEST(DatabaseRequest, MalformedLinesGiveNoRecord) {
  for (const char* raw : {"GET http://[kv]\r\n\r\n", "GET http:[kv]/\r\n", "", "GET\r\n",
                          "GET /a/b/c\r\n\r\n", "X//////////"}) {
    EXPECT_EQ(engine::ParseDatabaseRequest(raw), nullptr) << raw;
  }
}

bool FakeReplicaDatabase(engine::ThreadHandle&, std::string* server, std::string* path) {
  *server = "Hub/Web";
  *path = "replicas.web\\kvwebrs.ldf";
  return true;
}

TEST(ReplicaRequest, BracketServerDatabaseAndKey) {
  static const struct {
    const char* line;
    int submit;
    const char* server;
    const char* database;
    const char* key;
  } cases[] = {
      {"GET http://[wr;Local;Replicas.Web/kvwebrs.ldf]www.example.com/a.html HTTP/1.0", 0, "Local",
       "Replicas.Web\\kvwebrs.ldf", "www.example.com/a.html"},
      {"GET http://[wr;Hub;a;b.ldf]host/p?q=1 HTTP/1.0", 0, "Hub", "a\\b.ldf", "host/p?q=1"},
      {"POST http://[wrs;Local;x.ldf]host/form HTTP/1.0", 1, "Local", "x.ldf", "host/form"},
      {"GET http://[wr;Hub]host/ HTTP/1.0", 0, "Hub", "kvwebrs.ldf", "host/"},
      {"GET http://[wr]host/ HTTP/1.0", 0, "Local", "kvwebrs.ldf", "host/"},
      {"GET http://[wr;$wctx_corvjobsicacontext]host/x HTTP/1.0", 0, "Hub/Web",
       "replicas.web\\kvwebrs.ldf", "host/x"},
  };
  engine::Hooks().currentReplicaDatabase = FakeReplicaDatabase;
  auto handle = engine::MakeThreadHandle("k1", nullptr);
  for (const auto& c : cases) {
    auto request = engine::ParseReplicaRequest(std::string(c.line) + "\r\n\r\n", handle.get());
    ASSERT_NE(request, nullptr) << c.line;
    EXPECT_EQ(request->submit, c.submit) << c.line;
    EXPECT_EQ(request->server, c.server) << c.line;
    EXPECT_EQ(request->database, c.database) << c.line;
    EXPECT_EQ(request->key, c.key) << c.line;
  }
  engine::Hooks() = engine::EngineHooks{};
  auto request = engine::ParseReplicaRequest("GET http://[wr;$WCTX_CorvjobsicaContext]h/ HTTP/1.0",
                                             handle.get());
  ASSERT_NE(request, nullptr);
  EXPECT_EQ(request->server, "Local");  // no page-replica database: the defaults
  EXPECT_EQ(request->database, "kvwebrs.ldf");
}

TEST(ReplicaRequest, UnclosedBracketGivesNoRecord) {
  std::string raw = "GET http://Corvane.LookupReplica.host.example/page HTTP/1.0\r\n\r\n";
  ClassifyText(raw);
  EXPECT_EQ(engine::ParseReplicaRequest(raw, nullptr), nullptr);
  EXPECT_EQ(engine::ParseReplicaRequest("GET http://host/ HTTP/1.0", nullptr), nullptr);
}

}  // namespace
