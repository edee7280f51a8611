// The document store over real database files: item types, lookups,
// attachments, copies and replicas, listing, design access, properties,
// failures with their messages.
#include <sqlite3.h>

#include <cstring>
#include <fstream>
#include <random>

#include "ledra/datetime.h"
#include "ledra/note_store.h"
#include "tests/ledra/ledra_fixture.h"

namespace {

using ledra::Datetime;

std::string Bytes(const void* p, size_t n) { return std::string(static_cast<const char*>(p), n); }

TEST_F(LedraTest, EveryItemTypeRoundTripsThroughAReopenedFile) {
  Datetime when;
  ASSERT_TRUE(ledra::DatetimeParse("12/08/2026 14:03:00", &when));
  Datetime day;
  ASSERT_TRUE(ledra::DatetimeParse("1/1/95", &day));
  double number = -12.25;
  double numbers[3] = {1, 2.5, 1e300};
  Datetime dates[2] = {when, day};
  std::string list("alpha\0\0gamma\0", 13);  // an empty entry in the middle
  std::string rich("\x01\x00\x02\xff" " rich", 8);
  std::string formula("\x00\x10" "compiled", 10);
  struct Case {
    const char* name;
    uint16_t type;
    std::string value;
  } cases[] = {
      {"Number", kVXTypeNumber, Bytes(&number, 8)},
      {"Text", kVXTypeText, "h\xc3\xa9llo, world"},
      {"Empty", kVXTypeText, ""},
      {"When", kVXTypeDatetime, Bytes(&when, sizeof when)},
      {"Names", kVXTypeTextList, list},
      {"Numbers", kVXTypeNumberList, Bytes(numbers, sizeof numbers)},
      {"Dates", kVXTypeDatetimeList, Bytes(dates, sizeof dates)},
      {"Body", kVXTypeRichText, rich},
      {"$ReplFormula", kVXTypeFormula, formula},
  };
  VXHandle db = Make("types.ldf");
  VXHandle doc = 0;
  ASSERT_EQ(VXDocumentCreate(db, "Memo", &doc), kVXOk);
  for (const Case& c : cases) {
    ASSERT_EQ(VXItemPut(doc, c.name, 0, 0, c.type, c.value.data(), static_cast<uint32_t>(c.value.size())), kVXOk)
        << c.name << ": " << Message();
  }
  ASSERT_EQ(VXDocumentSave(doc, 0x10000), kVXOk);
  VXNoteId id = 0;
  ASSERT_EQ(VXDocumentGetProperty(doc, kDocPropNoteId, &id, 4), kVXOk);
  ASSERT_EQ(VXDocumentClose(doc, 0), kVXOk);
  ASSERT_EQ(VXDatabaseClose(db, 0), kVXOk);

  ASSERT_EQ(VXDatabaseOpen("Local", "types.ldf", 0, &db), kVXOk);
  ASSERT_EQ(VXDocumentOpen(db, id, 0, &doc), kVXOk);
  for (const Case& c : cases) {
    char buf[256] = {};
    uint32_t n = 0;
    uint16_t type = 0;
    ASSERT_EQ(VXItemGetInfo(doc, c.name, &type, nullptr, nullptr), kVXOk) << c.name;
    EXPECT_EQ(type, c.type) << c.name;
    ASSERT_EQ(VXItemFetch(doc, c.name, 0, buf, sizeof buf, &n), kVXOk) << c.name << ": " << Message();
    if (c.type == kVXTypeDatetime || c.type == kVXTypeDatetimeList) {
      // Records compare by their fields; the padding between them is not data.
      ASSERT_EQ(n, c.value.size()) << c.name;
      for (size_t i = 0; i < n; i += sizeof(Datetime)) {
        Datetime got, want;
        std::memcpy(&got, buf + i, sizeof got);
        std::memcpy(&want, c.value.data() + i, sizeof want);
        EXPECT_EQ(got.ticks, want.ticks) << c.name;
        EXPECT_EQ(got.has_date, want.has_date) << c.name;
        EXPECT_EQ(got.has_time, want.has_time) << c.name;
      }
    } else {
      EXPECT_EQ(Bytes(buf, n), c.value) << c.name;
    }
  }
  // Names compare case-insensitively.
  EXPECT_EQ(ReadText(doc, "TEXT"), "h\xc3\xa9llo, world");
  char name[65];
  uint16_t type = 0;
  int count = 0;
  for (VXStatus s = VXItemList(doc, kVXListFirst, name, sizeof name, &type); s == kVXOk;
       s = VXItemList(doc, kVXListNext, name, sizeof name, &type)) {
    ++count;
  }
  EXPECT_EQ(count, 10);  // the cases and "Form"
  EXPECT_EQ(VXItemList(doc, kVXListNext, name, sizeof name, &type), kVXEndOfList);
  VXDocumentClose(doc, 0);
  VXDatabaseClose(db, 0);
}

TEST_F(LedraTest, ItemsReadAsOtherTypes) {
  VXHandle db = Make("convert.ldf");
  VXHandle doc = 0;
  ASSERT_EQ(VXDocumentCreate(db, "", &doc), kVXOk);
  double n = 1234.5, nums[2] = {1, 0.25};
  ASSERT_EQ(VXItemPut(doc, "N", 0, 0, kVXTypeNumber, &n, 8), kVXOk);
  ASSERT_EQ(VXItemPut(doc, "L", 0, 0, kVXTypeNumberList, nums, 16), kVXOk);
  ASSERT_EQ(VXItemPut(doc, "Due", 0, 0, kVXTypeText, "1/1/95", 0), kVXOk);
  ASSERT_EQ(VXItemPut(doc, "Code", 0, 0, kVXTypeText, " 200 ", 0), kVXOk);
  ASSERT_EQ(VXItemPut(doc, "Word", 0, 0, kVXTypeText, "abc", 0), kVXOk);
  ASSERT_EQ(VXItemAppendTextList(doc, "Cats", "Red", 0, 0), kVXOk);
  ASSERT_EQ(VXItemAppendTextList(doc, "Cats", "Blue", 0, 0), kVXOk);
  EXPECT_EQ(ReadText(doc, "N"), "1234.5");
  EXPECT_EQ(ReadText(doc, "L"), "1, 0.25");
  EXPECT_EQ(ReadText(doc, "Cats"), "Red, Blue");
  Datetime due;
  uint32_t len = 0;
  ASSERT_EQ(VXItemFetch(doc, "Due", kVXTypeDatetime, &due, sizeof due, &len), kVXOk) << Message();
  EXPECT_EQ(ledra::DatetimeFormat(due), "01/01/1995");
  double code = 0;
  ASSERT_EQ(VXItemFetch(doc, "Code", kVXTypeNumber, &code, 8, &len), kVXOk);
  EXPECT_EQ(code, 200);
  EXPECT_EQ(VXItemFetch(doc, "Word", kVXTypeNumber, &code, 8, &len), kVXWrongType);
  EXPECT_EQ(VXItemFetch(doc, "Missing", kVXTypeText, &code, 8, &len), kVXItemNotFound);
  // A text too long for the buffer is cut at a character boundary.
  ASSERT_EQ(VXItemPut(doc, "Long", 0, 0, kVXTypeText, "a\xc3\xa9", 0), kVXOk);
  char small[3];
  ASSERT_EQ(VXItemFetch(doc, "Long", kVXTypeText, small, sizeof small, &len), kVXOk);
  EXPECT_STREQ(small, "a");
  const void* p = nullptr;
  ASSERT_EQ(VXItemGetPointer(doc, "Word", 0, &p, &len), kVXOk);
  EXPECT_STREQ(static_cast<const char*>(p), "abc");
  VXDocumentClose(doc, 0x20000);
  VXDatabaseClose(db, 0);
}

TEST_F(LedraTest, LookupsByNoteIdUnidAndClass) {
  VXHandle db = Make("lookup.ldf");
  VXNoteId a = SaveText(db, "Subject", "first");
  VXNoteId b = SaveText(db, "Subject", "second");
  ASSERT_NE(a, b);
  VXHandle doc = 0;
  ASSERT_EQ(VXDocumentOpen(db, b, 0, &doc), kVXOk);
  VXUnid unid;
  ASSERT_EQ(VXDocumentGetProperty(doc, kDocPropUnid, &unid, sizeof unid), kVXOk);
  char title[64];
  ASSERT_EQ(VXDocumentGetProperty(doc, kDocPropTitle, title, sizeof title), kVXOk);
  EXPECT_STREQ(title, "second");
  VXDocumentClose(doc, 0);
  EXPECT_EQ(VXDocumentLocateByUnid(db, &unid), b);
  VXUnid other = unid;
  other.words[3] ^= 1;
  EXPECT_EQ(VXDocumentLocateByUnid(db, &other), 0u);
  EXPECT_EQ(VXDocumentLocateByClass(db, kVXClassAbout), 0u);

  // A response carries its parent's UNID.
  ASSERT_EQ(VXDocumentCreate(db, "Reply", &doc), kVXOk);
  ASSERT_EQ(VXDocumentSetProperty(doc, kDocPropParent, &unid), kVXOk);
  ASSERT_EQ(VXDocumentClose(doc, kVXCloseKeepShort), kVXOk);

  // A deleted document is gone for every lookup.
  ASSERT_EQ(VXDocumentDelete(db, b, 0), kVXOk);
  EXPECT_EQ(VXDocumentLocateByUnid(db, &unid), 0u);
  EXPECT_EQ(VXDocumentOpen(db, b, 0, &doc), kVXNoteNotFound);
  EXPECT_EQ(Message(), "Document " + std::to_string(b) + " not found in Database Local!!lookup.ldf");
  EXPECT_EQ(VXDocumentDelete(db, b, kVXDeleteQuiet), kVXOk);
  VXDatabaseClose(db, 0);
}

TEST_F(LedraTest, AttachmentsComeBackByteExact) {
  std::mt19937 random(7);
  std::string big(10 * 1024 * 1024, '\0');
  for (size_t i = 0; i < big.size(); i += 4) {
    uint32_t r = random();
    std::memcpy(&big[i], &r, 4);
  }
  std::string text(100000, 'x');
  struct Case {
    const char* name;
    const std::string* bytes;
    uint32_t flags;
  } cases[] = {
      {"empty.bin", nullptr, 0}, {"empty.z", nullptr, kVXAttachCompress},
      {"text.txt", &text, 0},    {"text.z", &text, kVXAttachCompress},
      {"big.bin", &big, 0},      {"big.z", &big, kVXAttachCompress},
  };
  VXHandle db = Make("attach.ldf");
  VXHandle doc = 0;
  ASSERT_EQ(VXDocumentCreate(db, "Memo", &doc), kVXOk);
  for (const Case& c : cases) {
    std::string file = dir_ + "/in_" + c.name;
    std::ofstream(file, std::ios::binary) << (c.bytes ? *c.bytes : std::string());
    ASSERT_EQ(VXAttachmentAttach(doc, file.c_str(), c.name, c.flags), kVXOk) << Message();
  }
  ASSERT_EQ(VXDocumentClose(doc, kVXCloseKeep), kVXOk) << Message();
  VXNoteId id = static_cast<VXNoteId>(1);
  ASSERT_EQ(VXDocumentOpen(db, id, 0, &doc), kVXOk);
  for (const Case& c : cases) {
    std::string out = dir_ + "/out_" + c.name;
    ASSERT_EQ(VXAttachmentExtract(doc, c.name, out.c_str(), 0), kVXOk) << Message();
    std::ifstream in(out, std::ios::binary);
    std::string got((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_TRUE(got == (c.bytes ? *c.bytes : std::string())) << c.name;
  }
  char name[256];
  uint32_t size = 0;
  ASSERT_EQ(VXAttachmentList(doc, kVXListFirst, name, sizeof name, &size), kVXOk);
  EXPECT_STREQ(name, "empty.bin");
  int listed = 1;
  while (VXAttachmentList(doc, kVXListNext, name, sizeof name, &size) == kVXOk) ++listed;
  EXPECT_EQ(listed, 6);
  EXPECT_EQ(std::string(name), "");
  // Compression stores less, and the store checks out.
  int64_t used = 0;
  ASSERT_EQ(VXDatabaseGetProperty(db, kDbPropBytesUsed, &used, 8), kVXOk);
  EXPECT_LT(used, 2 * 10 * 1024 * 1024 + 2 * 1024 * 1024);
  ASSERT_EQ(VXAttachmentDelete(doc, "big.bin"), kVXOk);
  EXPECT_EQ(VXAttachmentDelete(doc, "big.bin"), kVXAttachmentNotFound);
  ASSERT_EQ(VXDocumentClose(doc, kVXCloseKeep), kVXOk);
  ASSERT_EQ(VXDocumentOpen(db, id, 0, &doc), kVXOk);
  EXPECT_EQ(VXAttachmentExtract(doc, "big.bin", (dir_ + "/gone").c_str(), 0), kVXAttachmentNotFound);
  EXPECT_EQ(Message(), "Attachment big.bin not found in document 1 of Database Local!!attach.ldf");
  VXDocumentClose(doc, 0);
  VXDatabaseClose(db, 0);
  std::unique_ptr<ledra::NoteStore> store;
  ASSERT_EQ(ledra::NoteStore::Open(data() + "/attach.ldf", "t", 1000, &store), kVXOk);
  std::vector<std::string> problems;
  ASSERT_EQ(store->Check(&problems), kVXOk);
  EXPECT_TRUE(problems.empty()) << problems[0];
}

TEST_F(LedraTest, CopyMakesAReplicaThatLocateByReplicaIdFinds) {
  VXHandle db = Make("orig.ldf", "Original");
  SaveText(db, "Subject", "kept");
  uint32_t id[2];
  ASSERT_EQ(VXDatabaseGetProperty(db, kDbPropReplicaId, id, sizeof id), kVXOk);
  VXDatabaseClose(db, 0);
  ASSERT_EQ(VXDatabaseCopy("Local", "orig.ldf", "Hub/Sales", "Sub/replica.ldf", 0, 0x2000000 + 0x107, 0, nullptr),
            kVXOk)
      << Message();
  ASSERT_EQ(VXDatabaseCopy("Local", "orig.ldf", "Local", "copy.ldf", 0, 0x007, 0, nullptr), kVXOk);
  EXPECT_EQ(VXDatabaseCopy("Local", "orig.ldf", "Local", "copy.ldf", 0, 0x007, 0, nullptr), kVXDatabaseExists);

  VXHandle replica = 0;
  ASSERT_EQ(VXDatabaseOpen("Hub/Sales", "Sub\\replica.ldf", 0, &replica), kVXOk) << Message();
  uint32_t rid[2];
  ASSERT_EQ(VXDatabaseGetProperty(replica, kDbPropReplicaId, rid, sizeof rid), kVXOk);
  EXPECT_EQ(rid[0], id[0]);
  EXPECT_EQ(rid[1], id[1]);
  int32_t level = 0, encrypted = 1;
  ASSERT_EQ(VXDatabaseGetProperty(replica, kDbPropEncryptionLevel, &level, 4), kVXOk);
  ASSERT_EQ(VXDatabaseGetProperty(replica, kDbPropEncrypted, &encrypted, 4), kVXOk);
  EXPECT_EQ(level, 2);
  EXPECT_EQ(encrypted, 0);
  char title[64];
  ASSERT_EQ(VXDatabaseGetProperty(replica, kDbPropTitle, title, sizeof title), kVXOk);
  EXPECT_STREQ(title, "Original");
  VXHandle doc = 0;
  ASSERT_EQ(VXDocumentOpen(replica, 1, 0, &doc), kVXOk);
  EXPECT_EQ(ReadText(doc, "Subject"), "kept");
  VXDocumentClose(doc, 0);
  VXDatabaseClose(replica, 0);

  char path[kVXPathSize];
  ASSERT_EQ(VXDatabaseLocateByReplicaid("Hub/Sales", nullptr, id, 1, 0, path), kVXOk) << Message();
  EXPECT_STREQ(path, "Sub/replica.ldf");
  ASSERT_EQ(VXDatabaseLocateByReplicaid("Local", nullptr, id, 1, 0, path), kVXOk);
  EXPECT_STREQ(path, "orig.ldf");  // the plain copy has a replica id of its own
  uint32_t none[2] = {1, 2};
  EXPECT_EQ(VXDatabaseLocateByReplicaid("Local", nullptr, none, 1, 0, path), kVXDatabaseNotFound);
  EXPECT_EQ(Message(), "No database with replica id 1g2 on server Local");
}

TEST_F(LedraTest, DatabaseListOfAFolderAndTheServerList) {
  VXDatabaseClose(Make("b.ldf", "Bee"), 0);
  VXDatabaseClose(Make("Samples/discuss.ldf", "Discussion"), 0);
  VXDatabaseClose(Make("a.ldf", "Ay"), 0);
  std::ofstream(data() + "/notes.txt") << "not a database";
  std::ofstream(data() + "/fake.ldf") << "not a database either";
  std::vector<std::string> seen;
  VXDatabaseEntry e;
  for (VXStatus s = VXDatabaseList("Local", "", 0, 0xC000, 1, &e); s == kVXOk;
       s = VXDatabaseList("Local", "", 0, 0xC000, 4, &e)) {
    seen.push_back(std::string(e.name) + "|" + e.title + "|" + std::to_string(e.is_folder));
  }
  EXPECT_EQ(seen, (std::vector<std::string>{"Samples|Samples|1", "a.ldf|Ay|0", "b.ldf|Bee|0"}));
  ASSERT_EQ(VXDatabaseList("Local", "Samples/", 0, 0xC000, 1, &e), kVXOk);
  EXPECT_STREQ(e.name, "discuss.ldf");
  EXPECT_EQ(VXDatabaseList("Local", "Samples/", 0, 0xC000, 4, &e), kVXEndOfList);
  EXPECT_EQ(VXDatabaseList("Nowhere", "", 0, 0xC000, 1, &e), kVXServerNotFound);

  std::vector<std::string> servers;
  char name[128];
  for (VXStatus s = VXServerList(kVXListFirst, name, sizeof name); s == kVXOk;
       s = VXServerList(kVXListNext, name, sizeof name)) {
    servers.push_back(name);
  }
  EXPECT_EQ(servers, (std::vector<std::string>{"Local", "Hub/Sales"}));
}

// URLs reach the store lower-cased; the folder on disk keeps its case.
TEST_F(LedraTest, DatabasePathsMatchWithoutRegardToLetterCase) {
  ASSERT_EQ(VXDatabaseCreate("Local", "Samples/Discuss.ldf", "Talk"), kVXOk);
  for (const char* path : {"samples\\discuss.ldf", "SAMPLES/DISCUSS.LDF", "Samples/Discuss.ldf"}) {
    VXHandle db = 0;
    ASSERT_EQ(VXDatabaseOpen("Local", path, 0, &db), kVXOk) << path;
    char title[64] = {};
    EXPECT_EQ(VXDatabaseGetProperty(db, 8, title, sizeof title), kVXOk);
    EXPECT_STREQ(title, "Talk");
    EXPECT_EQ(VXDatabaseClose(db, 0), kVXOk);
  }
  VXHandle db = 0;
  EXPECT_EQ(VXDatabaseOpen("Local", "samples/other.ldf", 0, &db), kVXDatabaseNotFound);
}

// Regression: a symbolic link inside the data directory that points to a
// database elsewhere was followed, and its journal files were made beside
// the target.
TEST_F(LedraTest, LinksThatLeadOutOfTheDataDirectoryAreRefused) {
  namespace fs = std::filesystem;
  fs::create_directories(dir_ + "/elsewhere");
  std::string outside = dir_ + "/elsewhere/secret.ldf";
  ASSERT_EQ(VXDatabaseCreate("Hub/Sales", "secret.ldf", "Secret"), kVXOk);
  fs::rename(dir_ + "/hub/secret.ldf", outside);
  fs::create_directories(data() + "/inner");
  VXHandle inside_db = Make("inner/kept.ldf", "Kept");
  VXDatabaseClose(inside_db, 0);
  fs::create_symlink(outside, data() + "/link.ldf");
  fs::create_symlink(dir_ + "/elsewhere", data() + "/linkdir");
  fs::create_symlink(data() + "/inner/kept.ldf", data() + "/alias.ldf");

  fs::create_symlink(dir_ + "/elsewhere/made.ldf", data() + "/dangling.ldf");
  for (const char* path : {"link.ldf", "linkdir/secret.ldf", "LINK.LDF"}) {
    VXHandle db = 0;
    EXPECT_EQ(VXDatabaseOpen("Local", path, 0, &db), kVXBadArgument) << path;
    EXPECT_NE(Message().find("lies outside the data directory"), std::string::npos) << path;
  }
  EXPECT_EQ(VXDatabaseCreate("Local", "linkdir/new.ldf", "x"), kVXBadArgument);
  EXPECT_EQ(VXDatabaseCreate("Local", "dangling.ldf", "x"), kVXBadArgument);
  EXPECT_EQ(VXDatabaseDelete("Local", "link.ldf"), kVXBadArgument);
  EXPECT_TRUE(fs::exists(outside));
  for (const char* journal : {"-wal", "-shm", "-journal"})
    EXPECT_FALSE(fs::exists(outside + journal)) << journal;
  EXPECT_FALSE(fs::exists(dir_ + "/elsewhere/new.ldf"));
  EXPECT_FALSE(fs::exists(dir_ + "/elsewhere/made.ldf"));

  // A link that stays inside is a database like any other.
  VXHandle db = 0;
  ASSERT_EQ(VXDatabaseOpen("Local", "alias.ldf", 0, &db), kVXOk) << Message();
  EXPECT_EQ(VXDatabaseClose(db, 0), kVXOk);

  std::vector<std::string> listed;
  VXDatabaseEntry entry;
  for (uint32_t code = 1; VXDatabaseList("Local", "", 0, 0, code, &entry) == kVXOk; code = 4)
    listed.emplace_back(entry.name);
  EXPECT_EQ(listed, (std::vector<std::string>{"alias.ldf", "inner"}));
  fs::remove(data() + "/dangling.ldf");
}

// Regression: ledra.ini.lock stayed behind when the platform's use ended.
TEST_F(LedraTest, TheSettingsLockFileGoesWhenThePlatformEnds) {
  std::string lock_file = dir_ + "/ledra.ini.lock";
  ASSERT_EQ(VXSetEnvironmentString("$Corvane_Test", "1", 0), kVXOk);
  EXPECT_TRUE(std::filesystem::exists(lock_file));
  ASSERT_EQ(VXTerm(0), kVXOk);
  EXPECT_FALSE(std::filesystem::exists(lock_file));
  ASSERT_EQ(_VXInit(0x45004, nullptr, nullptr, nullptr), kVXOk);
  ASSERT_EQ(VXSetEnvironmentString("$Corvane_Test", "2", 0), kVXOk);
  char value[16] = {};
  ASSERT_EQ(VXGetEnvironmentString("$Corvane_Test", value, sizeof value), kVXOk);
  EXPECT_STREQ(value, "2");
}

TEST_F(LedraTest, BadHandlesAndMissingDatabasesGiveStatusesAndMessages) {
  VXHandle out = 0;
  EXPECT_EQ(VXDatabaseOpen("Local", "nope.ldf", 0, &out), kVXDatabaseNotFound);
  EXPECT_EQ(Message(), "Database Local!!nope.ldf not found");
  EXPECT_EQ(VXDatabaseOpen("Mars", "x.ldf", 0, &out), kVXServerNotFound);
  EXPECT_EQ(VXDatabaseOpen("Local", "../ledra.ini", 0, &out), kVXBadArgument);
  EXPECT_EQ(VXDatabaseOpen("Local", "/etc/passwd", 0, &out), kVXBadArgument);
  std::ofstream(data() + "/junk.ldf") << "junk";
  EXPECT_EQ(VXDatabaseOpen("Local", "junk.ldf", 0, &out), kVXNotADatabase);
  EXPECT_EQ(Message(), "Database Local!!junk.ldf is not a Ledra database");
  EXPECT_EQ(VXDatabaseDelete("Local", "junk.ldf"), kVXNotADatabase);  // other files are never deleted

  const VXHandle bad = 0x7777;
  char buf[64];
  uint32_t n = 0;
  VXHandle h = 0;
  VXDesignRecord r;
  const VXStatus results[] = {
      VXDatabaseClose(bad, 0),
      VXDatabaseGetProperty(bad, kDbPropTitle, buf, sizeof buf),
      VXDocumentOpen(bad, 1, 0, &h),
      VXDocumentCreate(bad, "F", &h),
      VXDocumentClose(bad, 0),
      VXDocumentSave(bad, 0),
      VXDocumentDelete(bad, 1, 0),
      VXItemPut(bad, "A", 0, 0, kVXTypeText, "x", 1),
      VXItemFetch(bad, "A", 0, buf, sizeof buf, &n),
      VXAttachmentExtract(bad, "a", "/tmp/x", 0),
      VXFormList(bad, kVXListFirst, &r),
      VXViewFetch(bad, 1, &r),
      VXTextListGetLength(bad, &n),
      VXMailSend(bad, 0),
  };
  for (VXStatus s : results) EXPECT_EQ(s, kVXBadHandle);
  EXPECT_EQ(LCMemLock(bad), nullptr);
  EXPECT_EQ(VXDocumentLocateByClass(bad, 2), 0u);
  // A document handle is not a database handle, and a closed one is dead.
  VXHandle db = Make("h.ldf");
  VXHandle doc = 0;
  ASSERT_EQ(VXDocumentCreate(db, "F", &doc), kVXOk);
  EXPECT_EQ(VXDatabaseClose(doc, 0), kVXBadHandle);
  ASSERT_EQ(VXDocumentClose(doc, 0x20000), kVXOk);
  EXPECT_EQ(VXItemPut(doc, "A", 0, 0, kVXTypeText, "x", 1), kVXBadHandle);
  EXPECT_EQ(Message(), "Invalid document handle " + std::to_string(doc) + " (not open, or closed)");
  VXDatabaseClose(db, 0);
}

TEST_F(LedraTest, DeletionsAndSavesAdvanceTheModificationSequence) {
  VXHandle db = Make("seq.ldf");
  int64_t start = 0;
  ASSERT_EQ(VXDatabaseGetProperty(db, kDbPropSequence, &start, 8), kVXOk);
  VXNoteId a = SaveText(db, "S", "a");
  VXNoteId b = SaveText(db, "S", "b");
  ASSERT_EQ(VXDocumentDelete(db, a, 0), kVXOk);
  std::unique_ptr<ledra::NoteStore> store;
  ASSERT_EQ(ledra::NoteStore::Open(data() + "/seq.ldf", "t", 1000, &store), kVXOk);
  std::vector<ledra::NoteChange> changes;
  ASSERT_EQ(store->ChangedSince(start, &changes), kVXOk);
  ASSERT_EQ(changes.size(), 2u);
  EXPECT_EQ(changes[0].id, b);
  EXPECT_FALSE(changes[0].deleted);
  EXPECT_EQ(changes[1].id, a);
  EXPECT_TRUE(changes[1].deleted);
  ASSERT_EQ(store->ChangedSince(changes[1].sequence, &changes), kVXOk);
  EXPECT_TRUE(changes.empty());
  VXDatabaseClose(db, 0);
}

TEST_F(LedraTest, DesignGuardPurgeAndBatchProperties) {
  VXHandle db = Make("props.ldf");
  VXHandle doc = 0;
  ASSERT_EQ(VXDocumentCreate(db, "", &doc), kVXOk);
  int32_t cls = kVXClassReplFormula;
  ASSERT_EQ(VXDocumentSetProperty(doc, kDocPropClass, &cls), kVXOk);
  ASSERT_EQ(VXItemPut(doc, "$TITLE", 0, 0, kVXTypeText, "me", 0), kVXOk);
  ASSERT_EQ(VXDocumentClose(doc, kVXCloseKeep), kVXOk);
  VXNoteId id = VXDocumentLocateByClass(db, kVXClassReplFormula);
  ASSERT_NE(id, 0u);
  EXPECT_EQ(VXDocumentOpen(db, id, 0, &doc), kVXDesignProtected);
  EXPECT_EQ(VXDocumentDelete(db, id, kVXDeletePurge), kVXDesignProtected);
  int32_t zero = 0, one = 1;
  ASSERT_EQ(VXDatabaseSetProperty(db, kDbPropDesignGuard, &zero), kVXOk);
  EXPECT_EQ(VXDocumentDelete(db, id, kVXDeletePurge), kVXNotAllowed);
  ASSERT_EQ(VXDatabaseSetProperty(db, kDbPropPurgeAllowed, &one), kVXOk);
  EXPECT_EQ(VXDocumentDelete(db, id, kVXDeletePurge), kVXOk);

  // Saves inside a batch are seen by another connection only at the commit.
  ASSERT_EQ(VXDatabaseSetProperty(db, kDbPropBatch, &one), kVXOk);
  VXNoteId held = SaveText(db, "S", "held");
  VXHandle other = 0;
  ASSERT_EQ(VXDatabaseOpen("Local", "props.ldf", 0, &other), kVXOk);
  EXPECT_EQ(VXDocumentOpen(other, held, 0, &doc), kVXNoteNotFound);
  ASSERT_EQ(VXDatabaseSetProperty(db, kDbPropBatch, &zero), kVXOk);
  ASSERT_EQ(VXDocumentOpen(other, held, 0, &doc), kVXOk);
  VXDocumentClose(doc, 0);
  VXDatabaseClose(other, 0);
  VXDatabaseClose(db, 0);
}

TEST_F(LedraTest, EnvironmentStringsAndUserName) {
  char value[2048];
  ASSERT_EQ(VXGetEnvironmentString("$Corvane_Running", value, sizeof value), kVXOk);
  EXPECT_STREQ(value, "");
  ASSERT_EQ(VXSetEnvironmentString("$Corvane_Running", "TRUE", 1), kVXOk);
  ASSERT_EQ(VXGetEnvironmentString("$corvane_running", value, sizeof value), kVXOk);
  EXPECT_STREQ(value, "TRUE");
  ASSERT_EQ(VXSetEnvironmentString("$Corvane_Running", "", 1), kVXOk);
  ASSERT_EQ(VXGetEnvironmentString("$Corvane_Running", value, sizeof value), kVXOk);
  EXPECT_STREQ(value, "");
  EXPECT_EQ(VXSetEnvironmentString("A=B", "x", 1), kVXBadArgument);
  // The existing settings survive every update.
  ASSERT_EQ(VXGetEnvironmentString("Directory", value, sizeof value), kVXOk);
  EXPECT_STREQ(value, "data");

  std::ofstream(dir_ + "/user.id") << "Ada Lovelace/Hub\nsecret\n";
  ASSERT_EQ(VXSetEnvironmentString("KeyFilename", "user.id", 1), kVXOk);
  ASSERT_EQ(VXGetProperty(kVXPropUserName, value, sizeof value), kVXOk);
  EXPECT_STREQ(value, "Ada Lovelace/Hub");
}

TEST_F(LedraTest, DesignNotesFromADesignSource) {
  int rc = std::system(("\"" CORVANE_BIN_DIR "/ledra\" create " + data() + "/sample.ldf --design " CORVANE_SOURCE_DIR
                        "/tests/ledra/data/sample_design.json >/dev/null")
                           .c_str());
  ASSERT_EQ(rc, 0);
  VXHandle db = 0;
  ASSERT_EQ(VXDatabaseOpen("Local", "sample.ldf", 128, &db), kVXOk);
  std::vector<std::string> forms;
  VXDesignRecord r;
  for (VXStatus s = VXFormList(db, kVXListFirst, &r); s == kVXOk; s = VXFormList(db, kVXListNext, &r)) {
    forms.push_back(std::string(r.full_name) + "|" + std::to_string(r.hidden) + "|" + std::to_string(r.response_kind));
  }
  EXPECT_EQ(forms, (std::vector<std::string>{"Main Topic|MainTopic|0|0", "Response|0|1",
                                             "Corvane Navigator: Default|1|0"}));
  VXNoteId main = VXFormLocateByName(db, "maintopic");
  ASSERT_NE(main, 0u);
  int32_t default_form = 0;
  ASSERT_EQ(VXDatabaseGetProperty(db, kDbPropDefaultForm, &default_form, 4), kVXOk);
  EXPECT_EQ(static_cast<VXNoteId>(default_form), main);
  ASSERT_EQ(VXFormFetch(db, main, &r), kVXOk);
  EXPECT_EQ(r.flags, 2u);
  EXPECT_EQ(VXFormFetch(db, 9999, &r), kVXNoSuchForm);
  EXPECT_NE(VXSubformLocateByName(db, "Header"), 0u);

  VXFieldRecord f;
  ASSERT_EQ(VXFieldFetch(db, main, "categories", &f), kVXOk);
  EXPECT_EQ(f.data_type, kVXTypeTextList);
  EXPECT_EQ(f.keyword_kind, 3u);
  uint32_t count = 0;
  ASSERT_EQ(VXTextListGetLength(f.keywords, &count), kVXOk);
  ASSERT_EQ(count, 3u);
  char keyword[32];
  ASSERT_EQ(VXTextListFetch(f.keywords, 0, keyword, sizeof keyword, nullptr), kVXOk);
  EXPECT_STREQ(keyword, "Red|r");
  ASSERT_EQ(VXFieldFetch(db, main, "Subject", &f), kVXOk);
  EXPECT_STREQ(f.help, "One line");
  EXPECT_STREQ(f.default_formula, "\"New topic\"");
  std::vector<std::string> fields;
  char name[65];
  for (VXStatus s = VXFieldList(db, main, kVXListFirst, name, sizeof name); s == kVXOk;
       s = VXFieldList(db, main, kVXListNext, name, sizeof name)) {
    fields.push_back(name);
  }
  EXPECT_EQ(fields, (std::vector<std::string>{"Subject", "Categories", "Due"}));

  VXNoteId cat = VXViewLocateByName(db, "By Category/Colour");
  ASSERT_NE(cat, 0u);
  EXPECT_EQ(VXViewLocateByName(db, "bycat"), cat);
  ASSERT_EQ(VXViewFetch(db, cat, &r), kVXOk);
  EXPECT_STREQ(r.second_name, "By Category");
  EXPECT_STREQ(r.third_name, "Colour");
  EXPECT_EQ(r.flags & kVXViewCollapsed, kVXViewCollapsed);
  EXPECT_STREQ(r.selection, "SELECT @All");
  ASSERT_EQ(VXViewFetch(db, VXViewLocateByName(db, "All Documents"), &r), kVXOk);
  EXPECT_STREQ(r.selection, "SELECT Form = \"Main Topic\"");
  ASSERT_EQ(VXViewFetch(db, VXViewLocateByName(db, "($Inbox)"), &r), kVXOk);
  EXPECT_EQ(r.hidden, 1u);
  EXPECT_NE(VXFolderLocateByName(db, "Favourites"), 0u);
  EXPECT_EQ(VXViewLocateByName(db, "Favourites"), 0u);
  ASSERT_EQ(VXAgentList(db, kVXListFirst, &r), kVXOk);
  EXPECT_EQ(r.hidden, 1u);
  EXPECT_EQ(VXAgentList(db, kVXListNext, &r), kVXEndOfList);

  int32_t zero = 0;
  ASSERT_EQ(VXDatabaseSetProperty(db, kDbPropDesignGuard, &zero), kVXOk);
  VXHandle about = 0;
  ASSERT_EQ(VXDocumentOpen(db, VXDocumentLocateByClass(db, kVXClassAbout), 0, &about), kVXOk);
  EXPECT_EQ(ReadText(about, "Subject"), "About this database");
  VXDocumentClose(about, 0x20000);

  // A document's form property finds the form by the document's "Form".
  VXHandle doc = 0;
  ASSERT_EQ(VXDocumentCreate(db, "Main Topic", &doc), kVXOk);
  int32_t form_id = 0;
  ASSERT_EQ(VXDocumentGetProperty(doc, kDocPropForm, &form_id, 4), kVXOk);
  EXPECT_EQ(static_cast<VXNoteId>(form_id), main);
  ASSERT_EQ(VXMailSend(doc, 0), kVXOk);
  VXDocumentClose(doc, 0x20000);
  VXHandle box = 0;
  ASSERT_EQ(VXDatabaseOpen("Local", "mail.box", 0, &box), kVXOk);
  ASSERT_EQ(VXDocumentOpen(box, 1, 0, &doc), kVXOk);
  EXPECT_EQ(ReadText(doc, "Form"), "Main Topic");
  VXDocumentClose(doc, 0);
  VXDatabaseClose(box, 0);
  VXDatabaseClose(db, 0);
}

TEST_F(LedraTest, DatetimesTranslationAndMemory) {
  Datetime a, b;
  ASSERT_TRUE(ledra::DatetimeParse("12/08/2026 14:03:00", &a));
  ASSERT_TRUE(ledra::DatetimeParse("12/01/2026 14:03:00", &b));
  int32_t days = 0;
  ASSERT_EQ(VXDatetimeDifference(&a, &b, 5, &days), kVXOk);
  EXPECT_EQ(days, 7);
  EXPECT_GT(VXDatetimeCompare(&a, &b), 0);
  VXDatetimeAdjustment adjust;
  adjust.days = 7;
  ASSERT_EQ(VXDatetimeAdjust(&b, &adjust), kVXOk);
  EXPECT_EQ(VXDatetimeCompare(&a, &b), 0);
  char text[256];
  ASSERT_EQ(VXConvert(3, 8, &a, 2, sizeof text, text, nullptr), kVXOk);
  EXPECT_STREQ(text, "12/08/2026 14:03:00");
  ASSERT_EQ(VXConvert(2, 0, "1/1/95", 3, sizeof b, &b, nullptr), kVXOk);
  EXPECT_EQ(ledra::DatetimeFormat(b), "01/01/1995");
  EXPECT_EQ(VXConvert(2, 0, "not a date", 3, sizeof b, &b, nullptr), kVXConversionFailed);

  VXHandle db = Make("dt.ldf");
  Datetime modified;
  ASSERT_EQ(VXDatabaseGetProperty(db, kDbPropLastModified, &modified, sizeof modified), kVXOk);
  EXPECT_GT(modified.ticks, 0);
  VXDatabaseClose(db, 0);

  struct {
    std::string in;
    uint32_t size;
    std::string out;
  } cases[] = {
      {"plain", 64, "plain"},
      {"caf\xc3\xa9", 64, "caf\xc3\xa9"},
      {"bad\xff byte", 64, "bad\xef\xbf\xbd byte"},
      {"caf\xc3\xa9", 5, "caf"},  // a character is never cut in two
      {"", 4, ""},
  };
  for (const auto& c : cases) {
    char out[64];
    uint32_t n = 0;
    ASSERT_EQ(VXTranslate(0, static_cast<uint32_t>(c.in.size()), c.in.c_str(), c.size, out, &n), kVXOk);
    EXPECT_EQ(std::string(out, n), c.out) << c.in;
  }
  VXHandle m = LCMemAlloc("abc", 3);
  ASSERT_NE(m, 0u);
  EXPECT_EQ(std::memcmp(LCMemLock(m), "abc", 3), 0);
  EXPECT_EQ(LCMemUnlock(m), kVXOk);
  EXPECT_EQ(LCMemFree(m), kVXOk);
  EXPECT_EQ(LCMemFree(m), kVXBadHandle);
}

}  // namespace
