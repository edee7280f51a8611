// Default, computed and validation formulas of form fields.
#include "ledra/formula/form_formulas.h"

#include <cstdio>

#include "ledra/formula/formula.h"

namespace ledra {
namespace {

std::string FieldMessage(const std::string& field, const std::string& what) {
  return "Field " + field + ": " + what;
}

}  // namespace

int FormulaFillDefaults(const std::vector<FieldFormulas>& fields, FormulaDocument* document,
                        const FormulaOptions& options) {
  int set = 0;
  for (const FieldFormulas& field : fields) {
    if (field.default_formula.empty()) continue;
    Formula formula;
    FormulaSyntaxError error;
    if (!Formula::Compile(field.default_formula, &formula, &error)) continue;
    const FormulaResult result = FormulaEvaluate(formula, document, options);
    if (!result.ok()) continue;
    std::string message;
    if (document->WriteItem(field.name, result.value, &message)) ++set;
  }
  return set;
}

bool FormulaComputeFields(const std::vector<FieldFormulas>& fields, FormulaDocument* document,
                          const FormulaOptions& options, std::string* message) {
  for (const FieldFormulas& field : fields) {
    if (field.computed.empty()) continue;
    Formula formula;
    FormulaSyntaxError error;
    if (!Formula::Compile(field.computed, &formula, &error)) {
      *message = FieldMessage(field.name, FormulaErrorText(error));
      return false;
    }
    const FormulaResult result = FormulaEvaluate(formula, document, options);
    if (!result.ok()) {
      *message = FieldMessage(field.name, FormulaErrorText(result.value));
      return false;
    }
    std::string refused;
    if (!document->WriteItem(field.name, result.value, &refused)) {
      *message = FieldMessage(field.name, refused);
      return false;
    }
  }
  return true;
}

bool FormulaValidateFields(const std::vector<FieldFormulas>& fields, FormulaDocument* document,
                           const FormulaOptions& options, std::string* message) {
  for (const FieldFormulas& field : fields) {
    if (field.validation.empty()) continue;
    Formula formula;
    FormulaSyntaxError error;
    if (!Formula::Compile(field.validation, &formula, &error)) {
      *message = FieldMessage(field.name, FormulaErrorText(error));
      return false;
    }
    const FormulaResult result = FormulaEvaluate(formula, document, options);
    const FormulaValue& value = result.value;
    if (value.IsError()) {
      *message = FieldMessage(field.name, FormulaErrorText(value));
      return false;
    }
    if (value.type == FormulaType::kText) {
      *message = FormulaToText(value, " ");
      return false;
    }
    bool passed = false;
    if (value.type == FormulaType::kNumber) {
      for (double number : value.numbers) passed = passed || number != 0;
    }
    if (!passed) {
      char text[256];
      std::snprintf(text, sizeof text, kFieldNotValid, field.name.c_str());
      *message = text;
      return false;
    }
  }
  return true;
}

}  // namespace ledra
