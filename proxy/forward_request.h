// The browser's request as the pass-through forwards it. A browser talks
// HTTP/1.1 with keep-alive to its proxy; a server answering such a request
// would keep the connection open after the response, and the relay, which
// ends when the server closes, would wait for the server's idle time-out.
// So the request goes out as HTTP/1.0 with "Connection: close", without the
// headers that concern only the browser's connection to corvex (hop-by-hop
// headers), and with its body unchanged.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "common/route.h"

namespace proxy {

struct BrowserRequest {
  std::string method;
  std::string url;      // as sent: "http://host/path" (or "host:443" for CONNECT)
  std::string version;  // "HTTP/1.1"; "HTTP/1.0" when the line has none
  std::string host;     // host text of the URL, port included when written
  std::string path;     // the URL without scheme and host, "/" at least
  std::vector<std::pair<std::string, std::string>> headers;  // name, value
  std::string body;
};

enum class ParseResult {
  kOk,
  kNoRequestLine,  // empty, or a line without method and URL
  kNoHost,         // the URL is not absolute ("GET / HTTP/1.1" sent to corvex as a server)
  kNotHttp,        // an absolute URL of another scheme ("ftp://...")
};

// Reads the request line, the headers and the body of `raw`. A CONNECT's
// URL is its "host:port"; its host is the same text.
[[nodiscard]] ParseResult ParseBrowserRequest(std::string_view raw, BrowserRequest* request);

// Whether the method is `name`, compared without regard to case.
bool MethodIs(const BrowserRequest& request, const char* name);

// The value of the first header named `name` (any case); empty when absent.
std::string HeaderValue(const BrowserRequest& request, std::string_view name);

// Content codings that the pass-through can decode itself, so that it can
// add the dashboard to a compressed HTML page.
inline constexpr const char* kDecodableCodings[] = {"gzip", "x-gzip", "deflate", "identity"};

// The request to send: "METHOD TARGET HTTP/1.0", the browser's headers
// without hop-by-hop ones (Connection and the headers it names, Keep-Alive,
// Proxy-Connection, TE, Trailer, Upgrade; Proxy-Authorization unless the
// request goes to the upstream proxy, which asked for it), a Host header
// when the browser sent none, "Connection: close", the blank line and the
// body. TARGET is the absolute URL through the upstream proxy, else the
// path. With `decodable_only`, Accept-Encoding keeps only the codings the
// pass-through can decode ("identity" when none is left).
std::string OutgoingRequest(const BrowserRequest& request, common::RouteKind route,
                            bool decodable_only);

}  // namespace proxy
