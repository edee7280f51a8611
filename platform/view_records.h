// View records: the per-view state of corvex, built on first use of a view
// (name, index, column widths and icon flags, response column, header
// line) and kept with its open-database record. Platform thread only.
#pragma once

#include <string>
#include <vector>

#include "engine/thread_handle.h"
#include "platform/open_database.h"
#include "platform/view_calls.h"

namespace platform {

inline constexpr char kViewErrorTitle[] = "View/Folder Error";
inline constexpr size_t kHeaderLineSize = 4095;

// The column layout of a view record from the view's columns: widths (the
// width field shifted right by 2, its two flag bits dropped; 0 for a hidden
// column), icon flags, the response column, and the header line: each
// title at its running offset, cut to its width and to 4095 characters,
// the line ending after the last title copied.
void LayOutColumns(const std::vector<ColumnInfo>& columns, ViewRecord* view);

// The view record of a view of an open database: found (its index opened
// again when it was released) or built and appended. Null when the
// database handle is not in the cache or the view cannot be opened (the
// platform's message is shown titled "View/Folder Error").
ViewRecord* GetViewRecord(engine::ThreadHandle& handle, VXHandle database, VXNoteId view_id);
// By name: locate view or folder, else view id from text; null for 0.
ViewRecord* GetViewRecordByName(engine::ThreadHandle& handle, VXHandle database,
                                const std::string& name);

}  // namespace platform
