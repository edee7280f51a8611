// The output layer: what every reply of corvex goes through as it leaves,
// unless the classic URLs are asked for (engine/url_mapping.h). It keeps
// what a handler wrote and makes it something a current browser takes:
//   - a status line with CRLF line ends ("HTTP/1.0 200 OK" for a reply that
//     has none), headers with CRLF, Content-Length, "Connection: close";
//   - a reply corvex generated gets "Content-Type: text/html; charset=utf-8"
//     and "Cache-Control: no-cache"; a stored page or an attachment keeps
//     its own type;
//   - Location headers and the URLs inside generated pages and stored
//     text pages (HTML, scripts, style sheets) written for the browser;
//   - never zero bytes: an empty reply becomes "204 No Content" where
//     nothing was to be done (commands), or a short page saying what is
//     missing; the interim answer to commands, while no command handler is
//     installed, becomes a page saying that commands are not built yet.
// Stored pages keep their stored bytes; all of this happens on the way out.
#pragma once

#include <string>
#include <string_view>

#include "engine/request_entry.h"
#include "engine/shared_context.h"

namespace engine {

// What the layer knows of the request a reply answers.
struct ReplyRequest {
  int eventType = kPassThrough;
  std::string_view url;       // the request's URL, in its classic form
  bool commandsBuilt = true;  // a command handler is installed
};

// The reply as it leaves corvex with the layer on. `program_dir` is the
// absolute program folder (file:// URLs into it are rewritten).
std::string FinishReply(std::string_view reply, const ReplyRequest& request,
                        std::string_view program_dir);

// The send path's one call: sends the reply, read whole from its file, to
// the entry's socket as it leaves corvex. In classic mode, or past the
// largest reply the layer rewrites, the bytes go out as they are.
void SendFinishedReply(const SharedContext& shared, const RequestEntry& entry,
                       std::string_view reply);

// For code that sends a piece of corvex's own HTML by itself (the dashboard
// strip of live pages): the piece with its URLs rewritten; in classic mode
// the piece unchanged.
std::string RewritePageText(std::string_view text, std::string_view program_dir);

// The URL of a request line (between the first blank and a final
// " HTTP/x.y"), empty when there is none.
std::string_view RequestUrl(std::string_view raw_request);

}  // namespace engine
