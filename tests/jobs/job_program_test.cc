// The corvjobs program as a whole: its argument forms, the closing message
// and status file, the closing steps (one-time schedules, full-text
// index), a close request during a crawl, and, end to end, corvex starting
// it for a due schedule. The Ledra-data replication run by the program is
// tested in tests/jobs_replication.
#include <signal.h>

#include "os/process.h"
#include "tests/jobs/job_fixture.h"

namespace {

class JobProgram : public JobTest {
 protected:
  bool Exists(VXNoteId id) {
    VXHandle doc = 0;
    if (VXDocumentOpen(config_, id, 0, &doc) != kVXOk) return false;
    VXDocumentClose(doc, kVXCloseDiscard);
    return true;
  }
};

TEST_F(JobProgram, ArgumentFormsAndClosingMessages) {
  WriteSite("/index.htm", "<html><title>Q</title>x</html>");
  Origin origin = StartOrigin();
  VXNoteId id = AddSchedule(
      {{"StartingURL", origin.Url("/index.htm")}, {"Title", "Say \"hi\""}, {"QuietMode", "Y"}});
  EXPECT_EQ(RunJobs("http://[kv]/Local:/kvconfig.ldf:/E/" + std::to_string(id) + "/LR/0"), 0);
  std::string status = StatusFile();
  EXPECT_EQ(status.rfind("<a target=_top href='http://[wr;Local;Replicas.Web;kvwebrs.ldf]" +
                             origin.Host() +
                             "/index.htm'>Processing completed for Favorite "
                             "''Say ''hi'''' on ",
                         0),
            0u)
      << status;
  EXPECT_EQ(status.find('\n'), std::string::npos);
  EXPECT_NE(JobLog().find("Startup argument: http://[kv]/Local:/kvconfig.ldf:/E/"),
            std::string::npos);

  EXPECT_EQ(RunJobs("no number here"), 0);
  EXPECT_NE(JobLog().find("* FAILED Ledra initialization: code=0"), std::string::npos);
  EXPECT_EQ(StatusFile(),
            "Replicator terminated prematurely.  Run again and watch the log to determine cause.");
}

TEST_F(JobProgram, ClosingStepsRemoveOneTimeSchedulesAndIndex) {
  WriteSite("/index.htm", "<html><title>O</title>words to find</html>");
  Origin origin = StartOrigin();
  VXNoteId waiting = AddSchedule({{"DeleteSelfAfterRun", "Y"}, {"NextActivation", "1/1/95"}});
  VXNoteId started = AddSchedule({{"DeleteSelfAfterRun", "Y"}, {"Enabled", "Disabled"}});
  VXNoteId own = AddSchedule({{"StartingURL", origin.Url("/index.htm")},
                              {"DeleteSelfAfterRun", "Y"},
                              {"Enabled", "Disabled"},
                              {"AutoFullTextIndex", "Y"},
                              {"Compact", "Y"}});
  EXPECT_EQ(RunJobs(std::to_string(own)), 0);
  EXPECT_FALSE(Exists(own));
  EXPECT_FALSE(Exists(started));
  EXPECT_TRUE(Exists(waiting)) << "a one-time schedule that has not run yet was removed";
  std::string log = JobLog();
  EXPECT_NE(log.find("Compacting database..."), std::string::npos);
  EXPECT_NE(log.find("Full-text indexing database..."), std::string::npos);
  EXPECT_EQ(log.find("failed: "), std::string::npos) << log;
  EXPECT_NE(StatusFile().find("Processing completed"), std::string::npos);
  VXHandle db = 0;
  ASSERT_EQ(VXDatabaseOpen("Local", common::kPageReplicaPath, 0, &db), kVXOk);
  int32_t indexed = 0;
  EXPECT_EQ(VXDatabaseGetProperty(db, kDbPropFtPresent, &indexed, sizeof indexed), kVXOk);
  EXPECT_EQ(indexed, 1);
  VXDatabaseClose(db, 0);
  EXPECT_TRUE(DatabaseSound());
}

TEST_F(JobProgram, CloseRequestStopsTheCrawlAndRunsTheClosingSteps) {
  std::string page = "<html><title>Slow</title>";
  std::string routes = "{";
  for (int i = 0; i < 20; ++i) {
    std::string path = "/s" + std::to_string(i) + ".htm";
    page += "<img src=\"" + path.substr(1) + "\">";
    routes += (i ? ", \"" : "\"") + path + "\": {\"delay\": 0.3}";
    WriteSite(path, "x");
  }
  WriteSite("/index.htm", page);
  Origin origin = StartOrigin(routes + "}");
  VXNoteId id = AddSchedule({{"StartingURL", origin.Url("/index.htm")},
                             {"Fidelity", "H"},
                             {"DeleteSelfAfterRun", "Y"},
                             {"Enabled", "Disabled"}});
  int pid = 0;
  ASSERT_EQ(os::ProcessStart(prog_ + "/corvjobs", {std::to_string(id)}, &pid),
            os::ProcessStatus::kOk);
  for (int i = 0; i < 400 && Requests(origin).size() < 3; ++i) os::SleepMs(25);
  kill(pid, SIGTERM);
  for (int i = 0; i < 600 && os::ProcessIsRunning(pid); ++i) os::SleepMs(50);
  EXPECT_FALSE(os::ProcessIsRunning(pid));
  EXPECT_LT(Requests(origin).size(), 21u);
  EXPECT_NE(JobLog().find("Processing interrupted at your request, shutting down replicator."),
            std::string::npos);
  EXPECT_EQ(StatusFile(),
            "Replicator terminated prematurely.  Run again and watch the log to determine cause.");
  EXPECT_FALSE(Exists(id));
  EXPECT_TRUE(DatabaseSound());
}

TEST_F(JobProgram, CorvexStartsTheJobForADueSchedule) {
  WriteSite("/index.htm", "<html><title>Kept</title><a href=\"next.htm\">n</a></html>");
  WriteSite("/next.htm", "<html><title>Next</title></html>");
  Origin origin = StartOrigin();
  VXNoteId id = AddSchedule({{"StartingURL", origin.Url("/index.htm")},
                             {"NextActivation", "1/1/95"},
                             {"Frequency", "0"},
                             {"CutOffLevels", "1"},
                             {"DeleteSelfAfterRun", "Y"}});
  setenv("CORVANE_LOCALPORT", "0", 1);
  setenv("CORVANE_REGISTRY", (folder_ + "/registry").c_str(), 1);
  setenv("CORVANE_SCHEDULER_SETTLE_MS", "100", 1);
  setenv("CORVANE_SCHEDULER_TICK_MS", "300", 1);
  int corvex = 0;
  ASSERT_EQ(os::ProcessStart(prog_ + "/corvex", {}, &corvex), os::ProcessStatus::kOk);
  bool stored = false;
  for (int i = 0; i < 600 && !stored; ++i) {
    os::SleepMs(100);
    stored = Element(origin.Host() + "/next.htm").has_content && !Exists(id);
  }
  kill(corvex, SIGTERM);
  for (int i = 0; i < 300 && os::ProcessIsRunning(corvex); ++i) os::SleepMs(50);
  EXPECT_TRUE(stored);
  EXPECT_NE(Element(origin.Host() + "/index.htm").content.find("<title>Kept</title>"),
            std::string::npos);
  EXPECT_TRUE(DatabaseSound());
}

}  // namespace
