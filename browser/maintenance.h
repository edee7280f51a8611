// Database maintenance ("?"): build or delete the full-text index, compact,
// delete the database. Each asks on the desktop first and answers with a
// redirect to the welcome page (to the workspace after a deletion).
// Platform thread only.
#pragma once

#include <string>

#include "engine/database_request.h"
#include "engine/thread_handle.h"
#include "ledra/vx_types.h"

namespace browser {

inline constexpr char kFullTextQuestion[] =
    "Full text search requires an index.  Generating an index may take several minutes, during "
    "which you will not be able to use your browser. Generate the index now?";
inline constexpr char kFullTextTitle[] = "Pellam Corvane: Full Text Index";
inline constexpr char kFullTextDone[] = "Finished generating full text index.";
inline constexpr char kFullTextErrorTitle[] = "Full Text Index Generation Error";
inline constexpr char kFullTextDeleteQuestion[] = "Delete any existing full text index?";
inline constexpr char kNoActionTaken[] = "No action taken.";
inline constexpr char kFullTextDeleted[] = "Deletion of full text index completed successfully.";
inline constexpr char kFullTextDeleteErrorTitle[] = "Full Text Index Deletion Error";

inline constexpr char kCompactQuestion[] =
    "Compact this database? This may take several minutes, during which you will not be able to "
    "use your browser.";
inline constexpr char kCompactTitle[] = "Pellam Corvane: Compact";
inline constexpr char kCompactErrorTitle[] = "Database Compaction Error";
inline constexpr char kCompacted[] = "Database successfully compacted.";

inline constexpr char kDeleteQuestionFormat[] = "PERMANENTLY DELETE local database: \n\"%s\"?";
inline constexpr char kDeleteErrorTitle[] = "Database Deletion Error";
inline constexpr char kDeleted[] = "Database successfully deleted.";
inline constexpr char kInUseElsewhereFormat[] =
    "%s is open in another program. Close it there, then delete it again.";

// The full-text index dialog of a database: build the index, or else offer
// to delete it.
void FullTextIndexDialog(engine::ThreadHandle& handle, VXHandle database);

// Whether another program (another process) has the database file open.
bool OpenElsewhere(const std::string& file);

// The "?" command; 0.
int DatabaseMaintenance(const std::string& reply_path, engine::DatabaseRequest& request,
                        engine::ThreadHandle& handle);

}  // namespace browser
