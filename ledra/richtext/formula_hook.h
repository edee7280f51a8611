// The hook through which the formula language compiles the formulas of
// actions and turns them back into text. Until the formula module installs
// its functions, formulas are kept as their text.
#pragma once

#include <string>
#include <string_view>

#include "ledra/richtext/byte_io.h"

namespace ledra::richtext {

// Both return 0 on success; any other value is passed on as a failure.
using FormulaCompileFn = int (*)(std::string_view text, Bytes* compiled);
using FormulaDecompileFn = int (*)(ByteSpan compiled, std::string* text);

// Installs (or, with null pointers, removes) the hook. Meant to be called
// once at start-up, before any thread renders; the pointers are atomics so
// a late call is still safe.
void SetFormulaHooks(FormulaCompileFn compile, FormulaDecompileFn decompile);

// Text -> stored form: compiled when a compiler is installed, else the
// text itself. *form is kFormulaCompiled or kFormulaAsText.
[[nodiscard]] int StoreFormula(std::string_view text, uint8_t* form, Bytes* bytes);
// Stored form -> text. kRtFormulaHook for a compiled formula without a
// decompiler, or when the decompiler fails.
[[nodiscard]] int FormulaText(uint8_t form, ByteSpan bytes, std::string* text);

}  // namespace ledra::richtext
