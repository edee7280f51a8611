// The argument of the job task: the note id of a Schedule document, given
// as a decimal number or inside a [kv] document URL after "/D/" or "/E/".
#pragma once

#include <string_view>

#include "ledra/vx_types.h"

namespace jobs {

// The document id the argument names; 0 when it names none.
VXNoteId ScheduleIdFromArgument(std::string_view argument);

}  // namespace jobs
