// Document handles over real files: copies between databases, item copies,
// read-only handles, saves racing a deletion, responses, subforms, delete
// and compact.
#include <fstream>

#include "ledra/core_calls.h"

#include "tests/ledra/ledra_fixture.h"

namespace {

TEST_F(LedraTest, CopiesBetweenDatabasesKeepItemsAndAttachments) {
  VXHandle a = Make("a.ldf"), b = Make("b.ldf");
  VXHandle doc = 0;
  ASSERT_EQ(VXDocumentCreate(a, "Memo", &doc), kVXOk);
  ASSERT_EQ(VXItemPut(doc, "Subject", 0, 0, kVXTypeText, "copied", 0), kVXOk);
  std::ofstream(dir_ + "/f.txt") << "attached bytes";
  ASSERT_EQ(VXAttachmentAttach(doc, (dir_ + "/f.txt").c_str(), "f.txt", kVXAttachCompress), kVXOk);
  ASSERT_EQ(VXDocumentClose(doc, kVXCloseKeep), kVXOk);
  VXNoteId copy = 0;
  ASSERT_EQ(VXDocumentCopy(a, 1, b, 0, &copy), kVXOk) << Message();
  VXHandle original = 0, copied = 0;
  ASSERT_EQ(VXDocumentOpen(a, 1, 0, &original), kVXOk);
  ASSERT_EQ(VXDocumentOpen(b, copy, 0, &copied), kVXOk);
  EXPECT_EQ(ReadText(copied, "Subject"), "copied");
  VXUnid u1, u2;
  ASSERT_EQ(VXDocumentGetProperty(original, kDocPropUnid, &u1, sizeof u1), kVXOk);
  ASSERT_EQ(VXDocumentGetProperty(copied, kDocPropUnid, &u2, sizeof u2), kVXOk);
  EXPECT_FALSE(u1 == u2);  // a copy is a new document
  ASSERT_EQ(VXAttachmentExtract(copied, "F.TXT", (dir_ + "/out.txt").c_str(), 0), kVXOk);
  std::ifstream in(dir_ + "/out.txt");
  std::string got((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_EQ(got, "attached bytes");

  // Item copy and delete between handles; "$FILE" belongs to the attachment calls.
  ASSERT_EQ(VXItemCopy(original, "subject", copied, 0), kVXOk);
  EXPECT_EQ(VXItemCopy(original, "$FILE", copied, 0), kVXNotAllowed);
  EXPECT_EQ(VXItemPut(copied, "$FILE", 0, 0, kVXTypeText, "x", 1), kVXNotAllowed);
  ASSERT_EQ(VXItemDelete(copied, "Subject"), kVXOk);
  EXPECT_EQ(VXItemDelete(copied, "Subject"), kVXItemNotFound);
  VXDocumentClose(original, 0);
  VXDocumentClose(copied, 0x20000);
  VXDatabaseClose(a, 0);
  VXDatabaseClose(b, 0);
}

TEST_F(LedraTest, ReadOnlyHandlesAndSavesAfterAnotherDeletes) {
  VXHandle db = Make("race.ldf");
  VXNoteId id = SaveText(db, "Subject", "one");
  VXHandle ro = 0, rw = 0;
  ASSERT_EQ(VXDocumentOpen(db, id, kVXDocOpenReadOnly, &ro), kVXOk);
  ASSERT_EQ(VXItemPut(ro, "Subject", 0, 0, kVXTypeText, "two", 0), kVXOk);
  EXPECT_EQ(VXDocumentSave(ro, 0), kVXNotAllowed);
  VXDocumentClose(ro, 0x20000);

  ASSERT_EQ(VXDocumentOpen(db, id, 0, &rw), kVXOk);
  VXHandle other = 0;
  ASSERT_EQ(VXDatabaseOpen("Local", "race.ldf", 0, &other), kVXOk);
  ASSERT_EQ(VXDocumentDelete(other, id, 0), kVXOk);
  ASSERT_EQ(VXItemPut(rw, "Subject", 0, 0, kVXTypeText, "late", 0), kVXOk);
  EXPECT_EQ(VXDocumentSave(rw, 0), kVXNoteNotFound);
  EXPECT_EQ(Message(), "Document " + std::to_string(id) +
                           " of Database Local!!race.ldf was deleted by another program; it was not saved");
  VXDocumentClose(rw, 0x20000);
  VXDatabaseClose(other, 0);
  VXDatabaseClose(db, 0);
}

TEST_F(LedraTest, ResponsesSubformsDeleteAndCompact) {
  VXHandle db = Make("misc.ldf");
  VXHandle parent = 0, reply = 0;
  ASSERT_EQ(VXDocumentCreate(db, "Topic", &parent), kVXOk);
  ASSERT_EQ(VXDocumentSave(parent, 0), kVXOk);
  VXUnid unid;
  ASSERT_EQ(VXDocumentGetProperty(parent, kDocPropUnid, &unid, sizeof unid), kVXOk);
  ASSERT_EQ(VXDocumentCreate(db, "Reply", &reply), kVXOk);
  int32_t response = 1;
  ASSERT_EQ(VXDocumentGetProperty(reply, kDocPropResponse, &response, 4), kVXOk);
  EXPECT_EQ(response, 0);
  ASSERT_EQ(VXDocumentSetProperty(reply, kDocPropParent, &unid), kVXOk);
  ASSERT_EQ(VXDocumentGetProperty(reply, kDocPropResponse, &response, 4), kVXOk);
  EXPECT_EQ(response, 1);
  int32_t cls = kVXClassForm;
  ASSERT_EQ(VXDocumentSave(reply, 0), kVXOk);
  EXPECT_EQ(VXDocumentSetProperty(reply, kDocPropClass, &cls), kVXNotAllowed);  // saved: class is fixed
  VXDocumentClose(reply, 0);
  VXDocumentClose(parent, 0);

  VXSubformRecord sub;
  std::snprintf(sub.name, sizeof sub.name, "Header");
  std::snprintf(sub.alias, sizeof sub.alias, "hdr");
  VXNoteId sub_id = 0;
  ASSERT_EQ(VXSubformCreate(db, &sub, &sub_id), kVXOk);
  EXPECT_EQ(VXSubformLocateByName(db, "HDR"), sub_id);
  EXPECT_EQ(VXFormLocateByName(db, "Header"), 0u);  // a subform is no form
  VXHandle other = Make("other.ldf");
  VXNoteId copied = 0;
  ASSERT_EQ(VXSubformCopy(db, "Header", other, &copied), kVXOk);
  EXPECT_EQ(VXSubformLocateByName(other, "Header"), copied);
  VXDatabaseClose(other, 0);

  for (int i = 0; i < 200; ++i) SaveText(db, "Body", std::string(10000, 'b'));
  for (VXNoteId id = 4; id < 200; ++id) ASSERT_EQ(VXDocumentDelete(db, id, kVXDeleteQuiet), kVXOk);
  int64_t free_before = 0, free_after = 0;
  ASSERT_EQ(VXDatabaseGetProperty(db, kDbPropBytesFree, &free_before, 8), kVXOk);
  VXDatabaseClose(db, 0);
  ASSERT_EQ(VXDatabaseCompact("Local", "misc.ldf"), kVXOk) << Message();
  ASSERT_EQ(VXDatabaseOpen("Local", "misc.ldf", 0, &db), kVXOk);
  ASSERT_EQ(VXDatabaseGetProperty(db, kDbPropBytesFree, &free_after, 8), kVXOk);
  EXPECT_GT(free_before, 0);
  EXPECT_EQ(free_after, 0);
  // Replication information survives a reopen.
  LCReplicationInfo info;
  info.cutoff.ticks = 123456;
  info.cutoff_days = 7300;
  info.flags = 0x80;
  ASSERT_EQ(LCReplicationInfoSet(db, &info), kVXOk);
  VXDatabaseClose(db, 0);
  ASSERT_EQ(VXDatabaseOpen("Local", "misc.ldf", 0, &db), kVXOk);
  LCReplicationInfo back;
  ASSERT_EQ(LCReplicationInfoGet(db, &back), kVXOk);
  EXPECT_EQ(back.cutoff.ticks, 123456);
  int32_t days = 0;
  ASSERT_EQ(VXDatabaseGetProperty(db, kDbPropCutoffDays, &days, 4), kVXOk);
  EXPECT_EQ(days, 7300);
  VXDatabaseClose(db, 0);
  ASSERT_EQ(VXDatabaseDelete("Local", "misc.ldf"), kVXOk);
  EXPECT_EQ(VXDatabaseOpen("Local", "misc.ldf", 0, &db), kVXDatabaseNotFound);
  EXPECT_EQ(VXDatabaseDelete("Local", "misc.ldf"), kVXDatabaseNotFound);
}

}  // namespace
