// Link extraction: the link list of a fetched element, one line per
// reference, each a marker and the URL as written, ended by a line feed.
// Marker '+' is a page link (an href), '-' a supporting element (src,
// background, lowsrc, a style sheet, an image of a srcset or of a CSS
// url(...)) or the target of a redirection.
//
// The scan of a page looks for href, src, background and lowsrc inside
// tags (skipping <xmp>, comments and scripts) and, for a redirection, for
// the Location header. A second pass adds what today's pages name
// elsewhere: every candidate of a srcset, url(...) and @import in <style>
// elements and style attributes, and a <link rel=stylesheet> is a
// supporting element rather than a page link. A style sheet itself gives
// its url(...) and @import references.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace jobs {

// Link lists are kept below the platform's 64 KB item limit.
inline constexpr size_t kMaxLinkList = 61440;

struct LinkScan {
  std::string list;        // the link list
  bool truncated = false;  // it was cut to kMaxLinkList
};

// What the scanned text is: a page (HTML or plain text), a style sheet, or
// anything else (only the tag scan runs).
enum class ScanKind { kOther, kPage, kStyleSheet };

// The link list of `text` (a whole response for a redirection, else a
// body). `status` decides whether a Location header counts; under the
// storage veto only page links are listed.
LinkScan ExtractLinks(std::string_view text, int status, bool storage_veto, ScanKind kind);

// The stretches of `html` that hold srcset values or CSS (<style> elements
// and style attributes), [begin, end) offsets, in order. The stored copy
// rewrites absolute URLs inside them.
std::vector<std::pair<size_t, size_t>> StyleAndSrcsetRanges(std::string_view html);

// The url(...) and @import references of a style sheet's text, as written.
std::vector<std::string> CssReferences(std::string_view css);

}  // namespace jobs
