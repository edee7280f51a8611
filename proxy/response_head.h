// The head of a server's response (status line and headers) as the
// pass-through reads it, and the rewriting of an HTML page's head when the
// dashboard is added: the announced length grows by the fragment's length
// (once), the page's dates are defused so that the browser neither caches it
// by date nor lets it expire ("Last-Modified" becomes "bast-Modified",
// "Expires" "bxpires"), and a body that the pass-through decodes loses its
// transfer and content codings.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace proxy {

// Heads longer than this are refused as garbage.
inline constexpr size_t kMaxResponseHead = 65536;

struct ResponseHead {
  int status = 0;
  std::string content_type;       // value as sent, trimmed
  long long content_length = -1;  // -1: absent, or not a number
  bool length_unusable = false;   // a Content-Length that is not one plain number
  bool chunked = false;           // Transfer-Encoding names chunked
  std::string content_encoding;   // lower-cased, trimmed; "" or "identity" for none
};

// The length of the head at the start of `data` up to and including the
// blank line that ends it (CRLF CRLF, or bare line feeds); 0 while the head
// is not complete.
size_t HeadLength(std::string_view data);

// Reads a complete head. False when it does not begin with "HTTP/" followed
// by a version and a three-digit status.
[[nodiscard]] bool ParseResponseHead(std::string_view head, ResponseHead* parsed);

// Whether the content type is HTML ("text/html", any case, parameters
// allowed).
bool IsHtml(const ResponseHead& head);

// Whether a response with this status to this request method carries a
// body: not for HEAD, 1xx, 204 and 304.
bool HasBody(const ResponseHead& head, bool head_request);

// The head of an HTML page that gets `fragment_length` more bytes. With
// `decoded`, the body goes out decoded and closed by the end of the
// connection: Content-Length, Transfer-Encoding and Content-Encoding lines
// are dropped. Otherwise a usable Content-Length is raised by the fragment's
// length (an unusable one is dropped). Last-Modified and Expires are
// defused. Every other byte stays as it was.
std::string RewriteHtmlHead(std::string_view head, const ResponseHead& parsed,
                            size_t fragment_length, bool decoded);

}  // namespace proxy
