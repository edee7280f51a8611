// The formulas a form attaches to its fields: default values (when a
// document is made with the form), computed values (recomputed whenever
// the document is saved) and input validation. The store runs them through
// these functions on VXDocumentCreate, VXDocumentSave and
// VXDocumentValidate.
#ifndef LEDRA_FORMULA_FORM_FORMULAS_H_
#define LEDRA_FORMULA_FORM_FORMULAS_H_

#include <string>
#include <vector>

#include "ledra/formula/evaluator.h"
#include "ledra/formula/formula_document.h"

namespace ledra {

// The Schedule form's computed field "NextSuggestedActivation": the next
// due time after "LastActivation" by "Frequency" (a decimal text) and
// "FrequencyUnits" ("minutes", "hours", anything else counts in days). A
// frequency that is not a positive number (a one-time job) gives
// LastActivation itself; a LastActivation that is missing or unreadable
// counts from now. The configuration database's design carries this text.
inline constexpr char kScheduleNextSuggestedActivationFormula[] =
    "n := @If(@IsError(@TextToNumber(Frequency)); 0; @TextToNumber(Frequency));\n"
    "last := @If(@IsTime(LastActivation); LastActivation;"
    " @IsError(@TextToTime(LastActivation)); @Now; @TextToTime(LastActivation));\n"
    "units := @Lowercase(@Trim(FrequencyUnits));\n"
    "@If(n <= 0; last;\n"
    "    units = \"minutes\"; @Adjust(last; 0; 0; 0; 0; n; 0);\n"
    "    units = \"hours\"; @Adjust(last; 0; 0; 0; n; 0; 0);\n"
    "    @Adjust(last; 0; 0; n; 0; 0; 0))";

struct FieldFormulas {
  std::string name;
  std::string default_formula;  // "" none
  std::string computed;         // "" none: not a computed field
  std::string validation;       // "" none
};

// Evaluates every non-empty default formula in field order and stores the
// result as the field's item. A default that does not compile or evaluates
// to an error leaves its field alone; returns how many fields were set.
int FormulaFillDefaults(const std::vector<FieldFormulas>& fields, FormulaDocument* document,
                        const FormulaOptions& options);

// Recomputes every computed field in field order, each seeing the results
// of those before it. Returns false at the first formula that does not
// compile or fails, with *message naming the field and the position; fields
// before it are already written.
[[nodiscard]] bool FormulaComputeFields(const std::vector<FieldFormulas>& fields,
                                        FormulaDocument* document, const FormulaOptions& options,
                                        std::string* message);

// Runs the validation formulas in field order. A formula passes with
// @Success (a true number); @Failure("text") fails with that text as the
// message, a false number with kFieldNotValid, an error with its text.
// Returns false at the first failure, with *message set.
[[nodiscard]] bool FormulaValidateFields(const std::vector<FieldFormulas>& fields,
                                         FormulaDocument* document, const FormulaOptions& options,
                                         std::string* message);

// "Field %s is not valid" for a validation that gave a false number.
inline constexpr char kFieldNotValid[] = "Field %s is not valid";

}  // namespace ledra

#endif  // LEDRA_FORMULA_FORM_FORMULAS_H_
