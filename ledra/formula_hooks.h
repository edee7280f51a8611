// The points where the formula module plugs into the store. The store runs
// without it; once the formula module calls RegisterFormulaHooks (at static
// initialisation or from _VXInit's callers), documents get their default
// values on create, computed fields on save, validation, VXDocumentExecute
// and compiled formulas as text. Each hook receives a document handle and
// may use every Vantix call on it; the store calls hooks without holding
// any of its locks. A hook reports failure with ledra::Fail.
#pragma once

#include <cstdint>
#include <string>

#include "ledra/vx_types.h"

namespace ledra {

struct FormulaHooks {
  // VXDocumentCreate with a form: fill in the form's default values.
  VXStatus (*fill_defaults)(VXHandle document) = nullptr;
  // VXDocumentSave: recompute the form's computed fields before writing.
  VXStatus (*compute_fields)(VXHandle document) = nullptr;
  // VXDocumentValidate: run the input-validation formulas; on failure write
  // the failing field's message (size bytes with its 0).
  VXStatus (*validate)(VXHandle document, char* message, uint32_t size) = nullptr;
  // VXDocumentExecute: evaluate, storing the result as "$$VXDocExecute!".
  VXStatus (*execute)(VXHandle document, const char* formula, uint32_t length, uint32_t flags) = nullptr;
};

// Replaces the registered hooks (null members stay unset).
void RegisterFormulaHooks(const FormulaHooks& hooks);
FormulaHooks CurrentFormulaHooks();

}  // namespace ledra
