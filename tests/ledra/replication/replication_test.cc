// Replication between database files on two and three servers: the new
// replica, additions, changes and deletions both ways with their counts,
// several replicas of one server, the selective formula and the cut-off.
#include <sqlite3.h>

#include "ledra/core_calls.h"
#include "ledra/formula/formula_calls.h"
#include "tests/ledra/replication/replication_fixture.h"

namespace {

TEST_F(ReplicationTest, ANewReplicaKeepsIdentitiesAndTimesAndItsFirstRunMovesNothing) {
  Create("Hub", "sales.ldf");
  VXUnid a = Add("Hub", "sales.ldf", "alpha");
  Tick();
  Add("Hub", "sales.ldf", "beta");
  CloseAll();
  CopyReplica("Hub", "sales.ldf", "Replicas.Ldr\\sales.ldf", 0x2000000);
  EXPECT_EQ(Contents("Local", "Replicas.Ldr/sales.ldf"), Contents("Hub", "sales.ldf"));

  // Same UNID, same creation and modification times on both sides.
  auto times = [&](const std::string& server, const std::string& path) {
    VXHandle db = Db(server, path);
    VXHandle doc = 0;
    EXPECT_EQ(VXDocumentOpen(db, VXDocumentLocateByUnid(db, &a), 0, &doc), kVXOk);
    ledra::Datetime created, modified;
    EXPECT_EQ(VXDocumentGetProperty(doc, kDocPropCreated, &created, sizeof created), kVXOk);
    EXPECT_EQ(VXDocumentGetProperty(doc, kDocPropModified, &modified, sizeof modified), kVXOk);
    VXDocumentClose(doc, 0);
    return std::make_pair(created.ticks, modified.ticks);
  };
  EXPECT_EQ(times("Local", "Replicas.Ldr/sales.ldf"), times("Hub", "sales.ldf"));
  int32_t level = 0;
  ASSERT_EQ(VXDatabaseGetProperty(Db("Local", "Replicas.Ldr/sales.ldf"), kDbPropEncryptionLevel,
                                  &level, 4),
            kVXOk);
  EXPECT_EQ(level, 2);
  CloseAll();
  EXPECT_EQ(Stats(Replicate("Replicas.Ldr/sales.ldf")),
            "received 0/0/0 sent 0/0/0 conflicts 0 purged 0");
  EXPECT_EQ(Stats(Replicate("Replicas.Ldr/sales.ldf")),
            "received 0/0/0 sent 0/0/0 conflicts 0 purged 0");
}

TEST_F(ReplicationTest, AdditionsChangesAndDeletionsTravelBothWaysWithExactCounts) {
  Create("Hub", "sales.ldf");
  VXUnid h1 = Add("Hub", "sales.ldf", "h1");
  VXUnid h2 = Add("Hub", "sales.ldf", "h2");
  VXUnid l1 = Add("Hub", "sales.ldf", "l1");
  VXUnid l2 = Add("Hub", "sales.ldf", "l2");
  CloseAll();
  CopyReplica("Hub", "sales.ldf", "sales.ldf");
  Tick();
  // On the server: two new, one changed, one deleted.
  Add("Hub", "sales.ldf", "h3");
  Add("Hub", "sales.ldf", "h4");
  Edit("Hub", "sales.ldf", h1, "h1 changed");
  Remove("Hub", "sales.ldf", h2);
  // Here: one new, one changed twice, one deleted.
  Add("Local", "sales.ldf", "l3");
  Edit("Local", "sales.ldf", l1, "l1 changed");
  Edit("Local", "sales.ldf", l1, "l1 changed again");
  Remove("Local", "sales.ldf", l2);
  CloseAll();

  EXPECT_EQ(Stats(Replicate("sales.ldf")), "received 2/1/1 sent 1/1/1 conflicts 0 purged 0");
  auto here = Contents("Local", "sales.ldf");
  EXPECT_EQ(here, Contents("Hub", "sales.ldf"));
  EXPECT_EQ(here.size(), 5u);
  EXPECT_EQ(here[ledra::UnidText(h1)], "h1 changed");
  EXPECT_EQ(here[ledra::UnidText(l1)], "l1 changed again");
  EXPECT_EQ(here.count(ledra::UnidText(h2)), 0u);
  EXPECT_EQ(here.count(ledra::UnidText(l2)), 0u);

  // Nothing moves twice, and a run with nothing to do writes nothing.
  EXPECT_EQ(Stats(Replicate("sales.ldf")), "received 0/0/0 sent 0/0/0 conflicts 0 purged 0");
  int64_t local_seq = Sequence("Local", "sales.ldf"), hub_seq = Sequence("Hub", "sales.ldf");
  CloseAll();
  EXPECT_EQ(Stats(Replicate("sales.ldf")), "received 0/0/0 sent 0/0/0 conflicts 0 purged 0");
  EXPECT_EQ(Sequence("Local", "sales.ldf"), local_seq);
  EXPECT_EQ(Sequence("Hub", "sales.ldf"), hub_seq);
}

TEST_F(ReplicationTest, ReceiveOnlyAndSendOnlyMoveOneWay) {
  Create("Hub", "sales.ldf");
  CloseAll();
  CopyReplica("Hub", "sales.ldf", "sales.ldf");
  Add("Hub", "sales.ldf", "there");
  Add("Local", "sales.ldf", "here");
  CloseAll();
  EXPECT_EQ(Stats(Replicate("sales.ldf", "Hub", kVXReplReceive)),
            "received 1/0/0 sent 0/0/0 conflicts 0 purged 0");
  EXPECT_EQ(Contents("Hub", "sales.ldf").size(), 1u);
  EXPECT_EQ(Stats(Replicate("sales.ldf", "Hub", kVXReplSend)),
            "received 0/0/0 sent 1/0/0 conflicts 0 purged 0");
  EXPECT_EQ(Contents("Hub", "sales.ldf"), Contents("Local", "sales.ldf"));
}

TEST_F(ReplicationTest, AttachmentsAndResponsesArriveWhole) {
  Create("Hub", "sales.ldf");
  CloseAll();
  CopyReplica("Hub", "sales.ldf", "sales.ldf");
  std::string file = dir_ + "/report.bin";
  std::string bytes(70000, '\0');
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * 7);
  std::ofstream(file, std::ios::binary) << bytes;
  VXUnid parent = Add("Hub", "sales.ldf", "parent");
  VXHandle doc = 0;
  ASSERT_EQ(VXDocumentCreate(Db("Hub", "sales.ldf"), "Memo", &doc), kVXOk);
  ASSERT_EQ(VXItemPut(doc, "Subject", 0, 0, kVXTypeText, "answer", 0), kVXOk);
  ASSERT_EQ(VXDocumentSetProperty(doc, kDocPropParent, &parent), kVXOk);
  ASSERT_EQ(VXAttachmentAttach(doc, file.c_str(), "report.bin", 1), kVXOk) << Message();
  ASSERT_EQ(VXDocumentClose(doc, 0x10000), kVXOk);
  CloseAll();
  EXPECT_EQ(Stats(Replicate("sales.ldf")), "received 2/0/0 sent 0/0/0 conflicts 0 purged 0");
  auto here = Contents("Local", "sales.ldf");
  EXPECT_EQ(here, Contents("Hub", "sales.ldf"));
  EXPECT_EQ(std::count_if(here.begin(), here.end(), [](auto& e) { return e.second == "^answer"; }),
            1);
  VXUnid answer_unid;
  for (const auto& [unid_text, subject] : here) {
    if (subject == "^answer") {
      ASSERT_TRUE(ledra::ParseUnidText(unid_text, &answer_unid));
    }
  }
  VXHandle db = Db("Local", "sales.ldf");
  VXHandle answer = 0;
  ASSERT_EQ(VXDocumentOpen(db, VXDocumentLocateByUnid(db, &answer_unid), 0, &answer), kVXOk);
  std::string out = dir_ + "/out.bin";
  ASSERT_EQ(VXAttachmentExtract(answer, "report.bin", out.c_str(), 0), kVXOk) << Message();
  std::ifstream in(out, std::ios::binary);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), bytes);
  VXDocumentClose(answer, 0);
  CloseAll();

  // Replacing the attachment on the server reaches the replica as an update.
  std::ofstream(file, std::ios::binary) << "short";
  VXHandle hub = Db("Hub", "sales.ldf");
  ASSERT_EQ(VXDocumentOpen(hub, VXDocumentLocateByUnid(hub, &answer_unid), 0, &doc), kVXOk);
  ASSERT_EQ(VXAttachmentDelete(doc, "report.bin"), kVXOk);
  ASSERT_EQ(VXAttachmentAttach(doc, file.c_str(), "small.txt", 0), kVXOk);
  ASSERT_EQ(VXDocumentClose(doc, 0x10000), kVXOk);
  CloseAll();
  EXPECT_EQ(Stats(Replicate("sales.ldf")), "received 0/0/1 sent 0/0/0 conflicts 0 purged 0");
  std::unique_ptr<ledra::NoteStore> store;
  ASSERT_EQ(ledra::NoteStore::Open(File("data", "sales.ldf"), "x", 2000, &store), kVXOk);
  std::vector<std::string> problems;
  ASSERT_EQ(store->Check(&problems), kVXOk);
  EXPECT_TRUE(problems.empty()) << problems[0];
}

TEST_F(ReplicationTest, TwoReplicasOfOneServerReplicatingInTurnSeeEveryChange) {
  Create("Hub", "sales.ldf");
  VXUnid shared = Add("Hub", "sales.ldf", "shared");
  VXUnid doomed = Add("Hub", "sales.ldf", "doomed");
  CloseAll();
  CopyReplica("Hub", "sales.ldf", "a/sales.ldf");
  CopyReplica("Hub", "sales.ldf", "b/sales.ldf");
  Add("Local", "a/sales.ldf", "from a");
  Edit("Local", "a/sales.ldf", shared, "edited at a");
  Add("Local", "b/sales.ldf", "from b");
  Remove("Local", "b/sales.ldf", doomed);
  Add("Hub", "sales.ldf", "from hub");
  CloseAll();

  EXPECT_EQ(Stats(Replicate("a/sales.ldf")), "received 1/0/0 sent 1/0/1 conflicts 0 purged 0");
  EXPECT_EQ(Stats(Replicate("b/sales.ldf")), "received 2/0/1 sent 1/1/0 conflicts 0 purged 0");
  EXPECT_EQ(Stats(Replicate("a/sales.ldf")), "received 1/1/0 sent 0/0/0 conflicts 0 purged 0");
  EXPECT_EQ(Stats(Replicate("b/sales.ldf")), "received 0/0/0 sent 0/0/0 conflicts 0 purged 0");
  auto hub = Contents("Hub", "sales.ldf");
  EXPECT_EQ(Contents("Local", "a/sales.ldf"), hub);
  EXPECT_EQ(Contents("Local", "b/sales.ldf"), hub);
  EXPECT_EQ(hub.size(), 4u);
  EXPECT_EQ(hub[ledra::UnidText(shared)], "edited at a");
}

TEST_F(ReplicationTest, AReplicaOfAReplicaOnAThirdServerReplicatesToo) {
  Create("Hub", "sales.ldf");
  Add("Hub", "sales.ldf", "one");
  CloseAll();
  // Far holds a replica made from the hub's; the local one is made from Far's.
  ASSERT_EQ(VXDatabaseCopy("Hub", "sales.ldf", "Far", "copy.ldf", 0, 0x107, 2046, nullptr), kVXOk);
  CopyReplica("Far", "copy.ldf", "sales.ldf");
  Add("Hub", "sales.ldf", "two");
  CloseAll();
  EXPECT_EQ(Stats(Replicate("sales.ldf", "Hub")), "received 1/0/0 sent 0/0/0 conflicts 0 purged 0");
  EXPECT_EQ(Stats(Replicate("sales.ldf", "Far")), "received 0/0/0 sent 1/0/0 conflicts 0 purged 0");
  EXPECT_EQ(Contents("Far", "copy.ldf"), Contents("Hub", "sales.ldf"));
}

TEST_F(ReplicationTest, AnExchangeOfDocumentsOnlyLeavesDesignChangesForTheNextFullOne) {
  Create("Hub", "sales.ldf");
  CloseAll();
  CopyReplica("Hub", "sales.ldf", "sales.ldf");
  Add("Hub", "sales.ldf", "a document");
  VXHandle hub = Db("Hub", "sales.ldf");
  int32_t off = 0, form_class = kVXClassForm;
  ASSERT_EQ(VXDatabaseSetProperty(hub, kDbPropDesignGuard, &off), kVXOk);
  VXHandle form = 0;
  ASSERT_EQ(VXDocumentCreate(hub, "", &form), kVXOk);
  ASSERT_EQ(VXDocumentSetProperty(form, kDocPropClass, &form_class), kVXOk);
  ASSERT_EQ(VXItemPut(form, "$TITLE", 0, 0, kVXTypeText, "Extra form", 0), kVXOk);
  ASSERT_EQ(VXDocumentClose(form, 0x10000), kVXOk) << Message();
  CloseAll();

  VXReplicationStats stats;
  ASSERT_EQ(VXReplicateWithServer("Hub", 3, kVXClassDocument, 1, "sales.ldf", &stats), kVXOk)
      << Message();
  EXPECT_EQ(Stats(stats), "received 1/0/0 sent 0/0/0 conflicts 0 purged 0");
  EXPECT_EQ(VXFormLocateByName(Db("Local", "sales.ldf"), "Extra form"), 0u);
  CloseAll();
  EXPECT_EQ(Stats(Replicate("sales.ldf")), "received 1/0/0 sent 0/0/0 conflicts 0 purged 0");
  EXPECT_NE(VXFormLocateByName(Db("Local", "sales.ldf"), "Extra form"), 0u);
}

// A replication-formula note as the replication job writes it.
void PutFormula(VXHandle db, const std::string& text) {
  int32_t off = 0;
  ASSERT_EQ(VXDatabaseSetProperty(db, kDbPropDesignGuard, &off), kVXOk);
  VXHandle compiled = 0;
  uint32_t length = 0;
  ASSERT_EQ(LCFormulaCompile(text.c_str(), 0, &compiled, &length), kVXOk);
  VXHandle doc = 0;
  ASSERT_EQ(VXDocumentCreate(db, "", &doc), kVXOk);
  int32_t note_class = kVXClassReplFormula;
  ASSERT_EQ(VXDocumentSetProperty(doc, kDocPropClass, &note_class), kVXOk);
  ASSERT_EQ(VXItemPut(doc, "$ReplFormula", 4, 0, kVXTypeFormula, LCMemLock(compiled), length),
            kVXOk);
  (void)LCMemUnlock(compiled);
  (void)LCMemFree(compiled);
  ASSERT_EQ(VXDocumentClose(doc, 0x10000), kVXOk);
}

TEST_F(ReplicationTest, ASelectiveFormulaKeepsOnlyTheDocumentsItSelects) {
  Create("Hub", "sales.ldf");
  Add("Hub", "sales.ldf", {{"Subject", "east 1"}, {"Region", "East"}});
  VXUnid west = Add("Hub", "sales.ldf", {{"Subject", "west 1"}, {"Region", "West"}});
  CloseAll();
  CopyReplica("Hub", "sales.ldf", "east.ldf");
  PutFormula(Db("Local", "east.ldf"), "SELECT Region = \"East\"");
  VXUnid mine = Add("Local", "east.ldf", {{"Subject", "mine"}, {"Region", "West"}});
  Add("Hub", "sales.ldf", {{"Subject", "east 2"}, {"Region", "East"}});
  Add("Hub", "sales.ldf", {{"Subject", "west 2"}, {"Region", "West"}});
  CloseAll();

  // The west document received by the copy goes (here only); of the new
  // ones only the east one arrives. The replica's own document is sent
  // whatever its region: the formula rules what the replica takes.
  EXPECT_EQ(Stats(Replicate("east.ldf")), "received 1/0/0 sent 1/0/0 conflicts 0 purged 1");
  auto here = Contents("Local", "east.ldf");
  std::map<std::string, std::string> expected = {};
  for (const auto& [unid, subject] : here) expected[unid] = subject;
  EXPECT_EQ(here.size(), 3u);
  for (const auto& [unid, subject] : here) EXPECT_NE(subject.rfind("west", 0), 0u) << subject;
  EXPECT_EQ(here[ledra::UnidText(mine)], "mine");
  EXPECT_EQ(Contents("Hub", "sales.ldf").size(), 5u);  // the server keeps everything

  // Later changes are filtered the same way; the filter set once costs no
  // second look at the whole server.
  Edit("Hub", "sales.ldf", west, "west 1 changed");
  Add("Hub", "sales.ldf", {{"Subject", "east 3"}, {"Region", "East"}});
  CloseAll();
  EXPECT_EQ(Stats(Replicate("east.ldf")), "received 1/0/0 sent 0/0/0 conflicts 0 purged 0");
  EXPECT_EQ(Contents("Local", "east.ldf").size(), 4u);
}

// Moves a note's last-modified time back by days, as if changed then.
void Age(const std::string& file, const std::string& subject, int days) {
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(file.c_str(), &db), SQLITE_OK);
  std::unique_ptr<ledra::NoteStore> store;
  ASSERT_EQ(ledra::NoteStore::Open(file, file, 2000, &store), kVXOk);
  for (VXNoteId id : store->NotesOfClass(kVXClassDocument)) {
    ledra::Note note;
    ASSERT_EQ(store->Load(id, &note), kVXOk);
    if (ledra::TextItem(note, "Subject") != subject) continue;
    std::string sql = "UPDATE notes SET modified = modified - " + std::to_string(days) +
                      " * 8640000 WHERE note_id = " + std::to_string(id);
    ASSERT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr), SQLITE_OK);
  }
  sqlite3_close(db);
}

TEST_F(ReplicationTest, TheCutOffPurgesOldDocumentsHereOnlyAndRefusesOldOnes) {
  Create("Hub", "sales.ldf");
  Add("Hub", "sales.ldf", "old");
  Add("Hub", "sales.ldf", "recent");
  CloseAll();
  CopyReplica("Hub", "sales.ldf", "sales.ldf");
  Age(File("data", "sales.ldf"), "old", 40);
  Add("Hub", "sales.ldf", "older");
  CloseAll();
  Age(File("hub", "sales.ldf"), "older", 90);

  LCReplicationInfo info;
  VXHandle db = Db("Local", "sales.ldf");
  ASSERT_EQ(LCReplicationInfoGet(db, &info), kVXOk);
  info.cutoff_days = 30;
  info.flags = 0x80;
  ASSERT_EQ(VXDatetimeNow(&info.cutoff), kVXOk);
  info.cutoff.ticks -= 30 * ledra::kTicksPerDay;
  ASSERT_EQ(LCReplicationInfoSet(db, &info), kVXOk) << Message();
  // Purged at once, without a trace to replicate.
  EXPECT_EQ(Contents("Local", "sales.ldf").size(), 1u);
  CloseAll();
  EXPECT_EQ(Stats(Replicate("sales.ldf")), "received 0/0/0 sent 0/0/0 conflicts 0 purged 0");
  EXPECT_EQ(Contents("Hub", "sales.ldf").size(), 3u);
  auto here = Contents("Local", "sales.ldf");
  ASSERT_EQ(here.size(), 1u);
  EXPECT_EQ(here.begin()->second, "recent");
}

TEST_F(ReplicationTest, AShorterCutOffPurgesAtOnceALongerOneKeepsWhatIsLeft) {
  Create("Hub", "sales.ldf");
  Add("Hub", "sales.ldf", "25 days old");
  Add("Hub", "sales.ldf", "recent");
  CloseAll();
  CopyReplica("Hub", "sales.ldf", "sales.ldf");
  Age(File("data", "sales.ldf"), "25 days old", 25);
  struct {
    int32_t days;
    size_t left;
  } steps[] = {{30, 2}, {20, 1}, {40, 1}, {10, 1}};
  for (const auto& step : steps) {
    LCReplicationInfo info;
    info.cutoff_days = step.days;
    info.flags = 0x80;
    ASSERT_EQ(LCReplicationInfoSet(Db("Local", "sales.ldf"), &info), kVXOk);
    EXPECT_EQ(Contents("Local", "sales.ldf").size(), step.left) << step.days << " days";
  }
}

TEST_F(ReplicationTest, AnOldDocumentChangedOnTheServerComesBackAfterItsPurge) {
  Create("Hub", "sales.ldf");
  VXUnid old = Add("Hub", "sales.ldf", "old");
  CloseAll();
  CopyReplica("Hub", "sales.ldf", "sales.ldf");
  Age(File("data", "sales.ldf"), "old", 40);
  LCReplicationInfo info;
  info.cutoff_days = 30;
  info.flags = 0x80;
  ASSERT_EQ(LCReplicationInfoSet(Db("Local", "sales.ldf"), &info), kVXOk);
  EXPECT_TRUE(Contents("Local", "sales.ldf").empty());
  Edit("Hub", "sales.ldf", old, "old, changed today");
  CloseAll();
  EXPECT_EQ(Stats(Replicate("sales.ldf")), "received 1/0/0 sent 0/0/0 conflicts 0 purged 0");
  EXPECT_EQ(Contents("Local", "sales.ldf")[ledra::UnidText(old)], "old, changed today");
}

TEST(NameConvert, AbbreviatesLabelledComponents) {
  struct {
    uint32_t mode;
    const char* in;
    const char* out;
  } cases[] = {
      {1, "CN=Ann Lee/OU=Sales/O=Pellam/C=GB", "Ann Lee/Sales/Pellam/GB"},
      {1, "cn=Ann Lee/o=Pellam", "Ann Lee/Pellam"},
      {1, "root", "root"},
      {1, "", ""},
      {0, "CN=Ann Lee/O=Pellam", "CN=Ann Lee/O=Pellam"},
  };
  for (const auto& c : cases) {
    char out[64];
    ASSERT_EQ(VXNameConvert(c.mode, c.in, out, sizeof out), kVXOk);
    EXPECT_STREQ(out, c.out) << c.in;
  }
  char out[8];
  EXPECT_EQ(VXNameConvert(2, "x", out, sizeof out), kVXBadArgument);
}

}  // namespace
