// The server and database catalogue through corvex: requests over a
// socket, whole replies compared byte for byte (program folder "$DIR").
#include "browser/catalogue.h"

#include <gtest/gtest.h>

#include "engine/hooks.h"
#include "tests/browser/desktop_engine.h"

namespace {

constexpr char kCatalogueRedirect[] =
    "HTTP/1.0 302 Temporarily Moved\nLocation: http://[kv]/Local:/kvconfig.ldf:/V/";
constexpr char kCataloguePage[] = "http://[kv]/Local:/kvconfig.ldf:/V/Servers and Databases/";

class Catalogue : public DesktopEngine {
 protected:
  void SetUp() override {
    DesktopEngine::SetUp();
    std::string shipped = std::string(CORVANE_SOURCE_DIR) + "/resources/designs/";
    fs::create_directories(folder_ + "/data/Samples/Old");
    MakeDatabaseFrom("Samples/discuss.ldf", shipped + "discuss.json");
    MakeDatabaseFrom("Samples/Old/paging.ldf", DataDesign("navigators.json"));
    MakeDatabaseFrom("team.ldf", DataDesign("discuss.json"));
    std::ofstream(folder_ + "/data/notes.txt") << "not a database\n";
    MakeRemoteDatabase("projects.ldf", DataDesign("discuss.json"));
    Start();
  }

  // The redirect to the catalogue view with its id written "ID".
  // A page with the note ids of its rows written "#" (a listing made
  // again has new documents).
  static std::string WithoutIds(const std::string& page) {
    static const std::regex ids(R"(S[xo]\d+/1/\d+/)");
    return std::regex_replace(page, ids, "S#/");
  }

  std::string Redirect(const std::string& reply) {
    std::string out = reply;
    size_t at = out.find("/V/");
    size_t end = at == std::string::npos ? at : out.find('/', at + 3);
    if (end != std::string::npos) out.replace(at + 3, end - at - 3, "ID");
    return out;
  }
};

TEST_F(Catalogue, NetworkDownGivesOnlyLocal) {
  EXPECT_EQ(Redirect(Get("http://[kv]/")), std::string(kCatalogueRedirect) + "ID/LR/\n\n");
  std::string servers = Get(std::string(kCataloguePage) + "R/");
  Check("servers", servers);
  // The catalogue starts afresh on each request: still one "Local" (a new
  // document).
  (void)Get("http://[kv]/");
  EXPECT_EQ(WithoutIds(Get(std::string(kCataloguePage) + "R/")), WithoutIds(servers));
}

TEST_F(Catalogue, NetworkUpListsEveryServerOfTheSettings) {
  engine::Hooks().networkTest = [](engine::ThreadHandle& handle, int timeout) {
    EXPECT_EQ(timeout, 20);
    handle.shared->networkUp = 1;
    return 1;
  };
  EXPECT_EQ(Redirect(Get("http://[kv]/")), std::string(kCatalogueRedirect) + "ID/LR/\n\n");
  Check("servers", Get(std::string(kCataloguePage) + "R/"));
  // The other server's databases open through the catalogue's links.
  EXPECT_EQ(Redirect(Get("http://[kv]/Acme/East:/")),
            std::string(kCatalogueRedirect) + "ID/LR/\n\n");
  Check("remote_listing", Get(std::string(kCataloguePage) + "R/"));
}

TEST_F(Catalogue, AFolderOpenedTwiceIsListedOnce) {
  (void)Get("http://[kv]/");
  EXPECT_EQ(Redirect(Get("http://[kv]/Local:/")), std::string(kCatalogueRedirect) + "ID/LR/\n\n");
  EXPECT_EQ(Redirect(Get("http://[kv]/Local:/Samples/:/")),
            std::string(kCatalogueRedirect) + "ID/r/\n\n");
  // URLs reach us lower-cased; the folder is found all the same.
  EXPECT_EQ(Redirect(Get("http://[kv]/Local:/samples/:/")),
            std::string(kCatalogueRedirect) + "ID/r/\n\n");
  EXPECT_EQ(Redirect(Get("http://[kv]/Local:/Samples/Old/:/")),
            std::string(kCatalogueRedirect) + "ID/r/\n\n");
  Check("listing", Get(std::string(kCataloguePage) + "B/"));
  // Listing the root again removes the folders' listings below it.
  (void)Get("http://[kv]/Local:/");
  Check("root_again", Get(std::string(kCataloguePage) + "B/"));
}

TEST_F(Catalogue, PathsThatLeaveTheDataDirectoryListTheRoot) {
  (void)Get("http://[kv]/");
  (void)Get("http://[kv]/Local:/");
  std::string root = WithoutIds(Get(std::string(kCataloguePage) + "B/"));
  const char* escapes[] = {
      "http://[kv]/Local:/../:/",     "http://[kv]/Local:/Samples/../../:/",
      "http://[kv]/Local:/%2e%2e/:/", "http://[kv]/Local:/%2E%2E%2Fdata:/",
      "http://[kv]/Local:/..%5c:/",   "http://[kv]/Local:/Samples\\..\\..:/",
      "http://[kv]/Local://etc:/",    "http://[kv]/Local:/%2fetc:/",
  };
  for (const char* url : escapes) {
    EXPECT_EQ(Redirect(Get(url)), std::string(kCatalogueRedirect) + "ID/LR/\n\n") << url;
    EXPECT_EQ(WithoutIds(Get(std::string(kCataloguePage) + "B/")), root) << url;
  }
}

TEST_F(Catalogue, FolderOfARequest) {
  struct {
    std::optional<std::string> database;
    const char* folder;
  } cases[] = {
      {std::nullopt, ""},
      {"", ""},
      {"samples", "samples/"},
      {"samples\\", "samples/"},
      {"samples\\old", "samples/old/"},
      {"./samples//old/.", "samples/old/"},
      {"..", ""},
      {"samples\\..\\..", ""},
      {"a/../b", ""},
      {"\\etc", ""},
      {"/etc", ""},
      {"...", ".../"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(browser::CatalogueFolder(c.database), c.folder) << c.database.value_or("(none)");
}

TEST_F(Catalogue, MissingFoldersAndServers) {
  // A folder that does not exist: the error page, then the welcome page is
  // tried, which fails too.
  std::string reply = Get("http://[kv]/Local:/nowhere:/");
  EXPECT_EQ(reply.rfind("<html><DT><H2>Ledra Error:</H2><DT><DT>", 0), 0u) << reply;
  // A file that is not a database is not listed, and does not open.
  (void)Get("http://[kv]/Local:/");
  EXPECT_EQ(Get(std::string(kCataloguePage) + "B/").find("notes.txt"), std::string::npos);
  reply = Get("http://[kv]/Local:/notes.txt:/");
  EXPECT_EQ(reply.rfind("<html><DT><H2>Ledra Error:</H2><DT><DT>", 0), 0u) << reply;
  // A server the settings do not name.
  reply = Get("http://[kv]/Nowhere:/");
  EXPECT_EQ(reply.rfind("<html><DT><H2>Ledra Error:</H2><DT><DT>", 0), 0u) << reply;
}

TEST_F(Catalogue, OffLineAsksBeforeARemoteServer) {
  shared_->offline = 1;
  Answer({"You are in OFFLINE mode=>No", "You are in OFFLINE mode=>Yes"});
  EXPECT_EQ(Get("http://[kv]/Acme/East:/"), "");
  EXPECT_EQ(shared_->offline, 1);
  EXPECT_EQ(Redirect(Get("http://[kv]/acme/east:/")),
            std::string(kCatalogueRedirect) + "ID/LR/\n\n");
  EXPECT_EQ(shared_->offline, 0);
  std::vector<std::string> expected(2,
                                    "[Corvane Network Error] (question) You are in OFFLINE mode "
                                    "which can only work locally. Switch to ONLINE mode?");
  EXPECT_EQ(Shown(), expected);
  // "Local" never asks.
  shared_->offline = 1;
  (void)Get("http://[kv]/Local:/");
  EXPECT_TRUE(Shown().empty());
}

}  // namespace
