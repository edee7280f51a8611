// Built-ins for truth values, control and errors: @True, @If, @Do,
// @Return, @Failure, @Error, @IsError, the type tests and the commands
// that only buttons carry.
#include "ledra/formula/builtins.h"
#include "ledra/formula/syntax_tree.h"

namespace ledra {

FormulaValue BuiltinTrue(CallFrame&) { return FormulaNumber(1); }
FormulaValue BuiltinFalse(CallFrame&) { return FormulaNumber(0); }

FormulaValue BuiltinIf(CallFrame& frame) {
  const auto& args = frame.call.children;
  for (size_t i = 0; i + 1 < args.size(); i += 2) {
    FormulaValue error;
    const int truth = frame.evaluator.Truth(*args[i], &error);
    if (frame.evaluator.stopped()) return FormulaEmpty();
    if (truth < 0) return error;
    if (truth == 1) return frame.evaluator.Eval(*args[i + 1]);
  }
  return frame.evaluator.Eval(*args.back());
}

FormulaValue BuiltinDo(CallFrame& frame) {
  FormulaValue last;
  for (const auto& argument : frame.call.children) {
    last = frame.evaluator.Eval(*argument);
    if (frame.evaluator.stopped()) break;
  }
  return last;
}

FormulaValue BuiltinReturn(CallFrame& frame) {
  frame.evaluator.Stop(frame.args[0]);
  return frame.args[0];
}

// A validation formula gives @Success (1) or @Failure("why"): the text is
// the message shown to the user.
FormulaValue BuiltinFailure(CallFrame& frame) { return FormulaAsTextList(frame.args[0]); }

FormulaValue BuiltinError(CallFrame& frame) { return frame.Error("@Error"); }

FormulaValue BuiltinIsError(CallFrame& frame) { return FormulaBool(frame.args[0].IsError()); }

FormulaValue BuiltinIsNumber(CallFrame& frame) {
  return FormulaBool(frame.args[0].type == FormulaType::kNumber);
}

FormulaValue BuiltinIsText(CallFrame& frame) {
  return FormulaBool(frame.args[0].type == FormulaType::kText);
}

FormulaValue BuiltinIsTime(CallFrame& frame) {
  return FormulaBool(frame.args[0].type == FormulaType::kDatetime);
}

// @Command and @PostedCommand act in the desktop client only. The formula
// keeps them (a button's text is read by the page that shows it) and they
// evaluate to the empty text.
FormulaValue BuiltinCommand(CallFrame&) { return FormulaEmpty(); }

}  // namespace ledra
