// The attachment command "A":
//
//   http://[kv]/SERVER:/DATABASE:/A/NOTE-ID/ACTION/0/FILE-NAME/{RETURN-URL}/
//
// "ds" sends an attachment's content with a content type chosen from its
// name; "ap" attaches a file chosen in an open-file dialog; "dp" saves an
// attachment to a file chosen in a save-file dialog, or, when that is
// cancelled from a view, offers to delete it. Platform thread only.
#pragma once

#include <string>

#include "engine/database_request.h"
#include "engine/thread_handle.h"

namespace browser {

// Every attachment is extracted into this file of the program folder
// (only the platform thread uses it, one request at a time).
inline constexpr char kExtractionFile[] = "wtemp/tmp.ext";
// Attachments come from our own origin: the browser must neither guess
// another type than the one sent nor let an attached page run as ours.
inline constexpr char kAttachmentSafetyHeaders[] =
    "X-Content-Type-Options: nosniff\r\nContent-Security-Policy: sandbox\r\n";

// The content-type header line for an attachment name, by its text from
// the last "." (any case); "Content-type: text/plain" for anything else.
const char* ContentTypeLine(const std::string& name);

// Whether a name from a URL may name an attachment: not empty, not "." or
// "..", and holding no "/", "\" or control character.
bool SafeAttachmentName(const std::string& name);

// The handler; 1.
int AttachmentCommand(const std::string& reply_path, engine::DatabaseRequest& request,
                      engine::ThreadHandle& handle);

}  // namespace browser
