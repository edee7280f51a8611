// What a [kv] request gets, with the layer on (engine/url_mapping.h), when
// its handler wrote nothing: "204 No Content" where there was nothing to do
// (a view's sub-command that changes nothing, an empty command frame), or a
// short page that says what is missing (a database that does not open, a
// view that is not there, a command corvex does not know) or what is not
// built yet, and what to try instead. In classic mode the reply stays empty.
//
// The start page http://[kv]/ is such a page while the server catalogue is
// not built: it lists the databases shipped with corvex and their views.
#pragma once

#include <string>

#include "engine/database_request.h"
#include "engine/thread_handle.h"

namespace browser {

// Runs on the platform thread right after the dispatcher; `result` is the
// dispatcher's (-1 when no handler applied). Writes the reply into the
// file at `reply_path` when that file is empty.
void ExplainEmptyReply(const std::string& reply_path, engine::DatabaseRequest& request,
                       engine::ThreadHandle& handle, int result);

// The reply text ExplainEmptyReply writes (empty: none).
std::string EmptyReplyText(engine::DatabaseRequest& request, engine::ThreadHandle& handle,
                           int result);

}  // namespace browser
