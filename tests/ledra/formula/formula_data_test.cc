// Runs the data-driven formula cases in tests/ledra/formula/data/*.test.
//
// A file sets up one document and then lists cases. Outside a case:
//   # comment
//   set now|created|modified DATETIME, set noteid N, set unid|user|title|server|file TEXT,
//   set response|edited|loaded 0|1, set env NAME VALUE
//   item NAME := FORMULA      (the formula's value becomes the item)
//   clear                     (a new, empty document)
// A case is the formula (one or more lines), a line "----", the expected
// value and optional further expectations, ended by a blank line:
//   number: 1;2            text: a;b          date-time: 12/08/2026 14:03:00
//   error: MESSAGE @ POS   compile error: MESSAGE @ POS
//   item NAME: VALUE       env NAME: VALUE     selected: yes|no    decompiled: TEXT
// Each case runs on a copy of the document as set up so far, and again on a
// real note: the document's items saved into a database file, read back and
// evaluated through the store's note adapter, with environment strings in
// ledra.ini. Every case is also run from its compiled form, and its
// decompiled text must compile back to the same text.
#include <gtest/gtest.h>

#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <memory>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "ledra/design_source.h"
#include "ledra/formula/formula.h"
#include "ledra/formula/note_document.h"
#include "ledra/note_store.h"
#include "ledra/vxapi.h"

namespace ledra {
namespace {

std::string Escape(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '\n') {
      out += "\\n";
    } else if (c == '\r') {
      out += "\\r";
    } else {
      out.push_back(c);
    }
  }
  return out;
}

std::string Render(const FormulaValue& value) {
  if (value.IsError()) {
    return "error: " + value.error + " @ " + std::to_string(value.error_position);
  }
  std::string out = FormulaTypeName(value.type);
  out += ": ";
  for (size_t i = 0; i < value.size(); ++i) {
    if (i > 0) out += ";";
    out += Escape(FormulaElementText(value, i));
  }
  return out;
}

Datetime MustParse(const std::string& text) {
  Datetime value;
  EXPECT_TRUE(DatetimeParse(text, &value)) << text;
  return value;
}

struct CaseSetup {
  MemoryDocument document;
  FormulaOptions options;

  CaseSetup() { Clear(); }
  void Clear() {
    document = MemoryDocument();
    document.created = MustParse("11/30/2026 09:00:00");
    document.modified = MustParse("12/07/2026 10:30:00");
    options = FormulaOptions();
    options.fixed_now = true;
    options.now = MustParse("12/08/2026 14:03:00");
  }
};

struct Case {
  int line = 0;
  std::string formula;
  std::vector<std::string> expected;
};

class FormulaDataFile : public testing::TestWithParam<std::string> {
 protected:
  // A platform on a temporary folder, with one database for the notes.
  void SetUp() override {
    char pattern[] = "/tmp/formula_data_XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
    std::ofstream(dir_ + "/ledra.ini") << "[Ledra]\nDirectory=data\n";
    setenv("CORVANE_LEDRA_INI", (dir_ + "/ledra.ini").c_str(), 1);
    ASSERT_EQ(_VXInit(0x45004, nullptr, nullptr, nullptr), kVXOk);
    ASSERT_EQ(VXDatabaseCreate("Local", "formula.ldf", "Formula cases"), kVXOk);
    ASSERT_EQ(NoteStore::Open(dir_ + "/data/formula.ldf", "formula", 5000, &store_), kVXOk);
  }
  void TearDown() override {
    store_.reset();
    VXTerm(0);
    std::error_code error;
    std::filesystem::remove_all(dir_, error);
  }

  // The set-up document as a note saved in the database and read back.
  bool StoredNote(Note* out) {
    const MemoryDocument& d = setup_.document;
    Note note;
    note.unid = NewUnid();
    for (const auto& [name, value] : d.items()) note.PutItem(FormulaToItem(name, value));
    if (store_->Save(&note, {}) != kVXOk || store_->Load(note.id, out) != kVXOk) return false;
    out->id = d.note_id;
    out->created = d.created.ticks;
    out->modified = d.modified.ticks;
    out->has_parent = d.is_response;
    if (!d.unid.empty() && !ParseUnidText(d.unid, &out->unid)) return false;
    return true;
  }

  NoteContext Context() const {
    const MemoryDocument& d = setup_.document;
    NoteContext context;
    context.database_title = d.database_title;
    context.database_server = d.database_server;
    context.database_file = d.database_file;
    context.user_name = d.user_name;
    return context;
  }

  void CheckStored(const Case& c, const Formula& formula) {
    SCOPED_TRACE("on a stored note");
    Note note;
    ASSERT_TRUE(StoredNote(&note));
    const NoteContext context = Context();
    NoteDocument document(&note, &context);
    const FormulaResult result = FormulaEvaluate(formula, &document, setup_.options);
    EXPECT_EQ(Render(result.value), c.expected[0]);
    for (size_t i = 1; i < c.expected.size(); ++i) {
      const std::string& want = c.expected[i];
      const size_t colon = want.find(": ");
      if (want.rfind("item ", 0) == 0) {
        const FormulaValue* item = document.ReadItem(want.substr(5, colon - 5));
        EXPECT_EQ(item == nullptr ? "absent" : Render(*item), want.substr(colon + 2)) << want;
      } else if (want.rfind("env ", 0) == 0) {
        char value[256] = {};
        ASSERT_EQ(VXGetEnvironmentString(want.substr(4, colon - 4).c_str(), value, sizeof value), kVXOk);
        EXPECT_EQ(value, want.substr(colon + 2)) << want;
      } else if (want.rfind("selected: ", 0) == 0) {
        Note again;
        ASSERT_TRUE(StoredNote(&again));
        NoteDocument fresh(&again, &context);
        FormulaSelector selector(formula, setup_.options);
        EXPECT_EQ(selector.Matches(&fresh) ? "yes" : "no", want.substr(10)) << "selector";
      }
    }
  }

  void Directive(const std::string& line, int number) {
    std::istringstream in(line);
    std::string word, key;
    in >> word;
    if (word == "clear") {
      setup_.Clear();
      return;
    }
    if (word == "item") {
      const size_t assign = line.find(":=");
      ASSERT_NE(assign, std::string::npos) << "line " << number;
      std::string name = line.substr(5, assign - 5);
      while (!name.empty() && name.back() == ' ') name.pop_back();
      Formula formula;
      FormulaSyntaxError error;
      ASSERT_TRUE(Formula::Compile(line.substr(assign + 2), &formula, &error))
          << "line " << number << ": " << FormulaErrorText(error);
      MemoryDocument copy = setup_.document;
      FormulaResult result = FormulaEvaluate(formula, &copy, setup_.options);
      ASSERT_TRUE(result.ok()) << "line " << number << ": " << FormulaErrorText(result.value);
      setup_.document.SetItem(name, result.value);
      return;
    }
    ASSERT_EQ(word, "set") << "line " << number << ": " << line;
    in >> key;
    std::string rest;
    std::getline(in, rest);
    if (!rest.empty() && rest[0] == ' ') rest.erase(0, 1);
    MemoryDocument& d = setup_.document;
    if (key == "now") {
      setup_.options.now = MustParse(rest);
    } else if (key == "created") {
      d.created = MustParse(rest);
    } else if (key == "modified") {
      d.modified = MustParse(rest);
    } else if (key == "noteid") {
      d.note_id = static_cast<uint32_t>(std::stoul(rest));
    } else if (key == "unid") {
      d.unid = rest;
    } else if (key == "user") {
      d.user_name = rest;
    } else if (key == "title") {
      d.database_title = rest;
    } else if (key == "server") {
      d.database_server = rest;
    } else if (key == "file") {
      d.database_file = rest;
    } else if (key == "response") {
      d.is_response = rest == "1";
    } else if (key == "edited") {
      setup_.options.doc_being_edited = rest == "1";
    } else if (key == "loaded") {
      setup_.options.doc_being_loaded = rest == "1";
    } else if (key == "env") {
      const size_t blank = rest.find(' ');
      const std::string name = rest.substr(0, blank);
      const std::string value = blank == std::string::npos ? "" : rest.substr(blank + 1);
      ASSERT_TRUE(d.SetEnvironment(name, value));
      ASSERT_EQ(VXSetEnvironmentString(name.c_str(), value.c_str(), 1), kVXOk);
    } else {
      FAIL() << "line " << number << ": unknown setting " << key;
    }
  }

  void Check(const Case& c) {
    SCOPED_TRACE("case at line " + std::to_string(c.line) + ": " + c.formula);
    ASSERT_FALSE(c.expected.empty());
    Formula formula;
    FormulaSyntaxError error;
    if (!Formula::Compile(c.formula, &formula, &error)) {
      EXPECT_EQ("compile error: " + error.message + " @ " + std::to_string(error.position),
                c.expected[0]);
      return;
    }
    MemoryDocument document = setup_.document;
    FormulaResult result = FormulaEvaluate(formula, &document, setup_.options);
    EXPECT_EQ(Render(result.value), c.expected[0]);
    for (size_t i = 1; i < c.expected.size(); ++i) {
      const std::string& want = c.expected[i];
      if (want.rfind("item ", 0) == 0) {
        const size_t colon = want.find(": ");
        const std::string name = want.substr(5, colon - 5);
        const FormulaValue* item = document.ReadItem(name);
        EXPECT_EQ(item == nullptr ? "absent" : Render(*item), want.substr(colon + 2)) << want;
      } else if (want.rfind("env ", 0) == 0) {
        const size_t colon = want.find(": ");
        std::string value = "unset";
        (void)document.GetEnvironment(want.substr(4, colon - 4), &value);
        EXPECT_EQ(value, want.substr(colon + 2)) << want;
      } else if (want.rfind("selected: ", 0) == 0) {
        EXPECT_EQ(result.selected ? "yes" : "no", want.substr(10));
        MemoryDocument again = setup_.document;
        FormulaSelector selector(formula, setup_.options);
        EXPECT_EQ(selector.Matches(&again) ? "yes" : "no", want.substr(10)) << "selector";
      } else if (want.rfind("decompiled: ", 0) == 0) {
        EXPECT_EQ(formula.Text(), want.substr(12));
      } else {
        ADD_FAILURE() << "unknown expectation " << want;
      }
    }

    CheckStored(c, formula);

    // The compiled form evaluates the same.
    Formula loaded;
    std::string message;
    ASSERT_TRUE(Formula::Load(formula.Compiled(), &loaded, &message)) << message;
    MemoryDocument second = setup_.document;
    EXPECT_EQ(Render(FormulaEvaluate(loaded, &second, setup_.options).value), c.expected[0])
        << "from the compiled form";
    EXPECT_EQ(loaded.Compiled(), formula.Compiled());

    // The decompiled text compiles to the same text.
    const std::string text = loaded.Text();
    Formula reparsed;
    ASSERT_TRUE(Formula::Compile(text, &reparsed, &error))
        << "decompiled: " << text << ": " << FormulaErrorText(error);
    EXPECT_EQ(reparsed.Text(), text);
    if (!result.value.IsError()) {
      MemoryDocument third = setup_.document;
      EXPECT_EQ(Render(FormulaEvaluate(reparsed, &third, setup_.options).value), c.expected[0])
          << "from the decompiled text " << text;
    }
  }

  CaseSetup setup_;
  std::string dir_;
  std::unique_ptr<NoteStore> store_;
};

TEST_P(FormulaDataFile, Cases) {
  std::ifstream in(GetParam());
  ASSERT_TRUE(in) << GetParam();
  std::string line;
  int number = 0;
  Case current;
  enum { kOutside, kFormula, kExpected } state = kOutside;
  int cases = 0;
  auto finish = [&]() {
    if (state == kExpected) {
      Check(current);
      ++cases;
    }
    EXPECT_NE(state, kFormula) << "case at line " << current.line << " has no ----";
    state = kOutside;
    current = Case();
  };
  while (std::getline(in, line)) {
    ++number;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    switch (state) {
      case kOutside:
        if (line.empty() || line[0] == '#') break;
        if (line == "clear" || line.rfind("set ", 0) == 0 || line.rfind("item ", 0) == 0) {
          Directive(line, number);
          break;
        }
        current.line = number;
        current.formula = line;
        state = kFormula;
        break;
      case kFormula:
        if (line == "----") {
          state = kExpected;
        } else {
          current.formula += "\n" + line;
        }
        break;
      case kExpected:
        if (line.empty()) {
          finish();
        } else {
          current.expected.push_back(line);
        }
        break;
    }
  }
  finish();
  EXPECT_GT(cases, 0);
  std::cout << GetParam() << ": " << cases << " cases\n";
}

std::vector<std::string> DataFiles() {
  std::vector<std::string> files;
  const std::filesystem::path folder =
      std::filesystem::path(CORVANE_SOURCE_DIR) / "tests/ledra/formula/data";
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
    if (entry.path().extension() == ".test") files.push_back(entry.path().string());
  }
  std::sort(files.begin(), files.end());
  return files;
}

std::string FileName(const testing::TestParamInfo<std::string>& info) {
  std::string name = std::filesystem::path(info.param).stem().string();
  for (char& c : name) {
    if (!isalnum(static_cast<unsigned char>(c))) c = '_';
  }
  return name;
}

INSTANTIATE_TEST_SUITE_P(Data, FormulaDataFile, testing::ValuesIn(DataFiles()), FileName);

}  // namespace
}  // namespace ledra
