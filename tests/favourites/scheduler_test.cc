// The scheduler of corvex, through the program: due schedules start the
// job task within one check, their activation times move forward, one-time
// schedules are disabled, and no more jobs run than the limit allows. The
// job task is a stand-in here (a script recording its argument and
// waiting for a release file); tests/jobs has the real one end to end.
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "jobs/documents.h"
#include "ledra/vxapi.h"
#include "os/files.h"
#include "os/process.h"
#include "os/sync.h"
#include "tests/common/program_folder.h"

namespace {

constexpr int kSettleMs = 200;
constexpr int kTickMs = 400;

class Scheduler : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = MakeTempFolder("scheduler");
    ASSERT_FALSE(folder_.empty());
    prog_ = folder_ + "/prog";
    ASSERT_TRUE(InstallProgramFolder(prog_));
    // The stand-in job task.
    std::ofstream(prog_ + "/corvjobs")
        << "#!/bin/sh\necho \"$1\" >> started.txt\n"
           "while [ ! -e release ]; do sleep 0.05; done\necho \"$1\" >> ended.txt\n";
    chmod((prog_ + "/corvjobs").c_str(), 0755);
    old_folder_ = os::WorkingFolder();
    ASSERT_EQ(chdir(prog_.c_str()), 0);
    setenv("CORVANE_LEDRA_INI", (prog_ + "/ledra.ini").c_str(), 1);
    setenv("CORVANE_LOCALPORT", "0", 1);
    setenv("CORVANE_REGISTRY", (folder_ + "/registry").c_str(), 1);
    setenv("CORVANE_SCHEDULER_SETTLE_MS", std::to_string(kSettleMs).c_str(), 1);
    setenv("CORVANE_SCHEDULER_TICK_MS", std::to_string(kTickMs).c_str(), 1);
    // The network test answers on loopback, not through name servers that a
    // closed build machine may not reach.
    setenv("CORVANE_NETWORK_TEST_HOST", "127.0.0.1", 1);
    ASSERT_EQ(_VXInit(0x45004, nullptr, nullptr, nullptr), kVXOk);
    ASSERT_EQ(VXDatabaseOpen("Local", "kvconfig.ldf", 0, &config_), kVXOk);
  }

  void TearDown() override {
    std::ofstream(prog_ + "/release").close();
    if (corvex_ > 0) {
      kill(corvex_, SIGTERM);
      for (int i = 0; i < 200 && os::ProcessIsRunning(corvex_); ++i) os::SleepMs(50);
    }
    VXDatabaseClose(config_, 0);
    VXTerm(0);
    (void)chdir(old_folder_.c_str());
    os::SleepMs(200);  // the stand-ins see the release file and end
    std::error_code ec;
    std::filesystem::remove_all(folder_, ec);
  }

  void StartCorvex() {
    ASSERT_EQ(os::ProcessStart(prog_ + "/corvex", {}, &corvex_), os::ProcessStatus::kOk);
    started_at_ = std::chrono::steady_clock::now();
  }

  VXNoteId AddSchedule(const std::vector<std::pair<std::string, std::string>>& items) {
    VXHandle doc = 0;
    EXPECT_EQ(VXDocumentCreate(config_, "Schedule", &doc), kVXOk);
    for (const auto& [name, value] : items)
      EXPECT_EQ(jobs::PutTextItem(doc, name.c_str(), value), kVXOk);
    EXPECT_EQ(VXDocumentSave(doc, 0), kVXOk);
    VXNoteId id = 0;
    EXPECT_EQ(VXDocumentGetProperty(doc, kDocPropNoteId, &id, sizeof id), kVXOk);
    VXDocumentClose(doc, 0);
    return id;
  }

  std::string Item(VXNoteId id, const char* name) {
    VXHandle doc = 0;
    if (VXDocumentOpen(config_, id, 0, &doc) != kVXOk) return "<gone>";
    std::string value = jobs::TextItem(doc, name);
    VXDocumentClose(doc, kVXCloseDiscard);
    return value;
  }
  ledra::Datetime Date(VXNoteId id, const char* name) {
    VXHandle doc = 0;
    ledra::Datetime value;
    value.ticks = 0;
    if (VXDocumentOpen(config_, id, 0, &doc) != kVXOk) return value;
    (void)jobs::ReadDatetimeItem(doc, name, &value);
    VXDocumentClose(doc, kVXCloseDiscard);
    return value;
  }

  // The ids the stand-in recorded in `file`, waiting until there are `count`.
  std::vector<std::string> Lines(const std::string& file, size_t count, int wait_ms = 10000) {
    std::vector<std::string> lines;
    for (int waited = 0; waited <= wait_ms; waited += 50) {
      lines.clear();
      std::ifstream in(prog_ + "/" + file);
      std::string line;
      while (std::getline(in, line)) lines.push_back(line);
      if (lines.size() >= count) break;
      os::SleepMs(50);
    }
    return lines;
  }

  std::string folder_, prog_, old_folder_;
  VXHandle config_ = 0;
  int corvex_ = 0;
  std::chrono::steady_clock::time_point started_at_;
};

TEST_F(Scheduler, DueSchedulesStartOnceAndMoveForward) {
  ledra::Datetime now = jobs::PlatformNow();
  ledra::Datetime three_days_ago = now;
  three_days_ago.ticks -= 3 * ledra::kTicksPerDay + ledra::kTicksPerHour;
  ledra::Datetime tomorrow = now;
  tomorrow.ticks += ledra::kTicksPerDay;
  VXNoteId once = AddSchedule({{"NextActivation", "1/1/95"}, {"Frequency", "0"}});
  VXNoteId daily = AddSchedule({{"Frequency", "1"}, {"FrequencyUnits", "days"}});
  VXNoteId hourly = AddSchedule({{"Frequency", "1"}, {"FrequencyUnits", "hours"}});
  VXNoteId later = AddSchedule({{"Frequency", "1"}});
  VXNoteId disabled = AddSchedule({{"NextActivation", "1/1/95"}, {"Enabled", "Disabled"}});
  for (auto [id, when] : {std::pair{daily, three_days_ago}, std::pair{hourly, three_days_ago},
                          std::pair{later, tomorrow}}) {
    VXHandle doc = 0;
    ASSERT_EQ(VXDocumentOpen(config_, id, 0, &doc), kVXOk);
    ASSERT_EQ(jobs::PutDatetimeItem(doc, "NextActivation", when), kVXOk);
    VXDocumentClose(doc, kVXCloseKeep);
  }
  StartCorvex();
  std::vector<std::string> started = Lines("started.txt", 3);
  auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(
                     std::chrono::steady_clock::now() - started_at_)
                     .count();
  EXPECT_LT(elapsed, kSettleMs + kTickMs + 5000) << "started only after " << elapsed << " ms";
  // Later checks start nothing more: each moved forward past now.
  os::SleepMs(3 * kTickMs);
  started = Lines("started.txt", 3, 0);
  EXPECT_EQ(
      std::set<std::string>(started.begin(), started.end()),
      (std::set<std::string>{std::to_string(once), std::to_string(daily), std::to_string(hourly)}));
  EXPECT_EQ(started.size(), 3u);

  EXPECT_EQ(Item(once, "Enabled"), "Disabled");
  EXPECT_EQ(Item(daily, "Enabled"), "Enabled");
  ledra::Datetime after = jobs::PlatformNow();
  ledra::Datetime next_daily = Date(daily, "NextActivation");
  EXPECT_GT(next_daily.ticks, now.ticks);
  EXPECT_LE(next_daily.ticks, after.ticks + ledra::kTicksPerDay);
  EXPECT_EQ((next_daily.ticks - three_days_ago.ticks) % ledra::kTicksPerDay, 0);
  EXPECT_EQ(Date(daily, "LastActivation").ticks, three_days_ago.ticks);
  ledra::Datetime next_hourly = Date(hourly, "NextActivation");
  EXPECT_GT(next_hourly.ticks, now.ticks);
  EXPECT_LE(next_hourly.ticks, after.ticks + ledra::kTicksPerHour);
  EXPECT_EQ(Item(disabled, "Enabled"), "Disabled");
  EXPECT_EQ(Date(later, "NextActivation").ticks, tomorrow.ticks);
}

TEST_F(Scheduler, NoMoreJobsThanTheLimit) {
  ASSERT_EQ(VXSetEnvironmentString("$Corvane_Number_Replicators_Allowed", "2", 1), kVXOk);
  for (int i = 0; i < 4; ++i) AddSchedule({{"NextActivation", "1/1/95"}, {"Frequency", "0"}});
  StartCorvex();
  EXPECT_EQ(Lines("started.txt", 2).size(), 2u);
  os::SleepMs(3 * kTickMs);
  EXPECT_EQ(Lines("started.txt", 3, 0).size(), 2u) << "a job beyond the limit started";
  std::ofstream(prog_ + "/release").close();
  EXPECT_EQ(Lines("started.txt", 4).size(), 4u);
  EXPECT_EQ(Lines("ended.txt", 4).size(), 4u);
}

}  // namespace
