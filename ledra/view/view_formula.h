// How views meet the formula language: selection formulas and column
// formulas are compiled once per index and asked for each note, through the
// formula language (ledra/formula/) unless another compiler is registered
// (RegisterViewFormulaCompiler). "SELECT @All" and an empty selection need
// no compiling. Column values of item columns are read here.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "ledra/note.h"
#include "ledra/vx_types.h"

namespace ledra {

// One value of a cell. A multi-valued item gives several.
struct CellEntry {
  std::string text;      // as shown
  double number = 0;     // the sort value of numbers and date-times
  bool numeric = false;  // sorts by number, before every text
};
using CellValue = std::vector<CellEntry>;

// A compiled formula, evaluated on notes. Not shared between threads.
class NoteFormula {
 public:
  virtual ~NoteFormula() = default;
  // True when the formula selects the note.
  virtual bool Selects(const Note& note) = 0;
  // The formula's value on the note, as a column shows it.
  virtual CellValue Value(const Note& note) = 0;
};

// Compiles formula text; on failure returns a status and sets *error.
using NoteFormulaCompiler = VXStatus (*)(const std::string& text, std::unique_ptr<NoteFormula>* out,
                                         std::string* error);

void RegisterViewFormulaCompiler(NoteFormulaCompiler compiler);

// A compiled selection: empty text and "SELECT @All" need no compiler.
// Fails (with a message) when the formula does not compile.
[[nodiscard]] VXStatus CompileSelection(const std::string& text, std::unique_ptr<NoteFormula>* out);
[[nodiscard]] VXStatus CompileColumnFormula(const std::string& text, std::unique_ptr<NoteFormula>* out);

// The value of an item as a column shows it; empty when the note has no
// such item.
CellValue ItemCellValue(const Note& note, const std::string& item_name);

// The entries joined as a column shows several values.
std::string CellText(const CellValue& value);

}  // namespace ledra
