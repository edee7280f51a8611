// The formula language's entry points.
#include "ledra/formula/formula.h"

#include "ledra/formula/compiled_form.h"
#include "ledra/formula/parser.h"

namespace ledra {
namespace {

constexpr char kPositionFormat[] = " at position ";

}  // namespace

Formula::Formula() : program_(std::make_unique<Program>()) {}
Formula::Formula(Formula&&) noexcept = default;
Formula& Formula::operator=(Formula&&) noexcept = default;
Formula::~Formula() = default;

bool Formula::Compile(std::string_view text, Formula* out, FormulaSyntaxError* error) {
  auto program = std::make_unique<Program>();
  if (!FormulaParse(text, program.get(), error)) return false;
  out->program_ = std::move(program);
  return true;
}

bool Formula::Load(std::string_view compiled, Formula* out, std::string* message) {
  auto program = std::make_unique<Program>();
  if (!FormulaDecode(compiled, program.get(), message)) return false;
  out->program_ = std::move(program);
  return true;
}

std::string Formula::Compiled() const { return FormulaEncode(*program_); }
std::string Formula::Text() const { return FormulaDecompile(*program_); }
bool Formula::IsSelection() const { return program_->has_select; }

FormulaResult FormulaEvaluate(const Formula& formula, FormulaDocument* document,
                              const FormulaOptions& options) {
  Evaluator evaluator(formula.program(), options);
  FormulaResult result;
  result.value = evaluator.Run(document);
  result.selected = evaluator.selected();
  return result;
}

std::string FormulaDescribe(const FormulaValue& value) {
  if (value.IsError()) return "error: " + FormulaErrorText(value);
  return std::string(FormulaTypeName(value.type)) + ": " + FormulaToText(value, "; ");
}

std::string FormulaErrorText(const FormulaValue& error) {
  return error.error + kPositionFormat + std::to_string(error.error_position);
}

std::string FormulaErrorText(const FormulaSyntaxError& error) {
  return error.message + kPositionFormat + std::to_string(error.position);
}

FormulaSelector::FormulaSelector(const Formula& formula, const FormulaOptions& options)
    : formula_(formula), evaluator_(formula.program(), options) {}

bool FormulaSelector::Matches(FormulaDocument* document) {
  const FormulaValue value = evaluator_.Run(document, /*want_value=*/false);
  if (formula_.IsSelection()) return evaluator_.selected();
  FormulaValue error;
  return evaluator_.TruthOf(value, 0, &error) == 1;
}

}  // namespace ledra
