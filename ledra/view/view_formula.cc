// Selection and column formulas of views: the registered compiler, the
// native "SELECT @All", and item values as cells.
#include "ledra/view/view_formula.h"

#include <atomic>
#include <cctype>
#include <cstring>

#include "ledra/datetime.h"
#include "ledra/last_error.h"
#include "ledra/value_convert.h"
#include "ledra/view/formula_bridge.h"

namespace ledra {
namespace {

std::atomic<NoteFormulaCompiler> compiler{nullptr};

class SelectAll : public NoteFormula {
 public:
  bool Selects(const Note&) override { return true; }
  CellValue Value(const Note&) override { return {CellEntry{"1", 1, true}}; }
};

// "SELECT @All" in any letter case and spacing, with an optional ";".
bool IsSelectAll(const std::string& text) {
  std::string squeezed;
  for (char c : text) {
    if (!std::isspace(static_cast<unsigned char>(c))) squeezed += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  }
  if (!squeezed.empty() && squeezed.back() == ';') squeezed.pop_back();
  return squeezed.empty() || squeezed == "select@all" || squeezed == "@all";
}

VXStatus Compile(const std::string& text, const char* what, std::unique_ptr<NoteFormula>* out) {
  NoteFormulaCompiler c = compiler.load();
  if (c == nullptr) c = &CompileWithFormulaLanguage;
  std::string error;
  if (VXStatus s = c(text, out, &error); s != kVXOk) {
    return Fail(s, std::string("The ") + what + " formula \"" + text + "\" is not valid: " + error);
  }
  return kVXOk;
}

CellEntry NumberEntry(double v) { return CellEntry{NumberText(v), v, true}; }

CellEntry TimeEntry(const std::string& stored) {
  Datetime d;
  int64_t ticks = 0;
  std::memcpy(&ticks, stored.data(), 8);
  d.ticks = ticks;
  d.has_date = (stored[8] & 1) != 0;
  d.has_time = (stored[8] & 2) != 0;
  return CellEntry{DatetimeFormat(d), static_cast<double>(ticks), true};
}

}  // namespace

void RegisterViewFormulaCompiler(NoteFormulaCompiler c) { compiler.store(c); }

VXStatus CompileSelection(const std::string& text, std::unique_ptr<NoteFormula>* out) {
  if (IsSelectAll(text)) {
    *out = std::make_unique<SelectAll>();
    return kVXOk;
  }
  return Compile(text, "selection", out);
}

VXStatus CompileColumnFormula(const std::string& text, std::unique_ptr<NoteFormula>* out) {
  return Compile(text, "column", out);
}

CellValue ItemCellValue(const Note& note, const std::string& item_name) {
  CellValue out;
  const Item* item = note.FindItem(item_name);
  if (item == nullptr) return out;
  const std::string& v = item->value;
  switch (item->type) {
    case kVXTypeText:
      out.push_back(CellEntry{v, 0, false});
      break;
    case kVXTypeTextList:
      for (std::string& e : SplitTextList(v)) out.push_back(CellEntry{std::move(e), 0, false});
      break;
    case kVXTypeNumber:
    case kVXTypeNumberList:
      for (size_t i = 0; i + 8 <= v.size(); i += 8) {
        double d = 0;
        std::memcpy(&d, v.data() + i, 8);
        out.push_back(NumberEntry(d));
      }
      break;
    case kVXTypeDatetime:
    case kVXTypeDatetimeList:
      for (size_t i = 0; i + 9 <= v.size(); i += 9) out.push_back(TimeEntry(v.substr(i, 9)));
      break;
    default: {
      std::string text;
      if (FromStored(*item, kVXTypeText, &text) == kVXOk) out.push_back(CellEntry{text, 0, false});
    }
  }
  return out;
}

std::string CellText(const CellValue& value) {
  std::string text;
  for (size_t i = 0; i < value.size(); ++i) {
    if (i > 0) text += ", ";
    text += value[i].text;
  }
  return text;
}

}  // namespace ledra
