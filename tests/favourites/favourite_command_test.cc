// Favourites made and edited through a running corvex: the command URLs
// "S" and "F" and a form submitted from a stored page reach operations 29
// and 31, the dialogs are answered from CORVANE_ANSWERS, and the Schedule
// documents of kvconfig.ldf and the first element documents of the
// page-replica database are read back with the platform. The page title
// comes from an origin on loopback; the job task is a stand-in that records
// the id it was started with.
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "jobs/documents.h"
#include "ledra/vxapi.h"
#include "os/files.h"
#include "os/process.h"
#include "os/socket.h"
#include "os/sync.h"
#include "tests/common/loopback_exchange.h"
#include "tests/common/program_folder.h"

namespace {

// A web server on loopback answering every request with one page.
class Origin {
 public:
  Origin() {
    listener_ = os::CreateStreamSocket();
    EXPECT_TRUE(os::Bind(listener_, "127.0.0.1", 0));
    EXPECT_TRUE(os::Listen(listener_, 8));
    port_ = os::LocalPort(listener_);
    thread_ = std::thread([this] { Serve(); });
  }
  ~Origin() {
    stop_ = true;
    thread_.join();
    os::Close(listener_);
  }
  uint16_t port() const { return port_; }
  std::vector<std::string> Requests() {
    std::lock_guard<std::mutex> guard(mutex_);
    return requests_;
  }

 private:
  void Serve() {
    while (!stop_) {
      if (os::WaitReadable(listener_, 50) <= 0) continue;
      os::Socket s = os::Accept(listener_);
      if (s == os::kNoSocket) continue;
      (void)os::SetReceiveTimeout(s, 2000);
      std::string request;
      char buffer[4096];
      long got;
      while (request.find("\r\n\r\n") == std::string::npos &&
             (got = os::Receive(s, buffer, sizeof buffer)) > 0)
        request.append(buffer, got);
      {
        std::lock_guard<std::mutex> guard(mutex_);
        requests_.push_back(request);
      }
      (void)os::SendAll(s,
                        "HTTP/1.0 200 OK\r\nContent-Type: text/html\r\n\r\n<html><head>\n"
                        "<title>Local news, today</title></head><body>x</body></html>");
      os::ShutdownAndClose(s);
    }
  }
  os::Socket listener_;
  uint16_t port_ = 0;
  std::atomic<bool> stop_{false};
  std::thread thread_;
  std::mutex mutex_;
  std::vector<std::string> requests_;
};

uint16_t FreePort() {
  os::Socket s = os::CreateStreamSocket();
  EXPECT_TRUE(os::Bind(s, "127.0.0.1", 0));
  uint16_t port = os::LocalPort(s);
  os::Close(s);
  return port;
}

class Favourites : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = MakeTempFolder("favourites");
    ASSERT_FALSE(folder_.empty());
    prog_ = folder_ + "/prog";
    ASSERT_TRUE(InstallProgramFolder(prog_));
    std::ofstream(prog_ + "/corvjobs") << "#!/bin/sh\necho \"$1\" >> started.txt\n";
    chmod((prog_ + "/corvjobs").c_str(), 0755);
    old_folder_ = os::WorkingFolder();
    ASSERT_EQ(chdir(prog_.c_str()), 0);
    port_ = FreePort();
    setenv("CORVANE_LEDRA_INI", (prog_ + "/ledra.ini").c_str(), 1);
    setenv("CORVANE_LOCALPORT", std::to_string(port_).c_str(), 1);
    setenv("CORVANE_REGISTRY", (folder_ + "/registry").c_str(), 1);
    setenv("CORVANE_SCHEDULER_SETTLE_MS", "200", 1);
    setenv("CORVANE_SCHEDULER_TICK_MS", "400", 1);
    setenv("CORVANE_ANSWERS", (folder_ + "/answers").c_str(), 1);
    std::ofstream(folder_ + "/answers") << "";
    ASSERT_EQ(_VXInit(0x45004, nullptr, nullptr, nullptr), kVXOk);
    ASSERT_EQ(VXDatabaseOpen("Local", "kvconfig.ldf", 0, &config_), kVXOk);
    ASSERT_EQ(VXDatabaseOpen("Local", "Replicas.Web/kvwebrs.ldf", 0, &web_), kVXOk);
  }

  void TearDown() override {
    if (corvex_ > 0) {
      kill(corvex_, SIGTERM);
      for (int i = 0; i < 200 && os::ProcessIsRunning(corvex_); ++i) os::SleepMs(50);
    }
    VXDatabaseClose(web_, 0);
    VXDatabaseClose(config_, 0);
    VXTerm(0);
    (void)chdir(old_folder_.c_str());
    unsetenv("CORVANE_ANSWERS");
    std::error_code ec;
    std::filesystem::remove_all(folder_, ec);
  }

  // Starts corvex with these answers and waits until it serves.
  void StartCorvex(const std::string& answers) {
    std::ofstream(folder_ + "/answers") << answers;
    ASSERT_EQ(os::ProcessStart(prog_ + "/corvex", {}, &corvex_), os::ProcessStatus::kOk);
    for (int i = 0; i < 200; ++i) {
      os::Socket s = os::ConnectLoopback(port_);
      if (s != os::kNoSocket) {
        os::Close(s);
        return;
      }
      os::SleepMs(50);
    }
    FAIL() << "corvex does not listen";
  }

  std::string Send(const std::string& request) {
    std::string reply = Exchange(port_, request, 30000);
    EXPECT_NE(reply, "<no connection>");
    return reply;
  }

  // The Location of the command's redirect.
  std::string Command(const std::string& path) {
    std::string reply = Send("GET http://[wc]/" + path + " HTTP/1.1\r\nHost: [wc]\r\nReferer: " +
                             kPage + "\r\n\r\n");
    size_t at = reply.find("Location: ");
    if (at == std::string::npos) return "<no redirect: " + reply + ">";
    return reply.substr(at + 10, reply.find("\r\n", at) - at - 10);
  }

  std::vector<VXNoteId> Select(VXHandle db, const char* formula) {
    std::vector<VXNoteId> ids;
    EXPECT_EQ(jobs::SelectDocuments(db, formula, &ids), kVXOk);
    return ids;
  }
  std::vector<VXNoteId> Schedules() { return Select(config_, "Select Form=\"Schedule\""); }
  std::vector<VXNoteId> Elements() { return Select(web_, "Select Form=\"Web Element Replica\""); }

  std::string Item(VXHandle db, VXNoteId id, const char* name) {
    VXHandle doc = 0;
    if (VXDocumentOpen(db, id, 0, &doc) != kVXOk) return "<gone>";
    std::string value = jobs::TextItem(doc, name);
    VXDocumentClose(doc, kVXCloseDiscard);
    return value;
  }

  std::vector<std::string> Started(size_t count, int wait_ms = 8000) {
    std::vector<std::string> lines;
    for (int waited = 0; waited <= wait_ms; waited += 50) {
      lines.clear();
      std::ifstream in(prog_ + "/started.txt");
      std::string line;
      while (std::getline(in, line)) lines.push_back(line);
      if (lines.size() >= count) break;
      os::SleepMs(50);
    }
    return lines;
  }

  std::string StatusLine() {
    std::ifstream in(prog_ + "/htmdata/wbstatus.dat");
    std::string line;
    std::getline(in, line);
    return line;
  }

  // Commands come from the dashboard frame of a page, one of corvex's own
  // pages (a live page itself may not ask for them).
  const std::string kPage = "http://[wc]/D/D/http://return.test/page";
  std::string folder_, prog_, old_folder_;
  uint16_t port_ = 0;
  VXHandle config_ = 0, web_ = 0;
  int corvex_ = 0;
};

TEST_F(Favourites, NewWebFavouriteIsStoredReopenedAndRunsAtOnce) {
  Origin origin;
  std::string url = "http://127.0.0.1:" + std::to_string(origin.port()) + "/d/e.htm";
  StartCorvex(
      "Pellam Corvane: Add Favorite=>dialog: 1019=on; 1016=2; 1017=on; hours; OK\n"
      "Pellam Corvane: Edit Replication Schedule=>dialog: OK\n"
      "Pellam Corvane: Edit Replication Schedule=>dialog: 1013=off; Name=Renamed; Advanced...\n");
  EXPECT_EQ(Command("S/?" + url), kPage + "#dashboard");
  std::vector<VXNoteId> schedules = Schedules();
  ASSERT_EQ(schedules.size(), 1u);
  VXNoteId id = schedules[0];
  // The page title was fetched in origin form with a Host header.
  ASSERT_EQ(origin.Requests().size(), 1u);
  EXPECT_EQ(origin.Requests()[0].rfind(
                "GET /d/e.htm HTTP/1.0\r\nHost: 127.0.0.1:" + std::to_string(origin.port()), 0),
            0u)
      << origin.Requests()[0];
  static const struct {
    const char* item;
    std::string value;
  } expected[] = {{"StartingURL", url},
                  {"Title", "Local news  today"},
                  {"BoundingURLs", "*.0.0.1:" + std::to_string(origin.port()) + "/"},
                  {"CutOffLevels", "2"},
                  {"Frequency", "1"},
                  {"FrequencyUnits", "hours"},
                  {"DeleteSelfAfterRun", "N"},
                  {"OwningServer", "Local"},
                  {"WebDatabaseFilename", "Replicas.Web/kvwebrs.ldf"},
                  {"Fidelity", "N"},  // the Schedule form's default
                  {"IsLedra", "N"}};
  for (const auto& e : expected) EXPECT_EQ(Item(config_, id, e.item), e.value) << e.item;
  EXPECT_NE(Item(config_, id, "Repository").find("{Local;Replicas.Web/kvwebrs.ldf}"),
            std::string::npos);
  EXPECT_EQ(StatusLine(), "Creating new Favorite in background");
  // Due at once: the scheduler starts the job task with the document's id.
  std::vector<std::string> started = Started(1);
  ASSERT_EQ(started.size(), 1u);
  EXPECT_EQ(started[0], std::to_string(id));
  EXPECT_EQ(Item(config_, id, "Enabled"), "Enabled");

  // The first element document of the page.
  std::vector<VXNoteId> elements = Elements();
  ASSERT_EQ(elements.size(), 1u);
  EXPECT_EQ(Item(web_, elements[0], "KeyURLC"), url.substr(7));
  EXPECT_EQ(Item(web_, elements[0], "Supports"), url);
  EXPECT_EQ(Item(web_, elements[0], "UserTitle"), "Local news  today");

  // Reopened: the dialog shows the stored values, OK keeps them and arms it.
  EXPECT_EQ(Command("S/?" + url), kPage + "#dashboard");
  EXPECT_EQ(Schedules().size(), 1u);
  EXPECT_EQ(Item(config_, id, "CutOffLevels"), "2");
  EXPECT_EQ(Item(config_, id, "FrequencyUnits"), "hours");
  EXPECT_EQ(Item(config_, id, "Frequency"), "1");
  EXPECT_EQ(Item(config_, id, "Title"), "Local news  today");
  EXPECT_EQ(StatusLine(), "Updating Favorite in background");
  EXPECT_EQ(Started(2).size(), 2u);
  EXPECT_EQ(Elements().size(), 1u) << "a second element for the same page";

  // "Advanced..." leads to the Schedule document, back to the workspace.
  EXPECT_EQ(Command("S/?" + url), "http://[kv]/Local:/kvconfig.ldf:/E/" + std::to_string(id) +
                                      "/LR/0/What's Next/{http://[wc]/}");
  EXPECT_EQ(Item(config_, id, "Fidelity"), "S");
  EXPECT_EQ(Item(config_, id, "Title"), "Renamed");
}

TEST_F(Favourites, CancelStoresNothingAndOneTimeFavouritesDeleteThemselves) {
  StartCorvex(
      "Pellam Corvane: Add Favorite=>dialog: 1019=on; Cancel\n"
      "Pellam Corvane: Add Favorite=>dialog: Name=Once; OK\n");
  EXPECT_EQ(Command("S/?http://a.b.c/d/e.htm"), kPage + "#dashboard");
  EXPECT_TRUE(Schedules().empty());
  EXPECT_TRUE(Elements().empty());
  EXPECT_EQ(Command("S/?http://a.b.c/d/e.htm"), kPage + "#dashboard");
  ASSERT_EQ(Schedules().size(), 1u);
  VXNoteId id = Schedules()[0];
  EXPECT_EQ(Item(config_, id, "BoundingURLs"), "*.b.c/");
  EXPECT_EQ(Item(config_, id, "CutOffLevels"), "0");
  EXPECT_EQ(Item(config_, id, "Frequency"), "0");
  EXPECT_EQ(Item(config_, id, "DeleteSelfAfterRun"), "Y");
  EXPECT_EQ(Item(config_, id, "Title"), "Once");
}

TEST_F(Favourites, LedraDatabaseFavourite) {
  StartCorvex(
      "Pellam Corvane: Add Favorite=>dialog: Name=Team notes; OK\n"
      "Pellam Corvane: Edit Replication Schedule=>dialog: Cancel\n");
  std::string url = "http://[kv]/Remote:/team/notes.ldf:/V/By Date";
  EXPECT_EQ(Command("S/?" + url), kPage + "#dashboard");
  ASSERT_EQ(Schedules().size(), 1u);
  VXNoteId id = Schedules()[0];
  EXPECT_EQ(Item(config_, id, "RemoteServer"), "Remote");
  EXPECT_EQ(Item(config_, id, "LocalReplica"), "Replicas.Ldr\\notes.ldf");
  EXPECT_EQ(Item(config_, id, "IsLedra"), "Y");
  EXPECT_EQ(Item(config_, id, "UserTitle"), "Team notes");
  EXPECT_EQ(Item(config_, id, "StartingURL"), url);
  EXPECT_EQ(Item(config_, id, "Enabled"), "Enabled");
  EXPECT_EQ(Item(config_, id, "DeleteSelfAfterRun"), "N");
  EXPECT_TRUE(Elements().empty());
  // The same database again finds its schedule (dialog 148).
  EXPECT_EQ(Command("S/?" + url), kPage + "#dashboard");
  EXPECT_EQ(Schedules().size(), 1u);
  // Without a server and database: a message, and back to the URL.
  EXPECT_EQ(Command("S/?http://[kv]/x"), "http://[kv]/x");
}

TEST_F(Favourites, EditFavouriteChoices) {
  // A page already stored, without a schedule.
  VXHandle doc = 0;
  ASSERT_EQ(VXDocumentCreate(web_, "Web Element Replica", &doc), kVXOk);
  ASSERT_EQ(jobs::PutTextItem(doc, "KeyURLC", "stored.test/p.htm"), kVXOk);
  ASSERT_EQ(jobs::PutTextItem(doc, "UserTitle", "Stored page"), kVXOk);
  ASSERT_EQ(VXDocumentSave(doc, 0), kVXOk);
  VXNoteId element = 0;
  ASSERT_EQ(VXDocumentGetProperty(doc, kDocPropNoteId, &element, sizeof element), kVXOk);
  VXDocumentClose(doc, 0);
  const std::string url = "http://stored.test/p.htm";
  StartCorvex(
      "Pellam Corvane: Edit Favorite=>dialog: OK\n"
      "Pellam Corvane: Edit Favorite=>dialog: Run schedule now\n"
      "This favorite has no schedule=>No\n"
      "Pellam Corvane: Edit Favorite=>dialog: Edit replication settings and schedule\n"
      "This favorite has no schedule=>Yes\n"
      "Pellam Corvane: Edit Replication Schedule=>dialog: 1017=on; OK\n"
      "Pellam Corvane: Edit Favorite=>dialog: Run schedule now\n"
      "Pellam Corvane: Edit Favorite=>dialog: Cancel\n"
      "Pellam Corvane: Add Favorite=>dialog: Cancel\n");
  EXPECT_EQ(Command("F/?" + url), "http://[kv]/Local:/Replicas.Web/kvwebrs.ldf:/E/" +
                                      std::to_string(element) + "/LR/0/by Category/{" + url + "}");
  EXPECT_EQ(Command("F/?" + url), kPage + "#dashboard");
  EXPECT_TRUE(Schedules().empty());
  // Asked again, Yes: the schedule dialog (148: the page is stored), titled
  // as the stored page is.
  EXPECT_EQ(Command("F/?" + url), kPage + "#dashboard");
  ASSERT_EQ(Schedules().size(), 1u);
  VXNoteId id = Schedules()[0];
  EXPECT_EQ(Item(config_, id, "Title"), "Stored page");
  EXPECT_EQ(Item(config_, id, "FrequencyUnits"), "days");
  EXPECT_EQ(Elements().size(), 1u);
  ASSERT_EQ(Started(1).size(), 1u);
  // Run now arms the schedule again.
  EXPECT_EQ(Command("F/?" + url), kPage + "#dashboard");
  EXPECT_EQ(Started(2).size(), 2u);
  EXPECT_EQ(Command("F/?" + url), kPage + "#dashboard");
  // A page not stored goes to the Add Favorite dialog.
  EXPECT_EQ(Command("F/?http://other.test/"), kPage + "#dashboard");
  EXPECT_EQ(Schedules().size(), 1u);
}

TEST_F(Favourites, FormsSubmittedFromStoredPages) {
  StartCorvex(
      "You are submitting from an offline form=>Yes\n"
      "Pellam Corvane: Add Favorite=>dialog: OK\n"
      "You are submitting from an offline form=>Yes\n"
      "Pellam Corvane: Add Favorite=>dialog: 1017=on; OK\n"
      "You are submitting from an offline form=>No\n");
  const std::string context = "http://[wrs;Local;Replicas.Web/kvwebrs.ldf]";
  std::string reply = Send("GET " + context + "forms.test/search?q=one+two HTTP/1.1\r\n"
                           "Host: forms.test\r\nReferer: " + context + "forms.test/\r\n\r\n");
  EXPECT_EQ(reply.rfind("HTTP/1.1 204 No Content", 0), 0u) << reply;
  std::string post = "POST " + context +
                     "forms.test/post HTTP/1.1\r\nHost: forms.test\r\nContent-Type: "
                     "application/x-www-form-urlencoded\r\nContent-Length: 7\r\n\r\na=1&b=2";
  reply = Send(post);
  EXPECT_EQ(reply.rfind("HTTP/1.1 204 No Content", 0), 0u) << reply;
  std::vector<VXNoteId> ids = Schedules();
  ASSERT_EQ(ids.size(), 2u);
  VXNoteId get = ids[0], posted = ids[1];
  if (Item(config_, get, "OfflineFormMethod") != "GET") std::swap(get, posted);
  EXPECT_EQ(Item(config_, get, "OfflineFormMethod"), "GET");
  EXPECT_EQ(Item(config_, get, "StartingURL"), "http://forms.test/search?q=one+two");
  EXPECT_EQ(Item(config_, get, "DeleteSelfAfterRun"), "Y");
  EXPECT_EQ(Item(config_, posted, "OfflineFormMethod"), "POST");
  // The whole request as the browser sent it, without the replica context.
  std::string stored = Item(config_, posted, "StartingURL");
  EXPECT_EQ(stored.rfind("POST http://forms.test/post HTTP/1.1\r\nHost: forms.test\r\n", 0), 0u)
      << stored;
  EXPECT_EQ(stored.substr(stored.size() - 11), "\r\n\r\na=1&b=2");
  EXPECT_EQ(Item(config_, posted, "DeleteSelfAfterRun"), "N");
  for (VXNoteId id : {get, posted}) {
    EXPECT_EQ(Item(config_, id, "BoundingURLs"), "");
    EXPECT_EQ(Item(config_, id, "Title"), "(untitled results)");
    EXPECT_EQ(Item(config_, id, "Enabled"), "Enabled");
  }
  EXPECT_TRUE(Elements().empty());
  // No: nothing is stored and the browser stays on its page.
  reply = Send("GET " + context + "forms.test/search?q=3 HTTP/1.1\r\nHost: forms.test\r\nReferer: " +
               context + "forms.test/\r\n\r\n");
  EXPECT_EQ(reply.rfind("HTTP/1.1 204 No Content", 0), 0u) << reply;
  EXPECT_EQ(Schedules().size(), 2u);
}

TEST_F(Favourites, LinesPerViewPage) {
  for (int i = 0; i < 10; ++i) {
    VXHandle doc = 0;
    ASSERT_EQ(VXDocumentCreate(config_, "Schedule", &doc), kVXOk);
    ASSERT_EQ(jobs::PutTextItem(doc, "Title", "Schedule " + std::to_string(i)), kVXOk);
    ASSERT_EQ(VXDocumentSave(doc, 0), kVXOk);
    VXDocumentClose(doc, 0);
  }
  StartCorvex("Pellam Corvane=>dialog: 1000=3\nPellam Corvane=>dialog: 1000=0\n");
  const std::string view = "http://[kv]/Local:/kvconfig.ldf:/V/Schedules by Name/";
  auto get = [&](const std::string& url) {
    return Send("GET " + url + " HTTP/1.1\r\nHost: x\r\nReferer: " + view + "\r\n\r\n");
  };
  // The rows of the view's body: all ten, then three a page.
  std::string rows = get(view + "R/");
  EXPECT_NE(rows.find("Schedule 9"), std::string::npos) << rows.substr(0, 3000);
  (void)get(view + "XL/");
  rows = get(view + "R/");
  EXPECT_NE(rows.find("Schedule 2"), std::string::npos) << rows.substr(0, 3000);
  EXPECT_EQ(rows.find("Schedule 3"), std::string::npos);
  // A view page of no rows is not taken.
  (void)get(view + "XL/");
  rows = get(view + "R/");
  EXPECT_NE(rows.find("Schedule 2"), std::string::npos);
  EXPECT_EQ(rows.find("Schedule 3"), std::string::npos);
}

TEST_F(Favourites, IdFileDialogChecksAndStoresThePath) {
  std::string id_file = folder_ + "/user.id";
  std::ofstream(id_file) << "id";
  StartCorvex("file: " + folder_ + "/user.txt\nfile: " + id_file + "\nThank you=>No\n");
  EXPECT_EQ(Command("A/"), kPage + "#dashboard");
  std::vector<VXNoteId> config = Select(config_, "Select Form=\"Configuration\"");
  ASSERT_EQ(config.size(), 1u);
  EXPECT_EQ(Item(config_, config[0], "LedraIDfile"), id_file);
  std::ifstream ini(prog_ + "/ledra.ini");
  std::stringstream text;
  text << ini.rdbuf();
  EXPECT_NE(text.str().find("KeyFilename=" + id_file), std::string::npos) << text.str();
  EXPECT_TRUE(os::ProcessIsRunning(corvex_)) << "restarted though the answer was No";
}

}  // namespace
