// The output layer.
#include "engine/output_layer.h"


#include <cstdio>
#include <memory>
#include <mutex>
#include <utility>
#include <vector>

#include "common/html_escape.h"
#include "common/reply_forms.h"
#include "engine/helpful_page.h"
#include "engine/hooks.h"
#include "engine/url_mapping.h"
#include "engine/url_rewrite.h"
#include "os/socket.h"

namespace engine {

namespace {

constexpr char kGeneratedType[] = "text/html; charset=utf-8";
constexpr char kGeneratedCaching[] = "no-cache";
// Replies larger than this are sent as they are.
constexpr long kLargestRewritten = 64L << 20;

constexpr char kStoredPageTitle[] = "No stored copy of this page";
constexpr char kStoredPageWhat[] =
    "Corvane has no stored copy of <code>%s</code> to show: the page store gave no answer.";
constexpr char kLivePage[] = "The page on the web (when you are on line)";
constexpr char kNoAnswerTitle[] = "No answer for this address";
constexpr char kNoAnswerWhat[] = "corvex had nothing to answer for <code>%s</code>.";
constexpr char kCommandsTitle[] = "Commands are not built yet";
constexpr char kCommandsWhat[] =
    "<code>%s</code> is a command to Corvane itself (Favorites, on line and off line, the "
    "Workspace). This version of corvex does not carry out commands yet.";

char Lower(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c;
}

bool SameNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (Lower(a[i]) != Lower(b[i])) return false;
  return true;
}

bool ContainsNoCase(std::string_view text, std::string_view word) {
  for (size_t i = 0; i + word.size() <= text.size(); ++i)
    if (SameNoCase(text.substr(i, word.size()), word)) return true;
  return false;
}

std::string_view Trim(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r'))
    text.remove_suffix(1);
  return text;
}

struct Header {
  std::string_view name;
  std::string_view value;
};

struct ParsedReply {
  bool hasStatus = false;
  std::string_view version = "HTTP/1.0";
  int code = 200;
  std::string_view reason;
  std::vector<Header> headers;
  std::string_view body;
};

const char* StandardReason(int code) {
  switch (code) {
    case 200:
      return "OK";
    case 204:
      return "No Content";
    case 301:
      return "Moved Permanently";
    case 302:
      return "Found";
    case 304:
      return "Not Modified";
    case 400:
      return "Bad Request";
    case 403:
      return "Forbidden";
    case 404:
      return "Not Found";
    case 413:
      return "Request Entity Too Large";
    case 500:
      return "Internal Server Error";
    case 501:
      return "Not Implemented";
    case 503:
      return "Service Unavailable";
    default:
      return "Reply";
  }
}

// The next line of `text` from `*at` (without its LF and CR); false at the end.
bool NextLine(std::string_view text, size_t* at, std::string_view* line) {
  if (*at >= text.size()) return false;
  size_t end = text.find('\n', *at);
  if (end == std::string_view::npos) end = text.size();
  *line = text.substr(*at, end - *at);
  if (!line->empty() && line->back() == '\r') line->remove_suffix(1);
  *at = end + 1;
  return true;
}

ParsedReply Parse(std::string_view reply) {
  ParsedReply parsed;
  if (reply.substr(0, 5) != "HTTP/") {
    parsed.body = reply;
    return parsed;
  }
  parsed.hasStatus = true;
  size_t at = 0;
  std::string_view line;
  (void)NextLine(reply, &at, &line);
  size_t blank = line.find(' ');
  std::string_view version = line.substr(0, blank);
  if (version == "HTTP/1.1") parsed.version = version;
  std::string_view rest = blank == std::string_view::npos ? "" : Trim(line.substr(blank + 1));
  if (rest.size() >= 3 && rest[0] >= '1' && rest[0] <= '5' && rest[1] >= '0' && rest[1] <= '9' &&
      rest[2] >= '0' && rest[2] <= '9' && (rest.size() == 3 || rest[3] == ' ')) {
    parsed.code = (rest[0] - '0') * 100 + (rest[1] - '0') * 10 + (rest[2] - '0');
    parsed.reason = Trim(rest.substr(3));
  }
  size_t body_start = reply.size();
  while (NextLine(reply, &at, &line)) {
    if (line.empty()) {
      body_start = at;
      break;
    }
    size_t colon = line.find(':');
    // A line without a name is no header; it is dropped.
    if (colon == std::string_view::npos || colon == 0 || line[0] == ' ' || line[0] == '\t')
      continue;
    parsed.headers.push_back({Trim(line.substr(0, colon)), Trim(line.substr(colon + 1))});
  }
  parsed.body = body_start < reply.size() ? reply.substr(body_start) : "";
  return parsed;
}

const Header* FindHeader(const ParsedReply& parsed, std::string_view name) {
  for (const Header& header : parsed.headers)
    if (SameNoCase(header.name, name)) return &header;
  return nullptr;
}

// A chunked body made whole; false when it does not read as chunks.
bool Dechunk(std::string_view body, std::string* out) {
  size_t at = 0;
  for (;;) {
    size_t line_end = body.find('\n', at);
    if (line_end == std::string_view::npos) return false;
    size_t size = 0;
    size_t digits = 0;
    for (size_t i = at; i < line_end; ++i, ++digits) {
      char c = Lower(body[i]);
      int value = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
      if (value < 0) break;
      if (size > (size_t{1} << 40)) return false;
      size = size * 16 + static_cast<size_t>(value);
    }
    if (digits == 0) return false;
    at = line_end + 1;
    if (size == 0) return true;
    if (at + size > body.size()) return false;
    out->append(body.substr(at, size));
    at += size;
    if (at < body.size() && body[at] == '\r') ++at;
    if (at < body.size() && body[at] == '\n') ++at;
  }
}

bool RewritableType(std::string_view type) {
  for (std::string_view kind : {"text/html", "text/css", "javascript", "application/xhtml+xml",
                                "text/xml", "application/xml", "text/plain"}) {
    if (ContainsNoCase(type, kind)) return true;
  }
  return false;
}

// A Location that is not one of corvex's own URLs made valid: what a
// browser would escape, escaped; a backslash before the query written "/",
// as a browser reads it there.
std::string ValidLocation(std::string_view url) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  bool in_query = false;
  for (char ch : url) {
    unsigned char c = static_cast<unsigned char>(ch);
    if (c == '?' || c == '#') in_query = true;
    if (c == '\\' && !in_query) {
      out.push_back('/');
    } else if (c <= 0x20 || c >= 0x7f ||
               std::string_view("\"<>\\^`{|}").find(ch) != std::string_view::npos) {
      out.push_back('%');
      out.push_back(kHex[c >> 4]);
      out.push_back(kHex[c & 15]);
    } else {
      out.push_back(ch);
    }
  }
  return out;
}

std::string Escaped(std::string_view text) {
  return common::HtmlEscape(text);
}

std::string Fill(const char* format, std::string_view value) {
  std::string text(format);
  size_t at = text.find("%s");
  if (at != std::string::npos) text.replace(at, 2, Escaped(value));
  return text;
}

// The answer to an empty reply.
std::string EmptyReply(const ReplyRequest& request) {
  switch (request.eventType) {
    case kCommandRequest:
      return std::string(kStatusNoContent) + "\r\nConnection: close\r\n\r\n";
    case kReplicaRequest: {
      std::vector<PageLink> tries;
      size_t close = request.url.find(']');
      if (close != std::string_view::npos && close + 1 < request.url.size())
        tries.push_back({"http://" + std::string(request.url.substr(close + 1)), kLivePage});
      for (PageLink& link : StartingPoints()) tries.push_back(std::move(link));
      return HelpfulReply(kStatusNotFound, kStoredPageTitle, Fill(kStoredPageWhat, request.url),
                          tries);
    }
    default:
      return HelpfulReply(kStatusNotFound, kNoAnswerTitle, Fill(kNoAnswerWhat, request.url),
                          StartingPoints());
  }
}

void AppendHeader(std::string* out, std::string_view name, std::string_view value) {
  out->append(name);
  out->append(": ");
  out->append(value);
  out->append("\r\n");
}

}  // namespace

std::string_view RequestUrl(std::string_view raw_request) {
  std::string_view line = raw_request.substr(0, raw_request.find_first_of("\r\n"));
  size_t blank = line.find(' ');
  if (blank == std::string_view::npos) return "";
  std::string_view url = line.substr(blank + 1);
  size_t last = url.rfind(' ');
  if (last != std::string_view::npos && url.substr(last + 1, 5) == "HTTP/")
    url = url.substr(0, last);
  return url;
}

std::string RewritePageText(std::string_view text, std::string_view program_dir) {
  if (ClassicUrls()) return std::string(text);
  std::string out;
  (void)RewriteUrls(text, program_dir, &out);
  return out;
}

namespace {

// Texts that a finished reply's body may point into.
struct ReplyTexts {
  std::string replaced;    // a reply that stands for an empty one
  std::string dechunked;   // a chunked body made whole
  std::string* rewritten;  // the body with its URLs rewritten
};

// The finished reply as its head (status line, headers, blank line) and
// its body, which points into `reply` or into `texts`.
std::string FinishReplyParts(std::string_view reply, const ReplyRequest& request,
                             std::string_view program_dir, ReplyTexts* texts,
                             std::string_view* body_out) {
  if (reply.empty()) {
    texts->replaced = EmptyReply(request);
    reply = texts->replaced;
  } else if (request.eventType == kCommandRequest && !request.commandsBuilt &&
             reply == common::kReplyNoContent) {
    texts->replaced = HelpfulReply(kStatusNotBuilt, kCommandsTitle,
                                   Fill(kCommandsWhat, request.url), StartingPoints());
    reply = texts->replaced;
  }
  ParsedReply parsed = Parse(reply);
  const Header* type = FindHeader(parsed, "Content-Type");
  bool generated = type == nullptr;
  std::string_view body = parsed.body;
  const Header* transfer = FindHeader(parsed, "Transfer-Encoding");
  bool dechunked = transfer != nullptr && ContainsNoCase(transfer->value, "chunked") &&
                   Dechunk(parsed.body, &texts->dechunked);
  if (dechunked) body = texts->dechunked;
  const Header* encoding = FindHeader(parsed, "Content-Encoding");
  bool encoded = encoding != nullptr && !SameNoCase(encoding->value, "identity");
  bool rewrite = generated ||
                 (request.eventType == kReplicaRequest && !encoded && RewritableType(type->value));
  if (rewrite && RewriteUrls(body, program_dir, texts->rewritten) > 0) body = *texts->rewritten;
  bool bodiless = parsed.code == 204 || parsed.code == 304 || parsed.code < 200;

  std::string out;
  out.append(parsed.version);
  out.push_back(' ');
  out.append(std::to_string(parsed.code));
  out.push_back(' ');
  out.append(parsed.reason.empty() ? std::string_view(StandardReason(parsed.code)) : parsed.reason);
  out.append("\r\n");
  // A stored HTML page ends in the dashboard, whose state (on or off line,
  // Favourite or not) changes while the page's stored headers stay as the
  // web server sent them: with its Last-Modified the browser would show the
  // page from its cache, with a dashboard that no longer holds. So it is
  // asked for again each time, whatever the server allowed.
  bool stored_page = request.eventType == kReplicaRequest && type != nullptr &&
                     ContainsNoCase(type->value, "text/html");
  bool has_caching = false;
  for (const Header& header : parsed.headers) {
    std::string_view name = header.name;
    if (SameNoCase(name, "Content-Length") || SameNoCase(name, "Connection") ||
        SameNoCase(name, "Keep-Alive") || SameNoCase(name, "Proxy-Connection") ||
        (dechunked && SameNoCase(name, "Transfer-Encoding")) ||
        (stored_page && (SameNoCase(name, "Cache-Control") || SameNoCase(name, "Expires"))))
      continue;
    if (SameNoCase(name, "Cache-Control")) has_caching = true;
    if (SameNoCase(name, "Location")) {
      std::optional<std::string> url = RewriteWholeUrl(header.value, program_dir);
      AppendHeader(&out, "Location", url ? *url : ValidLocation(header.value));
      continue;
    }
    AppendHeader(&out, name, header.value);
  }
  if (generated && !bodiless && (!body.empty() || parsed.code == 200))
    AppendHeader(&out, "Content-Type", kGeneratedType);
  if ((generated || stored_page) && !has_caching && !bodiless)
    AppendHeader(&out, "Cache-Control", kGeneratedCaching);
  AppendHeader(&out, "Connection", "close");
  if (!bodiless) AppendHeader(&out, "Content-Length", std::to_string(body.size()));
  out.append("\r\n");
  *body_out = bodiless ? std::string_view() : body;
  return out;
}

// Large buffers kept between replies: a fresh one of some megabytes costs
// a page fault per page on first use, more than the rewriting itself.
class BufferPool {
 public:
  std::unique_ptr<std::string> Take() {
    std::lock_guard<std::mutex> guard(lock_);
    if (free_.empty()) return std::make_unique<std::string>();
    std::unique_ptr<std::string> buffer = std::move(free_.back());
    free_.pop_back();
    buffer->clear();
    return buffer;
  }
  void Give(std::unique_ptr<std::string> buffer) {
    if (buffer->capacity() > kLargestKept) return;
    std::lock_guard<std::mutex> guard(lock_);
    if (free_.size() < kBuffersKept) free_.push_back(std::move(buffer));
  }

 private:
  static constexpr size_t kBuffersKept = 8;
  static constexpr size_t kLargestKept = size_t{16} << 20;
  std::mutex lock_;  // guards free_
  std::vector<std::unique_ptr<std::string>> free_;
};

BufferPool& Buffers() {
  static BufferPool pool;
  return pool;
}

// A pooled buffer, given back when it goes out of scope.
struct PooledBuffer {
  std::unique_ptr<std::string> text = Buffers().Take();
  ~PooledBuffer() { Buffers().Give(std::move(text)); }
};

}  // namespace

std::string FinishReply(std::string_view reply, const ReplyRequest& request,
                        std::string_view program_dir) {
  std::string rewritten;
  ReplyTexts texts{"", "", &rewritten};
  std::string_view body;
  std::string head = FinishReplyParts(reply, request, program_dir, &texts, &body);
  return head.append(body);
}

void SendFinishedReply(const SharedContext& shared, const RequestEntry& entry,
                       std::string_view reply) {
  if (ClassicUrls() || reply.size() > static_cast<size_t>(kLargestRewritten)) {
    (void)os::SendAll(entry.socket, reply);
    return;
  }
  ReplyRequest request;
  request.eventType = entry.eventType;
  request.url = RequestUrl(entry.rawRequest);
  request.commandsBuilt = Hooks().commandHandler != nullptr;
  PooledBuffer rewritten;
  ReplyTexts texts{"", "", rewritten.text.get()};
  std::string_view body;
  std::string head = FinishReplyParts(reply, request, shared.programDir, &texts, &body);
  if (os::SendAll(entry.socket, head)) (void)os::SendAll(entry.socket, body);
}

}  // namespace engine
