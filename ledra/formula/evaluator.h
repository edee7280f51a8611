// The formula evaluator: runs a Program's statements on a document. Values
// are lists; operators work pairwise (the shorter list extended by its last
// element), the permuted operators on every pair. Comparisons give one
// truth value: true when any compared pair satisfies them.
#ifndef LEDRA_FORMULA_EVALUATOR_H_
#define LEDRA_FORMULA_EVALUATOR_H_

#include <vector>

#include "ledra/datetime.h"
#include "ledra/formula/formula_document.h"
#include "ledra/formula/formula_value.h"
#include "ledra/formula/syntax_tree.h"

namespace ledra {

// The most work (see Evaluator::Charge) one evaluation may do.
inline constexpr uint64_t kFormulaWorkBudget = uint64_t{1} << 26;
// The most pairs a permuted operator may compare or combine.
inline constexpr uint64_t kFormulaMaxPermutedPairs = uint64_t{1} << 22;

struct FormulaOptions {
  // What @IsDocBeingEdited and @IsDocBeingLoaded answer.
  bool doc_being_edited = false;
  bool doc_being_loaded = false;
  // A fixed clock for @Now, @Today, @Yesterday and @Tomorrow (tests);
  // otherwise the platform clock, read once per evaluation.
  bool fixed_now = false;
  Datetime now;
};

class Evaluator {
 public:
  Evaluator(const Program& program, const FormulaOptions& options);

  // Runs the formula on the document and returns its value: the last
  // SELECT's truth value when the formula selects, else the value of its
  // last statement, or what @Return gave. The evaluator may be run again
  // on another document. A caller that needs only selected() passes
  // want_value = false and gets an empty value for a selection.
  FormulaValue Run(FormulaDocument* document, bool want_value = true);
  // After Run: whether a SELECT ran and selected the document. A selection
  // that evaluated to an error selects nothing.
  bool selected() const { return selected_; }

  // Used by the built-in functions.
  FormulaValue Eval(const Node& node);
  // Like Eval, but a constant, an item or a variable is returned in place,
  // without copying; other results land in *scratch.
  const FormulaValue& EvalRef(const Node& node, FormulaValue* scratch);
  // The truth of a condition: 1 true, 0 false, -1 an error (in *error).
  int Truth(const Node& node, FormulaValue* error);
  int TruthOf(const FormulaValue& value, uint32_t position, FormulaValue* error);
  FormulaDocument& document() { return *document_; }
  const FormulaOptions& options() const { return options_; }
  Datetime Now();
  // Counts work done by this evaluation (elements and bytes made, pairs
  // compared). Past kFormulaWorkBudget the formula ends with an error, so
  // that no formula can run for long. Returns false once over.
  bool Charge(uint64_t units);
  // Ends the formula with this value (@Return, a failed FIELD assignment).
  void Stop(FormulaValue value);
  bool stopped() const { return stopped_; }

 private:
  FormulaValue EvalName(const Node& node);
  FormulaValue EvalUnary(const Node& node);
  FormulaValue EvalBinary(const Node& node);
  FormulaValue EvalList(const Node& node);
  FormulaValue EvalCall(const Node& node);
  FormulaValue EvalAssign(const Node& node);
  int CompareTruth(const Node& node, FormulaValue* error);

  const Program& program_;
  FormulaOptions options_;
  FormulaDocument* document_ = nullptr;
  std::vector<FormulaValue> slots_;
  std::vector<bool> assigned_;
  bool selected_ = false;
  bool stopped_ = false;
  FormulaValue stop_value_;
  uint64_t work_ = 0;
  bool have_now_ = false;
  FormulaValue now_value_;
};

// Pairwise and permuted operations, shared with the built-ins.
// Compares under a comparison operator; 1 true, 0 false, -1 a type error
// (written to *error at `position`).
int FormulaCompare(Op op, const FormulaValue& a, const FormulaValue& b, uint32_t position,
                   FormulaValue* error);
FormulaValue FormulaArithmetic(Op op, const FormulaValue& a, const FormulaValue& b,
                               uint32_t position);
FormulaValue FormulaConcatenate(const FormulaValue& a, const FormulaValue& b, uint32_t position);

}  // namespace ledra

#endif  // LEDRA_FORMULA_EVALUATOR_H_
