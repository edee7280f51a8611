// Fuzz target for the formula language: lexer, parser, evaluator and the
// compiled form. The first byte chooses what the rest is: formula text
// (even) or a compiled formula (odd). Beyond not crashing, hanging or
// exhausting memory, it checks that
//   - a compiled formula reads back to the same bytes,
//   - the text of any formula that was accepted compiles again, and the
//     text of that compiles to the same text,
//   - a formula evaluates the same from text and from its compiled form.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "ledra/formula/formula.h"

namespace {

using namespace ledra;

MemoryDocument MakeDocument() {
  MemoryDocument document;
  document.note_id = 42;
  document.unid = "1g2g3g4g";
  document.user_name = "Fuzz User";
  document.database_title = "Fuzz";
  document.database_file = "fuzz.ldf";
  document.SetItem("Form", FormulaText("Schedule"));
  document.SetItem("Enabled", FormulaText("Enabled"));
  document.SetItem("NextActivation", FormulaText("1/1/95"));
  document.SetItem("Count", FormulaNumber(3));
  document.SetItem("List", FormulaTextList({"a", "b", "c"}));
  document.SetItem("Numbers", FormulaNumberList({1, 2.5, -3}));
  Datetime when;
  when.ticks = 1765202580LL * 100;
  document.SetItem("When", FormulaTime(when));
  document.SetEnvironment("$Corvane_X", "1");
  return document;
}

FormulaOptions Options() {
  FormulaOptions options;
  options.fixed_now = true;
  options.now.ticks = 1765202580LL * 100;
  return options;
}

void Check(bool condition) {
  if (!condition) std::abort();
}

FormulaValue EvaluateOn(const Formula& formula) {
  MemoryDocument document = MakeDocument();
  FormulaSelector selector(formula, Options());
  (void)selector.Matches(&document);
  MemoryDocument fresh = MakeDocument();
  return FormulaEvaluate(formula, &fresh, Options()).value;
}

void CheckTextRoundTrip(const Formula& formula) {
  const std::string text = formula.Text();
  Formula again;
  FormulaSyntaxError error;
  Check(Formula::Compile(text, &again, &error));
  Check(again.Text() == text);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const std::string input(reinterpret_cast<const char*>(data) + 1, size - 1);
  Formula formula;
  if ((data[0] & 1) == 0) {
    FormulaSyntaxError error;
    if (!Formula::Compile(input, &formula, &error)) return 0;
    const std::string bytes = formula.Compiled();
    Formula loaded;
    std::string message;
    Check(Formula::Load(bytes, &loaded, &message));
    Check(loaded.Compiled() == bytes);
    CheckTextRoundTrip(formula);
    const FormulaValue first = EvaluateOn(formula);
    const FormulaValue second = EvaluateOn(loaded);
    if (formula.Text().find("@Unique") == std::string::npos) Check(FormulaEquals(first, second));
  } else {
    std::string message;
    if (!Formula::Load(input, &formula, &message)) return 0;
    (void)EvaluateOn(formula);
    CheckTextRoundTrip(formula);
  }
  return 0;
}
