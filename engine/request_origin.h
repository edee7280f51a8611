// Whether a request comes from one of corvex's own pages. corvex is the
// proxy for all of the user's browsing, so any page on the web can make the
// browser request our URLs. A request that changes data or the program
// (engine/changing_requests.h) is carried out only when its Origin header,
// or without one its Referer header, names one of our own hosts; a request
// from any other page gets a 403 with a short page that says why, nothing
// is changed, and the trace names the page that tried.
//
// A request that names no page at all is carried out when it is a POST:
// browsers send an Origin with every POST, so only other programs (scripts,
// the tools of this project) send one without. A GET without either header
// may be a bookmark or a URL typed in the address bar, but also an image
// or a link of a foreign page that withholds its referrer: it is not
// carried out; the answer is a 403 page with a link to the same URL, which
// a click on that page (our own) then sends with our Referer.
//
// Browsers send "Origin: null" from sandboxed frames (attachments are
// served sandboxed), from file:// pages and for requests whose referrer
// was withheld: null is not one of ours.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "engine/thread_handle.h"

namespace engine {

// The hosts of our own pages, compared without regard to case with the
// host of an http:// URL (for a bracketed pseudo-host, with its start).
// A synonym added to the classification is one more line here.
struct OwnHost {
  const char* host;
  bool prefix;  // the host begins with it
};
inline constexpr OwnHost kOwnHosts[] = {
    {"[kv]", false},
    {"[wc]", false},
    {"corvane.asledraclient", false},
    {"corvane.command", false},
};

// Stored pages are served by corvex but hold what a site wrote, scripts
// included. A request from one may do only what the strip corvex adds to
// them does: submit one of the page's forms (which asks on the desktop)
// and the commands of these letters (favourite, on line/off line; both ask
// on the desktop too). Anything else that changes something is refused as
// from any foreign page.
inline constexpr OwnHost kStoredPageHosts[] = {
    {"[wr;", true},
    {"[wrs;", true},
    {"corvane.lookupreplica.", true},
};
inline constexpr char kStoredPageCommandLetters[] = "FN";

// What a request says about the page that made it.
struct RequestSource {
  std::string header;  // "Origin" or "Referer"; empty when neither is there
  std::string value;   // the header's value
  bool own = true;     // absent, or names one of our own hosts
  bool storedPage = false;  // names a stored page
};

RequestSource SourceOf(std::string_view raw_request);

// Whether an origin or a URL ("http://host/...") names one of our own hosts.
bool IsOwnOrigin(std::string_view origin_or_url);
// Whether it names a stored page, in either form of its host.
bool IsStoredPageOrigin(std::string_view origin_or_url);

inline constexpr char kForbiddenReplyFormat[] =
    "HTTP/1.0 403 Forbidden\r\nContent-Type: text/html\r\n\r\n"
    "<html><head><title>Forbidden</title></head><body><h2>Forbidden</h2>\n"
    "<p>Corvane did not carry out this request: it would change your data or the program (%s), "
    "and it was made by a page that Corvane did not write: %s</p>\n</body></html>\n";
inline constexpr char kRefusalTraceFormat[] = "\nRefused, from a foreign page (%s: %s): %s";
// The answer to a GET that changes something and names no page: the
// confirming link is the request's own URL. Not to be shown in a frame, so
// that no page can dress it up and have the user click it unawares. It is
// written as corvex's generated pages are (no Content-Type), so that the
// link leaves corvex in the form the browser reads.
inline constexpr char kConfirmReplyFormat[] =
    "HTTP/1.0 403 Forbidden\r\nX-Frame-Options: DENY\r\n"
    "Content-Security-Policy: frame-ancestors 'none'\r\nCache-Control: no-store\r\n\r\n"
    "<html><head><title>Confirm</title></head><body><h2>Confirm</h2>\n"
    "<p>This address asks Corvane to change your data or the program (%s), and it did not come "
    "from one of Corvane's own pages: it came from a bookmark, from the address bar, or from a "
    "page that hides where it comes from. Corvane has not carried it out.</p>\n"
    "<p>If you meant it: <a href=\"%s\">carry it out</a></p>\n</body></html>\n";
inline constexpr char kConfirmTraceFormat[] = "\nNot carried out, no page named: %s";

// When `change` is not null (the request changes something; the words say
// what) and the request comes from a foreign page: writes the trace line and
// returns the 403 reply to send. Otherwise none.
std::optional<std::string> RefuseForeignChange(const ThreadHandle* handle,
                                               std::string_view raw_request, const char* change);

}  // namespace engine
