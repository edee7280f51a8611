// The pages of corvex as a browser gets them (the output layer on): every
// link, frame and image a valid URL on a synonym host, proper headers, and
// a page or "204 No Content" where a handler gave nothing.
#include <gtest/gtest.h>

#include <regex>
#include <set>

#include "engine/replica_request.h"
#include "engine/url_mapping.h"
#include "tests/browser/browser_engine.h"
#include "tests/engine/url_judge.h"

namespace {

constexpr char kViews[] = "http://corvane.asledraclient/Local:/discuss.ldf:/V/";

class OutputPages : public BrowserEngine {
 protected:
  void SetUp() override {
    BrowserEngine::SetUp();
    fs::copy(std::string(CORVANE_SOURCE_DIR) + "/resources/images", folder_ + "/images");
    MakeDatabase("discuss.ldf", "discuss.json");
    MakeDatabaseFrom("kvhelp.ldf",
                     std::string(CORVANE_SOURCE_DIR) + "/resources/designs/kvhelp.json");
    fs::create_directories(folder_ + "/data/My Dir");
    MakeDatabase("My Dir/disc.ldf", "discuss.json");
    Start();
  }

  std::string Fetch(const std::string& url) {
    return Send("GET " + url + " HTTP/1.1\r\nHost: x\r\nUser-Agent: test\r\n\r\n");
  }

  static std::string Status(const std::string& reply) {
    return reply.substr(0, reply.find("\r\n"));
  }

  // The URLs of the page's links, frames, images and forms; each one that
  // is absolute must be valid and must not be a classic form.
  static std::set<std::string> CheckUrls(const std::string& reply) {
    std::set<std::string> urls;
    std::regex attribute("(?:HREF|SRC|ACTION)\\s*=\\s*[\"']([^\"']*)[\"']", std::regex::icase);
    for (auto it = std::sregex_iterator(reply.begin(), reply.end(), attribute);
         it != std::sregex_iterator(); ++it) {
      std::string url = (*it)[1];
      urls.insert(url);
      if (url.rfind("http", 0) != 0 && url.rfind("file", 0) != 0) continue;
      EXPECT_EQ(url_judge::UrlProblem(url), "") << url;
    }
    EXPECT_EQ(reply.find("http://[kv]"), std::string::npos);
    EXPECT_EQ(reply.find("http://[wc]"), std::string::npos);
    EXPECT_EQ(reply.find("file://"), std::string::npos);
    return urls;
  }
};

TEST_F(OutputPages, ViewPagesAreValidForTheBrowser) {
  for (const char* kind : {"By%20Category/LR/", "By%20Category/R/", "By%20Category/H/",
                           "By%20Category/M/", "All%20Documents/N/"}) {
    std::string reply = Fetch(std::string(kViews) + kind);
    EXPECT_TRUE(Status(reply) == "HTTP/1.0 200 OK" || Status(reply) == "HTTP/1.1 200 OK") << reply;
    EXPECT_NE(reply.find("\r\nContent-Type: text/html; charset=utf-8\r\n"), std::string::npos);
    std::set<std::string> urls = CheckUrls(reply);
    EXPECT_FALSE(urls.empty()) << kind;
  }
  std::string page = Fetch(std::string(kViews) + "By%20Category/R/");
  EXPECT_NE(page.find("SRC=\"http://corvane.programfolder/images/smopentw.gif\""),
            std::string::npos);
  EXPECT_NE(page.find("<BASE HREF=\"http://corvane.programfolder/\">"), std::string::npos);
}

TEST_F(OutputPages, TheHelpNavigatorIsValidForTheBrowser) {
  std::string reply = Fetch("http://corvane.asledraclient/Local:/kvhelp.ldf:/n/Contents");
  CheckUrls(reply);
  EXPECT_EQ(Status(reply).substr(9, 3), "302") << reply;
  std::string frameset = Fetch("http://corvane.asledraclient/Local:/kvhelp.ldf:/V/Contents/LR/");
  std::set<std::string> urls = CheckUrls(frameset);
  ASSERT_FALSE(urls.empty());
  for (const std::string& url : urls) CheckUrls(Fetch(url));
}

TEST_F(OutputPages, RedirectsOfPathsWithBlanksAndBackslashesAreValid) {
  // The previous page of a view in a folder with a blank: its Location
  // carries "my dir\disc.ldf" in the classic form.
  std::string reply = Fetch("http://corvane.asledraclient/Local:/My%20Dir/disc.ldf:/V/4/P/");
  EXPECT_NE(reply.find("\r\nLocation: http://corvane.asledraclient/Local:/my%20dir%5Cdisc.ldf:/V/"
                       "4/p/1/#bottom\r\n"),
            std::string::npos)
      << reply;
  std::string location = reply.substr(reply.find("Location: ") + 10);
  location = location.substr(0, location.find("\r\n"));
  EXPECT_EQ(url_judge::UrlProblem(location), "");
  EXPECT_EQ(Status(Fetch(location.substr(0, location.find('#')))), "HTTP/1.1 200 OK");
}

TEST_F(OutputPages, NothingToDoIs204AndWhatIsMissingIsAPage) {
  EXPECT_EQ(Fetch(std::string(kViews) + "By%20Category/zz/"),
            "HTTP/1.0 204 No Content\r\nConnection: close\r\n\r\n");
  std::string no_view = Fetch(std::string(kViews) + "No%20Such%20View/LR/");
  EXPECT_EQ(Status(no_view), "HTTP/1.0 404 Not Found");
  EXPECT_NE(no_view.find("No Such View"), std::string::npos);
  EXPECT_NE(no_view.find("http://corvane.asledraclient/Local:/discuss.ldf:/V/"), std::string::npos)
      << "the views that exist";
  CheckUrls(no_view);
  std::string no_database = Fetch("http://corvane.asledraclient/Local:/none.ldf:/n/Contents");
  EXPECT_EQ(Status(no_database), "HTTP/1.0 404 Not Found");
  // A document (the view's current line) comes as its two frames.
  std::string document = Fetch("http://corvane.asledraclient/Local:/discuss.ldf:/D/0/LR/1/4/");
  EXPECT_EQ(Status(document), "HTTP/1.0 200 OK");
  EXPECT_NE(document.find("src=\"http://corvane.asledraclient/Local:/discuss.ldf:/DP/"),
            std::string::npos)
      << document;
  CheckUrls(document);
  std::string unknown = Fetch("http://corvane.asledraclient/Local:/discuss.ldf:/Q/");
  EXPECT_EQ(Status(unknown), "HTTP/1.0 404 Not Found");
  CheckUrls(unknown);
}

TEST_F(OutputPages, TheWayInLeadsSomewhere) {
  // The start page is the catalogue, kept in the configuration database;
  // this folder has none, and the page says so (the browser suite opens
  // the catalogue of an installed program folder).
  std::string start = Fetch("http://corvane.asledraclient/");
  EXPECT_EQ(Status(start), "HTTP/1.0 200 OK");
  EXPECT_NE(start.find("kvconfig.ldf not found"), std::string::npos) << start;
  CheckUrls(start);
  EXPECT_EQ(Status(Fetch("http://corvane.programfolder/")), "HTTP/1.0 302 Found");
  EXPECT_EQ(Status(Fetch("http://corvane.command/")), "HTTP/1.0 501 Not Implemented");
  std::string image = Fetch("http://corvane.programfolder/images/nocheck.gif");
  EXPECT_EQ(Status(image), "HTTP/1.0 200 OK");
  EXPECT_NE(image.find("\r\n\r\nGIF8"), std::string::npos);
  std::string web = Fetch("http://www.example.com/");
  EXPECT_EQ(Status(web), "HTTP/1.0 501 Not Implemented") << "the web proxy is not built";
}

// What a stand-in of the stored-page operation saw, and what it answers.
struct StoredSeen {
  std::string server, database, key;
  int submit = -1;
} stored_seen;

int32_t ServeStoredStandIn(engine::ThreadHandle&, const engine::OperationArgs& args) {
  const char* path = reinterpret_cast<const char*>(args[0]);
  auto* request = reinterpret_cast<engine::ReplicaRequest*>(args[1]);
  stored_seen = {request->server, request->database, request->key, request->submit};
  std::string page =
      "<html><a href=\"http://[wr;$WCTX_CorvjobsicaContext]www.example.com/b page.html\">b</a>"
      "<img src=\"/logo.gif\"><a href=\"http://[wc]/F/?http://[wr;$WCTX_CorvjobsicaContext]"
      "www.example.com/\">Favorite</a></html>\n";
  std::string reply = "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nContent-length: " +
                      std::to_string(page.size() + 9000) + "\r\n\r\n" + page;
  if (std::FILE* file = std::fopen(path, "wb")) {
    std::fwrite(reply.data(), 1, reply.size(), file);
    std::fclose(file);
  }
  return 1;
}

TEST_F(OutputPages, StoredPagesTravelExactlyBothWays) {
  platform::SetDatabaseOperation(platform::kServeStoredPage, ServeStoredStandIn);
  // The key of a stored copy is the page's URL as it was written: its
  // escapes and letter case must reach the page store unchanged.
  std::string classic =
      "http://[wr;Local;Replicas.Web;kvwebrs.ldf]www.Example.com:8080/a%20b/c.html?x='1'&y=%";
  std::optional<std::string> browser = engine::ToBrowserUrl(classic, folder_);
  ASSERT_TRUE(browser);
  std::string reply = Fetch(*browser);
  EXPECT_EQ(stored_seen.server, "Local");
  EXPECT_EQ(stored_seen.database, "Replicas.Web\\kvwebrs.ldf");
  EXPECT_EQ(stored_seen.key, "www.Example.com:8080/a%20b/c.html?x='1'&y=%");
  EXPECT_EQ(stored_seen.submit, 0);
  EXPECT_EQ(Status(reply), "HTTP/1.1 200 OK");
  std::string body = reply.substr(reply.find("\r\n\r\n") + 4);
  EXPECT_NE(reply.find("Content-Length: " + std::to_string(body.size()) + "\r\n"),
            std::string::npos)
      << "the stored length, 9000 too large, is made right";
  EXPECT_NE(body.find("href=\"http://www.example.com.-w.corvane.storedpage/b%20page.html\""),
            std::string::npos)
      << body;
  EXPECT_NE(body.find("<img src=\"/logo.gif\">"), std::string::npos);
  CheckUrls(reply);
}

}  // namespace
