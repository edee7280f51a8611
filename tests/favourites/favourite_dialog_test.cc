// The favourite and settings dialogs as descriptions: their rules as a user
// (the answer script) works them, the values read back, and the checks of
// the settings entries; the bounding list, the replica context and the page
// title made fit for a name.
#include <stdlib.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <string>

#include "favourites/favourite.h"
#include "favourites/favourite_dialog.h"
#include "favourites/page_title.h"
#include "favourites/settings_dialogs.h"
#include "engine/shared_context.h"
#include "engine/thread_handle.h"
#include "jobs/documents.h"
#include "ledra/vxapi.h"
#include "os/desktop.h"
#include "platform/configuration.h"
#include "platform/open_database.h"

namespace {

using favourites::FavouriteResult;
using favourites::FavouriteValues;
using favourites::FrequencyUnit;

class Answered : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/corvane-dialogs-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    folder_ = pattern;
  }
  void TearDown() override {
    unsetenv("CORVANE_ANSWERS");
    os::ResetAnswerScript();
    std::filesystem::remove_all(folder_);
  }
  void Answers(const std::string& lines) {
    std::ofstream(folder_ + "/answers") << lines;
    setenv("CORVANE_ANSWERS", (folder_ + "/answers").c_str(), 1);
    os::ResetAnswerScript();
  }
  std::string folder_;
};

TEST(FavouriteDialog, OpensWithControlsEnabledByTheirBoxes) {
  FavouriteValues fresh;
  fresh.title = "Local news";
  os::Dialog d = favourites::MakeFavouriteDialog(false, fresh);
  d.Open();
  EXPECT_EQ(d.ResourceId(), favourites::kAddFavouriteDialog);
  EXPECT_EQ(d.Caption(), "Pellam Corvane: Add Favorite");
  EXPECT_EQ(d.Text(favourites::kIdName), "Local news");
  EXPECT_FALSE(d.Find(favourites::kIdLevels)->enabled);
  for (int id : {favourites::kIdFrequency, favourites::kIdMinutes, favourites::kIdHours,
                 favourites::kIdDays})
    EXPECT_FALSE(d.Find(id)->enabled) << id;
  EXPECT_TRUE(d.Checked(favourites::kIdDays));

  FavouriteValues kept;
  kept.keep = kept.include = true;
  kept.levels = "2";
  kept.frequency = "6";
  kept.unit = FrequencyUnit::kHours;
  os::Dialog e = favourites::MakeFavouriteDialog(true, kept);
  e.Open();
  EXPECT_EQ(e.ResourceId(), favourites::kEditScheduleDialog);
  EXPECT_EQ(e.Caption(), "Pellam Corvane: Edit Replication Schedule");
  EXPECT_TRUE(e.Find(favourites::kIdLevels)->enabled);
  EXPECT_TRUE(e.Find(favourites::kIdFrequency)->enabled);
  EXPECT_TRUE(e.Checked(favourites::kIdHours));
  EXPECT_EQ(e.Text(favourites::kIdFrequency), "6");
}

TEST(FavouriteDialog, TickingProposesOneAndUntickingPutsZeroBack) {
  FavouriteValues values;
  values.unit = FrequencyUnit::kMinutes;
  os::Dialog d = favourites::MakeFavouriteDialog(false, values);
  d.Open();
  ASSERT_TRUE(d.UserCheck(favourites::kIdInclude, true));
  EXPECT_EQ(d.Text(favourites::kIdLevels), "1");
  EXPECT_TRUE(d.Find(favourites::kIdLevels)->enabled);
  ASSERT_TRUE(d.UserCheck(favourites::kIdKeep, true));
  EXPECT_EQ(d.Text(favourites::kIdFrequency), "1");
  EXPECT_TRUE(d.Checked(favourites::kIdDays));
  EXPECT_TRUE(d.Find(favourites::kIdHours)->enabled);
  ASSERT_TRUE(d.UserSelectRadio(favourites::kIdHours));
  ASSERT_TRUE(d.UserCheck(favourites::kIdKeep, false));
  EXPECT_EQ(d.Text(favourites::kIdFrequency), "0");
  EXPECT_FALSE(d.Find(favourites::kIdHours)->enabled);
  ASSERT_TRUE(d.UserCheck(favourites::kIdInclude, false));
  EXPECT_EQ(d.Text(favourites::kIdLevels), "0");
  EXPECT_FALSE(d.UserType(favourites::kIdLevels, "3")) << "a disabled edit took text";
}

TEST_F(Answered, ResultsAndValuesReadBack) {
  Answers(
      "Pellam Corvane: Add Favorite=>dialog: Name=Morning paper; 1019=on; 1016=3; 1017=on; "
      "hours; 1015=12; 1013=off; OK\n"
      "Pellam Corvane: Add Favorite=>dialog: 1019=on; 1016=0; Advanced...\n"
      "Pellam Corvane: Add Favorite=>dialog: Name=x; Cancel\n");
  FavouriteValues v;
  v.title = "(untitled)";
  ASSERT_EQ(favourites::RunFavouriteDialog(nullptr, false, &v), FavouriteResult::kOk);
  EXPECT_EQ(v.title, "Morning paper");
  EXPECT_TRUE(v.include);
  EXPECT_EQ(v.levels, "3");
  EXPECT_TRUE(v.keep);
  EXPECT_EQ(v.frequency, "12");
  EXPECT_EQ(v.unit, FrequencyUnit::kHours);
  EXPECT_FALSE(v.replicate);

  FavouriteValues w;
  ASSERT_EQ(favourites::RunFavouriteDialog(nullptr, false, &w), FavouriteResult::kAdvanced);
  EXPECT_FALSE(w.include) << "ticked with 0 levels is the page alone";
  EXPECT_EQ(w.unit, FrequencyUnit::kDays);

  FavouriteValues x;
  x.title = "kept";
  EXPECT_EQ(favourites::RunFavouriteDialog(nullptr, false, &x), FavouriteResult::kCancel);
  EXPECT_EQ(x.title, "kept");
  // No answer left: Cancel.
  EXPECT_EQ(favourites::RunFavouriteDialog(nullptr, false, &x), FavouriteResult::kCancel);
}

TEST_F(Answered, EditFavouriteChoicesAndTheLimits) {
  Answers(
      "Pellam Corvane: Edit Favorite=>dialog: OK\n"
      "Pellam Corvane: Edit Favorite=>dialog: Run schedule now; OK\n"
      "Pellam Corvane: Edit Favorite=>dialog: 1005\n"
      "Pellam Corvane: Edit Favorite=>dialog: Cancel\n"
      "Pellam Corvane: Add Favorite=>dialog: 1016=123456789; 1037=" +
      std::string(2000, 'n') + "\n");
  EXPECT_EQ(favourites::RunEditFavouriteDialog(nullptr), favourites::kIdEditComments);
  EXPECT_EQ(favourites::RunEditFavouriteDialog(nullptr), favourites::kIdRunNow);
  EXPECT_EQ(favourites::RunEditFavouriteDialog(nullptr), favourites::kIdEditSchedule);
  EXPECT_EQ(favourites::RunEditFavouriteDialog(nullptr), 0);
  FavouriteValues v;
  v.include = true;
  ASSERT_EQ(favourites::RunFavouriteDialog(nullptr, false, &v), FavouriteResult::kOk);
  EXPECT_EQ(v.levels, "1234567");
  EXPECT_EQ(v.title.size(), favourites::kTitleLimit);
}

TEST(SettingsChecks, LocalPortEntries) {
  static const struct {
    const char* entry;
    bool accepted;
  } cases[] = {{"", true},      {"1025", true},  {"1024", false}, {"80", false},
               {"65535", true}, {"65536", false}, {"-2000", false}, {"12ab", false},
               {"0", false},    {"999999", false}};
  for (const auto& c : cases) EXPECT_EQ(favourites::ValidLocalPort(c.entry), c.accepted) << c.entry;
}

TEST_F(Answered, IdFileMustExistBeReadableAndEndInId) {
  std::ofstream(folder_ + "/user.id") << "id";
  std::ofstream(folder_ + "/USER2.ID") << "id";
  std::ofstream(folder_ + "/user.txt") << "id";
  std::filesystem::create_directory(folder_ + "/folder.id");
  EXPECT_TRUE(favourites::ValidIdFile(folder_ + "/user.id"));
  EXPECT_TRUE(favourites::ValidIdFile(folder_ + "/USER2.ID"));
  EXPECT_FALSE(favourites::ValidIdFile(folder_ + "/user.txt"));
  EXPECT_FALSE(favourites::ValidIdFile(folder_ + "/missing.id"));
  EXPECT_FALSE(favourites::ValidIdFile(folder_ + "/folder.id"));
  EXPECT_FALSE(favourites::ValidIdFile(".id"));
}

// The local-port dialog on the real configuration database: 1024 and words
// are refused with the dialog shown again, 1025 is stored; Cancel stores
// nothing.
TEST_F(Answered, LocalPortDialogRefusesThenStores) {
  std::filesystem::create_directories(folder_ + "/data");
  std::ofstream(folder_ + "/ledra.ini") << "Directory=" << folder_ << "/data\n";
  setenv("CORVANE_LEDRA_INI", (folder_ + "/ledra.ini").c_str(), 1);
  std::string command = std::string("cd '") + folder_ + "' && '" + CORVANE_BIN_DIR +
                        "/ledra' create data/kvconfig.ldf --design '" + CORVANE_SOURCE_DIR +
                        "/resources/designs/kvconfig.json' >/dev/null";
  ASSERT_EQ(std::system(command.c_str()), 0);
  ASSERT_EQ(_VXInit(0x45004, nullptr, nullptr, nullptr), kVXOk);
  engine::SharedContext shared;
  std::unique_ptr<engine::ThreadHandle> handle = engine::MakeThreadHandle("f1", &shared);
  Answers(
      "Pellam Corvane=>dialog: 1000=1024\n"
      "Pellam Corvane=>dialog: 1000=port\n"
      "Pellam Corvane=>dialog: 1000=1025\n"
      "Pellam Corvane=>dialog: 1000=2000; Cancel\n");
  auto port = [&] {
    platform::OpenDatabase* config = platform::OpenDatabaseRecord(*handle, "Local", "kvconfig.ldf");
    std::map<std::string, std::string> items;
    EXPECT_TRUE(config != nullptr && platform::ReadConfiguration(config->handle, &items));
    return items["LocalPort"];
  };
  std::string before = port();
  favourites::LocalPortDialog(*handle);
  EXPECT_EQ(port(), "1025");
  favourites::LocalPortDialog(*handle);
  EXPECT_EQ(port(), "1025");
  EXPECT_NE(before, "1025");
  platform::CloseAllDatabases(*handle);
  VXTerm(0);
  unsetenv("CORVANE_LEDRA_INI");
}

TEST(FavouriteText, BoundingListAndReplicaContext) {
  static const struct {
    const char* url;
    const char* bounding;
  } cases[] = {{"http://a.b.c/d/e.htm", "*.b.c/"},
               {"http://www.example.com/", "*.example.com/"},
               {"http://a.b.c", "*.b.c"},
               {"http://localhost/x/y", "*/"},
               {"http://127.0.0.1:8080/p", "*.0.0.1:8080/"}};
  for (const auto& c : cases) EXPECT_EQ(favourites::BoundingList(c.url), c.bounding) << c.url;
  EXPECT_EQ(favourites::WithoutReplicaContext("http://[wr;Local;Replicas.Web/kvwebrs.ldf]a.b.c/d"),
            "http://a.b.c/d");
  EXPECT_EQ(favourites::WithoutReplicaContext("http://a.b.c/[wr"), "http://a.b.c/[wr");
}

TEST(FavouriteText, PageTitles) {
  static const struct {
    const char* page;
    const char* title;
  } cases[] = {
      {"HTTP/1.0 200 OK\r\n\r\n<html><head><TITLE>Hello</TITLE>", "Hello"},
      {"<title>  Morning,\r\nnews; today</title>", "Morning   news  today"},
      {"<Title>Error 404</Title>", "(untitled)"},
      {"<title></title>", "(untitled)"},
      {"<html>no title", "(untitled)"},
      {"<TITLE>cut off", "(untitled)"},
      {"<title>Caf\xC3\xA9 \"Zum\" \\ Ort</title>", "Caf\xC3\xA9 \"Zum\" \\ Ort"},
  };
  for (const auto& c : cases) EXPECT_EQ(favourites::TitleOfPage(c.page), c.title) << c.page;
}

TEST(FavouriteText, TitleRequestIsOriginFormWithHost) {
  std::string host, request;
  ASSERT_TRUE(favourites::TitleRequest("http://a.b.c:8080/d/e.htm?q=1", false, &host, &request));
  EXPECT_EQ(host, "a.b.c:8080");
  EXPECT_EQ(request, "GET /d/e.htm?q=1 HTTP/1.0\r\nHost: a.b.c:8080\r\n\r\n");
  ASSERT_TRUE(favourites::TitleRequest("http://a.b.c", true, &host, &request));
  EXPECT_EQ(request, "GET http://a.b.c HTTP/1.0\r\nHost: a.b.c\r\n\r\n");
  EXPECT_FALSE(favourites::TitleRequest("no url", false, &host, &request));
}

}  // namespace
