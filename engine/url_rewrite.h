// Rewriting of the URLs inside a page on its way out: every pseudo-host URL
// (http://[kv]/..., http://[wc]/..., http://[wr;...]..., and the long host
// names corvex has always accepted for them) and every file:// URL into the
// program folder, in HTML, scripts and style sheets, becomes its browser
// form (engine/url_mapping.h). Everything else is copied byte for byte.
//
// Where a URL ends depends on what stands before it: after a quote, at the
// same quote (or the line's end); after "(", at ")", a quote or white
// space; anywhere else at white space, a quote, "<", ">" or "`". URLs with
// blanks inside (view names) therefore keep them when quoted, as corvex
// writes them.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace engine {

// Appends `text` with its URLs rewritten to *out; returns how many were
// rewritten.
size_t RewriteUrls(std::string_view text, std::string_view program_dir, std::string* out);

// The browser form of `url` when the whole text is one URL that corvex
// rewrites (a Location header); none otherwise.
std::optional<std::string> RewriteWholeUrl(std::string_view url, std::string_view program_dir);

}  // namespace engine
