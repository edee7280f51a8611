// The design notes a database keeps in memory: look-ups by name and the
// form formulas of saves follow design changes made through the same handle,
// through other connections and by another program, while saves of
// documents leave them as they are.
#include <stdlib.h>
#include <sys/wait.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>

#include "ledra/design_source.h"
#include "ledra/note_store.h"
#include "ledra/objects.h"
#include "tests/ledra/ledra_fixture.h"

namespace {

class DesignCacheTest : public LedraTest {
 protected:
  // A second connection to the database, as another program would have.
  std::unique_ptr<ledra::NoteStore> Other(const std::string& path) {
    std::unique_ptr<ledra::NoteStore> store;
    EXPECT_EQ(ledra::NoteStore::Open(data() + "/" + path, path, 1000, &store), kVXOk) << Message();
    return store;
  }

  VXNoteId MakeSubform(VXHandle db, const char* name) {
    VXSubformRecord record{};
    std::snprintf(record.name, sizeof record.name, "%s", name);
    VXNoteId id = 0;
    EXPECT_EQ(VXSubformCreate(db, &record, &id), kVXOk) << Message();
    return id;
  }

  std::string SavedStatus(VXHandle db) {
    VXHandle doc = 0;
    EXPECT_EQ(VXDocumentCreate(db, "Memo", &doc), kVXOk);
    EXPECT_EQ(VXItemPut(doc, "Form", 0, 0, kVXTypeText, "Memo", 0), kVXOk);
    EXPECT_EQ(VXDocumentSave(doc, 0x10000), kVXOk) << Message();
    std::string status = ReadText(doc, "Status");
    EXPECT_EQ(VXDocumentClose(doc, 0), kVXOk);
    return status;
  }
};

TEST_F(DesignCacheTest, LookUpsFollowDesignChangesFromAnyConnection) {
  VXHandle db = Make("d.ldf");
  VXHandle second = 0;
  ASSERT_EQ(VXDatabaseOpen("Local", "d.ldf", 0, &second), kVXOk);
  // A name looked up and not found is remembered as not found...
  EXPECT_EQ(VXSubformLocateByName(db, "Part"), 0u);
  // ...until another handle (its own connection) adds it.
  VXNoteId part = MakeSubform(second, "Part");
  EXPECT_EQ(VXSubformLocateByName(db, "Part"), part);
  // Documents saved elsewhere change nothing of the design.
  SaveText(second, "Subject", "a document");
  EXPECT_EQ(VXSubformLocateByName(db, "part"), part);
  // A design note deleted elsewhere is gone here.
  int32_t off = 0;
  ASSERT_EQ(VXDatabaseSetProperty(second, kDbPropDesignGuard, &off), kVXOk);
  ASSERT_EQ(VXDocumentDelete(second, part, 0), kVXOk) << Message();
  EXPECT_EQ(VXSubformLocateByName(db, "Part"), 0u);
  // And one added through the handle itself is found at once.
  VXNoteId own = MakeSubform(db, "Own");
  EXPECT_EQ(VXSubformLocateByName(db, "Own"), own);
  VXDesignRecord record;
  EXPECT_EQ(VXFormFetch(db, own, &record), kVXOk);
  EXPECT_STREQ(record.full_name, "Own");
  // A design note changed by a connection that writes the file directly.
  std::unique_ptr<ledra::NoteStore> other = Other("d.ldf");
  ledra::Note note;
  ASSERT_EQ(other->Load(own, &note), kVXOk);
  ledra::PutText(&note, "$TITLE", "Renamed");
  ASSERT_EQ(other->Save(&note, {}), kVXOk);
  EXPECT_EQ(VXSubformLocateByName(db, "Own"), 0u);
  EXPECT_EQ(VXSubformLocateByName(db, "Renamed"), own);
  VXDatabaseClose(second, 0);
  VXDatabaseClose(db, 0);
}

TEST_F(DesignCacheTest, SavesUseTheFormAsItIsNow) {
  ledra::DesignSource source;
  ASSERT_EQ(ledra::ParseDesignSource(
                R"({"title": "T", "forms": [{"name": "Memo", "fields": [
                      {"name": "Status", "default": "\"new\""}]}]})",
                ledra::ParseOptions(), &source),
            kVXOk);
  uint32_t replica[2] = {1, 2};
  ASSERT_EQ(ledra::NoteStore::Create(data() + "/f.ldf", "f.ldf", "T", replica), kVXOk);
  {
    std::unique_ptr<ledra::NoteStore> store = Other("f.ldf");
    ASSERT_EQ(ledra::ApplyDesignSource(store.get(), source), kVXOk) << Message();
  }
  VXHandle db = 0;
  ASSERT_EQ(VXDatabaseOpen("Local", "f.ldf", 0, &db), kVXOk);
  EXPECT_EQ(SavedStatus(db), "new");
  EXPECT_EQ(SavedStatus(db), "new");
  // The form's default changes in another connection; the next save uses it.
  std::unique_ptr<ledra::NoteStore> other = Other("f.ldf");
  VXNoteId form = VXFormLocateByName(db, "Memo");
  ASSERT_NE(form, 0u);
  ledra::Note note;
  ASSERT_EQ(other->Load(form, &note), kVXOk);
  ledra::PutText(&note, "$Fields", R"([{"name": "Status", "default": "\"newer\""}])");
  ASSERT_EQ(other->Save(&note, {}), kVXOk);
  EXPECT_EQ(SavedStatus(db), "newer");
  VXDatabaseClose(db, 0);
}

// Run as its own program by DesignChangedByAnotherProgram (this test binary
// started again with CORVANE_DESIGN_CHILD naming the file): renames the view
// "All", deletes the form "Memo" and adds a form "Note".
TEST(DesignCacheChild, ChangesTheDesign) {
  const char* file = getenv("CORVANE_DESIGN_CHILD");
  if (file == nullptr) GTEST_SKIP() << "run by DesignChangedByAnotherProgram";
  std::unique_ptr<ledra::NoteStore> store;
  ASSERT_EQ(ledra::NoteStore::Open(file, "child", 5000, &store), kVXOk);
  VXNoteId view = 0, memo = 0;
  for (VXNoteId id : store->NotesOfClass(kVXClassView | kVXClassForm)) {
    ledra::Note note;
    ASSERT_EQ(store->Load(id, &note), kVXOk);
    std::string name = ledra::TextItem(note, "$TITLE");
    if (note.note_class == kVXClassView && name == "All") view = id;
    if (note.note_class == kVXClassForm && name == "Memo") memo = id;
  }
  ASSERT_NE(view, 0u);
  ASSERT_NE(memo, 0u);
  ledra::Note note;
  ASSERT_EQ(store->Load(view, &note), kVXOk);
  ledra::PutText(&note, "$TITLE", "Everything");
  ASSERT_EQ(store->Save(&note, {}), kVXOk);
  ASSERT_EQ(store->Load(memo, &note), kVXOk);
  ASSERT_EQ(store->Delete(memo, false), kVXOk);
  note.id = 0;
  note.unid = ledra::NewUnid();
  ledra::PutText(&note, "$TITLE", "Note");
  ASSERT_EQ(store->Save(&note, {}), kVXOk);
}

TEST_F(DesignCacheTest, DesignChangedByAnotherProgram) {
  ledra::DesignSource source;
  ASSERT_EQ(ledra::ParseDesignSource(
                R"({"title": "T", "forms": [{"name": "Memo"}],
                    "views": [{"name": "All", "selection": "SELECT @All",
                               "columns": [{"title": "S", "item": "Subject"}]}]})",
                ledra::ParseOptions(), &source),
            kVXOk);
  uint32_t replica[2] = {3, 4};
  std::string file = data() + "/p.ldf";
  ASSERT_EQ(ledra::NoteStore::Create(file, "p.ldf", "T", replica), kVXOk);
  {
    std::unique_ptr<ledra::NoteStore> store = Other("p.ldf");
    ASSERT_EQ(ledra::ApplyDesignSource(store.get(), source), kVXOk) << Message();
  }
  VXHandle db = 0;
  ASSERT_EQ(VXDatabaseOpen("Local", "p.ldf", 0, &db), kVXOk);
  // Every answer below is in the cache before the other program runs.
  VXNoteId view = VXViewLocateByName(db, "All");
  VXNoteId memo = VXFormLocateByName(db, "Memo");
  ASSERT_NE(view, 0u);
  ASSERT_NE(memo, 0u);
  EXPECT_EQ(VXViewLocateByName(db, "Everything"), 0u);
  EXPECT_EQ(VXFormLocateByName(db, "Note"), 0u);
  VXDesignRecord record;
  ASSERT_EQ(VXFormFetch(db, memo, &record), kVXOk);

  std::string self = std::filesystem::read_symlink("/proc/self/exe").string();
  std::string command = "CORVANE_DESIGN_CHILD='" + file + "' '" + self +
                        "' --gtest_filter=DesignCacheChild.ChangesTheDesign >'" +
                        dir_ + "/child.log' 2>&1";
  int status = std::system(command.c_str());
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0)
      << "the other program failed:\n"
      << std::string(std::istreambuf_iterator<char>(std::ifstream(dir_ + "/child.log").rdbuf()), {});

  EXPECT_EQ(VXViewLocateByName(db, "All"), 0u);
  EXPECT_EQ(VXViewLocateByName(db, "Everything"), view);
  ASSERT_EQ(VXViewFetch(db, view, &record), kVXOk);
  EXPECT_STREQ(record.full_name, "Everything");
  EXPECT_EQ(VXFormLocateByName(db, "Memo"), 0u);
  EXPECT_NE(VXFormFetch(db, memo, &record), kVXOk);
  VXNoteId note = VXFormLocateByName(db, "Note");
  EXPECT_NE(note, 0u);
  EXPECT_NE(note, memo);
  VXDatabaseClose(db, 0);
}

}  // namespace
