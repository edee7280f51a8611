// The welcome page of a database and the maintenance commands ("?")
// through corvex, with the desktop's questions answered from a script.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <regex>

#include "browser/maintenance.h"
#include "ledra/vxapi.h"
#include "tests/browser/desktop_engine.h"

namespace {

constexpr char kSamples[] = "http://[kv]/Local:/Samples/discuss.ldf:/";
constexpr char kBackToWelcome[] =
    "HTTP/1.0 302 Temporarily Moved\nLocation: http://[kv]/Local:/samples/discuss.ldf:/\n\n\n\n";
constexpr char kErrorPageStart[] = "<html><DT><H2>Ledra Error:</H2><DT><DT>";

class DatabasePages : public DesktopEngine {
 protected:
  void SetUp() override {
    DesktopEngine::SetUp();
    std::string shipped = std::string(CORVANE_SOURCE_DIR) + "/resources/designs/discuss.json";
    fs::create_directories(folder_ + "/data/Samples");
    MakeDatabaseFrom("Samples/discuss.ldf", shipped);
    MakeDatabaseFrom("nav.ldf", DataDesign("navigators.json"));
    MakeRemoteDatabase("discuss.ldf", shipped);
    Start();
  }

  // The statistics, which depend on the file and the clock, written "#"
  // once their form is checked.
  static std::string Masked(const std::string& page) {
    static const std::regex size(R"(Database size: <font color=green>\d+ Kbytes</font>)");
    static const std::regex used(R"(Percent used: <font color=green> *\d+\.\d\d%</font>)");
    static const std::regex value(R"(<font color=green>[^<]*</font>)");
    EXPECT_TRUE(std::regex_search(page, size)) << page;
    EXPECT_TRUE(std::regex_search(page, used)) << page;
    return std::regex_replace(page, value, "<font color=green>#</font>");
  }

  bool Exists(const std::string& path) { return fs::exists(folder_ + "/data/" + path); }

  int32_t FullTextPresent(const std::string& path) {
    int32_t present = -1;
    OnPlatform([&](engine::ThreadHandle& thread) {
      platform::OpenDatabase* db = platform::OpenDatabaseRecord(thread, "Local", path);
      if (db != nullptr) (void)VXDatabaseGetProperty(db->handle, kDbPropFtPresent, &present, 4);
    });
    return present;
  }
};

TEST_F(DatabasePages, WelcomePageOfALocalDatabase) {
  std::string page = Get(kSamples);
  Check("local", Masked(page));
  EXPECT_NE(page.find("Full-text index updated: <font color=green>n/a</font>"), std::string::npos);
  // With an index the date of its last update is shown.
  Answer({"Yes"});
  EXPECT_EQ(Get(std::string(kSamples) + "?/FullText"), kBackToWelcome);
  page = Get(kSamples);
  EXPECT_EQ(page.find("Full-text index updated: <font color=green>n/a</font>"), std::string::npos);
}

TEST_F(DatabasePages, WelcomePageOfARemoteDatabase) {
  Check("remote", Masked(Get("http://[kv]/Acme/East:/discuss.ldf:/")));
}

TEST_F(DatabasePages, ADefaultNavigatorReplacesTheWelcomePage) {
  std::string navigator = Get("http://[kv]/Local:/nav.ldf:/n/");
  ASSERT_EQ(navigator.rfind("HTTP/1.0 302 Temporarily Moved\nLocation: ", 0), 0u) << navigator;
  EXPECT_EQ(Get("http://[kv]/Local:/nav.ldf:/"), navigator);
  // With navigators switched off the welcome page shows again.
  std::string off = Get("http://[kv]/Local:/nav.ldf:/n/CORVANE_NAVIGATORS_ENABLEMENT_TOGGLE/");
  EXPECT_NE(off.find("<TITLE>Database Navigated on Ledra Server: Local</TITLE>"), std::string::npos)
      << off;
}

TEST_F(DatabasePages, EachMaintenanceLetterWithYesAndNo) {
  const std::string index_question =
      "[Pellam Corvane: Full Text Index] (question) " + std::string(browser::kFullTextQuestion);
  const std::string delete_index_question =
      "[Pellam Corvane: Full Text Index] (question) Delete any existing full text index?";
  const std::string compact_question =
      "[Pellam Corvane: Compact] (question) " + std::string(browser::kCompactQuestion);
  const std::string delete_question =
      "[Pellam Corvane] (question) PERMANENTLY DELETE local database: \n\"Sample Discussion\"?";
  struct {
    const char* action;
    std::vector<std::string> answers;
    std::vector<std::string> shown;
    int32_t indexed_after;
  } cases[] = {
      {"FullText",
       {"Yes"},
       {index_question,
        "[Pellam Corvane: Full Text Index] (information) Finished generating full text index."},
       1},
      {"FullText",
       {"No", "No"},
       {index_question, delete_index_question, "[Pellam Corvane] (information) No action taken."},
       1},
      {"FullText",
       {"No", "Yes"},
       {index_question, delete_index_question,
        "[Pellam Corvane: Full Text Index] (information) Deletion of full text index completed "
        "successfully."},
       0},
      {"Compact", {"No"}, {compact_question}, 0},
      {"Compact",
       {"Yes"},
       {compact_question, "[Pellam Corvane] (information) Database successfully compacted."},
       0},
      {"Delete", {"No"}, {delete_question}, 0},
      {"Xyz", {}, {}, 0},
  };
  for (const auto& c : cases) {
    Answer(c.answers);
    (void)Shown();
    EXPECT_EQ(Get(std::string(kSamples) + "?/" + c.action), kBackToWelcome) << c.action;
    EXPECT_EQ(Shown(), c.shown) << c.action;
    EXPECT_EQ(FullTextPresent("Samples/discuss.ldf"), c.indexed_after) << c.action;
    EXPECT_TRUE(Exists("Samples/discuss.ldf")) << c.action;
  }
  // The database still works after its compaction.
  EXPECT_NE(Get(kSamples).find("Sample Discussion"), std::string::npos);

  // Yes to the deletion: the file goes, the catalogue starts again with
  // "Local", and the browser goes to the workspace.
  Answer({"Yes"});
  (void)Shown();
  EXPECT_EQ(Get(std::string(kSamples) + "?/Delete"),
            "HTTP/1.0 302 Temporarily Moved\nLocation: http://[wc]/\n\n\n\n");
  std::vector<std::string> shown = {
      delete_question, "[Pellam Corvane] (information) Database successfully deleted."};
  EXPECT_EQ(Shown(), shown);
  EXPECT_FALSE(Exists("Samples/discuss.ldf"));
  std::string catalogue = Get("http://[kv]/Local:/kvconfig.ldf:/V/Servers and Databases/B/");
  EXPECT_NE(catalogue.find("/Local:/\"> Local </A>"), std::string::npos) << catalogue;
  EXPECT_NE(catalogue.find("1 to 1 of 1"), std::string::npos) << catalogue;
  // The deleted database is gone for the pages too.
  EXPECT_EQ(Get(kSamples).rfind(kErrorPageStart, 0), 0u);
}

TEST_F(DatabasePages, BadMaintenanceRequests) {
  EXPECT_EQ(Get("http://[kv]/Local:/missing.ldf:/?/Compact").rfind(kErrorPageStart, 0), 0u);
  EXPECT_EQ(Get(std::string(kSamples) + "?").rfind(kErrorPageStart, 0), 0u);
  EXPECT_EQ(Get(std::string(kSamples) + "?//").rfind(kErrorPageStart, 0), 0u);
  EXPECT_TRUE(Shown().empty());
  // The configuration database is never deleted.
  Answer({"Yes"});
  EXPECT_EQ(Get("http://[kv]/Local:/kvconfig.ldf:/?/Delete"),
            "HTTP/1.0 302 Temporarily Moved\nLocation: http://[kv]/Local:/kvconfig.ldf:/\n\n\n\n");
  EXPECT_TRUE(Exists("kvconfig.ldf"));
  std::vector<std::string> shown = Shown();
  ASSERT_EQ(shown.size(), 2u);
  EXPECT_EQ(shown[1].rfind("[Database Deletion Error] (error) ", 0), 0u) << shown[1];
}

TEST_F(DatabasePages, ADatabaseOpenInAnotherProgramIsNotDeleted) {
  std::string file = folder_ + "/data/Samples/discuss.ldf";
  int ready[2];
  ASSERT_EQ(pipe(ready), 0);
  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    dup2(ready[1], 1);
    std::string script =
        "import sqlite3,sys,time\nc=sqlite3.connect(sys.argv[1])\n"
        "c.execute('select count(*) from sqlite_master').fetchall()\n"
        "print('ready',flush=True)\ntime.sleep(60)\n";
    execlp("python3", "python3", "-c", script.c_str(), file.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  close(ready[1]);
  char word[6] = {};
  ASSERT_EQ(read(ready[0], word, 5), 5);
  close(ready[0]);
  EXPECT_TRUE(browser::OpenElsewhere(file));

  Answer({"Yes"});
  EXPECT_EQ(Get(std::string(kSamples) + "?/Delete"), kBackToWelcome);
  EXPECT_TRUE(Exists("Samples/discuss.ldf"));
  std::vector<std::string> shown = Shown();
  ASSERT_EQ(shown.size(), 2u);
  EXPECT_EQ(shown[1],
            "[Database Deletion Error] (error) Sample Discussion is open in another program. Close "
            "it there, then delete it again.");
  kill(child, SIGKILL);
  waitpid(child, nullptr, 0);
  // Once the other program has let go, the deletion goes ahead.
  EXPECT_FALSE(browser::OpenElsewhere(file));
  Answer({"Yes"});
  EXPECT_EQ(Get(std::string(kSamples) + "?/Delete"),
            "HTTP/1.0 302 Temporarily Moved\nLocation: http://[wc]/\n\n\n\n");
  EXPECT_FALSE(Exists("Samples/discuss.ldf"));
}

}  // namespace
