// The [kv] dispatcher: method, presence of server, database and command,
// first and second letters.
#include "browser/command_dispatch.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "engine/request_entry.h"

namespace browser {
namespace {

std::string called;

#define HANDLER(name)                                                             \
  int name(const std::string&, engine::DatabaseRequest&, engine::ThreadHandle&) { \
    called = #name;                                                               \
    return 1;                                                                     \
  }
HANDLER(serverCatalogue)
HANDLER(databaseCatalogue)
HANDLER(databaseWelcome)
HANDLER(maintenance)
HANDLER(view)
HANDLER(navigator)
HANDLER(readPage)
HANDLER(readAction)
HANDLER(readFrameset)
HANDLER(editPage)
HANDLER(editAction)
HANDLER(editFrameset)
HANDLER(composePage)
HANDLER(composeAction)
HANDLER(composeFrameset)
HANDLER(attachment)
HANDLER(composeSubmit)
HANDLER(editSubmit)
#undef HANDLER

bool folder_handled = false;
int folderCatalogue(const std::string&, engine::DatabaseRequest&, engine::ThreadHandle&) {
  called = "folderCatalogue";
  return folder_handled ? 1 : kNotHandled;
}

class Dispatch : public ::testing::Test {
 protected:
  void SetUp() override {
    saved_ = Handlers();
    KvHandlers& h = Handlers();
    h.serverCatalogue = serverCatalogue;
    h.databaseCatalogue = databaseCatalogue;
    h.folderCatalogue = folderCatalogue;
    h.databaseWelcome = databaseWelcome;
    h.maintenance = maintenance;
    h.view = view;
    h.navigator = navigator;
    h.readPage = readPage;
    h.readAction = readAction;
    h.readFrameset = readFrameset;
    h.editPage = editPage;
    h.editAction = editAction;
    h.editFrameset = editFrameset;
    h.composePage = composePage;
    h.composeAction = composeAction;
    h.composeFrameset = composeFrameset;
    h.attachment = attachment;
    h.composeSubmit = composeSubmit;
    h.editSubmit = editSubmit;
  }
  void TearDown() override { Handlers() = saved_; }

  // The handler the request line reaches, or "-1".
  std::string Route(const std::string& line) {
    called.clear();
    auto request = engine::ParseDatabaseRequest(line + " HTTP/1.0\r\n\r\n");
    if (!request) return "<malformed>";
    engine::ThreadHandle handle;
    int result = RunKvCommand("/dev/null", *request, handle);
    return result == kNotHandled ? "-1" : called;
  }

  KvHandlers saved_;
};

TEST_F(Dispatch, FollowsTheTablesInOrder) {
  struct {
    const char* line;
    const char* handler;
  } cases[] = {
      {"GET http://[kv]/", "serverCatalogue"},
      {"GET http://[kv]/Local:/", "databaseCatalogue"},
      {"GET http://[kv]/Local:/kvconfig.ldf:/", "databaseWelcome"},
      {"GET http://[kv]/Local:/mail.ldw:/", "databaseWelcome"},
      {"GET http://[kv]/Local:/x.LDF:/", "databaseWelcome"},  // the path arrives lower-cased
      {"GET http://[kv]/Local:/d.ldf:/V/All/LR/", "view"},
      {"GET http://[kv]/Local:/d.ldf:/Vx/", "view"},
      {"GET http://[kv]/Local:/d.ldf:/DP/1/", "readPage"},
      {"GET http://[kv]/Local:/d.ldf:/DA/1/", "readAction"},
      {"GET http://[kv]/Local:/d.ldf:/D/1/", "readFrameset"},
      {"GET http://[kv]/Local:/d.ldf:/Dx/1/", "readFrameset"},
      {"GET http://[kv]/Local:/d.ldf:/EP/1/", "editPage"},
      {"GET http://[kv]/Local:/d.ldf:/EA/1/", "editAction"},
      {"GET http://[kv]/Local:/d.ldf:/E/1/", "editFrameset"},
      {"GET http://[kv]/Local:/d.ldf:/CP/1/", "composePage"},
      {"GET http://[kv]/Local:/d.ldf:/CA/1/", "composeAction"},
      {"GET http://[kv]/Local:/d.ldf:/C/1/", "composeFrameset"},
      {"GET http://[kv]/Local:/d.ldf:/A/1/", "attachment"},
      {"GET http://[kv]/Local:/d.ldf:/n/Main/", "navigator"},
      {"GET http://[kv]/Local:/d.ldf:/N/Main/", "-1"},  // commands are case-sensitive
      {"GET http://[kv]/Local:/d.ldf:/?FT/", "maintenance"},
      {"GET http://[kv]/Local:/d.ldf:/X/", "-1"},
      {"get http://[kv]/Local:/d.ldf:/V/1/", "view"},
      {"POST http://[kv]/Local:/d.ldf:/C/1/", "composeSubmit"},
      {"PUT http://[kv]/Local:/d.ldf:/E/1/", "editSubmit"},
      {"POST http://[kv]/Local:/d.ldf:/V/1/", "-1"},
      {"POST http://[kv]/Local:/", "-1"},
      {"HEAD http://[kv]/Local:/d.ldf:/V/1/", "-1"},
  };
  for (const auto& c : cases) EXPECT_EQ(Route(c.line), c.handler) << c.line;
}

TEST_F(Dispatch, EditSubmissionWithoutDatabaseSegment) {
  // The server ends at its colon; no database segment follows, yet the
  // POST reaches the edit submission.
  auto request = engine::ParseDatabaseRequest("POST http://[kv]/Local:/ HTTP/1.0\r\n\r\n");
  ASSERT_TRUE(request);
  request->command = "E";
  engine::ThreadHandle handle;
  called.clear();
  EXPECT_EQ(RunKvCommand("/dev/null", *request, handle), 1);
  EXPECT_EQ(called, "editSubmit");
}

TEST_F(Dispatch, FolderFallsBackToTheWelcomePage) {
  folder_handled = true;
  EXPECT_EQ(Route("GET http://[kv]/Local:/Mail:/"), "folderCatalogue");
  folder_handled = false;
  EXPECT_EQ(Route("GET http://[kv]/Local:/Mail:/"), "databaseWelcome");
}

TEST_F(Dispatch, EmptyHandlersGiveNoReply) {
  Handlers() = KvHandlers{};
  EXPECT_EQ(Route("GET http://[kv]/"), "-1");
  EXPECT_EQ(Route("GET http://[kv]/Local:/d.ldf:/V/1/"), "-1");
}

// Changes asked for by a foreign page never reach a handler; reads do, and
// so does everything from our own pages or without either header.
TEST_F(Dispatch, ForeignPagesReachOnlyTheHandlersThatRead) {
  static const struct {
    const char* line;
    const char* handler;  // reached from our own pages
    bool changes;
  } cases[] = {
      {"GET http://[kv]/Local:/d.ldf:/V/All/DX/", "view", true},
      {"GET http://[kv]/Local:/d.ldf:/V/All/D/", "view", true},
      {"GET http://[kv]/Local:/d.ldf:/V/All/C/", "view", true},
      {"GET http://[kv]/Local:/d.ldf:/V/All/vP/", "view", true},
      {"GET http://[kv]/Local:/d.ldf:/?/Compact", "maintenance", true},
      {"GET http://[kv]/Local:/d.ldf:/A/12/ap/0/x/", "attachment", true},
      {"POST http://[kv]/Local:/d.ldf:/C/1/", "composeSubmit", true},
      {"POST http://[kv]/Local:/d.ldf:/E/1/", "editSubmit", true},
      {"GET http://[kv]/Local:/d.ldf:/V/All/LR/", "view", false},
      {"GET http://[kv]/Local:/d.ldf:/A/12/ds/0/x.gif/", "attachment", false},
      {"GET http://[kv]/Local:/d.ldf:/D/12/LR/", "readFrameset", false},
      {"GET http://[kv]/", "serverCatalogue", false},
  };
  char reply_path[] = "/tmp/corvane-dispatch-XXXXXX";
  int fd = mkstemp(reply_path);
  ASSERT_GE(fd, 0);
  close(fd);
  auto route = [&](const std::string& raw) {
    called.clear();
    engine::RequestEntry entry;
    entry.rawRequest = raw;
    auto request = engine::ParseDatabaseRequest(raw, &entry);
    engine::ThreadHandle handle;
    (void)RunKvCommand(reply_path, *request, handle);
    std::FILE* file = std::fopen(reply_path, "rb");
    char head[32] = {};
    size_t got = file != nullptr ? std::fread(head, 1, sizeof head - 1, file) : 0;
    if (file != nullptr) std::fclose(file);
    std::remove(reply_path);
    std::string written(head, got);
    return written.rfind("HTTP/1.0 403 Forbidden", 0) == 0 ? std::string("403") : called;
  };
  for (const auto& c : cases) {
    std::string line = std::string(c.line) + " HTTP/1.1\r\n";
    EXPECT_EQ(route(line + "Referer: http://evil.example/\r\n\r\n"), c.changes ? "403" : c.handler)
        << c.line;
    EXPECT_EQ(route(line + "Origin: null\r\n\r\n"), c.changes ? "403" : c.handler) << c.line;
    EXPECT_EQ(route(line + "Referer: http://Corvane.AsLedraClient/Local:/d.ldf:/V/All/LR/\r\n\r\n"),
              c.handler)
        << c.line;
    EXPECT_EQ(route(line + "Origin: http://[kv]\r\n\r\n"), c.handler) << c.line;
    // Without either header: a GET that changes something waits for a
    // click on the page that asks (a foreign page can withhold its
    // referrer); a POST is carried out (browsers always send an Origin
    // with one, so it comes from another program).
    bool post = std::string(c.line).rfind("POST", 0) == 0;
    EXPECT_EQ(route(line + "\r\n"), c.changes && !post ? "403" : c.handler) << c.line;
  }
}

}  // namespace
}  // namespace browser
