// The formula language behind the platform's calls: VXDocumentExecute,
// the form formulas run by VXDocumentCreate (defaults), VXDocumentSave
// (computed fields) and VXDocumentValidate, and the ledcore services that
// compile a formula into a memory handle and turn one back into text.
#ifndef LEDRA_FORMULA_FORMULA_CALLS_H_
#define LEDRA_FORMULA_FORMULA_CALLS_H_

#include <cstdint>

#include "ledra/vx_types.h"

namespace ledra {

// The item VXDocumentExecute puts the formula's value into.
inline constexpr char kExecuteResultItem[] = "$$VXDocExecute!";

// Plugs the formula module into the store (the hooks of
// ledra/formula_hooks.h). _VXInit calls it; calling it again is harmless.
void RegisterFormulaModule();

}  // namespace ledra

// ledcore ordinal 2040: compiles formula text (length bytes; 0: up to its 0) into a new
// memory handle holding the compiled form (what an item of type 1536
// holds) and its length. On failure *formula is 0 and the status is
// kVXFormulaError with "<message> at position <n>" for VXErrorFetch.
[[nodiscard]] VXStatus LCFormulaCompile(const char* text, uint32_t length, VXHandle* formula,
                                        uint32_t* formula_length);
// ledcore: the text of a compiled formula, as a new memory handle and its
// length (no terminating 0); the formula half of ordinal 2045 (the text
// after an action record). Fails with kVXFormulaError when the bytes are
// not a compiled formula.
[[nodiscard]] VXStatus LCFormulaDecompile(const void* compiled, uint32_t length, VXHandle* text,
                                          uint32_t* text_length);

#endif  // LEDRA_FORMULA_FORMULA_CALLS_H_
