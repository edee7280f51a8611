// The way of an outbound HTTP request: straight to the web server, or to the
// upstream proxy that the user's browser used before corvex took its place.
// corvex (pass-through) and corvjobs (the crawler) both decide with these
// rules; they differ only in how a host is looked for in the override list.
//
// The override list is kept as the browser keeps it: entries separated by
// blanks, commas, semicolons or line feeds, optionally written with
// "http://" in front, and the keyword "<local>" (hosts without a dot).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace common {

enum class RouteKind { kDirect, kUpstream };

enum class OverrideMatch {
  // The host must stand in the list as an entry of its own: at the start of
  // the list or after a separator or "http://", and followed by the end, a
  // separator, "/" or "\". Letter case counts. (corvex)
  kEntry,
  // The host may occur anywhere in the list text. Letter case counts.
  // (corvjobs)
  kAnywhere,
};

inline constexpr char kLocalKeyword[] = "<local>";

// Whether `host` (host text with its port when one was written) is one of
// the overrides: see OverrideMatch. An empty host is never one.
bool HostInOverrides(std::string_view host, std::string_view overrides, OverrideMatch match);

// The way of a request for `host` (host text as in the URL, port included
// when written; a leading "http://" is ignored) given the upstream proxy
// ("host:port", empty for none) and the override list:
//   no upstream proxy                              direct
//   an upstream proxy, no overrides                upstream
//   the host is an override                        direct
//   "<local>" listed and the host has no "."      direct
//   otherwise                                      upstream
RouteKind ChooseRoute(std::string_view host, std::string_view upstream, std::string_view overrides,
                      OverrideMatch match);

// Finds the absolute URL ("scheme://host...") in the request line of
// `request`, returns its host text (up to the first "/", "?", "#", blank or
// line end: "example.com" or "example.com:8080") and rewrites the request
// line so that the method's blank is followed by the path ("GET
// http://h/p HTTP/1.0" becomes "GET /p HTTP/1.0"; a URL without a path gets
// "/"). Empty, with the request unchanged, when the request line holds no
// absolute URL after its method.
std::string ExtractHost(std::string* request);

// Splits "host" or "host:port" ("[v6]:port" too). The port defaults to
// `default_port`. False, with nothing written, for an empty host or a port
// that is not a number from 1 to 65535.
[[nodiscard]] bool SplitHostPort(std::string_view text, uint16_t default_port, std::string* host,
                                 uint16_t* port);

}  // namespace common
