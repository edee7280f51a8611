// The replication job inside the job task, with real processes: corvjobs
// run for a Schedule whose "IsLedra" is "Y" against a server folder named
// in ledra.ini, its log, closing steps and closing message; and corvex
// starting it for a due Schedule and then serving the replica's views.
#include <signal.h>
#include <sqlite3.h>

#include <algorithm>

#include "os/socket.h"
#include "tests/common/loopback_exchange.h"
#include "tests/jobs/job_fixture.h"

namespace {

namespace fs = std::filesystem;

constexpr char kReplica[] = "Replicas.Ldr/sales.ldf";
constexpr char kReplicaFile[] = "data/Replicas.Ldr/sales.ldf";
constexpr int64_t kTicksPerDay = 8640000;

class ReplicationProgram : public JobTest {
 protected:
  void SetUp() override {
    JobTest::SetUp();
    if (HasFatalFailure()) return;
    hub_ = folder_ + "/hub";
    fs::create_directories(hub_);
    std::ofstream(prog_ + "/ledra.ini", std::ios::app) << "Server.Hub=" << hub_ << "\n";
    std::string design = folder_ + "/sales.json";
    std::ofstream(design) << R"({"title": "Sales figures", "default_view": "Regions",
      "forms": [{"name": "Memo", "fields": [{"name": "Subject"}, {"name": "Region"}]}],
      "views": [{"name": "Regions", "selection": "SELECT @All", "columns": [
        {"title": "Region", "width": 10, "item": "Region", "sort": "ascending"},
        {"title": "Subject", "width": 30, "item": "Subject", "sort": "ascending"}]}],
      "documents": [
        {"items": {"Form": "Memo", "Subject": "east one", "Region": "East"}},
        {"items": {"Form": "Memo", "Subject": "west one", "Region": "West"}}]})";
    int code = -1;
    ASSERT_EQ(os::ProcessRun(prog_ + "/ledra", {"create", hub_ + "/sales.ldf", "--design", design},
                             60000, &code),
              os::ProcessStatus::kOk);
    ASSERT_EQ(code, 0);
  }

  // A Schedule for the hub's database as the favourite dialog writes it.
  VXNoteId LedraSchedule(std::map<std::string, std::string> items = {}) {
    std::map<std::string, std::string> all = {{"IsLedra", "Y"},
                                              {"RemoteServer", "Hub"},
                                              {"RemoteSource", "sales.ldf"},
                                              {"LocalReplica", kReplica},
                                              {"QuietMode", "Y"}};
    for (const auto& [name, value] : items) all[name] = value;
    return AddSchedule(all);
  }

  // Runs corvjobs for the Schedule; the log lines this run wrote.
  std::string Run(VXNoteId schedule) {
    size_t before = JobLog().size();
    EXPECT_EQ(RunJobs(std::to_string(schedule)), 0);
    return JobLog().substr(before);
  }

  void Add(const char* server, const char* path, const std::string& subject,
           const std::string& region, bool refused_element = false) {
    VXHandle db = 0, doc = 0;
    ASSERT_EQ(VXDatabaseOpen(server, path, 0, &db), kVXOk) << jobs::LastPlatformError();
    ASSERT_EQ(VXDocumentCreate(db, "Memo", &doc), kVXOk);
    ASSERT_EQ(jobs::PutTextItem(doc, "Form", "Memo"), kVXOk);
    ASSERT_EQ(jobs::PutTextItem(doc, "Subject", subject), kVXOk);
    ASSERT_EQ(jobs::PutTextItem(doc, "Region", region), kVXOk);
    if (refused_element) {
      double zero = 0;
      ASSERT_EQ(VXItemPut(doc, "ReturnCode", 0, 0, kVXTypeNumber, &zero, sizeof zero), kVXOk);
    }
    ASSERT_EQ(VXDocumentSave(doc, 0), kVXOk) << jobs::LastPlatformError();
    VXDocumentClose(doc, 0);
    VXDatabaseClose(db, 0);
  }
  // Sets the region of the document with that subject, or deletes it.
  void Change(const char* server, const char* path, const std::string& subject,
              const std::string& region) {
    VXHandle db = 0, doc = 0;
    ASSERT_EQ(VXDatabaseOpen(server, path, 0, &db), kVXOk);
    std::vector<VXNoteId> ids;
    ASSERT_EQ(jobs::SelectDocuments(db, "Select Subject=\"" + subject + "\"", &ids), kVXOk);
    ASSERT_EQ(ids.size(), 1u) << subject;
    if (region.empty()) {
      EXPECT_EQ(VXDocumentDelete(db, ids[0], 0), kVXOk);
    } else {
      ASSERT_EQ(VXDocumentOpen(db, ids[0], 0, &doc), kVXOk);
      EXPECT_EQ(jobs::PutTextItem(doc, "Region", region), kVXOk);
      EXPECT_EQ(VXDocumentSave(doc, 0), kVXOk);
      VXDocumentClose(doc, 0);
    }
    VXDatabaseClose(db, 0);
  }
  // "subject:region" of every memo, sorted.
  std::vector<std::string> Memos(const char* server, const char* path) {
    std::vector<std::string> memos;
    VXHandle db = 0;
    if (VXDatabaseOpen(server, path, 0, &db) != kVXOk) return {"<cannot open>"};
    std::vector<VXNoteId> ids;
    EXPECT_EQ(jobs::SelectDocuments(db, "Select Form=\"Memo\"", &ids), kVXOk);
    for (VXNoteId id : ids) {
      VXHandle doc = 0;
      if (VXDocumentOpen(db, id, kVXDocOpenReadOnly, &doc) != kVXOk) continue;
      memos.push_back(jobs::TextItem(doc, "Subject") + ":" + jobs::TextItem(doc, "Region"));
      VXDocumentClose(doc, kVXCloseDiscard);
    }
    VXDatabaseClose(db, 0);
    std::sort(memos.begin(), memos.end());
    return memos;
  }
  // Makes the newest document of a database file look unchanged for days.
  static void BackDateNewest(const std::string& file, int days) {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(file.c_str(), &db), SQLITE_OK);
    std::string sql = "UPDATE notes SET modified = modified - " +
                      std::to_string(days * kTicksPerDay) +
                      " WHERE note_id = (SELECT max(note_id) FROM notes WHERE class = 1)";
    EXPECT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr), SQLITE_OK);
    EXPECT_EQ(sqlite3_changes(db), 1);
    sqlite3_close(db);
  }

  // The log's lines from the job's first to its last, blank lines left
  // out.
  static std::vector<std::string> JobLines(const std::string& log) {
    std::vector<std::string> lines;
    std::istringstream in(log);
    std::string line;
    bool inside = false;
    while (std::getline(in, line)) {
      // The log file marks each line with the program and its process id.
      if (line.rfind("corvjobs[", 0) == 0) line.erase(0, line.find("] ") + 2);
      if (line == "Beginning Ledra-data replications...") inside = true;
      if (inside && !line.empty()) lines.push_back(line);
      if (line == "Finished with Ledra-data replication.") inside = false;
    }
    return lines;
  }

  std::string hub_;
};

TEST_F(ReplicationProgram, TheJobCopiesThenReplicatesBothWaysAndTheClosingStepsKeepTheDocuments) {
  // A document of the server that reads like a refused web element, long
  // unchanged: the closing steps must not take it from the replica (the
  // next replication would delete it on the server too).
  Add("Hub", "sales.ldf", "old note", "South", /*refused_element=*/true);
  BackDateNewest(hub_ + "/sales.ldf", 3);
  VXNoteId schedule = LedraSchedule({{"Compact", "Y"}, {"AutoFullTextIndex", "Y"}});

  std::string log = Run(schedule);
  std::vector<std::string> first = {
      "Beginning Ledra-data replications...",
      "Corvane Background Job Status: Background processing started",
      "Beginning Replication of sales.ldf from Hub as LOCAL Replicas.Ldr/sales.ldf, cutoff 0",
      "Initializing NEW Local Replica...",
      "DONE.",
      "Purging old docs...",
      "DONE.",
      "Replicating...",
      "Finished:",
      "Received: 0 additions, 0 deletions, 0 updates",
      "Send: 0 additions, 0 deletions, 0 updates",
      "DONE.",
      "Finished with Ledra-data replication.",
  };
  EXPECT_EQ(JobLines(log), first) << log;
  EXPECT_NE(log.find("Compacting database..."), std::string::npos) << log;
  EXPECT_NE(log.find("Full-text indexing database..."), std::string::npos);
  EXPECT_EQ(log.find("failed: "), std::string::npos) << log;
  EXPECT_EQ(log.find("Ledra Error"), std::string::npos) << log;
  std::string status = StatusFile();
  EXPECT_EQ(status.rfind("<a target=_top href='http://[kv]/Local:/Replicas.Ldr/sales.ldf:/'>"
                         "Processing completed for Ledra database ''Sales figures'' on ",
                         0),
            0u)
      << status;
  std::vector<std::string> memos = {"east one:East", "old note:South", "west one:West"};
  EXPECT_EQ(Memos("Local", kReplica), memos);
  VXHandle db = 0;
  ASSERT_EQ(VXDatabaseOpen("Local", kReplica, 0, &db), kVXOk);
  int32_t indexed = 0, cutoff_days = 0;
  EXPECT_EQ(VXDatabaseGetProperty(db, kDbPropFtPresent, &indexed, sizeof indexed), kVXOk);
  EXPECT_EQ(VXDatabaseGetProperty(db, kDbPropCutoffDays, &cutoff_days, sizeof cutoff_days), kVXOk);
  VXDatabaseClose(db, 0);
  EXPECT_EQ(indexed, 1);
  EXPECT_EQ(cutoff_days, 7300);

  // Changes on both sides: each moves once, and the counts say so.
  Add("Hub", "sales.ldf", "east two", "East");
  Change("Hub", "sales.ldf", "west one", "North");
  Add("Local", kReplica, "made here", "Here");
  Change("Local", kReplica, "east one", "");
  log = Run(schedule);
  std::vector<std::string> lines = JobLines(log);
  EXPECT_NE(std::find(lines.begin(), lines.end(), "Opening Local Replica..."), lines.end()) << log;
  EXPECT_NE(std::find(lines.begin(), lines.end(), "Received: 1 additions, 0 deletions, 1 updates"),
            lines.end())
      << log;
  EXPECT_NE(std::find(lines.begin(), lines.end(), "Send: 1 additions, 1 deletions, 0 updates"),
            lines.end())
      << log;
  memos = {"east two:East", "made here:Here", "old note:South", "west one:North"};
  EXPECT_EQ(Memos("Local", kReplica), memos);
  EXPECT_EQ(Memos("Hub", "sales.ldf"), memos);

  // Nothing left to move.
  lines = JobLines(Run(schedule));
  EXPECT_NE(std::find(lines.begin(), lines.end(), "Received: 0 additions, 0 deletions, 0 updates"),
            lines.end());
  EXPECT_NE(std::find(lines.begin(), lines.end(), "Send: 0 additions, 0 deletions, 0 updates"),
            lines.end());
  EXPECT_EQ(Memos("Hub", "sales.ldf"), memos);
  EXPECT_TRUE(DatabaseSound(kReplicaFile));
}

TEST_F(ReplicationProgram, AFailedReplicationIsReportedAndTheClosingMessageAsksForAnotherRun) {
  // A server that ledra.ini does not name: no replica, the error logged.
  std::string log = Run(LedraSchedule({{"RemoteServer", "Elsewhere"}}));
  EXPECT_NE(log.find("Ledra Error: Server Elsewhere not found"), std::string::npos) << log;
  EXPECT_NE(log.find("ERROR, skipping!"), std::string::npos);
  EXPECT_FALSE(os::FileExists(prog_ + "/" + kReplicaFile));
  EXPECT_EQ(StatusFile(),
            "Replicator terminated prematurely.  Run again and watch the log to determine cause.");

  // The server folder gone after the replica was made: the replica stays
  // as it was, and the closing message does not claim completion.
  VXNoteId schedule = LedraSchedule();
  Run(schedule);
  ASSERT_EQ(StatusFile().rfind("<a target=_top href='http://[kv]/Local:/Replicas.Ldr/sales.ldf:/'>"
                               "Processing completed for Ledra database ''Sales figures'' on ",
                               0),
            0u)
      << StatusFile();
  Add("Local", kReplica, "made here", "Here");
  fs::rename(hub_, hub_ + ".away");
  log = Run(schedule);
  EXPECT_NE(log.find("Ledra Error: Server Hub cannot be reached"), std::string::npos) << log;
  EXPECT_EQ(log.find("Finished:"), std::string::npos);
  EXPECT_EQ(StatusFile(),
            "Replicator terminated prematurely.  Run again and watch the log to determine cause.");
  std::vector<std::string> memos = {"east one:East", "made here:Here", "west one:West"};
  EXPECT_EQ(Memos("Local", kReplica), memos);
  EXPECT_TRUE(DatabaseSound(kReplicaFile));

  // Back again: the next run sends what waited.
  fs::rename(hub_ + ".away", hub_);
  std::vector<std::string> lines = JobLines(Run(schedule));
  EXPECT_NE(std::find(lines.begin(), lines.end(), "Send: 1 additions, 0 deletions, 0 updates"),
            lines.end());
  EXPECT_EQ(Memos("Hub", "sales.ldf"), memos);
}

TEST_F(ReplicationProgram, CorvexStartsTheJobForADueScheduleAndThenServesTheReplica) {
  VXNoteId id = LedraSchedule(
      {{"NextActivation", "1/1/95"}, {"Frequency", "0"}, {"DeleteSelfAfterRun", "Y"}});
  setenv("CORVANE_LOCALPORT", "0", 1);
  setenv("CORVANE_REGISTRY", (folder_ + "/registry").c_str(), 1);
  setenv("CORVANE_SCHEDULER_SETTLE_MS", "100", 1);
  setenv("CORVANE_SCHEDULER_TICK_MS", "300", 1);
  std::string out = folder_ + "/corvex.out";
  int corvex = 0;
  ASSERT_EQ(os::ProcessStart("/bin/sh", {"-c", "exec ./corvex >'" + out + "' 2>&1"}, &corvex),
            os::ProcessStatus::kOk);
  const std::string address = "http://[kv]/Local:/Replicas.Ldr/sales.ldf:/";
  bool done = false;
  for (int i = 0; i < 600 && !done; ++i) {
    os::SleepMs(100);
    done = StatusFile().rfind("<a target=_top href='" + address + "'>Processing completed", 0) == 0;
  }
  EXPECT_TRUE(done) << StatusFile() << "\n" << JobLog();
  uint16_t port = 0;
  std::string text = ReadFile(out);
  size_t at = text.find("corvex listening on 127.0.0.1 port ");
  if (at != std::string::npos) port = static_cast<uint16_t>(std::atoi(text.c_str() + at + 35));
  EXPECT_NE(port, 0) << text;

  if (done && port != 0) {
    std::string view =
        Exchange(port, "GET " + address + "V/Regions/R/ HTTP/1.0\r\nHost: [kv]\r\n\r\n");
    EXPECT_NE(view.find("east one"), std::string::npos) << view;
    EXPECT_NE(view.find("west one"), std::string::npos) << view;
    EXPECT_EQ(view.find("Ledra Error"), std::string::npos) << view;
    // The view's frameset, as the view's links open it.
    std::string frames =
        Exchange(port, "GET " + address + "V/Regions/LR/ HTTP/1.0\r\nHost: [kv]\r\n\r\n");
    EXPECT_NE(frames.find("<frameset"), std::string::npos) << frames;
  }
  kill(corvex, SIGTERM);
  for (int i = 0; i < 300 && os::ProcessIsRunning(corvex); ++i) os::SleepMs(50);
  EXPECT_FALSE(os::ProcessIsRunning(corvex));
  VXHandle doc = 0;
  EXPECT_NE(VXDocumentOpen(config_, id, 0, &doc), kVXOk) << "the one-time Schedule stayed";
  if (doc != 0) VXDocumentClose(doc, kVXCloseDiscard);
  EXPECT_TRUE(DatabaseSound(kReplicaFile));
}

}  // namespace
