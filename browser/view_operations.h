// The view commands behind the buttons of a view page: range selection,
// deleting the marked or the selected documents, cut, copy and paste
// through the clipboard database, categorising the selection, and search
// by the first sorted column or by the full-text index. They act on the
// sets of the view record, ask on the desktop before they change anything,
// and report progress on the status line. Platform thread only; they are
// installed as the view page's operations (browser/view_command.h).
#pragma once

#include <chrono>
#include <string>
#include <vector>

#include "browser/polarity_set.h"
#include "engine/database_request.h"
#include "engine/thread_handle.h"
#include "ledra/vx_types.h"
#include "platform/open_database.h"

namespace browser {

// The documents of the view that are in the set, each once, in the order
// of the working index: the view's own index when it holds full-text
// results, else a new index on the database narrowed to the view's
// selection formula (a folder, which has none, is walked through a new
// index set to the folder). Sets database property 4 to 1 first.
std::vector<VXNoteId> WorkingDocuments(VXHandle database, platform::ViewRecord& view,
                                       const PolaritySet& set);

// Slots in use; " ALL but " for polarity +1, else " "; "s " for more than
// one, else " ".
size_t ListedCount(const PolaritySet& set);
const char* CountText(const PolaritySet& set);
const char* PluralText(size_t n);

// Writes the status line (htmdata/wbstatus.dat of the working folder).
void ShowStatus(const std::string& text);
// Progress on the status line during a long command: the first text, then
// at most one every 200 ms. Rewriting the file costs a flush to the disk on
// some file systems; ten thousand of them would take longer than the work.
class StatusProgress {
 public:
  void Show(const std::string& text);

 private:
  std::chrono::steady_clock::time_point last_{};
  bool shown_ = false;
};

// Ctrl-click: selects every document from the one named up to the nearest
// selected document above it, at most 5001 rows.
inline constexpr char kRangeTooLong[] = "Too many documents for range-selection. Stopping at 5000.";
inline constexpr int kRangeRows = 5001;
void RangeSelection(platform::ViewRecord& view, const std::string& id_text);

// "DE" and "DX".
void DeleteMarked(engine::ThreadHandle& handle, platform::OpenDatabase& db,
                  platform::ViewRecord& view);
void DeleteSelected(engine::ThreadHandle& handle, platform::OpenDatabase& db,
                    platform::ViewRecord& view);

// "vX", "vC", "vP": kind 'X' cut, 'C' copy, 'P' paste.
void ClipboardCommand(engine::ThreadHandle& handle, platform::OpenDatabase& db,
                      platform::ViewRecord& view, char kind);

// "C": gives the selected documents the categories chosen in a dialog.
void Categorize(engine::ThreadHandle& handle, platform::OpenDatabase& db,
                platform::ViewRecord& view);

// The search text and mode of a search URL: the query's "S..." parameter
// (or the one from "SearchText" on), its value up to the next "&" decoded
// ("%" and two hexadecimal digits a byte, "+" a blank, neither after a
// "\"), the mode the character after that "&". False without a query.
bool ParseSearchQuery(const std::string& url, std::string* text, char* mode);
// The request's URL as it came, before the request line was decoded: a
// search text keeps its own "+" and "%" (decoding twice would turn a
// typed "C++" into "C  ").
std::string SearchUrl(const engine::DatabaseRequest& request);

// "FS": key search in the first sorted column, or full-text search.
void SearchView(engine::ThreadHandle& handle, const std::string& url, platform::ViewRecord& view,
                VXHandle database);

}  // namespace browser
