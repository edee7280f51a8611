// The stored copy of a fetched response, as the page-replica database keeps
// it in "content.dat": the response as received, with absolute links made
// to point back into the page store, so that corvex can serve the page
// off line.
//
// In a page, an "http://" after a double quote, an apostrophe or '=' gets
// the replica marker "[wr;$WCTX_CorvjobsicaContext]" after it; after
// action=" it gets "[wrs;...]" (form submissions); after anything else (a
// URL in ordinary text) it stays. Inside srcset values and CSS (style
// sheets, <style> elements, style attributes) an URL after url(, a blank or
// a comma is rewritten too. In a redirection every "http://" is rewritten.
// A page's Content-length header announces the received body length plus
// 9000 (room for the dashboard that corvex appends) plus what the markers
// added; a style sheet's announces its new length.
#pragma once

#include <string>
#include <string_view>

namespace jobs {

enum class StoredKind {
  kAsIs,        // stored byte for byte
  kPage,        // a text page
  kRedirect,    // a 301 or 302 answer
  kStyleSheet,  // a text/css answer
};

// Room left in a page's announced length for the dashboard.
inline constexpr long kDashboardRoom = 9000;

// Rewrites the absolute links of `text` as described above; `redirect`
// rewrites every one. A line feed is added at the end, except for a style
// sheet.
std::string RewriteAbsoluteLinks(std::string_view text, StoredKind kind);

// The stored copy of `response`. *body_length (may be null) gets the length
// of the received body (0 without a blank line after the headers).
std::string StoredResponse(std::string_view response, StoredKind kind, long* body_length);

}  // namespace jobs
