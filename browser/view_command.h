// The "V" command: one view or folder of a database in the browser, and
// every action the user takes on it. Each request applies its sub-command
// (argument 2) to the view record, then answers with one of six kinds of
// reply: command panel, header frame, page, search frame, frameset, or the
// redirect to the previous page.
#pragma once

#include <cstdint>
#include <string>

#include "engine/database_request.h"
#include "engine/thread_handle.h"
#include "platform/open_database.h"

namespace browser {

// Process-wide page state: one copy for every view and request.
struct PageState {
  uint32_t linesPerPage = 30;               // linesInView, read again at every request
  int sectionOpen[6] = {0, 1, 0, 0, 0, 0};  // 1 Dashboard, 2 Views, 3 Edit View, 4 spare, 5 Compose
  int32_t navigatorSize = 25;
  std::string databaseTitle;
};
PageState& Page();

// The view commands that act on documents and the lines-per-page dialog.
// Until they are installed each does nothing.
struct ViewOperations {
  void (*categorize)(engine::ThreadHandle&, platform::OpenDatabase&,
                     platform::ViewRecord&) = nullptr;
  void (*deleteSelected)(engine::ThreadHandle&, platform::OpenDatabase&,
                         platform::ViewRecord&) = nullptr;
  void (*deleteMarked)(engine::ThreadHandle&, platform::OpenDatabase&,
                       platform::ViewRecord&) = nullptr;
  // kind 'X' cut, 'C' copy, 'P' paste.
  void (*clipboard)(engine::ThreadHandle&, platform::OpenDatabase&, platform::ViewRecord&,
                    char kind) = nullptr;
  // Selects every document between the current line and the one named.
  void (*rangeSelection)(platform::ViewRecord&, const std::string& id_text) = nullptr;
  // Full-text or key search with the query in the full URL.
  void (*search)(engine::ThreadHandle&, const std::string& url, platform::ViewRecord&,
                 VXHandle database) = nullptr;
  // The lines-per-page dialog; it updates linesInView.
  void (*linesPerPageDialog)(engine::ThreadHandle&) = nullptr;
};
ViewOperations& Operations();

// The "V" command; always 1.
int ViewCommand(const std::string& reply_path, engine::DatabaseRequest& request,
                engine::ThreadHandle& handle);

// The document of the current line (for the view commands): the row there,
// else with a select-all set the first document row, else the first listed
// document, else 0.
VXNoteId DocumentOfCurrentLine(platform::ViewRecord& view);

// Request state shared by the sub-commands and the replies.
struct ViewRequest {
  engine::ThreadHandle& handle;
  engine::DatabaseRequest& request;
  platform::OpenDatabase& db;
  platform::ViewRecord& view;
  std::string server{}, database{}, command{}, argument1{}, argument2{}, argument3{}, argument4{};
  // The same pieces of the request escaped for HTML: pages and frames echo
  // these; redirects the plain ones.
  struct {
    std::string server, database, command, argument1, argument3;
  } html{};
  std::string savedTop{};
  std::string documentTarget{};
  std::string out{};  // the reply
};

// The replies (view_page.cc and view_frames.cc).
void WritePage(ViewRequest& v);
void WriteFrameset(ViewRequest& v);
void WriteCommandPanel(ViewRequest& v);

}  // namespace browser
