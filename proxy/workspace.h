// The workspace: the page a bare http://[wc] URL leads to, a redirect to a
// view of the page-replica database or of the configuration database
// (database operation 28). It is also written to htmdata/wkspace.htm at
// start-up and on every on-line/off-line switch, so that a file:// link to
// it opens the same view.
//
// The view chosen is remembered (the workspace view) by server, path and
// view name rather than by its view record: a record is freed when the
// open-database cache is emptied, a name stays good.
#pragma once

#include <cstdint>
#include <string>

#include "engine/thread_handle.h"

namespace proxy {

inline constexpr char kWorkspaceRedirectFormat[] =
    "HTTP/1.0 302 Temporarily Moved\r\nLocation: http://[kv]/%s:/%s:/V/%s/LR/\r\n\r\n";
inline constexpr char kWorkspaceFile[] = "htmdata/wkspace.htm";
inline constexpr char kSchedulesView[] = "Schedules by Name";
inline constexpr char kDefaultWorkspaceView[] = "by Category";

// Writes the workspace redirect to `destination` (through a temporary file
// renamed over it). Gives 1. Platform thread.
int32_t WriteWorkspace(engine::ThreadHandle& handle, const std::string& destination);

// The workspace view remembered so far: false when none.
bool WorkspaceView(std::string* server, std::string* path, std::string* view);
// Forgets it (tests).
void ForgetWorkspaceView();

// Installs operation 28.
void InstallWorkspaceOperation();

}  // namespace proxy
