// The program folder's files over http: http://corvane.programfolder/ with
// images/..., htmdata/... and the GIF files that rich text leaves in
// wtemp/. Pages link to these as file:// URLs, which a browser will not load
// into an http page; the output layer writes them on this host instead.
//
// Read-only and confined: GET and HEAD only; the first folder must be one
// of the three; no "." or ".." segment; no symbolic link is followed, at
// any level; only regular files; in wtemp/ only "*.gif" directly inside.
// Each reply carries its Content-Type, Last-Modified and a Cache-Control
// (a day for images/, revalidation for the others, whose files change),
// and answers If-Modified-Since with 304. The root leads to the start page.
#pragma once

#include <string>
#include <string_view>

#include "engine/request_entry.h"
#include "engine/thread_handle.h"

namespace engine {

// The whole reply to `method` for `url` (a corvane.programfolder URL) from
// the folder `program_dir`; `if_modified_since` is that header's value or
// empty.
std::string ProgramResourceReply(std::string_view program_dir, std::string_view method,
                                 std::string_view url, std::string_view if_modified_since);

// The first step of the pass-through thread: answers requests that must not
// go to the network. A request for the program folder gets its file; while
// no pass-through is built, any other request gets a page saying so (with
// the layer on; in classic mode the connection is closed, as before). True
// when it answered, the entry then finished.
bool AnswerLocally(ThreadHandle& handle, RequestEntry& entry);

}  // namespace engine
