// View pages through corvex: requests over a socket, whole replies compared
// byte for byte with the golden files (program folder written "$DIR").
#include <gtest/gtest.h>

#include <functional>

#include "browser/view_sets.h"
#include "ledra/vxapi.h"
#include "os/desktop.h"
#include "tests/browser/browser_engine.h"
#include "tests/browser/golden.h"

namespace {

constexpr char kDiscuss[] = "http://[kv]/Local:/discuss.ldf:/V/";

class ViewPages : public BrowserEngine {
 protected:
  void SetUp() override {
    BrowserEngine::SetUp();
    MakeDatabase("discuss.ldf", "discuss.json");
    Start();
  }

  // Runs fn on the platform thread (the cache is the platform thread's).
  void OnPlatform(const std::function<void(engine::ThreadHandle&)>& fn) {
    (void)platform::RunOnPlatformThread(*ui_, [&](engine::ThreadHandle& thread) {
      fn(thread);
      return 0;
    });
  }

  platform::OpenDatabase* Database(const std::string& path) {
    for (platform::OpenDatabase* db = shared_->openDatabases; db != nullptr; db = db->next)
      if (db->path == path) return db;
    return nullptr;
  }

  // Golden name: the test's name and a step.
  void Check(const std::string& step, const std::string& url) {
    std::string test = ::testing::UnitTest::GetInstance()->current_test_info()->name();
    ExpectGolden(test + "_" + step, Get(url));
  }
};

TEST_F(ViewPages, FramesetForEverySearchBarAndPreviewCombination) {
  std::string v = std::string(kDiscuss) + "All Documents/";
  Check("plain", v + "LR/");
  EXPECT_EQ(
      Get(v + "Fr/"),
      "HTTP/1.0 302 Temporarily Moved\nLocation: http://[kv]/Local:/discuss.ldf:/V/4/LR/\n\n");
  Check("search", v + "LR/");
  EXPECT_EQ(
      Get(v + "lr/"),
      "HTTP/1.0 302 Temporarily Moved\nLocation: http://[kv]/Local:/discuss.ldf:/V/4/LR/\n\n");
  Check("search_preview", v + "LR/");
  (void)Get(v + "Fr/");
  Check("preview", v + "LB/");
}

TEST_F(ViewPages, FramesetForEveryNavigatorOrientationAndSizeSign) {
  std::string v = std::string(kDiscuss) + "All Documents/";
  (void)Get(v + "R/");  // opens the database
  struct {
    int32_t size, orientation;
    const char* step;
  } cases[] = {{25, 1, "pct_1"},  {-180, 1, "px_1"}, {30, 2, "pct_2"},
               {-180, 2, "px_2"}, {40, 3, "pct_3"},  {-90, 3, "px_3"},
               {20, 4, "pct_4"},  {-90, 4, "px_4"},  {0, 1, "none"}};
  for (const auto& c : cases) {
    OnPlatform([&](engine::ThreadHandle&) {
      platform::OpenDatabase* db = Database("discuss.ldf");
      ASSERT_NE(db, nullptr);
      db->navigatorSize = c.size;
      db->navigatorOrientation = c.orientation;
    });
    Check(c.step, v + "LR/7/");
  }
  // No navigator frame: the command panel stays empty.
  EXPECT_EQ(Get(v + "M/"), "");
}

TEST_F(ViewPages, ResponsesCategoriesAndCollapsedRows) {
  Check("responses", std::string(kDiscuss) + "All Documents/R/");
  std::string v = std::string(kDiscuss) + "By Category/";
  Check("expanded", v + "R/");
  Check("collapse_social", v + "Xc2/1/2/");
  // A collapsed category is followed by its next sibling; a collapsed
  // document with responses by the next document.
  Check("collapse_release", v + "Xc3.3/1/3.3/");
  // A view whose design starts collapsed shows only top-level rows.
  std::string c = std::string(kDiscuss) + "Collapsed Categories/";
  Check("starts_collapsed", c + "R/");
  Check("expand_all", c + "XE/");
  Check("collapse_all", c + "XC/");
  Check("expand_one", c + "Xo3/1/3/");
}

TEST_F(ViewPages, SelectionTrashAndCurrentRow) {
  std::string v = std::string(kDiscuss) + "All Documents/";
  Check("select_budget", v + "Sx13/1/13/");
  Check("select_welcome", v + "Sx9/1/9/");
  Check("deselect_budget", v + "So13/1/13/");
  // To/From Trash: the selection moves into the trash marks.
  Check("to_trash", v + "D/");
  // The current line: bold, and its link opens the document.
  Check("current", v + "SC/1/2/");
  // "S" with 0 takes the document of the current line.
  Check("select_current", v + "Sx0/1/0/");
}

TEST_F(ViewPages, FullTextResultsCarryScoresUntilTheSearchBarCloses) {
  std::string v = std::string(kDiscuss) + "All Documents/";
  (void)Get(v + "Fr/");  // search bar on
  OnPlatform([&](engine::ThreadHandle&) {
    platform::OpenDatabase* db = Database("discuss.ldf");
    ASSERT_NE(db, nullptr);
    ASSERT_EQ(VXDatabaseCreateFTIndex(db->handle, 0, 0, 0), kVXOk);
    for (auto& view : db->viewRecords) {
      if (view->name != "All Documents") continue;
      ASSERT_EQ(VXIndexFTSearch(view->index, "release OR agreed OR welcome", 1, 1, 0), kVXOk);
      ASSERT_EQ(VXIndexSetViewPosition(view->index, "1"), kVXOk);
      view->topPosition = "1";
    }
  });
  Check("scores", v + "R/");
  // Closing the search bar clears the search: the view again.
  EXPECT_EQ(
      Get(v + "Fr/"),
      "HTTP/1.0 302 Temporarily Moved\nLocation: http://[kv]/Local:/discuss.ldf:/V/4/LR/\n\n");
  std::string page = Get(v + "r/");
  EXPECT_EQ(page.find("% <IMG"), std::string::npos) << page;
  EXPECT_NE(page.find("Holiday plans"), std::string::npos);
}

std::string operations_called;

TEST_F(ViewPages, SubcommandsReachTheViewOperations) {
  browser::ViewOperations& ops = browser::Operations();
  ops.categorize = [](engine::ThreadHandle&, platform::OpenDatabase&, platform::ViewRecord&) {
    operations_called += "categorize;";
  };
  ops.deleteSelected = [](engine::ThreadHandle&, platform::OpenDatabase&, platform::ViewRecord&) {
    operations_called += "delete selected;";
  };
  ops.deleteMarked = [](engine::ThreadHandle&, platform::OpenDatabase&, platform::ViewRecord&) {
    operations_called += "delete marked;";
  };
  ops.clipboard = [](engine::ThreadHandle&, platform::OpenDatabase&, platform::ViewRecord&,
                     char kind) { operations_called += std::string("clipboard ") + kind + ";"; };
  ops.rangeSelection = [](platform::ViewRecord&, const std::string& id) {
    operations_called += "range to " + id + ";";
  };
  ops.search = [](engine::ThreadHandle&, const std::string& url, platform::ViewRecord&, VXHandle) {
    operations_called += "search " + url.substr(url.find('?')) + ";";
  };
  ops.linesPerPageDialog = [](engine::ThreadHandle& handle) {
    operations_called += "lines;";
    handle.shared->linesInView = 3;
  };
  const std::string v = std::string(kDiscuss) + "All Documents/";
  const std::string redirect =
      "HTTP/1.0 302 Temporarily Moved\nLocation: http://[kv]/Local:/discuss.ldf:/";
  const std::string page = "HTTP/1.1 200 OK \n\n<HTML>\n";
  struct {
    const char* url;
    bool ctrl;
    const char* called;
    std::string reply_start;
  } cases[] = {
      {"C/", false, "categorize;", redirect + "V/4/R/\n\n"},
      {"Cd/1/13/", false, "categorize;",
       redirect + "D/13/Cd/1/All Documents\n\n" + redirect + "V/4/R/\n\n"},
      {"DX/", false, "delete selected;", redirect + "V/4/LR/\n\n" + page},
      {"DE/", false, "delete marked;", page},
      {"vX/", false, "clipboard X;", page},
      {"vC/", false, "clipboard C;", page},
      {"vP/", false, "clipboard P;", page},
      {"XL/", false, "lines;", page},
      {"FS/?SearchText=ship&S=Search", false, "search ?SearchText=ship&S=Search;", page},
      {"Sx/1/9/", true, "range to 9;", page},
      {"Sd/1/13/", false, "", redirect + "D/13/Sd/1/All Documents\n\n"},
  };
  for (const auto& c : cases) {
    operations_called.clear();
    os::SetKeyStateHook([&](os::Key key) { return c.ctrl && key == os::Key::kCtrl; });
    std::string reply = Get(v + c.url);
    EXPECT_EQ(operations_called, c.called) << c.url;
    EXPECT_EQ(reply.substr(0, c.reply_start.size()), c.reply_start) << c.url;
    if (c.reply_start.find("HTTP/1.1") == std::string::npos) {
      EXPECT_EQ(reply, c.reply_start) << c.url;
    }
  }
  os::SetKeyStateHook(nullptr);
  // XL read linesInView again: three rows a page.
  std::string three = Get(v + "B/");
  EXPECT_NE(three.find("1 to 3 of 5"), std::string::npos) << three;
  browser::Operations() = browser::ViewOperations{};
}

TEST_F(ViewPages, SelectAllTwiceReturnsToNoSelection) {
  std::string v = std::string(kDiscuss) + "All Documents/";
  Check("all", v + "SA/");
  Check("all_but_one", v + "So13/1/13/");
  Check("none", v + "SA/");
}

TEST_F(ViewPages, PreviewLoadsTheCurrentDocument) {
  std::string v = std::string(kDiscuss) + "All Documents/";
  (void)Get(v + "lr/");
  Check("current_with_preview", v + "SC/1/4.1/");
}

TEST_F(ViewPages, NextAndPreviousDocument) {
  std::string v = std::string(kDiscuss) + "All Documents/";
  EXPECT_EQ(Get(v + "j/"), "");  // no current line yet
  (void)Get(v + "SC/1/4/");
  // Regression: the redirect named argument 3 as the document and the
  // current line as argument 3. The read frameset is D/0/LR/<"0" for "j",
  // argument 3 for "k">/<view id>/; the current line moves.
  EXPECT_EQ(Get(v + "j/"),
            "HTTP/1.0 302 Temporarily Moved\nLocation: "
            "http://[kv]/Local:/discuss.ldf:/D/0/LR/0/4/\n\n");
  EXPECT_EQ(Get(v + "k/1/"),
            "HTTP/1.0 302 Temporarily Moved\nLocation: "
            "http://[kv]/Local:/discuss.ldf:/D/0/LR/1/4/\n\n");
  EXPECT_NE(
      Get(v + "R/").find("<B><A TARGET=\"_parent\" HREF=\"http://[kv]/Local:/discuss.ldf:/D/"),
      std::string::npos);
  // Past the last document: back to the view.
  (void)Get(v + "SC/1/5/");
  EXPECT_EQ(Get(v + "j/"),
            "HTTP/1.0 302 Temporarily Moved\nLocation: "
            "http://[kv]/Local:/discuss.ldf:/V/4/LR/\n\n");
}

TEST_F(ViewPages, HeaderSearchFrameAndCommandPanel) {
  std::string v = std::string(kDiscuss) + "By Category/";
  Check("header", v + "H/");
  Check("search", v + "F/");
  Check("panel", v + "M/");
  Check("views_open", v + "x2o/");
  Check("edit_open", v + "x3o/");
  Check("compose_open", v + "x5o/");
  Check("dashboard_closed", v + "x1c/");
}

TEST_F(ViewPages, UnknownSubcommandMissingViewAndClosedDatabase) {
  EXPECT_EQ(Get(std::string(kDiscuss) + "All Documents/Q/"), "");
  EXPECT_EQ(Get(std::string(kDiscuss) + "All Documents/vZ/"), "");
  EXPECT_EQ(Get(std::string(kDiscuss) + "No Such View/R/"), "");
  std::string reply = Get("http://[kv]/Local:/missing.ldf:/V/All Documents/R/");
  EXPECT_EQ(reply.rfind("<html><DT><H2>Ledra Error:</H2><DT><DT>", 0), 0u) << reply;
  EXPECT_NE(reply.find("<DT>", 40), std::string::npos);
}

TEST_F(ViewPages, UnreachedFieldsPrintAsEmptyText) {
  // No argument 2 and 3: the frameset's frame URLs carry empty segments,
  // never "(null)".
  std::string reply = Get("http://[kv]/Local:/discuss.ldf:/V/All Documents/L");
  EXPECT_EQ(reply.find("(null)"), std::string::npos) << reply;
  EXPECT_NE(reply.find("src=\"http://[kv]/Local:/discuss.ldf:/V/All Documents/H/\""),
            std::string::npos)
      << reply;
}

class ViewPaging : public BrowserEngine {
 protected:
  void SetUp() override {
    BrowserEngine::SetUp();
    // 4 categories of 10 documents each: 44 rows, 10 to a page.
    std::string json =
        "{\"title\": \"Paging\", \"views\": [{\"name\": \"Cats\", \"selection\": \"SELECT @All\", "
        "\"columns\": [{\"title\": \"Cat\", \"width\": 6, \"item\": \"Cat\", \"categorized\": "
        "true},"
        "{\"title\": \"Name\", \"width\": 10, \"item\": \"Name\", \"sort\": \"ascending\"}]}],"
        "\"documents\": [";
    for (int i = 0; i < 40; ++i) {
      char doc[160];
      std::snprintf(doc, sizeof doc, "%s{\"items\": {\"Cat\": \"C%d\", \"Name\": \"N%02d\"}}",
                    i == 0 ? "" : ",", i / 10, i);
      json += doc;
    }
    json += "]}";
    std::string path = folder_ + "/paging.json";
    std::ofstream(path) << json;
    MakeDatabaseFrom("paging.ldf", path);
    Start();
    shared_->linesInView = 10;
  }
  void Check(const std::string& step, const std::string& url) {
    std::string test = ::testing::UnitTest::GetInstance()->current_test_info()->name();
    ExpectGolden(test + "_" + step, Get(url));
  }
};

TEST_F(ViewPaging, EachPagingSubcommand) {
  std::string v = "http://[kv]/Local:/paging.ldf:/V/Cats/";
  Check("first", v + "B/");
  Check("next", v + "N/");
  Check("previous_page", v + "p/");
  Check("end", v + "E/");
  Check("next_on_last_page", v + "N/");
  EXPECT_EQ(Get(v + "P/"),
            "HTTP/1.0 302 Temporarily Moved\nLocation: "
            "http://[kv]/Local:/paging.ldf:/V/Cats/p/4.5/#bottom\n\n");
  Check("again", v + "r/");
  // A page whose first row lies inside a collapsed category starts at it.
  (void)Get(v + "Xc2/1/2/");
  Check("inside_collapsed", v + "r/2.5/");
}

// Regression: on a view record just made (the first request on a view, or
// the first after the cache closed everything) "N" stepped from no row and
// showed only the last one. A new record starts at "1".
TEST_F(ViewPaging, TheFirstRequestOnAViewStartsAtItsTopPosition) {
  std::string v = "http://[kv]/Local:/paging.ldf:/V/Cats/";
  ExpectGolden("EachPagingSubcommand_next", Get(v + "N/"));
  // The same after the open-database cache let go of every index.
  (void)Get(v + "B/");
  (void)platform::RunOnPlatformThread(*ui_, [](engine::ThreadHandle& thread) {
    platform::ReleaseDatabaseHandles(thread);
    return 0;
  });
  ExpectGolden("EachPagingSubcommand_next", Get(v + "N/"));
  // "DE" as the first request shows the page from the top.
  (void)platform::RunOnPlatformThread(*ui_, [](engine::ThreadHandle& thread) {
    platform::CloseAllDatabases(thread);
    return 0;
  });
  ExpectGolden("EachPagingSubcommand_first", Get(v + "DE/"));
}

}  // namespace
