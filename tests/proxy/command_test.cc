// Command URLs: every letter, with and without a Referer; the workspace and
// its file; the dashboard frame.
#include <string>

#include "common/page_replica_format.h"
#include "platform/open_database.h"
#include "platform/view_records.h"
#include "proxy/command.h"
#include "proxy/dashboard.h"
#include "tests/proxy/proxy_engine.h"

namespace {

bool Has(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

std::string Redirect(const std::string& target) {
  return "HTTP/1.0 302 Temporarily Moved\r\nLocation: " + target + "\r\n\r\n";
}

TEST(CommandLine, LetterArgumentAndReturnTarget) {
  static const struct {
    const char* request;
    char letter;
    const char* argument;
  } cases[] = {
      {"GET http://[wc]/M/?Hello%20there HTTP/1.1\r\n", 'M', "?Hello%20there"},
      {"GET http://[wc]/S/?http://h/a b?c=1 HTTP/1.1\r\n", 'S', "?http://h/a b?c=1"},
      {"GET http://[wc]/D/F/http://h/ HTTP/1.0\r\n", 'D', "F/http://h/"},
      {"GET http://[wc]/N/ HTTP/1.1\r\n", 'N', ""},
      {"GET http://[wc]/N HTTP/1.1\r\n", 'N', ""},
      {"GET http://[wc]/ HTTP/1.1\r\n", ' ', ""},
      {"GET http://[wc] HTTP/1.1\r\n", '\0', ""},
      {"GET http://other/N/ HTTP/1.1\r\nReferer: http://Corvane.Command/\r\n", '\0', ""},
      {"", '\0', ""},
  };
  for (const auto& c : cases) {
    proxy::CommandLine command = proxy::ReadCommandLine(c.request);
    EXPECT_EQ(command.letter, c.letter) << c.request;
    EXPECT_EQ(command.argument, c.argument) << c.request;
  }
  EXPECT_EQ(proxy::ReturnTarget("GET x HTTP/1.1\r\nReferer: http://h/p\r\n\r\n"),
            "http://h/p#dashboard");
  EXPECT_EQ(proxy::ReturnTarget("GET x HTTP/1.1\r\nReferer: http://h/p#dashboard\r\n\r\n"),
            "http://h/p#dashboard");
  EXPECT_EQ(proxy::ReturnTarget("GET x HTTP/1.1\r\nreferer: http://h/p\r\n\r\n"), "http://[wc]/");
  EXPECT_EQ(proxy::ReturnTarget("GET x HTTP/1.1\r\n\r\n"), "http://[wc]/");
}

// The favourite operations as the favourites layer will give them.
std::string handed_url, handed_method, answer_url;
int32_t FakeAddFavourite(engine::ThreadHandle&, const engine::OperationArgs& args) {
  handed_url = reinterpret_cast<const char*>(args[0]);
  handed_method = reinterpret_cast<const char*>(args[1]);
  *reinterpret_cast<std::string*>(args[2]) = answer_url;
  return answer_url.empty() ? -1 : 1;
}
int32_t FakeEditFavourite(engine::ThreadHandle&, const engine::OperationArgs& args) {
  handed_url = reinterpret_cast<const char*>(args[0]);
  *reinterpret_cast<std::string*>(args[1]) = answer_url;
  return answer_url.empty() ? -1 : 1;
}
int dialogs_shown = 0;

class Commands : public ProxyEngine {
 protected:
  std::string Command(const std::string& path, const std::string& referer = "") {
    std::string headers = referer.empty() ? "" : "Referer: " + referer + "\r\n";
    return Send("GET http://[wc]/" + path + " HTTP/1.1\r\nHost: [wc]\r\n" + headers + "\r\n");
  }
  std::string Workspace(const std::string& server, const std::string& path,
                        const std::string& view) {
    return Redirect("http://[kv]/" + server + ":/" + path + ":/V/" + view + "/LR/");
  }
  void ShowView(const char* server, const char* path, const char* view) {
    (void)platform::RunOnPlatformThread(*ui_, [&](engine::ThreadHandle& thread) {
      platform::OpenDatabase* db = platform::OpenDatabaseRecord(thread, server, path);
      if (db != nullptr)
        thread.shared->lastView = platform::GetViewRecordByName(thread, db->handle, view);
      return 0;
    });
  }
};

// Commands that act come from our own pages: the dashboard frame of a live
// page, a stored page. (A live page's own strip leads to the frame.)
const std::string kFramePage = "http://[wc]/D/D/http://h.test/page";
const std::string kStoredPage = "http://[wr;Local;Replicas.Web;kvwebrs.ldf]h.test/";

TEST_F(Commands, EveryCommandReturnsToItsPage) {
  Start();
  const std::string page = kFramePage;
  EXPECT_EQ(Command("M/?Hello%20there", page), Redirect(page + "#dashboard"));
  EXPECT_TRUE(trace_.Contains("Hello%20there"));
  EXPECT_EQ(Command("7/?Seven", "http://[wc]/"), Redirect("http://[wc]/#dashboard"));
  EXPECT_TRUE(trace_.Contains("Seven"));
  EXPECT_EQ(Command("M/", page + "#dashboard"), Redirect(page + "#dashboard"));

  // The dialogs of the favourites and browser layers, when installed.
  EXPECT_EQ(Command("A/", page), Redirect(page + "#dashboard"));
  engine::Hooks().idFileDialog = [](engine::ThreadHandle&) { ++dialogs_shown; };
  engine::Hooks().preferredBrowserDialog = [](engine::ThreadHandle&) { dialogs_shown += 10; };
  dialogs_shown = 0;
  EXPECT_EQ(Command("A/", page), Redirect(page + "#dashboard"));
  EXPECT_EQ(Command("B/", "http://[wc]/"), Redirect("http://[wc]/#dashboard"));
  EXPECT_EQ(dialogs_shown, 11);

  // Favourites: refused without a URL, handed on with one.
  EXPECT_EQ(Command("S/", page), Redirect(page + "#dashboard"));
  EXPECT_TRUE(trace_.Contains(proxy::kExempt));
  EXPECT_EQ(Command("F/", "http://[wc]/"), Redirect("http://[wc]/#dashboard"));
  EXPECT_TRUE(trace_.Contains(proxy::kCannotLink));
  EXPECT_EQ(Command("S/?http://h.test/page", page), Redirect(page + "#dashboard"));
  platform::SetDatabaseOperation(platform::kAddFavourite, FakeAddFavourite);
  platform::SetDatabaseOperation(platform::kEditFavourite, FakeEditFavourite);
  answer_url = "http://[kv]/Local:/kvconfig.ldf:/E/9/LR/0/What's Next/{http://h.test/page}";
  EXPECT_EQ(Command("S/?http://h.test/page", page), Redirect(answer_url));
  EXPECT_EQ(handed_url, "?http://h.test/page");
  EXPECT_EQ(handed_method, "http://[wc]/");
  EXPECT_EQ(Command("F/?http://h.test/page", page), Redirect(answer_url));
  EXPECT_EQ(handed_url, "http://h.test/page");
  answer_url.clear();
  EXPECT_EQ(Command("F/?http://h.test/page", page), Redirect(page + "#dashboard"));
}

TEST_F(Commands, OnlineOfflineSwitchAsksAndRewritesTheWorkspaceFile) {
  Start();
  const std::string workspace_file = folder_ + "/htmdata/wkspace.htm";
  Answers("No\nYes\nYes\n");
  EXPECT_EQ(Command("N/", kStoredPage), Redirect(kStoredPage + "#dashboard"));
  EXPECT_TRUE(trace_.Contains("Switch to OFFLINE mode?"));
  EXPECT_EQ(shared_->offline, 0);
  EXPECT_FALSE(fs::exists(workspace_file));
  EXPECT_EQ(Command("N/", kStoredPage), Redirect(kStoredPage + "#dashboard"));
  EXPECT_EQ(shared_->offline, 1);
  EXPECT_EQ(ReadFile(workspace_file),
            Workspace("Local", "Replicas.Web/kvwebrs.ldf", "by Category"));
  EXPECT_EQ(Command("N/", "http://[wc]/"), Redirect("http://[wc]/#dashboard"));
  EXPECT_TRUE(trace_.Contains("Switch to ONLINE mode?"));
  EXPECT_EQ(shared_->offline, 0);

  // From a live page the switch is refused: no question, no change.
  auto questions = [&] {
    int count = 0;
    for (const std::string& line : trace_.Lines())
      if (Has(line, "Switch to OFFLINE mode?")) ++count;
    return count;
  };
  int asked = questions();
  std::string refused = Command("N/", "http://h.test/");
  EXPECT_EQ(refused.substr(0, 24), "HTTP/1.0 403 Forbidden\r\n") << refused;
  EXPECT_EQ(questions(), asked);
  EXPECT_EQ(shared_->offline, 0);
}

TEST_F(Commands, TheWorkspaceFollowsTheViewsShown) {
  Start();
  // Nothing shown yet: the page-replica database's "by Category".
  EXPECT_EQ(Command(""), Workspace("Local", "Replicas.Web/kvwebrs.ldf", "by Category"));
  EXPECT_EQ(Command("Z/whatever", "http://h.test/"),
            Workspace("Local", "Replicas.Web/kvwebrs.ldf", "by Category"));
  // A view of the configuration database leads there until a view of the
  // page-replica database is shown.
  ShowView("Local", "kvconfig.ldf", "Schedules by Name");
  EXPECT_EQ(Command(""), Workspace("Local", "kvconfig.ldf", "Schedules by Name"));
  ShowView("Local", "Replicas.Web/kvwebrs.ldf", "by Date");
  EXPECT_EQ(Command(""), Workspace("Local", "Replicas.Web/kvwebrs.ldf", "by Date"));
  // A view of any other database changes nothing.
  ShowView("Local", "Replicas.Web/kvwebrs.ldf", "by Name");
  (void)platform::RunOnPlatformThread(*ui_, [](engine::ThreadHandle& thread) {
    thread.shared->webDatabase = nullptr;  // as if the view were of another database
    return 0;
  });
  EXPECT_EQ(Command(""), Workspace("Local", "Replicas.Web/kvwebrs.ldf", "by Date"));
}

TEST_F(Commands, RestartAnswersFirstThenStops) {
  Start();
  EXPECT_EQ(Command("1/", kFramePage), Redirect(kFramePage + "#dashboard"));
  EXPECT_TRUE(shared_->wake.WaitFor(5000, [&] { return shared_->stop != 0; }));
  EXPECT_EQ(shared_->restart, 1);
}

TEST_F(Commands, TheDashboardFrameAndItsFrameset) {
  Start();
  std::string frame = Command("D/D/http://h.test/p?a=1&b=2", "http://h.test/");
  ASSERT_EQ(frame.substr(0, 7), "<html>\n");
  EXPECT_TRUE(Has(frame, "target=\"_parent\"")) << frame;
  EXPECT_TRUE(Has(frame, "href=\"http://[wc]/S/?http://h.test/p?a=1&amp;b=2\"")) << frame;
  EXPECT_EQ(
      Command("D/F/http://h.test/p\"x"),
      "<html><head><title>Corvane: http://h.test/p&quot;x</title></head>\n"
      "<frameset rows=\"*,44\" border=\"1\">\n<frame name=\"kvPageFrame\" "
      "src=\"http://h.test/p&quot;x\">\n<frame name=\"kvDashboardFrame\" "
      "src=\"http://[wc]/D/D/http://h.test/p&quot;x\" scrolling=\"no\">\n</frameset></html>\n");
  EXPECT_EQ(Command("D/X/http://h.test/", "http://h.test/"), Redirect("http://h.test/#dashboard"));
  EXPECT_EQ(Command("D/"), Redirect("http://[wc]/"));
  // A hidden dashboard is an empty frame.
  shared_->dashboardState = 0;
  EXPECT_EQ(Command("D/D/http://h.test/"), "<html>\n");
}

}  // namespace
