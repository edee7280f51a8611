// Small helpers of the job task over the platform calls: reading and writing
// text items of any length, date-time items, and selecting documents by a
// formula. The job task's worker thread is its only platform caller.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "ledra/datetime.h"
#include "ledra/vxapi.h"

namespace jobs {

// The text of an item, cut to `max_bytes` (0: any length). False when the
// item is missing or cannot be read as text; *value is then empty.
[[nodiscard]] bool ReadTextItem(VXHandle document, const char* name, std::string* value,
                                size_t max_bytes = 0);
// The text of an item, "" when missing.
std::string TextItem(VXHandle document, const char* name, size_t max_bytes = 0);
// Puts a text item (summary flag set); the platform's status.
VXStatus PutTextItem(VXHandle document, const char* name, const std::string& value);
// Date-time items: false when missing or not a date-time.
[[nodiscard]] bool ReadDatetimeItem(VXHandle document, const char* name, ledra::Datetime* value);
VXStatus PutDatetimeItem(VXHandle document, const char* name, const ledra::Datetime& value);

// The note ids of the documents `formula` selects in `database`, in index
// order. The platform's status.
VXStatus SelectDocuments(VXHandle database, const std::string& formula, std::vector<VXNoteId>* ids);

// The platform's text for the calling thread's last failure; "" when none.
std::string LastPlatformError();

// A platform environment string; "" when it is not set.
std::string EnvironmentString(const char* name);

// The platform's date-time now.
ledra::Datetime PlatformNow();

}  // namespace jobs
