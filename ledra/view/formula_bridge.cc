// Selection and column formulas of views on the formula language: a
// selection asks NoteSelection, a column evaluates the formula on the note
// read-only and shows its value as an item of the matching type would show.
#include "ledra/view/formula_bridge.h"

#include "ledra/formula/note_document.h"
#include "ledra/view/view_api.h"

namespace ledra {
namespace {

class LanguageFormula : public NoteFormula {
 public:
  bool Selects(const Note& note) override { return selection_.Matches(note); }

  CellValue Value(const Note& note) override {
    NoteDocument document(&note, &context_);
    FormulaResult result = FormulaEvaluate(formula_, &document);
    // A formula that fails on a note shows nothing in its column.
    if (!result.ok()) return {};
    Note holder;
    holder.items.push_back(FormulaToItem("v", result.value));
    return ItemCellValue(holder, "v");
  }

  NoteSelection selection_;
  Formula formula_;
  NoteContext context_;
};

}  // namespace

VXStatus CompileWithFormulaLanguage(const std::string& text, std::unique_ptr<NoteFormula>* out,
                                    std::string* error) {
  auto f = std::make_unique<LanguageFormula>();
  // Views read notes only; environment strings stay out of their formulas.
  f->context_.platform_environment = false;
  f->selection_.set_context(f->context_);
  if (!f->selection_.Compile(text, error)) return kVXBadFormula;
  FormulaSyntaxError syntax;
  if (!Formula::Compile(text, &f->formula_, &syntax)) {
    *error = FormulaErrorText(syntax);
    return kVXBadFormula;
  }
  *out = std::move(f);
  return kVXOk;
}

}  // namespace ledra
