// Whether a request comes from one of corvex's own pages. corvex is the
// proxy for all of the user's browsing, so any page on the web can make the
// browser request our URLs. A request that changes data or the program
// (engine/changing_requests.h) is carried out only when its Origin header,
// or without one its Referer header, is absent or names one of our own
// hosts; a request from any other page gets a 403 with a short page that
// says why, nothing is changed, and the trace names the page that tried.
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
    {"[wr;", true},
    {"[wrs;", true},
    {"corvane.asledraclient", false},
    {"corvane.command", false},
    {"corvane.lookupreplica.", true},
};

// What a request says about the page that made it.
struct RequestSource {
  std::string header;  // "Origin" or "Referer"; empty when neither is there
  std::string value;   // the header's value
  bool own = true;     // absent, or names one of our own hosts
};

RequestSource SourceOf(std::string_view raw_request);

// Whether an origin or a URL ("http://host/...") names one of our own hosts.
bool IsOwnOrigin(std::string_view origin_or_url);

inline constexpr char kForbiddenReplyFormat[] =
    "HTTP/1.0 403 Forbidden\r\nContent-Type: text/html\r\n\r\n"
    "<html><head><title>Forbidden</title></head><body><h2>Forbidden</h2>\n"
    "<p>Corvane did not carry out this request: it would change your data or the program (%s), "
    "and it was made by a page that Corvane did not write: %s</p>\n</body></html>\n";
inline constexpr char kRefusalTraceFormat[] = "\nRefused, from a foreign page (%s: %s): %s";

// When `change` is not null (the request changes something; the words say
// what) and the request comes from a foreign page: writes the trace line and
// returns the 403 reply to send. Otherwise none.
std::optional<std::string> RefuseForeignChange(const ThreadHandle* handle,
                                               std::string_view raw_request, const char* change);

}  // namespace engine
