// Link normalisation and the bounding test of the crawl: a link as written
// in a page becomes an absolute http URL against the page's own URL, or is
// skipped; the URL without "http://" is the element's key in the
// page-replica database.
#pragma once

#include <string>
#include <string_view>

namespace jobs {

// The absolute URL of `link` found on the page at `referrer` (an absolute
// URL). False when the link is skipped: other schemes (mailto, ftp, wais,
// gopher, https, and any other "scheme:" that a browser does not read
// against the page, such as data: or tel:), a bare '#' or '?' link, a
// relative link on a referrer without a '/'. On success *url has a '/' after its host and no fragment;
// "&amp;" is read as '&' as a browser reads it.
[[nodiscard]] bool NormaliseLink(std::string_view link, std::string_view referrer,
                                 std::string* url);

// The element key of a normalised URL: the URL without its first 7
// characters.
std::string ElementKey(std::string_view url);

// The host (with its port when written) of an http URL; "" when it has no
// "http://".
std::string HostOf(std::string_view url);

// The bounding test: `bounds` is split at commas and blanks; the URL passes
// when an entry is a prefix of it, or an entry beginning '*' has the rest of
// its text anywhere in it (letter case ignored both ways). An empty list
// passes everything.
bool PassesBounds(std::string_view url, std::string_view bounds);

}  // namespace jobs
