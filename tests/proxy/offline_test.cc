// Stored pages served from the page-replica database ([wr;...] URLs), with
// and without the dashboard, the Ctrl and Alt clicks, pages without a
// stored copy, and forms submitted from stored pages ([wrs;...]).
#include <string>

#include "browser/template_sources.h"
#include "common/page_replica_format.h"
#include "platform/open_database.h"
#include "platform/view_calls.h"
#include "platform/view_records.h"
#include "proxy/dashboard.h"
#include "tests/proxy/proxy_engine.h"

namespace {

const std::string kStored =
    "HTTP/1.0 200 OK\r\nContent-Type: text/html\r\nContent-length: 9150\r\n\r\n<html><body>Stored "
    "<a href=\"http://[wr;$WCTX_CorvjobsicaContext]www.example.test/b.html\">b</a></body></html>\n";
const std::string kImage = "HTTP/1.0 200 OK\r\nContent-Type: image/gif\r\n\r\nGIF89a\x01\x02";
const std::string kReplica = "http://[wr;Local;Replicas.Web;kvwebrs.ldf]";

std::string Json(const std::string& text) {
  std::string out = "\"";
  for (unsigned char c : text) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c < 0x20) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
      out += escaped;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out + "\"";
}

std::string Element(const std::string& key, const std::string& type, const std::string* stored) {
  std::string line = "{\"items\": {\"Form\": \"Web Element Replica\", \"KeyURLC\": " + Json(key) +
                     ", \"ContentType\": " + Json(type) + ", \"Categories\": \"Test\"}";
  if (stored != nullptr)
    line += ", \"attachments\": [{\"name\": \"content.dat\", \"text\": " + Json(*stored) + "}]";
  return line + "}\n";
}

bool Has(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

class Offline : public ProxyEngine {
 protected:
  void SetUp() override {
    ProxyEngine::SetUp();
    Load("Replicas.Web/kvwebrs.ldf",
         Element("www.example.test/page.html", "text/html", &kStored) +
             Element("www.example.test/logo.gif", "image/gif", &kImage) +
             Element("www.example.test/App.CLASS", "text/html", &kStored) +
             Element("www.example.test/nocopy.html", "text/html", nullptr));
  }

  // The note id of a stored element, read on the platform thread.
  long NoteOf(const std::string& key) {
    return platform::RunOnPlatformThread(*ui_, [&](engine::ThreadHandle& thread) {
      platform::OpenDatabase* web =
          platform::OpenDatabaseRecord(thread, "Local", "Replicas.Web/kvwebrs.ldf");
      std::vector<VXNoteId> ids;
      if (web == nullptr || platform::FindDocuments(web->handle, "", &ids) != kVXOk) return 0;
      for (VXNoteId id : ids) {
        std::string value;
        if (browser::ReadDocumentItem(web->handle, id, common::kItemKey, 0, &value) && value == key)
          return static_cast<int32_t>(id);
      }
      return 0;
    });
  }

  // Shows a view (as a view page would): it becomes lastView.
  void ShowView(const char* server, const char* path, const char* view) {
    (void)platform::RunOnPlatformThread(*ui_, [&](engine::ThreadHandle& thread) {
      platform::OpenDatabase* db = platform::OpenDatabaseRecord(thread, server, path);
      if (db != nullptr)
        thread.shared->lastView = platform::GetViewRecordByName(thread, db->handle, view);
      return 0;
    });
  }
};

TEST_F(Offline, AStoredHtmlPageGetsTheDashboardAfterItsLastByte) {
  Start();
  std::string reply = Get(kReplica + "www.example.test/page.html");
  ASSERT_EQ(reply.substr(0, kStored.size()), kStored);
  std::string fragment = reply.substr(kStored.size());
  // A stored Favourite: the strip of stored copies, leading to the live page.
  EXPECT_TRUE(Has(fragment, "href=\"http://www.example.test/page.html\">Live page</a>"))
      << fragment;
  EXPECT_TRUE(Has(fragment, "/E/" + std::to_string(NoteOf("www.example.test/page.html")) +
                                "/LR/0/by%20Category/"))
      << fragment;
  // The same fragment as operation 35 gives for the URL.
  EXPECT_EQ(fragment, proxy::DashboardFor(*ui_, kReplica + "www.example.test/page.html"));

  // The live page of a stored Favourite offers its stored copy.
  std::string live = proxy::DashboardFor(*ui_, "http://www.example.test/page.html");
  EXPECT_TRUE(
      Has(live, "href=\"http://[wr;Local;Replicas.Web;kvwebrs.ldf]www.example.test/page.html\""))
      << live;
  // Any other page offers to become one: in the dashboard frame directly,
  // inside the page through the frameset.
  EXPECT_TRUE(Has(proxy::DashboardFor(*ui_, "http://other.test/x?a=1&b=<2>", "_parent"),
                  "href=\"http://[wc]/S/?http://other.test/x?a=1&amp;b=&lt;2&gt;\""));
  EXPECT_TRUE(Has(proxy::DashboardFor(*ui_, "http://other.test/x?a=1&b=<2>"),
                  "href=\"http://[wc]/D/F/http://other.test/x?a=1&amp;b=&lt;2&gt;\""));

  // The replica context of stored links names the current database.
  std::string by_context = Get("http://[wr;$WCTX_CorvjobsicaContext]www.example.test/page.html");
  EXPECT_EQ(by_context.substr(0, kStored.size()), kStored);
  EXPECT_TRUE(Has(by_context, ">Live page</a>")) << by_context;
}

TEST_F(Offline, ImagesClassFilesAndHiddenDashboardsGoOutAsStored) {
  shared_->dashboardState = 0;
  Start();
  EXPECT_EQ(Get(kReplica + "www.example.test/page.html"), kStored);
  shared_->dashboardState = 1;
  EXPECT_EQ(Get(kReplica + "www.example.test/logo.gif"), kImage);
  EXPECT_EQ(Get(kReplica + "www.example.test/App.CLASS"), kStored);
}

TEST_F(Offline, PagesWithoutAStoredCopy) {
  Start();
  std::string reply = Get(kReplica + "www.example.test/nocopy.html");
  std::string fragment = proxy::DashboardFor(*ui_, kReplica + "www.example.test/nocopy.html");
  EXPECT_TRUE(Has(fragment, ">Live page</a>")) << fragment;
  EXPECT_EQ(
      reply,
      "HTTP/1.0 200 OK\n\n\n\n<html><center>\nNo offline replica copy has been stored yet for "
      "this Favorite. <br>\nUse the Dashboard below for comments and options or to go "
      "online.<br><br>You may also use CTRL click from the Workspace to go directly "
      "online,<br>or ALT click to go directly to the comments page." +
          fragment + "</body></html>");
  shared_->dashboardState = 0;
  EXPECT_EQ(Get(kReplica + "www.example.test/a<b>.html"),
            "HTTP/1.0 200 OK\n\n\n\n<html><HEAD><META HTTP-EQUIV=\"Refresh\" Content=20></HEAD>\n  "
            "    <body><center>This link points to a page that is not yet a Favorite. <br>\n      "
            "You can make it a Favorite using the Dashboard below<br> or you may go directly to "
            "the\n      <a HREF=\"http://www.example.test/a&lt;b&gt;.html\" >online "
            "version.</a></body></html>");
  // A database that does not exist is a page that is not yet a Favorite.
  EXPECT_TRUE(
      Has(Get("http://[wr;Local;none.ldf]www.example.test/page.html"), "not yet a Favorite"));
}

TEST_F(Offline, CtrlGoesToTheLivePageOnceAViewWasShownAndAltToTheComments) {
  Start();
  bool ctrl = false, alt = false;
  os::SetKeyStateHook([&](os::Key key) {
    return (key == os::Key::kCtrl && ctrl) || (key == os::Key::kAlt && alt);
  });
  ctrl = true;
  // No view shown yet in this run: the stored page.
  EXPECT_EQ(Get(kReplica + "www.example.test/page.html").substr(0, kStored.size()), kStored);
  ShowView("Local", "Replicas.Web/kvwebrs.ldf", "by Date");
  EXPECT_EQ(Get(kReplica + "www.example.test/page.html"),
            "HTTP/1.0 302 Temporarily Moved\nLocation: http://www.example.test/page.html\n\n\n\n");
  ctrl = false;
  alt = true;
  std::string note = std::to_string(NoteOf("www.example.test/page.html"));
  EXPECT_EQ(
      Get(kReplica + "www.example.test/page.html"),
      "HTTP/1.0 302 Temporarily Moved\nLocation: http://[kv]/Local:/Replicas.Web/kvwebrs.ldf:/E/" +
          note + "/LR/0/by Date/\n\n\n\n");
  // A view of another database leaves "by Category".
  ShowView("Local", "kvconfig.ldf", "Schedules by Name");
  EXPECT_EQ(
      Get(kReplica + "www.example.test/page.html"),
      "HTTP/1.0 302 Temporarily Moved\nLocation: http://[kv]/Local:/Replicas.Web/kvwebrs.ldf:/E/" +
          note + "/LR/0/by Category/\n\n\n\n");
}

// Operation 29 as the favourites layer will give it: records what it was
// handed and answers with a URL.
std::string favourite_source, favourite_method, favourite_answer;
int32_t FakeAddFavourite(engine::ThreadHandle&, const engine::OperationArgs& args) {
  favourite_source = reinterpret_cast<const char*>(args[0]);
  favourite_method = reinterpret_cast<const char*>(args[1]);
  *reinterpret_cast<std::string*>(args[2]) = favourite_answer;
  return favourite_answer.empty() ? -1 : 1;
}

TEST_F(Offline, AFormFromAStoredPageCanBecomeAFavourite) {
  Start();
  const std::string post =
      "POST http://[wrs;Local;Replicas.Web;kvwebrs.ldf]www.example.test/form "
      "HTTP/1.1\r\nContent-Length: 3\r\n\r\nq=1";
  Answers("No\nYes\nYes\nYes\n");
  EXPECT_EQ(Send(post), "HTTP/1.1 204 No Content\n\n\n");
  EXPECT_TRUE(trace_.Contains(
      "You are submitting from an offline form.  Store the results as a Favorite in your "
      "Workspace?"));
  // Yes, but no favourites layer yet: the browser stays.
  EXPECT_EQ(Send(post), "HTTP/1.1 204 No Content\n\n\n");

  platform::SetDatabaseOperation(platform::kAddFavourite, FakeAddFavourite);
  favourite_answer = "http://[kv]/Local:/kvconfig.ldf:/E/12/LR/0/What's Next/{x}";
  EXPECT_EQ(Send(post), "HTTP/1.0 302 Temporarily Moved\nLocation: " + favourite_answer + "\n\n\n");
  EXPECT_EQ(favourite_source, post);
  EXPECT_EQ(favourite_method, "POST");
  // A GET hands over its URL with the query; a URL that is not a database
  // URL leads nowhere.
  favourite_answer = "http://elsewhere.test/";
  EXPECT_EQ(Get("http://[wrs;Local;Replicas.Web;kvwebrs.ldf]www.example.test/form?q=2",
                "Referer: http://[wr;Local;Replicas.Web;kvwebrs.ldf]www.example.test/\r\n"),
            "HTTP/1.1 204 No Content\n\n\n");
  EXPECT_EQ(favourite_source,
            "http://[wrs;Local;Replicas.Web;kvwebrs.ldf]www.example.test/form?q=2");
  EXPECT_EQ(favourite_method, "GET");
}

}  // namespace
