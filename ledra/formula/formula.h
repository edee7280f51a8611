// The formula language, as the rest of the platform uses it: compile a
// formula from text or from its compiled form, turn it back into either,
// evaluate it on a document, and decide with it whether a note is
// selected (searches and views).
#ifndef LEDRA_FORMULA_FORMULA_H_
#define LEDRA_FORMULA_FORMULA_H_

#include <memory>
#include <string>
#include <string_view>

#include "ledra/formula/evaluator.h"
#include "ledra/formula/formula_document.h"
#include "ledra/formula/formula_value.h"
#include "ledra/formula/lexer.h"
#include "ledra/formula/syntax_tree.h"

namespace ledra {

class Formula {
 public:
  Formula();
  Formula(Formula&&) noexcept;
  Formula& operator=(Formula&&) noexcept;
  ~Formula();

  // Compiles formula text. On failure *error holds the message and the
  // 1-based position, and *out is left unchanged.
  [[nodiscard]] static bool Compile(std::string_view text, Formula* out, FormulaSyntaxError* error);
  // Reads a compiled formula (the bytes of an item of type 1536). On
  // failure *message says why and *out is left unchanged.
  [[nodiscard]] static bool Load(std::string_view compiled, Formula* out, std::string* message);

  // The compiled form (see compiled_form.h).
  std::string Compiled() const;
  // The formula as text.
  std::string Text() const;
  // True when the formula has a SELECT statement.
  bool IsSelection() const;
  const Program& program() const { return *program_; }

 private:
  std::unique_ptr<Program> program_;
};

struct FormulaResult {
  FormulaValue value;     // the formula's value, or an error value
  bool selected = false;  // a SELECT ran and selected the document
  bool ok() const { return !value.IsError(); }
};

// Evaluates the formula on the document; FIELD assignments write to it.
FormulaResult FormulaEvaluate(const Formula& formula, FormulaDocument* document,
                              const FormulaOptions& options = FormulaOptions());

// A value with its type, as `ledra eval` prints it: "number: 1; 2",
// "text: Schedule", "date-time: 12/08/2026 14:03:00"; an error value as
// "error: <message> at position <n>".
std::string FormulaDescribe(const FormulaValue& value);

// "<message> at position <n>": how failures are reported to users.
std::string FormulaErrorText(const FormulaValue& error);
std::string FormulaErrorText(const FormulaSyntaxError& error);

// A selection predicate that is set up once and asked for each note. A
// formula with a SELECT selects what its SELECT selects; one without
// selects when its value is a true number. An error selects nothing.
// Not for use by several threads at once; the formula must stay where it
// is for the selector's life.
class FormulaSelector {
 public:
  explicit FormulaSelector(const Formula& formula, const FormulaOptions& options = FormulaOptions());
  bool Matches(FormulaDocument* document);

 private:
  const Formula& formula_;
  Evaluator evaluator_;
};

}  // namespace ledra

#endif  // LEDRA_FORMULA_FORMULA_H_
