// Serving stored copies of web pages from a page-replica database (the
// [wr;...] URLs, database operation 21) and offering to keep a form that
// was submitted from a stored page as a new Favourite ([wrs;...] URLs and
// POSTs, operation 23). Both run on the platform thread and write the whole
// reply into the reply file.
#pragma once

#include <cstdint>
#include <string>

#include "engine/replica_request.h"
#include "engine/thread_handle.h"

namespace proxy {

inline constexpr char kLivePageRedirectFormat[] =
    "HTTP/1.0 302 Temporarily Moved\nLocation: http://%s\n\n\n\n";
inline constexpr char kCommentsRedirectFormat[] =
    "HTTP/1.0 302 Temporarily Moved\nLocation: http://[kv]/%s:/%s:/E/%ld/LR/0/%s/\n\n\n\n";
inline constexpr char kNotFavouritePageFormat[] =
    "HTTP/1.0 200 OK\n\n\n\n<html><HEAD><META HTTP-EQUIV=\"Refresh\" Content=20></HEAD>\n      "
    "<body><center>This link points to a page that is not yet a Favorite. <br>\n      You can "
    "make it a Favorite using the Dashboard below<br> or you may go directly to the\n      <a "
    "HREF=\"http://%s\" >online version.</a>%s</body></html>";
inline constexpr char kNoStoredCopyPageFormat[] =
    "HTTP/1.0 200 OK\n\n\n\n<html><center>\nNo offline replica copy has been stored yet for this "
    "Favorite. <br>\nUse the Dashboard below for comments and options or to go online.<br><br>You "
    "may also use CTRL click from the Workspace to go directly online,<br>or ALT click to go "
    "directly to the comments page.%s</body></html>";
inline constexpr char kCategoryViewName[] = "by Category";

inline constexpr char kStoredFormQuestion[] =
    "You are submitting from an offline form.  Store the results as a Favorite in your "
    "Workspace?";
inline constexpr char kQuestionTitle[] = "Corvane";
inline constexpr char kStoredFormRedirectFormat[] =
    "HTTP/1.0 302 Temporarily Moved\nLocation: %s\n\n\n";

// Operation 21: the stored copy of `request.key`, with the dashboard after
// an HTML page; with Ctrl held the live page, with Alt the element's
// comments page; the "not yet a Favorite" or "No offline replica copy" page
// when there is no stored copy. Gives 1.
int32_t ServeStoredPage(engine::ThreadHandle& handle, const std::string& reply_path,
                        engine::ReplicaRequest& request);

// Operation 23: asks whether to keep the form's results as a Favourite and
// hands the request to the Favourite operation (29). Gives 1.
int32_t OfferStoredForm(engine::ThreadHandle& handle, const std::string& reply_path,
                        engine::ReplicaRequest& request);

// Installs operations 21 and 23.
void InstallStoredPageOperations();

}  // namespace proxy
