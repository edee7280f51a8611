// The short pages corvex answers with where it would otherwise give the
// browser nothing: something asked for is missing (a view, a database, a
// file) or a part of the program is not built yet. Each says what, and
// lists what to try as links. Links are written in corvex's own (classic)
// URL forms; the output layer maps them for the browser like any other.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace engine {

struct PageLink {
  std::string url;   // classic form, e.g. "http://[kv]/Local:/kvhelp.ldf:/n/Contents"
  std::string text;  // plain text; escaped when written
};

// Status lines of these pages.
inline constexpr char kStatusNotFound[] = "HTTP/1.0 404 Not Found";
inline constexpr char kStatusNotBuilt[] = "HTTP/1.0 501 Not Implemented";
inline constexpr char kStatusBadRequest[] = "HTTP/1.0 400 Bad Request";
inline constexpr char kStatusNoContent[] = "HTTP/1.0 204 No Content";

// The places every such page offers: the start page, the help, the
// sample discussion and the page-replica database.
std::vector<PageLink> StartingPoints();

// The links as an HTML list ("<ul>...</ul>"), texts escaped.
std::string LinkList(const std::vector<PageLink>& links);

// The whole reply: `status` (one of the lines above), a blank line and a page
// titled `title` whose first paragraph is `what_html` (HTML: callers escape
// every text they echo), followed by the links of `tries`.
std::string HelpfulReply(std::string_view status, std::string_view title,
                         std::string_view what_html, const std::vector<PageLink>& tries,
                         std::string_view more_html = "");

// The same page without status line and headers.
std::string HelpfulPage(std::string_view title, std::string_view what_html,
                        const std::vector<PageLink>& tries, std::string_view more_html = "");

}  // namespace engine
