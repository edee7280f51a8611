// Values that new and submitted documents get from formulas: the default
// value of each field, evaluated for composing, and the result of a formula
// evaluated on one document stored into another.
#pragma once

#include <string>

#include "ledra/vx_types.h"

namespace browser {

inline constexpr char kExecuteResult[] = "$$VXDocExecute!";

// The result of VXDocumentExecute on source stored into target under name
// with its own type; false when there is no result to store.
bool StoreExecuteResult(VXHandle source, VXHandle target, const std::string& name);

// Default values for a new document of the form: every field's formula,
// prepared for composing, evaluated on it and stored; an empty text for a
// field without one. A failed evaluation leaves the field alone.
void FillDefaultValues(VXHandle database, VXNoteId form, VXHandle document);

}  // namespace browser
