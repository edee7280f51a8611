// The open-database cache on real databases: lookups by case and slash,
// the twelfth database, the replica-id route, off line, release and reopen,
// the page-replica database.
#include "platform/open_database.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <vector>

#include "platform/view_calls.h"
#include "tests/platform/access_fixture.h"

namespace {

using platform::OpenDatabase;

constexpr char kTwoDocuments[] = R"({"title": "Clip", "documents": [
  {"items": {"Form": "Memo", "Subject": "one"}},
  {"items": {"Form": "Memo", "Subject": "two"}}]})";

size_t DocumentCount(VXHandle database) {
  std::vector<VXNoteId> ids;
  EXPECT_EQ(platform::FindDocuments(database, "", &ids), kVXOk);
  return ids.size();
}

TEST_F(AccessLayer, CaseAndSlashVariantsGiveTheSameRecord) {
  Create("Mixed.ldf");
  Create("sub/inner.ldf");
  struct {
    const char *server, *path, *same_as;
  } cases[] = {
      {"Local", "Mixed.ldf", "Mixed.ldf"},
      {"LOCAL", "mixed.LDF", "Mixed.ldf"},
      {"local", "MIXED.ldf", "Mixed.ldf"},
      {"Local", "sub/inner.ldf", "sub/inner.ldf"},
      {"Local", "sub\\inner.ldf", "sub/inner.ldf"},
      {"local", "SUB\\Inner.LDF", "sub/inner.ldf"},
  };
  for (const auto& c : cases) {
    OpenDatabase* first = Open("Local", c.same_as);
    ASSERT_NE(first, nullptr) << c.same_as;
    EXPECT_EQ(Open(c.server, c.path), first) << c.server << " " << c.path;
    EXPECT_EQ(shared_->lastDatabase, first);
  }
  EXPECT_EQ(platform::OpenDatabaseCount(*shared_), 2u);
  EXPECT_EQ(Open("Local", "sub\\inner.ldf")->path, "sub/inner.ldf");
  EXPECT_EQ(Open("Local", "Mixed.ldf")->title, "T");
}

TEST_F(AccessLayer, TheTwelfthDatabaseClosesAllAndEmptiesTheClipboard) {
  Create("corvex.clp", kTwoDocuments);
  for (int i = 1; i <= 12; ++i) Create("db" + std::to_string(i) + ".ldf");
  for (int i = 1; i <= 11; ++i) ASSERT_NE(Open("Local", "db" + std::to_string(i) + ".ldf"), nullptr);
  EXPECT_EQ(platform::OpenDatabaseCount(*shared_), 11u);
  // Reopening one of the eleven changes nothing.
  EXPECT_NE(Open("Local", "DB3.ldf"), nullptr);
  EXPECT_EQ(platform::OpenDatabaseCount(*shared_), 11u);
  VXHandle clipboard = 0;
  ASSERT_EQ(VXDatabaseOpen("Local", "corvex.clp", 0, &clipboard), kVXOk);
  EXPECT_EQ(DocumentCount(clipboard), 2u);

  OpenDatabase* twelfth = Open("Local", "db12.ldf");
  ASSERT_NE(twelfth, nullptr);
  EXPECT_EQ(platform::OpenDatabaseCount(*shared_), 1u);
  EXPECT_EQ(shared_->openDatabases, twelfth);
  EXPECT_EQ(shared_->lastDatabase, twelfth);
  EXPECT_EQ(DocumentCount(clipboard), 0u);
  VXDatabaseClose(clipboard, 0);
  // The list starts again: the first database is a new record.
  EXPECT_NE(Open("Local", "db1.ldf"), nullptr);
  EXPECT_EQ(platform::OpenDatabaseCount(*shared_), 2u);
}

TEST_F(AccessLayer, APathInReplicaIdFormOpensTheReplicaOnThatServer) {
  Create("kvconfig.ldf");
  Create("deep/target.ldf");
  VXHandle direct = 0;
  ASSERT_EQ(_VXInit(0x45004, nullptr, nullptr, nullptr), kVXOk);
  ASSERT_EQ(VXDatabaseOpen("Local", "deep/target.ldf", 0, &direct), kVXOk);
  uint32_t id[2] = {0, 0};
  ASSERT_EQ(VXDatabaseGetProperty(direct, kDbPropReplicaId, id, sizeof id), kVXOk);
  VXDatabaseClose(direct, 0);
  char text[32];
  std::snprintf(text, sizeof text, "%xg%x", id[0], id[1]);

  OpenDatabase* found = Open("Local", text);
  ASSERT_NE(found, nullptr);
  EXPECT_EQ(found->path, "deep/target.ldf");
  EXPECT_EQ(found->replicaIdText, text);
  // The configuration database was opened first, as the route does on an
  // empty list.
  EXPECT_EQ(shared_->openDatabases->path, "kvconfig.ldf");
  struct {
    const char* path;
  } refused[] = {{"123g456"}, {"nothex"}, {"12g34g56"}, {""}};
  for (const auto& r : refused) EXPECT_EQ(Open("Local", r.path), nullptr) << r.path;
}

TEST_F(AccessLayer, OffLineOnlyLocalOpens) {
  Create("here.ldf");
  ASSERT_EQ(std::system(("cp '" + folder_ + "/data/here.ldf' '" + folder_ + "/other/there.ldf'").c_str()), 0);
  ASSERT_NE(Open("Other", "there.ldf"), nullptr);
  platform::CloseAllDatabases(*thread_);
  shared_->offline = 1;
  EXPECT_EQ(Open("Other", "there.ldf"), nullptr);
  EXPECT_EQ(Open("other", "there.ldf"), nullptr);
  EXPECT_NE(Open("LOCAL", "here.ldf"), nullptr);
  EXPECT_EQ(platform::OpenDatabaseCount(*shared_), 1u);
}

TEST_F(AccessLayer, ReleasedHandlesReopenOnNextUse) {
  Create("a.ldf");
  OpenDatabase* record = Open("Local", "a.ldf");
  ASSERT_NE(record, nullptr);
  platform::ReleaseDatabaseHandles(*thread_);
  EXPECT_EQ(record->handle, 0u);
  EXPECT_EQ(platform::FindOpenDatabase(*shared_, 0), nullptr);
  EXPECT_EQ(Open("local", "A.ldf"), record);
  EXPECT_NE(record->handle, 0u);
  EXPECT_EQ(platform::FindOpenDatabase(*shared_, record->handle), record);
}

TEST_F(AccessLayer, TheDatabaseWithTheReplicaFormBecomesWebDatabase) {
  Create("plain.ldf");
  Create("Replicas.Web/kvwebrs.ldf", R"({"title": "Pages", "forms": [{"name": "Web Element Replica"}]})");
  EXPECT_NE(Open("Local", "plain.ldf"), nullptr);
  EXPECT_EQ(shared_->webDatabase, nullptr);
  OpenDatabase* web = Open("Local", "Replicas.Web\\kvwebrs.ldf");
  ASSERT_NE(web, nullptr);
  EXPECT_EQ(shared_->webDatabase, web);
  EXPECT_NE(Open("Local", "plain.ldf"), nullptr);
  EXPECT_EQ(shared_->webDatabase, web);
  EXPECT_EQ(shared_->lastDatabase->path, "plain.ldf");
  platform::CloseAllDatabases(*thread_);
  EXPECT_EQ(shared_->webDatabase, nullptr);
  EXPECT_EQ(shared_->lastDatabase, nullptr);
}

TEST_F(AccessLayer, AMissingDatabaseGivesNone) {
  EXPECT_EQ(Open("Local", "absent.ldf"), nullptr);
  EXPECT_EQ(Open("NoSuchServer", "absent.ldf"), nullptr);
  EXPECT_EQ(platform::OpenDatabaseCount(*shared_), 0u);
}

}  // namespace
