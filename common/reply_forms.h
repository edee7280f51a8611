// The forms of HTTP reply that corvex sends. Each is an exact text: status
// line forms differ (CRLF or bare LF, HTTP/1.0 or HTTP/1.1, a blank after
// "OK" or none) and the differences are part of the replies.
#pragma once

namespace common {

// Generated pages, usually followed directly by "<HTML>" or "<html>".
inline constexpr char kReplyPageOk[] = "HTTP/1.0 200 OK \n\n";
// View pages in one case.
inline constexpr char kReplyPageOk11[] = "HTTP/1.1 200 OK \n\n";
// Informational pages of the pass-through and stored-page Parts.
inline constexpr char kReplyInfoOk[] = "HTTP/1.0 200 OK\n\n\n\n";
// Attachments: a content-type line and the length. An attachment is user
// content served from the [kv] origin, so two headers go with it: the
// browser must not guess another type than the one named, and an HTML
// attachment must not act as one of our pages (sandboxed, it runs no
// script and counts as a foreign origin).
inline constexpr char kAttachmentSafetyHeaders[] =
    "X-Content-Type-Options: nosniff\r\nContent-Security-Policy: sandbox\r\n";
inline constexpr char kReplyAttachmentFormat[] =
    "HTTP/1.0 200 OK\r\n%s\r\n"
    "X-Content-Type-Options: nosniff\r\nContent-Security-Policy: sandbox\r\n"
    "Content-length: %ld\r\n\r\n";
// Command replies and attachments (CRLF).
inline constexpr char kReplyRedirectFormat[] =
    "HTTP/1.0 302 Temporarily Moved\r\nLocation: %s\r\n\r\n";
// Redirects with bare LFs: followed by the URL and line feeds.
inline constexpr char kReplyRedirectLfPrefix[] = "HTTP/1.0 302 Temporarily Moved\nLocation: ";
// Form submissions.
inline constexpr char kReplySubmittedFormat[] = "HTTP/1.0 302 Moved\nLocation: %s\n\n\n";
// The browser stays on its page.
inline constexpr char kReplyNoContent[] = "HTTP/1.1 204 No Content\n\n\n";
// Pass-through name failure, followed by an HTML page.
inline constexpr char kReplyUnavailable[] = "HTTP/1.0 503 Service Unavailable\r\n\r\n";
// A request larger than the intake accepts; the connection is closed after it.
inline constexpr char kReplyTooLarge[] =
    "HTTP/1.0 413 Request Entity Too Large\r\n\r\n<html>Request too large.</html>\n";

}  // namespace common
