// The formula language on real databases: the Schedule form recomputing
// NextSuggestedActivation on save, VXDocumentExecute, VXDocumentValidate,
// default values, selections over stored notes, compiled formulas in items
// of type 1536, and `ledra eval`.
#include <sys/wait.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <nlohmann/json.hpp>

#include "ledra/design_source.h"
#include "ledra/formula/form_formulas.h"
#include "ledra/formula/formula_calls.h"
#include "ledra/formula/note_document.h"
#include "ledra/note_store.h"
#include "tests/ledra/ledra_fixture.h"

namespace {

using namespace ledra;

// A configuration database with the Schedule form and a form that has a
// default, a validation and a computed field.
std::string ConfigDesign() {
  nlohmann::ordered_json design = {
      {"title", "Corvane Configuration"},
      {"forms",
       {{{"name", "Schedule"},
         {"fields",
          {{{"name", "Enabled"}},
           {{"name", "NextActivation"}, {"type", "datetime"}},
           {{"name", "LastActivation"}, {"type", "datetime"}},
           {{"name", "Frequency"}},
           {{"name", "FrequencyUnits"}},
           {{"name", "NextSuggestedActivation"},
            {"type", "datetime"},
            {"flags", 0},
            {"computed", kScheduleNextSuggestedActivationFormula}}}}},
        {{"name", "Memo"},
         {"fields",
          {{{"name", "Author"}, {"flags", 3}, {"default", "@V3UserName"}},
           {{"name", "Subject"}, {"default", "\"New memo\""},
            {"validation", "@If(Subject = \"\"; @Failure(\"Please enter a subject\"); @Success)"}},
           {{"name", "Size"}, {"type", "number"}, {"computed", "@Length(Subject)"}},
           {{"name", "Broken"}, {"computed", "1 / 0"}}}}}}},
  };
  return design.dump();
}

Datetime At(const char* text) {
  Datetime value;
  EXPECT_TRUE(DatetimeParse(text, &value)) << text;
  return value;
}

class FormulaStoreTest : public LedraTest {
 protected:
  void SetUp() override {
    LedraTest::SetUp();
    ASSERT_EQ(VXDatabaseCreate("Local", "kvconfig.ldf", "Corvane Configuration"), kVXOk) << Message();
    std::unique_ptr<NoteStore> store;
    ASSERT_EQ(NoteStore::Open(data() + "/kvconfig.ldf", "kvconfig", 5000, &store), kVXOk) << Message();
    DesignSource source;
    ASSERT_EQ(ParseDesignSource(ConfigDesign(), ParseOptions(), &source), kVXOk) << Message();
    ASSERT_EQ(ApplyDesignSource(store.get(), source), kVXOk) << Message();
    store.reset();
    ASSERT_EQ(VXDatabaseOpen("Local", "kvconfig.ldf", 0, &db_), kVXOk) << Message();
  }
  void TearDown() override {
    VXDatabaseClose(db_, 0);
    LedraTest::TearDown();
  }

  void PutTime(VXHandle doc, const char* item, const Datetime& value) {
    ASSERT_EQ(VXItemPut(doc, item, 0, 0, kVXTypeDatetime, &value, sizeof value), kVXOk) << Message();
  }
  void PutText(VXHandle doc, const char* item, const char* value) {
    ASSERT_EQ(VXItemPut(doc, item, 0, 0, kVXTypeText, value, 0), kVXOk) << Message();
  }
  Datetime GetTime(VXHandle doc, const char* item) {
    Datetime value;
    uint32_t length = 0;
    EXPECT_EQ(VXItemFetch(doc, item, kVXTypeDatetime, &value, sizeof value, &length), kVXOk)
        << item << ": " << Message();
    return value;
  }
  VXNoteId NoteIdOf(VXHandle doc) {
    VXNoteId id = 0;
    EXPECT_EQ(VXDocumentGetProperty(doc, kDocPropNoteId, &id, sizeof id), kVXOk);
    return id;
  }

  VXHandle db_ = 0;
};

TEST_F(FormulaStoreTest, ScheduleGetsNextSuggestedActivationOnSave) {
  const struct {
    const char* frequency;
    const char* units;
    const char* last;
    const char* expected;
  } cases[] = {
      {"1", "hours", "12/08/2026 14:00:00", "12/08/2026 15:00:00"},
      {"1", "days", "12/08/2026 14:00:00", "12/09/2026 14:00:00"},
      {"15", "minutes", "12/08/2026 14:00:00", "12/08/2026 14:15:00"},
  };
  for (const auto& c : cases) {
    VXHandle doc = 0;
    ASSERT_EQ(VXDocumentCreate(db_, "Schedule", &doc), kVXOk) << Message();
    PutText(doc, "Enabled", "Enabled");
    PutText(doc, "Frequency", c.frequency);
    PutText(doc, "FrequencyUnits", c.units);
    PutText(doc, "NextActivation", "1/1/95");
    // What the scheduler does: LastActivation := NextActivation, save.
    PutTime(doc, "LastActivation", At(c.last));
    ASSERT_EQ(VXDocumentSave(doc, 0x10000), kVXOk) << Message();
    const VXNoteId id = NoteIdOf(doc);
    ASSERT_EQ(VXDocumentClose(doc, 0), kVXOk);

    // Read back from the file.
    ASSERT_EQ(VXDocumentOpen(db_, id, 0, &doc), kVXOk) << Message();
    EXPECT_EQ(DatetimeFormat(GetTime(doc, "NextSuggestedActivation")), c.expected) << c.units;
    // The next run moves LastActivation on; the next save recomputes.
    PutTime(doc, "LastActivation", At(c.expected));
    ASSERT_EQ(VXDocumentSave(doc, 0x10000), kVXOk) << Message();
    const Datetime after = GetTime(doc, "NextSuggestedActivation");
    EXPECT_GT(DatetimeDifference(after, At(c.expected), DatetimeUnit::kMinutes), 0) << c.units;
    ASSERT_EQ(VXDocumentClose(doc, 0), kVXOk);
  }
}

TEST_F(FormulaStoreTest, AFailingComputedFieldDoesNotStopTheSave) {
  VXHandle doc = 0;
  ASSERT_EQ(VXDocumentCreate(db_, "Memo", &doc), kVXOk) << Message();
  PutText(doc, "Subject", "hello");
  PutText(doc, "Broken", "kept");
  ASSERT_EQ(VXDocumentSave(doc, 0x10000), kVXOk) << Message();
  double size = 0;
  uint32_t length = 0;
  ASSERT_EQ(VXItemFetch(doc, "Size", kVXTypeNumber, &size, sizeof size, &length), kVXOk) << Message();
  EXPECT_EQ(size, 5);
  EXPECT_EQ(ReadText(doc, "Broken"), "kept");
  ASSERT_EQ(VXDocumentClose(doc, 0), kVXOk);
}

TEST_F(FormulaStoreTest, ASaveInsideAFieldWalkKeepsTheWalk) {
  const VXNoteId form = VXFormLocateByName(db_, "Memo");
  ASSERT_NE(form, 0u);
  char name[kVXNameSize];
  ASSERT_EQ(VXFieldList(db_, form, kVXListFirst, name, sizeof name), kVXOk);
  EXPECT_STREQ(name, "Author");
  (void)SaveText(db_, "Subject", "saved while walking");  // runs the Memo form's formulas
  ASSERT_EQ(VXFieldList(db_, form, kVXListNext, name, sizeof name), kVXOk);
  EXPECT_STREQ(name, "Subject");
}

TEST_F(FormulaStoreTest, DefaultsFilledOnCreate) {
  char user[256] = {};
  ASSERT_EQ(VXGetProperty(kVXPropUserName, user, sizeof user), kVXOk);
  VXHandle doc = 0;
  ASSERT_EQ(VXDocumentCreate(db_, "Memo", &doc), kVXOk) << Message();
  EXPECT_EQ(ReadText(doc, "Author"), user);
  EXPECT_EQ(ReadText(doc, "Subject"), "New memo");
  ASSERT_EQ(VXDocumentClose(doc, 0x20000), kVXOk);
}

TEST_F(FormulaStoreTest, ValidateGivesTheFailureText) {
  VXHandle doc = 0;
  ASSERT_EQ(VXDocumentCreate(db_, "Memo", &doc), kVXOk) << Message();
  char message[256] = "x";
  EXPECT_EQ(VXDocumentValidate(doc, message, sizeof message), kVXOk) << Message();
  EXPECT_STREQ(message, "");
  PutText(doc, "Subject", "");
  EXPECT_EQ(VXDocumentValidate(doc, message, sizeof message), kVXValidationFailed);
  EXPECT_STREQ(message, "Please enter a subject");
  EXPECT_EQ(Message(), "Please enter a subject");
  // A short buffer gets as much as fits, with its 0.
  char small[7];
  EXPECT_EQ(VXDocumentValidate(doc, small, sizeof small), kVXValidationFailed);
  EXPECT_STREQ(small, "Please");
  ASSERT_EQ(VXDocumentClose(doc, 0x20000), kVXOk);
}

TEST_F(FormulaStoreTest, ExecuteWritesTheResultItemWithItsType) {
  VXHandle doc = 0;
  ASSERT_EQ(VXDocumentCreate(db_, "Memo", &doc), kVXOk) << Message();
  PutText(doc, "Subject", "Quarterly report");
  const struct {
    const char* formula;
    uint16_t type;
    const char* text;
  } cases[] = {
      {"@Uppercase(Subject)", kVXTypeText, "QUARTERLY REPORT"},
      {"@Length(Subject) * 2", kVXTypeNumber, "32"},
      {"\"a\" : \"b\"", kVXTypeTextList, "a, b"},
      {"1 : 2", kVXTypeNumberList, "1, 2"},
      {"[12/08/2026 14:03]", kVXTypeDatetime, "12/08/2026 14:03:00"},
      {"@IsNewDoc", kVXTypeNumber, "1"},
      {"@DbTitle", kVXTypeText, "Corvane Configuration"},
      {"@DbName", kVXTypeTextList, ", kvconfig.ldf"},
      {"FIELD Subject := \"Changed\"; @Left(Subject; 3)", kVXTypeText, "Cha"},
  };
  for (const auto& c : cases) {
    ASSERT_EQ(VXDocumentExecute(doc, c.formula, 0, 0), kVXOk) << c.formula << ": " << Message();
    uint16_t type = 0;
    uint32_t length = 0, flags = 0;
    ASSERT_EQ(VXItemGetInfo(doc, kExecuteResultItem, &type, &length, &flags), kVXOk);
    EXPECT_EQ(type, c.type) << c.formula;
    EXPECT_EQ(ReadText(doc, kExecuteResultItem), c.text) << c.formula;
  }
  EXPECT_EQ(ReadText(doc, "Subject"), "Changed");
  // The formula's length may be given; the rest of the buffer is not read.
  const char buffer[] = "1 + 1garbage";
  ASSERT_EQ(VXDocumentExecute(doc, buffer, 5, 0), kVXOk) << Message();
  EXPECT_EQ(ReadText(doc, kExecuteResultItem), "2");

  EXPECT_EQ(VXDocumentExecute(doc, "1 + @Nope", 0, 0), kVXFormulaError);
  EXPECT_EQ(Message(), "Formula error: Unknown @function at position 5");
  EXPECT_EQ(VXDocumentExecute(doc, "x := 2;\nx / 0", 0, 0), kVXFormulaError);
  EXPECT_EQ(Message(), "Formula error: Division by zero at position 11");
  EXPECT_EQ(VXDocumentExecute(doc, nullptr, 0, 0), kVXBadArgument);
  ASSERT_EQ(VXDocumentClose(doc, 0x20000), kVXOk);
}

TEST_F(FormulaStoreTest, ExecuteSeesSavedDocuments) {
  const VXNoteId id = SaveText(db_, "Subject", "stored");
  VXHandle doc = 0;
  ASSERT_EQ(VXDocumentOpen(db_, id, 0, &doc), kVXOk);
  ASSERT_EQ(VXDocumentExecute(doc, "@IsNewDoc : @IsResponseDoc", 0, 0), kVXOk) << Message();
  EXPECT_EQ(ReadText(doc, kExecuteResultItem), "0, 0");
  ASSERT_EQ(VXDocumentExecute(doc, "@NoteID", 0, 0), kVXOk);
  char expected[16];
  std::snprintf(expected, sizeof expected, "NT%08X", id);
  EXPECT_EQ(ReadText(doc, kExecuteResultItem), expected);
  ASSERT_EQ(VXDocumentExecute(doc, "@Modified <= @Now & @Created <= @Modified", 0, 0), kVXOk);
  EXPECT_EQ(ReadText(doc, kExecuteResultItem), "1");
  ASSERT_EQ(VXDocumentClose(doc, 0x20000), kVXOk);
}

TEST_F(FormulaStoreTest, SelectionsOverStoredNotes) {
  // Documents like those the programs keep, written and read back through
  // the file.
  struct Doc {
    const char* form;
    const char* enabled;
    const char* next;  // NextActivation as text, or a date-time when it starts with '['
    const char* return_code;
    const char* delete_self;
  } docs[] = {
      {"Schedule", "Enabled", "1/1/95", "", "N"},                 // 1: due
      {"Schedule", "Enabled", "[12/08/2099 00:00]", "", "Y"},     // 2: not yet due
      {"Schedule", "Disabled", "[1/1/2000 00:00]", "", "N"},      // 3: disabled
      {"Configuration", "", "", "", ""},                          // 4
      {"Web Element Replica", "", "", "0", ""},                   // 5: refused element
      {"Web Element Replica", "", "", "200", ""},                 // 6
      {"Schedule", "Enabled", "[1/1/2000 00:00]", "", "Y"},       // 7: due
  };
  std::vector<VXNoteId> ids;
  for (const Doc& d : docs) {
    VXHandle doc = 0;
    ASSERT_EQ(VXDocumentCreate(db_, d.form, &doc), kVXOk) << Message();
    if (*d.enabled) PutText(doc, "Enabled", d.enabled);
    if (d.next[0] == '[') {
      Datetime when;
      ASSERT_TRUE(DatetimeParse(d.next, &when));
      PutTime(doc, "NextActivation", when);
    } else if (*d.next) {
      PutText(doc, "NextActivation", d.next);
    }
    if (*d.return_code) PutText(doc, "ReturnCode", d.return_code);
    if (*d.delete_self) PutText(doc, "DeleteSelfAfterRun", d.delete_self);
    ASSERT_EQ(VXDocumentSave(doc, 0x10000), kVXOk) << Message();
    ids.push_back(NoteIdOf(doc));
    ASSERT_EQ(VXDocumentClose(doc, 0), kVXOk);
  }
  std::unique_ptr<NoteStore> store;
  ASSERT_EQ(NoteStore::Open(data() + "/kvconfig.ldf", "kvconfig", 5000, &store), kVXOk);
  std::vector<Note> notes;
  for (VXNoteId id : store->NotesOfClass(kVXClassDocument)) {
    notes.emplace_back();
    ASSERT_EQ(store->Load(id, &notes.back()), kVXOk);
  }
  ASSERT_EQ(notes.size(), ids.size());
  const struct {
    const char* formula;
    std::vector<int> selected;  // 1-based positions in docs
  } cases[] = {
      {"Select (Form=\"Schedule\")  & Enabled=\"Enabled\" &(@Now > NextActivation)", {1, 7}},
      {"Select Form=\"Schedule\"", {1, 2, 3, 7}},
      {"Select Form=\"Configuration\"", {4}},
      {"Select DeleteSelfAfterRun=\"Y\" ", {2, 7}},
      {"Select ReturnCode=0", {5}},
      {"Select ReturnCode=0 & (@modified < @yesterday)", {}},
      {"Select Form=\"Server\" | Form = \"Database\"", {}},
      {"Select @All", {1, 2, 3, 4, 5, 6, 7}},
      {"Select 1 / 0", {}},
  };
  for (const auto& c : cases) {
    NoteSelection selection;
    std::string message;
    ASSERT_TRUE(selection.Compile(c.formula, &message)) << message;
    std::vector<int> got;
    for (size_t i = 0; i < notes.size(); ++i) {
      if (selection.Matches(notes[i])) got.push_back(static_cast<int>(i) + 1);
    }
    EXPECT_EQ(got, c.selected) << c.formula;
  }
}

TEST_F(FormulaStoreTest, CompiledFormulaInAnItemOfType1536) {
  // What the replication job does with "ReplicationFormula".
  const char* text = "SELECT Form = \"Document\" | @IsResponseDoc";
  VXHandle compiled = 0;
  uint32_t length = 0;
  ASSERT_EQ(LCFormulaCompile(text, 0, &compiled, &length), kVXOk) << Message();
  ASSERT_GT(length, 0u);
  EXPECT_EQ(LCMemSize(compiled), length);
  VXHandle doc = 0;
  ASSERT_EQ(VXDocumentCreate(db_, "", &doc), kVXOk);
  const void* bytes = LCMemLock(compiled);
  ASSERT_NE(bytes, nullptr);
  ASSERT_EQ(VXItemPut(doc, "$ReplFormula", 4, 0, kVXTypeFormula, bytes, length), kVXOk) << Message();
  ASSERT_EQ(LCMemUnlock(compiled), kVXOk);
  ASSERT_EQ(LCMemFree(compiled), kVXOk);
  ASSERT_EQ(VXDocumentSave(doc, 0x10000), kVXOk) << Message();
  const VXNoteId id = NoteIdOf(doc);
  ASSERT_EQ(VXDocumentClose(doc, 0), kVXOk);

  ASSERT_EQ(VXDocumentOpen(db_, id, 0, &doc), kVXOk);
  const void* stored = nullptr;
  uint32_t stored_length = 0;
  ASSERT_EQ(VXItemGetPointer(doc, "$ReplFormula", 0, &stored, &stored_length), kVXOk) << Message();
  VXHandle back = 0;
  uint32_t back_length = 0;
  ASSERT_EQ(LCFormulaDecompile(stored, stored_length, &back, &back_length), kVXOk) << Message();
  const char* back_text = static_cast<const char*>(LCMemLock(back));
  EXPECT_EQ(std::string(back_text, back_length), text);
  (void)LCMemUnlock(back);
  (void)LCMemFree(back);
  ASSERT_EQ(VXDocumentClose(doc, 0x20000), kVXOk);

  EXPECT_EQ(LCFormulaCompile("SELECT @Nope", 0, &compiled, &length), kVXFormulaError);
  EXPECT_EQ(compiled, 0u);
  EXPECT_EQ(Message(), "Formula error: Unknown @function at position 8");
  EXPECT_EQ(LCFormulaDecompile("junk", 4, &back, &back_length), kVXFormulaError);
}

struct ToolRun {
  int status = -1;
  std::string output;
};

ToolRun Eval(const std::string& args) {
  const std::string command = "\"" CORVANE_BIN_DIR "/ledra\" eval " + args + " 2>&1 </dev/null";
  ToolRun run;
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return run;
  char buffer[4096];
  size_t n = 0;
  while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) run.output.append(buffer, n);
  const int status = pclose(pipe);
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return run;
}

TEST_F(FormulaStoreTest, EvalToolPrintsValuesAndErrors) {
  const VXNoteId id = SaveText(db_, "Subject", "Hello there");
  const std::string path = data() + "/kvconfig.ldf";
  const std::string note = std::to_string(id);
  const struct {
    std::string args;
    int status;
    std::string output;
  } cases[] = {
      {path + " " + note + " '@Uppercase(@Explode(Subject))'", 0, "text: HELLO; THERE\n"},
      {path + " " + note + " 'Select Form = \"Memo\"'", 0, "number: 1\n"},
      {path + " 0 '@IsNewDoc : @Elements(Subject)'", 0, "number: 1; 0\n"},
      {path + " 0 '[1/1/95] + 86400'", 0, "date-time: 01/02/1995\n"},
      {path + " " + note + " 'Subject * 2'", 1,
       "error: Incorrect data type for operator at position 9\n"},
      {path + " " + note + " '@Nope(1)'", 1, "error: Unknown @function at position 1\n"},
      {path + " 99999 '1'", 1, ""},
      {path + " x '1'", 2, ""},
      {"/nonexistent.ldf 1 '1'", 1, ""},
  };
  for (const auto& c : cases) {
    const ToolRun run = Eval(c.args);
    EXPECT_EQ(run.status, c.status) << c.args << "\n" << run.output;
    if (!c.output.empty()) {
      EXPECT_EQ(run.output, c.output) << c.args;
    } else if (c.status != 0) {
      EXPECT_NE(run.output.find("ledra: eval"), std::string::npos) << run.output;
    }
  }
  const ToolRun help = Eval("--help");
  EXPECT_EQ(help.status, 0);
  EXPECT_EQ(help.output.rfind("usage: ledra eval", 0), 0u);
  // The tool only reads: a FIELD assignment is not saved.
  EXPECT_EQ(Eval(path + " " + note + " 'FIELD Subject := \"x\"; Subject'").output, "text: x\n");
  EXPECT_EQ(Eval(path + " " + note + " 'Subject'").output, "text: Hello there\n");
}

}  // namespace
