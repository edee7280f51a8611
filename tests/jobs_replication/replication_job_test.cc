// The Ledra-data replication job over real databases: a configuration
// database made from the shipped design, a Schedule as the favourite
// dialog writes it, a server folder with the source database. The job's
// log lines, status dialog, message boxes and result are captured.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "jobs/replication_job.h"
#include "ledra/core_calls.h"
#include "ledra/design_source.h"
#include "ledra/formula/formula_calls.h"
#include "ledra/note_store.h"
#include "ledra/vxapi.h"

namespace {

namespace fs = std::filesystem;
using namespace jobs::replication;

std::string Message() {
  uint32_t code = 0, detail = 0;
  char text[kVXErrorTextSize];
  VXErrorFetch(&code, &detail, text);
  return text;
}

class ReplicationJobTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/corvane_repljob_XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
    std::ofstream(dir_ + "/ledra.ini") << "Directory=data\nServer.Hub=hub\n";
    fs::create_directories(dir_ + "/data");
    fs::create_directories(dir_ + "/hub");
    setenv("CORVANE_LEDRA_INI", (dir_ + "/ledra.ini").c_str(), 1);
    ASSERT_EQ(_VXInit(0x45004, nullptr, nullptr, nullptr), kVXOk);
    // The configuration database from its shipped design.
    std::ifstream in(CORVANE_SOURCE_DIR "/resources/designs/kvconfig.json");
    std::stringstream text;
    text << in.rdbuf();
    ledra::DesignSource design;
    ASSERT_EQ(ledra::ParseDesignSource(text.str(), ledra::ParseOptions(), &design), kVXOk)
        << Message();
    ASSERT_EQ(VXDatabaseCreate("Local", "kvconfig.ldf", "Corvane Configuration"), kVXOk);
    {
      std::unique_ptr<ledra::NoteStore> store;
      ASSERT_EQ(ledra::NoteStore::Open(dir_ + "/data/kvconfig.ldf", "kvconfig", 5000, &store),
                kVXOk);
      ASSERT_EQ(ledra::ApplyDesignSource(store.get(), design), kVXOk) << Message();
    }
    ASSERT_EQ(VXDatabaseOpen("Local", "kvconfig.ldf", 0, &config_), kVXOk);
    // The source database on the server.
    ASSERT_EQ(VXDatabaseCreate("Hub", "sales.ldf", "Sales figures"), kVXOk);
    Add("Hub", "sales.ldf", "east 1", "East");
    Add("Hub", "sales.ldf", "west 1", "West");
  }
  void TearDown() override {
    VXDatabaseClose(config_, 0);
    VXTerm(0);
    std::error_code ec;
    fs::remove_all(dir_, ec);
  }

  void Add(const char* server, const char* path, const std::string& subject,
           const std::string& region) {
    VXHandle db = 0, doc = 0;
    ASSERT_EQ(VXDatabaseOpen(server, path, 0, &db), kVXOk) << Message();
    ASSERT_EQ(VXDocumentCreate(db, "Memo", &doc), kVXOk);
    ASSERT_EQ(VXItemPut(doc, "Subject", 0, 0, kVXTypeText, subject.c_str(), 0), kVXOk);
    ASSERT_EQ(VXItemPut(doc, "Region", 0, 0, kVXTypeText, region.c_str(), 0), kVXOk);
    ASSERT_EQ(VXDocumentClose(doc, 0x10000), kVXOk) << Message();
    ASSERT_EQ(VXDatabaseClose(db, 0), kVXOk);
  }

  // A Schedule as the favourite dialog writes it for a Ledra database,
  // with the Ledra-job options given.
  VXNoteId Schedule(const std::map<std::string, std::string>& options,
                    const std::string& replica = "Replicas.Ldr\\sales.ldf") {
    VXHandle doc = 0;
    EXPECT_EQ(VXDocumentCreate(config_, "Schedule", &doc), kVXOk) << Message();
    std::map<std::string, std::string> items = {{"RemoteServer", "Hub"},
                                                {"RemoteSource", "sales.ldf"},
                                                {"LocalReplica", replica},
                                                {"IsLedra", "Y"},
                                                {"StartingURL", "http://[kv]/Hub:/sales.ldf:/"}};
    for (const auto& [name, value] : options) items[name] = value;
    for (const auto& [name, value] : items) {
      if (value == "<none>") continue;
      EXPECT_EQ(VXItemPut(doc, name.c_str(), 0, 0, kVXTypeText, value.c_str(), 0), kVXOk);
    }
    EXPECT_EQ(VXDocumentSave(doc, 0x10000), kVXOk) << Message();
    VXNoteId id = 0;
    EXPECT_EQ(VXDocumentGetProperty(doc, kDocPropNoteId, &id, sizeof id), kVXOk);
    EXPECT_EQ(VXDocumentClose(doc, 0), kVXOk);
    return id;
  }

  ReplicationJobResult Run(VXNoteId schedule) {
    log_.clear();
    boxes_.clear();
    statuses_.clear();
    ReplicationJobHost host;
    host.log = [this](std::string_view line) { log_.emplace_back(line); };
    host.status = [this](std::string_view message, int ms, bool force) {
      statuses_.push_back(std::string(message) + "|" + std::to_string(ms) + "|" +
                          (force ? "forced" : "not forced"));
    };
    host.message_box = [this](std::string_view text, std::string_view title) {
      boxes_.push_back(std::string(title) + ": " + std::string(text));
    };
    host.pause = [this](int ms) { paused_ms_ += ms; };
    return ReplicateLedraData(config_, schedule, host);
  }

  int32_t Property(const char* path, uint32_t property) {
    VXHandle db = 0;
    int32_t value = -1;
    EXPECT_EQ(VXDatabaseOpen("Local", path, 0, &db), kVXOk) << Message();
    EXPECT_EQ(VXDatabaseGetProperty(db, property, &value, sizeof value), kVXOk);
    VXDatabaseClose(db, 0);
    return value;
  }
  size_t Documents(const char* server, const char* path) {
    std::unique_ptr<ledra::NoteStore> store;
    std::string file = dir_ + (std::string(server) == "Hub" ? "/hub/" : "/data/") + path;
    EXPECT_EQ(ledra::NoteStore::Open(file, file, 5000, &store), kVXOk);
    return store ? store->NotesOfClass(kVXClassDocument).size() : 0;
  }
  // The replica's replication-formula notes, as text items and formula.
  std::vector<std::string> FormulaNotes(const char* path) {
    std::vector<std::string> out;
    std::unique_ptr<ledra::NoteStore> store;
    std::string file = dir_ + "/data/" + path;
    EXPECT_EQ(ledra::NoteStore::Open(file, file, 5000, &store), kVXOk);
    for (VXNoteId id : store->NotesOfClass(kVXClassReplFormula)) {
      ledra::Note note;
      EXPECT_EQ(store->Load(id, &note), kVXOk);
      std::string described;
      for (const ledra::Item& item : note.items) {
        std::string value = item.value;
        if (item.type == kVXTypeFormula) {
          VXHandle text = 0;
          uint32_t length = 0;
          EXPECT_EQ(LCFormulaDecompile(item.value.data(), static_cast<uint32_t>(item.value.size()),
                                       &text, &length),
                    kVXOk);
          value = std::string(static_cast<const char*>(LCMemLock(text)), length);
          (void)LCMemUnlock(text);
          (void)LCMemFree(text);
        }
        for (char& c : value) {
          if (c == '\0') c = ',';
        }
        described += item.name + "=" + value + ";";
      }
      out.push_back(described);
    }
    return out;
  }

  std::string dir_;
  VXHandle config_ = 0;
  std::vector<std::string> log_, boxes_, statuses_;
  int paused_ms_ = 0;
};

TEST_F(ReplicationJobTest, AFirstRunMakesTheReplicaWithATwentyYearCutOffAndLogsEveryStep) {
  ReplicationJobResult result = Run(Schedule({{"Encryption_N", "Medium"}, {"Compact", "Y"}}));
  std::vector<std::string> expected = {
      "\n\nBeginning Ledra-data replications...\n",
      "Beginning Replication of sales.ldf from Hub as LOCAL Replicas.Ldr\\sales.ldf, cutoff 0",
      "Initializing NEW Local Replica...",
      "DONE.\n",
      "Purging old docs...",
      "DONE.\n",
      "Replicating...",
      "Finished:",
      "Received: 0 additions, 0 deletions, 0 updates",
      "Send: 0 additions, 0 deletions, 0 updates",
      "DONE.\n",
      "Finished with Ledra-data replication.\n",
  };
  EXPECT_EQ(log_, expected);
  EXPECT_EQ(statuses_, std::vector<std::string>{"Background processing started|3000|not forced"});
  EXPECT_TRUE(boxes_.empty()) << boxes_[0];
  EXPECT_EQ(paused_ms_, 3000);
  EXPECT_EQ(result.result_title, "Sales figures");
  EXPECT_EQ(result.target_path, "Replicas.Ldr\\sales.ldf");
  EXPECT_EQ(result.closing_address, "http://[kv]/Local:/Replicas.Ldr\\sales.ldf:/");
  EXPECT_EQ(result.compact, 'Y');
  EXPECT_EQ(result.auto_full_text_index, 'N');  // the Schedule form's default
  EXPECT_TRUE(result.replicated);
  EXPECT_EQ(result.error_reports, 0);

  EXPECT_EQ(Documents("Local", "Replicas.Ldr/sales.ldf"), 2u);
  EXPECT_EQ(Property("Replicas.Ldr/sales.ldf", kDbPropEncryptionLevel), 2);
  EXPECT_EQ(Property("Replicas.Ldr/sales.ldf", kDbPropCutoffDays), 7300);
  EXPECT_EQ(Property("Replicas.Ldr/sales.ldf", kDbPropReplOptions), 128);
  VXHandle db = 0;
  ASSERT_EQ(VXDatabaseOpen("Local", "Replicas.Ldr/sales.ldf", 0, &db), kVXOk);
  LCReplicationInfo info;
  ASSERT_EQ(LCReplicationInfoGet(db, &info), kVXOk);
  ledra::Datetime now;
  ASSERT_EQ(VXDatetimeNow(&now), kVXOk);
  int32_t days = 0;
  ASSERT_EQ(VXDatetimeDifference(&now, &info.cutoff, 5, &days), kVXOk);
  EXPECT_EQ(days, 7300);
  VXDatabaseClose(db, 0);
}

TEST_F(ReplicationJobTest, EncryptionWordsAndDigitsGiveTheNewReplicasLevel) {
  struct {
    const char* value;
    int32_t level;
  } cases[] = {{"Medium", 2}, {"4", 3}, {"simple", 1}, {"2", 1},     {"STRONG", 3},
               {"3des", 2},   {"", 0},  {"none", 0},   {"<none>", 0}};
  int n = 0;
  for (const auto& c : cases) {
    std::string path = "Replicas.Ldr/r" + std::to_string(n++) + ".ldf";
    Run(Schedule({{"Encryption_N", c.value}}, path));
    EXPECT_EQ(Property(path.c_str(), kDbPropEncryptionLevel), c.level) << c.value;
  }
  EXPECT_EQ(EncryptionOption("medium"), 0x2000000u);
}

TEST_F(ReplicationJobTest, ALaterRunOpensTheReplicaAndCountsWhatMovedBothWays) {
  VXNoteId schedule = Schedule({{"CutOff", "0"}});
  Run(schedule);
  Add("Hub", "sales.ldf", "east 2", "East");
  Add("Hub", "sales.ldf", "west 2", "West");
  Add("Local", "Replicas.Ldr/sales.ldf", "here", "North");
  ReplicationJobResult result = Run(schedule);
  std::vector<std::string> expected = {
      "\n\nBeginning Ledra-data replications...\n",
      "Beginning Replication of sales.ldf from Hub as LOCAL Replicas.Ldr\\sales.ldf, cutoff 0",
      "Opening Local Replica...",
      "DONE.\n",
      "Replicating...",
      "Finished:",
      "Received: 2 additions, 0 deletions, 0 updates",
      "Send: 1 additions, 0 deletions, 0 updates",
      "DONE.\n",
      "Finished with Ledra-data replication.\n",
  };
  EXPECT_EQ(log_, expected);
  EXPECT_EQ(result.statistics.received_additions, 2u);
  EXPECT_EQ(Documents("Hub", "sales.ldf"), 5u);
  EXPECT_EQ(Documents("Local", "Replicas.Ldr/sales.ldf"), 5u);
}

TEST_F(ReplicationJobTest, TheFormulaIsReplacedOnlyByOneThatCompiles) {
  const std::string east = "SELECT Region = \"East\"";
  VXNoteId schedule = Schedule({{"ReplicationFormula", east}});
  Run(schedule);
  ASSERT_EQ(log_.back(), "Finished with Ledra-data replication.\n");
  char user[256] = {};
  ASSERT_EQ(VXGetProperty(kVXPropUserName, user, sizeof user), kVXOk);
  std::vector<std::string> formula = {
      "$TITLE=" + std::string(user) +
      ";$ReplVersion=1;$ReplSrcServers=-,;$ReplClassMasks=2047,;$ReplFormula=" + east + ";"};
  EXPECT_EQ(FormulaNotes("Replicas.Ldr/sales.ldf"), formula);
  // The west document the copy brought goes from the replica.
  EXPECT_EQ(Documents("Local", "Replicas.Ldr/sales.ldf"), 1u);

  // An empty formula, and a formula that does not compile, leave it alone;
  // the replication still runs under it.
  struct {
    const char* text;
    int reports;
  } cases[] = {{"", 0}, {"SELECT (Region = ", 1}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    VXHandle doc = 0;
    ASSERT_EQ(VXDocumentOpen(config_, schedule, 0, &doc), kVXOk);
    ASSERT_EQ(VXItemPut(doc, "ReplicationFormula", 0, 0, kVXTypeText, c.text, 0), kVXOk);
    ASSERT_EQ(VXDocumentClose(doc, 0x10000), kVXOk);
    Add("Hub", "sales.ldf", std::string("west for ") + c.text, "West");
    ReplicationJobResult result = Run(schedule);
    EXPECT_EQ(result.error_reports, c.reports);
    EXPECT_EQ(FormulaNotes("Replicas.Ldr/sales.ldf"), formula);
    EXPECT_EQ(Documents("Local", "Replicas.Ldr/sales.ldf"), 1u);
    EXPECT_TRUE(result.replicated);
    if (c.reports == 1) {
      ASSERT_EQ(boxes_.size(), 1u);
      EXPECT_EQ(boxes_[0].rfind(
                    "Pellam Corvane: Ledra Replication Error: The replication formula was not "
                    "changed: it does not compile (",
                    0),
                0u)
          << boxes_[0];
      EXPECT_NE(
          std::find(log_.begin(), log_.end(), "\nLedra Error: " + boxes_[0].substr(41) + "\n\n"),
          log_.end());
    }
  }
}

TEST_F(ReplicationJobTest, FailuresAreReportedAndTheJobStillEnds) {
  struct Case {
    const char* name;
    std::map<std::string, std::string> options;
    bool bad_id;
    std::vector<std::string> expected;
  } cases[] = {
      {"server folder missing",
       {{"RemoteServer", "Gone"}},
       false,
       {"\n\nBeginning Ledra-data replications...\n",
        "Beginning Replication of sales.ldf from Gone as LOCAL Replicas.Ldr\\sales.ldf, cutoff 0",
        "Initializing NEW Local Replica...", "<error>", "ERROR, skipping!\n", "Replicating...",
        "<error>", "DONE.\n", "Finished with Ledra-data replication.\n"}},
      {"source item missing",
       {{"RemoteSource", "<none>"}},
       false,
       {"\n\nBeginning Ledra-data replications...\n", "<error>", "ERROR, skipping!\n",
        "Replicating...", "<error>", "DONE.\n", "Finished with Ledra-data replication.\n"}},
      {"no such Schedule document",
       {},
       true,
       {"\n\nBeginning Ledra-data replications...\n", "<error>", "ERROR, skipping!\n",
        "Replicating...", "<error>", "DONE.\n", "Finished with Ledra-data replication.\n"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    VXNoteId schedule = Schedule(c.options);
    ReplicationJobResult result = Run(c.bad_id ? 999999 : schedule);
    std::vector<std::string> shape;
    for (const std::string& line : log_) {
      shape.push_back(line.rfind("\nLedra Error: ", 0) == 0 ? "<error>" : line);
    }
    EXPECT_EQ(shape, c.expected);
    EXPECT_EQ(boxes_.size(), 2u);
    EXPECT_TRUE(result.result_title.empty());
    EXPECT_FALSE(result.replicated);
    EXPECT_FALSE(fs::exists(dir_ + "/data/Replicas.Ldr/sales.ldf"));
  }
  // The message names what went wrong.
  Run(Schedule({{"RemoteServer", "Gone"}}));
  EXPECT_EQ(boxes_[0],
            "Pellam Corvane: Ledra Replication Error: Server Gone not found (not named in " + dir_ +
                "/ledra.ini)");
}

TEST_F(ReplicationJobTest, AnUnreachableServerOnALaterRunLeavesTheReplicaAsItWas) {
  VXNoteId schedule = Schedule({});
  Run(schedule);
  fs::rename(dir_ + "/hub", dir_ + "/hub.away");
  ReplicationJobResult result = Run(schedule);
  EXPECT_EQ(result.result_title, "Sales figures");  // the replica itself was fine
  EXPECT_FALSE(result.replicated);
  ASSERT_EQ(boxes_.size(), 1u);
  EXPECT_NE(boxes_[0].find("Server Hub cannot be reached: its folder "), std::string::npos)
      << boxes_[0];
  EXPECT_EQ(Documents("Local", "Replicas.Ldr/sales.ldf"), 2u);
}

}  // namespace
