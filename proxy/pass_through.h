// Worker 'j': one request for an ordinary web URL, forwarded straight to the
// web server or through the upstream proxy, and the response relayed back
// as it arrives, in pieces of up to 32768 bytes. HTML pages get the
// dashboard fragment before their closing tag; a CONNECT becomes a tunnel.
#pragma once

#include <string>
#include <string_view>

#include "engine/request_entry.h"
#include "engine/thread_handle.h"

namespace proxy {

inline constexpr size_t kRelayPiece = 32768;

// The marker file in the working folder: while the network does not answer,
// requests get a local notice instead of a connection attempt.
inline constexpr char kShuntFile[] = "shunt.dat";
inline constexpr char kShuntNoticeFormat[] =
    "HTTP/1.0 200 OK\n\n\n\n<html><center>\nNetwork connections are unavailable or not responding "
    "(no DNS response).  <br>\nYou may check for an<a "
    "href=\"http://[wr;$WCTX_CorvjobsicaContext]%s\"> offline copy</a> in your Favorites<br> or go "
    "to your <a href=\"http://[wc]\">Corvane Workspace.</a> </body></html>";
// After the 503 status line: the host (the upstream proxy's when the request
// went through it) without its port.
inline constexpr char kUnresolvedPageFormat[] =
    "<H1>URL Error</h1><h3>Corvane Proxy is unable to locate a DNS entry for: %s.  <br>Please "
    "check the URL and try again.</h3>";
// A server that accepted the connection and then said nothing in time.
inline constexpr char kTimeoutPageFormat[] =
    "HTTP/1.0 504 Gateway Timeout\r\n\r\n<H1>URL Error</h1><h3>The server %s did not answer in "
    "time.  <br>Please try again later.</h3>";
// A server that closed before its response head ended, or sent no HTTP head.
inline constexpr char kBadGatewayPageFormat[] =
    "HTTP/1.0 502 Bad Gateway\r\n\r\n<H1>URL Error</h1><h3>The server %s sent no valid "
    "response.  <br>Please try again later.</h3>";
// A request that names no web server (sent to corvex as if it were one).
inline constexpr char kNoHostPage[] =
    "HTTP/1.0 400 Bad Request\r\n\r\n<H1>URL Error</h1><h3>This request names no web server.  "
    "<br>Corvane passes on requests for absolute http:// URLs only.</h3>";
// An absolute URL of another scheme than http.
inline constexpr char kNotHttpPage[] =
    "HTTP/1.0 501 Not Implemented\r\n\r\n<H1>URL Error</h1><h3>Corvane passes on http:// URLs "
    "only; https:// goes through CONNECT.</h3>";

// Serves the request and finishes the entry (the hook of worker 'j').
void ServePassThrough(engine::ThreadHandle& handle, engine::RequestEntry& entry);

// The page of the network notice for a raw request: the request line's URL
// from after its "//" (HTML-escaped) in kShuntNoticeFormat.
std::string ShuntNotice(std::string_view raw_request);

// The host of a host text without its port ("h.example:8080" gives
// "h.example").
std::string HostWithoutPort(std::string_view host_text);

}  // namespace proxy
