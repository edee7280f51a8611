// The formula language compiling the selection and column formulas of views
// (ledra/formula/): what view_formula.cc uses when no other compiler has
// been registered.
#pragma once

#include <memory>
#include <string>

#include "ledra/view/view_formula.h"

namespace ledra {

[[nodiscard]] VXStatus CompileWithFormulaLanguage(const std::string& text, std::unique_ptr<NoteFormula>* out,
                                                  std::string* error);

}  // namespace ledra
