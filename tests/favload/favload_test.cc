// favload as a user runs it: a program folder with the page-replica
// database, the registry values the importer reads, answers on standard
// input; the documents it files are read back with the platform and
// compared item by item.
#include <sqlite3.h>
#include <stdlib.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "favload/bookmark_sources.h"
#include "jobs/documents.h"
#include "ledra/vxapi.h"
#include "os/registry.h"

namespace fs = std::filesystem;

namespace {

// UserTitle, Title, Supports, KeyURLC, Categories.
using Filed = std::tuple<std::string, std::string, std::string, std::string, std::string>;

Filed Expect(const std::string& title, const std::string& url, const std::string& category) {
  return {title, title, url, url.substr(url.find("http://") + 7), category};
}

class Favload : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/corvane-favload-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    folder_ = pattern;
    fs::create_directories(folder_ + "/data/Replicas.Web");
    std::ofstream(folder_ + "/ledra.ini") << "Directory=data\n";
    setenv("CORVANE_LEDRA_INI", (folder_ + "/ledra.ini").c_str(), 1);
    setenv("CORVANE_REGISTRY", (folder_ + "/registry").c_str(), 1);
    Run("cd '" + folder_ + "' && '" + std::string(CORVANE_BIN_DIR) + "/ledra' create data/Replicas.Web/kvwebrs.ldf --design '" +
        CORVANE_SOURCE_DIR + "/resources/designs/kvwebrs.json' >/dev/null");
  }
  void TearDown() override { fs::remove_all(folder_); }

  static void Run(const std::string& command) {
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
  }

  void SetRegistry(const char* key_path, const char* name, const std::string& value) {
    os::RegistryKey key;
    ASSERT_EQ(os::RegistryCreateKey(os::RegistryRoot::kCurrentUser, key_path, &key),
              os::RegistryStatus::kOk);
    ASSERT_EQ(os::RegistryWriteText(key, name, value), os::RegistryStatus::kOk);
  }
  void Browser(const std::string& browser, const std::string& file = "") {
    SetRegistry("Software\\Pellam\\Corvane\\Proxy Information", "Preferred Browser", browser);
    if (!file.empty())
      SetRegistry("Software\\Netscape\\Netscape Navigator\\Bookmark List", "File Location", file);
  }

  // favload's console output for these answers.
  std::string RunFavload(const std::string& answers) {
    std::ofstream(folder_ + "/answers") << answers;
    std::string command = "cd '" + folder_ + "' && '" + CORVANE_BIN_DIR +
                          "/favload' < answers > output 2>&1";
    last_exit_ = std::system(command.c_str());
    std::ifstream in(folder_ + "/output");
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }

  // The filed documents in the order they were made.
  std::vector<Filed> Documents() {
    std::vector<Filed> found;
    EXPECT_EQ(_VXInit(0x45004, nullptr, nullptr, nullptr), kVXOk);
    VXHandle db = 0;
    EXPECT_EQ(VXDatabaseOpen("Local", "Replicas.Web/kvwebrs.ldf", 0, &db), kVXOk);
    std::vector<VXNoteId> ids;
    EXPECT_EQ(jobs::SelectDocuments(db, "Select Form=\"Web Element Replica\"", &ids), kVXOk);
    std::sort(ids.begin(), ids.end());
    for (VXNoteId id : ids) {
      VXHandle doc = 0;
      if (VXDocumentOpen(db, id, 0, &doc) != kVXOk) continue;
      found.emplace_back(jobs::TextItem(doc, "UserTitle"), jobs::TextItem(doc, "Title"),
                         jobs::TextItem(doc, "Supports"), jobs::TextItem(doc, "KeyURLC"),
                         jobs::TextItem(doc, "Categories"));
      ledra::Datetime when;
      EXPECT_TRUE(jobs::ReadDatetimeItem(doc, "DateDownloaded", &when));
      VXDocumentClose(doc, kVXCloseDiscard);
    }
    VXDatabaseClose(db, 0);
    VXTerm(0);
    return found;
  }

  void ExpectSound() {
    Run("cd '" + folder_ + "' && '" + CORVANE_BIN_DIR +
        "/ledra' check data/Replicas.Web/kvwebrs.ldf >/dev/null");
  }

  std::string Data(const char* name) { return std::string(CORVANE_SOURCE_DIR) + "/tests/favload/data/" + name; }

  std::string folder_;
  int last_exit_ = 0;
};

TEST_F(Favload, FirefoxEsrExportWithNestedFoldersAndEntities) {
  Browser("/usr/bin/firefox-esr", Data("firefox_esr_export.html"));
  std::string out = RunFavload("N\nY\n");
  EXPECT_EQ(out.rfind("FAVLOAD Version 1.00\nA browser bookmark import utility for Pellam Corvane\n", 0), 0u);
  EXPECT_NE(out.find("Pellam Corvane configured for Netscape Navigator.\n\n"
                     "This program will import your current Netscape Bookmarks to\n"
                     "\"My Favorites\", and categorize them as \"Imported Bookmarks\".\n\n"
                     "Would you like to specify a different category name (Y/N)?: "
                     "\n\nDo you want to begin the Netscape Bookmark import (Y/N)?: "),
            std::string::npos)
      << out;
  EXPECT_NE(out.find("\nSkipping https://support.mozilla.org/products/firefox\n"), std::string::npos);
  EXPECT_NE(out.find("\nSkipping http://[kv]/Local:/kvconfig.ldf:/V/Schedules%20by%20Name\n"),
            std::string::npos);
  EXPECT_NE(out.find("\nImporting http://deep.example/ (Deep) to \"Imported Bookmarks\\Bookmarks "
                     "Toolbar\\Mozilla Firefox\".\n"),
            std::string::npos);
  EXPECT_NE(out.find("\n6 Netscape Bookmarks successfully imported.\n\n"), std::string::npos) << out;
  const std::string base = "Imported Bookmarks", bar = base + "\\Bookmarks Toolbar";
  std::vector<Filed> expected = {
      Expect("Debian -- The Universal Operating System", "http://www.debian.org/", base),
      Expect("Tom & Jerry's \"daily\" \\ news", "http://news.example.org/today?a=1&b=2", base),
      Expect("Caf\xC3\xA9 M\xC3\xBCller <K\xC3\xB6ln>", "http://caf\xC3\xA9.example/men\xC3\xBC", bar),
      Expect("Deep", "http://deep.example/", bar + "\\Mozilla Firefox"),
      Expect("Back on the toolbar", "http://toolbar.example/", bar),
      Expect("Back in the menu", "http://menu.example/", base)};
  EXPECT_EQ(Documents(), expected);
  ExpectSound();
}

TEST_F(Favload, ChromiumExportSkipsOwnLinksAndTakesACategory) {
  Browser("/usr/bin/chromium", Data("chromium_export.html"));
  std::string out = RunFavload("y\nMy \"own\" \\ stuff\ny\n");
  EXPECT_NE(out.find("\nEnter the new category name: \nBookmark import category changed to "
                     "\"My \"own\" \\ stuff\""),
            std::string::npos)
      << out;
  EXPECT_NE(out.find("\nSkipping http://[wc]/S/?http://a.b/\n"), std::string::npos);
  EXPECT_NE(out.find("\nSkipping http://Corvane.AsLedraClient/x\n"), std::string::npos);
  EXPECT_NE(out.find("\n5 Netscape Bookmarks successfully imported.\n\n"), std::string::npos);
  const std::string base = "My \"own\" \\ stuff", bar = base + "\\Bookmarks bar";
  std::vector<Filed> expected = {
      Expect("News", "http://news.example/", bar),
      Expect("Caf\xC3\xA9 <wiki>", "http://wiki.example/Caf%C3%A9", bar + "\\Work\\Wiki & Docs"),
      Expect("Tracker", "http://tracker.example/", bar + "\\Work"),
      Expect("After Work", "http://after.example/", bar),
      Expect("Other", "http://other.example/", base)};
  EXPECT_EQ(Documents(), expected);
}

TEST_F(Favload, AnswersAndMissingSettings) {
  EXPECT_NE(RunFavload("").find("ERROR - Preferred browser has not been specified by Corvane.\n"
                             "You must first run Corvane and select a preferred browser.\n"),
            std::string::npos);
  EXPECT_NE(last_exit_, 0);
  Browser("/usr/bin/firefox-esr", Data("firefox_esr_export.html"));
  std::string out = RunFavload("N\nN\n");
  EXPECT_EQ(last_exit_, 0);
  EXPECT_NE(out.find("(Y/N)?: 0 Netscape Bookmarks imported\n\n"), std::string::npos) << out;
  EXPECT_TRUE(Documents().empty());
  Browser("/usr/bin/firefox-esr", folder_ + "/missing.html");
  EXPECT_NE(RunFavload("N\nY\n").find("Error opening Netscape Bookmark file " + folder_ +
                                   "/missing.html.\n\n0 Netscape Bookmarks imported\n"),
            std::string::npos);
}

TEST_F(Favload, UrlFoldersWithSubfolders) {
  std::string fav = folder_ + "/Favorites";
  fs::create_directories(fav + "/A/B");
  std::ofstream(fav + "/Top.url") << "[InternetShortcut]\r\nURL=http://host/\r\n";
  std::ofstream(fav + "/A/In A.URL") << "[DEFAULT]\nBASEURL=x\n[InternetShortcut]\nURL=http://a.example/p\n";
  std::ofstream(fav + "/A/B/In B.url") << "[InternetShortcut]\nURL=http://b.example/\n";
  std::ofstream(fav + "/A/B/Own.url") << "[InternetShortcut]\nURL=http://[kv]/Local:/x.ldf:/V/v\n";
  std::ofstream(fav + "/A/notes.txt") << "URL=http://not.a.shortcut/\n";
  Browser("C:\\Program Files\\Internet Explorer\\IEXPLORE.EXE");
  SetRegistry("Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders", "Favorites",
              fav);
  std::string out = RunFavload("n\ny\n");
  EXPECT_NE(out.find("Pellam Corvane configured for Internet Explorer.\n\n"), std::string::npos);
  EXPECT_NE(out.find("\n3 IE Favorites successfully imported.\n\n"), std::string::npos) << out;
  const std::string base = "Imported Favorites";
  std::vector<Filed> expected = {Expect("In A", "http://a.example/p", base + "\\A"),
                                 Expect("In B", "http://b.example/", base + "\\A\\B"),
                                 Expect("Top", "http://host/", base)};
  std::vector<Filed> got = Documents();
  std::sort(got.begin(), got.end());
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(got, expected);
  EXPECT_EQ(std::get<3>(expected[2]), "host/");
  // A Favorites folder that is gone.
  SetRegistry("Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders", "Favorites",
              folder_ + "/gone");
  EXPECT_NE(RunFavload("n\ny\n").find("No IE Favorites folder exists.\n\n0 IE Favorites imported.\n"),
            std::string::npos);
}

TEST_F(Favload, BrowserStoresJsonAndPlaces) {
  std::string json = folder_ + "/Bookmarks";
  std::ofstream(json) << R"({"checksum":"0","roots":{"bookmark_bar":{"children":[
    {"name":"Docs \"quoted\"","type":"url","url":"http://docs.example/"},
    {"name":"Sub","type":"folder","children":[{"name":"Deep","type":"url","url":"http://deep.example/"}]}],
    "name":"Bookmarks bar","type":"folder"},
    "other":{"children":[{"name":"O","type":"url","url":"http://o.example/"}],"name":"Other bookmarks","type":"folder"},
    "synced":{"children":[],"name":"Mobile bookmarks","type":"folder"}},"version":1})";
  Browser("chromium", json);
  EXPECT_NE(RunFavload("N\nY\n").find("\n3 Netscape Bookmarks successfully imported."), std::string::npos);
  const std::string base = "Imported Bookmarks";
  std::vector<Filed> expected = {
      Expect("Docs \"quoted\"", "http://docs.example/", base + "\\Bookmarks bar"),
      Expect("Deep", "http://deep.example/", base + "\\Bookmarks bar\\Sub"),
      Expect("O", "http://o.example/", base + "\\Other bookmarks")};
  EXPECT_EQ(Documents(), expected);

  // places.sqlite, held open with a write lock as a running browser holds it.
  std::string places = folder_ + "/places.sqlite";
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(places.c_str(), &db), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(db,
                         "CREATE TABLE moz_places (id INTEGER PRIMARY KEY, url TEXT, title TEXT);"
                         "CREATE TABLE moz_bookmarks (id INTEGER PRIMARY KEY, type INTEGER, fk "
                         "INTEGER, parent INTEGER, position INTEGER, title TEXT, guid TEXT);"
                         "INSERT INTO moz_places VALUES (1,'http://ff.example/','x'),"
                         "(2,'http://tagged.example/','y'),(3,'https://secure.example/','z');"
                         "INSERT INTO moz_bookmarks VALUES (1,2,NULL,0,0,'','root________'),"
                         "(2,2,NULL,1,0,'menu','menu________'),(3,2,NULL,1,1,'toolbar','toolbar_____'),"
                         "(4,2,NULL,1,2,'tags','tags________'),(5,1,1,3,0,'Fire fox','a'),"
                         "(6,2,NULL,4,0,'news','b'),(7,1,2,6,0,NULL,'c'),(8,2,NULL,2,0,'Mine','d'),"
                         "(9,1,2,8,0,'Tagged','e'),(10,1,3,2,1,'Secure','f');"
                         "BEGIN IMMEDIATE; UPDATE moz_places SET title='t' WHERE id=1;",
                         nullptr, nullptr, nullptr),
            SQLITE_OK);
  Browser("firefox", places);
  std::string out = RunFavload("N\nY\n");
  sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
  sqlite3_close(db);
  EXPECT_NE(out.find("\nSkipping https://secure.example/\n"), std::string::npos) << out;
  EXPECT_NE(out.find("\n2 Netscape Bookmarks successfully imported."), std::string::npos) << out;
  std::vector<Filed> all = Documents();
  ASSERT_EQ(all.size(), 5u);
  EXPECT_EQ(all[3], Expect("Tagged", "http://tagged.example/", base + "\\menu\\Mine"));
  EXPECT_EQ(all[4], Expect("Fire fox", "http://ff.example/", base + "\\toolbar"));
}

TEST_F(Favload, BadInputSaysSoAndKeepsTheDatabaseSound) {
  Browser("firefox", Data("chromium_export.html"));
  ASSERT_NE(RunFavload("N\nY\n").find("\n5 Netscape Bookmarks"), std::string::npos);
  static const struct {
    const char* name;
    std::string content;
    const char* says;
  } cases[] = {
      {"plain.txt", "just some notes\nhttp://x.example/\n", "is not a bookmark file"},
      {"binary.html", std::string("<DL>\0\x01\x02", 6), "is not a bookmark file"},
      {"broken.json", "{\"roots\": [1,", "is not a bookmark file"},
      {"damaged.sqlite", std::string("SQLite format 3\0", 16) + std::string(5000, 'x'),
       "cannot be read"},
  };
  for (const auto& c : cases) {
    std::string path = folder_ + "/" + c.name;
    std::ofstream(path, std::ios::binary) << c.content;
    Browser("firefox", path);
    std::string out = RunFavload("N\nY\n");
    EXPECT_NE(out.find("ERROR - Netscape Bookmark file " + path + " " + c.says), std::string::npos)
        << c.name << ": " << out;
    EXPECT_NE(out.find("0 Netscape Bookmarks imported\n"), std::string::npos) << c.name;
  }
  // Truncated in the middle of an entry: the whole entries before it.
  std::ifstream export_file(Data("firefox_esr_export.html"));
  std::stringstream text;
  text << export_file.rdbuf();
  std::string cut = text.str().substr(0, text.str().find("Deep</A>") + 2);
  std::ofstream(folder_ + "/cut.html") << cut;
  Browser("firefox", folder_ + "/cut.html");
  EXPECT_NE(RunFavload("N\nY\n").find("\n3 Netscape Bookmarks successfully imported."), std::string::npos);
  EXPECT_EQ(Documents().size(), 8u);
  ExpectSound();
}

TEST_F(Favload, LongLinesAndALargeFile) {
  // Icons inline make lines far longer than 1,000 characters; 50 MB in all.
  std::string path = folder_ + "/big.html";
  {
    std::ofstream big(path);
    big << "<!DOCTYPE NETSCAPE-Bookmark-file-1>\n<DL><p>\n";
    std::string icon(1 << 20, 'A');
    for (int i = 0; i < 50; ++i)
      big << "<DT><A HREF=\"http://big" << i << ".example/\" ICON=\"data:image/png;base64," << icon
          << "\">Big " << i << "</A>\n";
    big << "</DL><p>\n";
  }
  ASSERT_GT(fs::file_size(path), 50u * 1000 * 1000);
  Browser("firefox", path);
  EXPECT_NE(RunFavload("N\nY\n").find("\n50 Netscape Bookmarks successfully imported."), std::string::npos);
  std::vector<Filed> all = Documents();
  ASSERT_EQ(all.size(), 50u);
  EXPECT_EQ(all[49], Expect("Big 49", "http://big49.example/", "Imported Bookmarks"));
}

TEST(BookmarkEntities, DecodedAsBrowsersWriteThem) {
  static const struct {
    const char* in;
    const char* out;
  } cases[] = {{"a &amp; b", "a & b"},         {"&lt;&gt;&quot;&#39;&apos;", "<>\"''"},
               {"&#233;&#xE9;&#XE9;", "\xC3\xA9\xC3\xA9\xC3\xA9"}, {"&#128512;", "\xF0\x9F\x98\x80"},
               {"AT&T &unknown; &", "AT&T &unknown; &"}, {"&#0;&#xD800;", "\xEF\xBF\xBD\xEF\xBF\xBD"}};
  for (const auto& c : cases) EXPECT_EQ(favload::DecodeEntities(c.in), c.out) << c.in;
}

}  // namespace
