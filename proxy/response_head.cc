// Reading and rewriting response heads.
#include "proxy/response_head.h"

#include <functional>

#include "common/text.h"

namespace proxy {

namespace {

std::string_view Trim(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r'))
    text.remove_suffix(1);
  return text;
}

bool NameIs(std::string_view name, std::string_view wanted) {
  return name.size() == wanted.size() && common::StartsWithNoCase(name, wanted);
}

// Calls `visit` with each header line of the head (without its line end),
// its name and its value; the status line and the blank line are not
// visited. `line_end` gets the line's own ending ("\r\n" or "\n").
void EachHeader(std::string_view head,
                const std::function<void(std::string_view line, std::string_view line_end,
                                         std::string_view name, std::string_view value)>& visit) {
  size_t at = head.find('\n');
  if (at == std::string_view::npos) return;
  ++at;
  while (at < head.size()) {
    size_t end = head.find('\n', at);
    size_t next = end == std::string_view::npos ? head.size() : end + 1;
    std::string_view whole = head.substr(at, next - at);
    std::string_view line = whole;
    if (!line.empty() && line.back() == '\n') line.remove_suffix(1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    std::string_view line_end = whole.substr(line.size());
    at = next;
    if (line.empty()) continue;  // the blank line that ends the head
    size_t colon = line.find(':');
    std::string_view name = colon == std::string_view::npos ? "" : Trim(line.substr(0, colon));
    std::string_view value = colon == std::string_view::npos ? "" : Trim(line.substr(colon + 1));
    visit(line, line_end, name, value);
  }
}

// A Content-Length value: one plain decimal number, else -1.
long long LengthValue(std::string_view value) {
  if (value.empty() || value.size() > 18) return -1;
  long long number = 0;
  for (char c : value) {
    if (c < '0' || c > '9') return -1;
    number = number * 10 + (c - '0');
  }
  return number;
}

}  // namespace

size_t HeadLength(std::string_view data) {
  // The first empty line: "\n\n" or "\n\r\n".
  for (size_t at = data.find('\n'); at != std::string_view::npos; at = data.find('\n', at + 1)) {
    if (at + 1 < data.size() && data[at + 1] == '\n') return at + 2;
    if (at + 2 < data.size() && data[at + 1] == '\r' && data[at + 2] == '\n') return at + 3;
  }
  return 0;
}

bool ParseResponseHead(std::string_view head, ResponseHead* parsed) {
  *parsed = ResponseHead{};
  // "HTTP/" version blank status: "HTTP/1.1 200 OK".
  if (!common::StartsWithNoCase(head, "HTTP/")) return false;
  size_t blank = head.find(' ');
  size_t line_end = head.find('\n');
  if (blank == std::string_view::npos || blank > line_end) return false;
  std::string_view rest = head.substr(blank + 1);
  while (!rest.empty() && rest.front() == ' ') rest.remove_prefix(1);
  if (rest.size() < 3) return false;
  int status = 0;
  for (int i = 0; i < 3; ++i) {
    if (rest[i] < '0' || rest[i] > '9') return false;
    status = status * 10 + (rest[i] - '0');
  }
  if (rest.size() > 3 && rest[3] != ' ' && rest[3] != '\r' && rest[3] != '\n') return false;
  parsed->status = status;
  bool seen_length = false;
  EachHeader(
      head, [&](std::string_view, std::string_view, std::string_view name, std::string_view value) {
        if (NameIs(name, "Content-Type")) {
          if (parsed->content_type.empty()) parsed->content_type = std::string(value);
        } else if (NameIs(name, "Content-Length")) {
          long long length = LengthValue(value);
          if (length < 0 || (seen_length && length != parsed->content_length)) {
            parsed->length_unusable = true;
            parsed->content_length = -1;
          } else if (!parsed->length_unusable) {
            parsed->content_length = length;
          }
          seen_length = true;
        } else if (NameIs(name, "Transfer-Encoding")) {
          if (common::FindText('<', value, "chunked") != common::kNotFound) parsed->chunked = true;
        } else if (NameIs(name, "Content-Encoding")) {
          std::string coding(value);
          common::LowerCaseInPlace(coding);
          if (!parsed->content_encoding.empty() && !coding.empty())
            parsed->content_encoding += ", ";
          parsed->content_encoding += coding;
        }
      });
  // A chunked body ends by its own framing; the length does not count.
  if (parsed->chunked) parsed->content_length = -1;
  return true;
}

bool IsHtml(const ResponseHead& head) {
  return common::StartsWithNoCase(head.content_type, "text/html");
}

bool HasBody(const ResponseHead& head, bool head_request) {
  if (head_request) return false;
  return !(head.status < 200 || head.status == 204 || head.status == 304);
}

std::string RewriteHtmlHead(std::string_view head, const ResponseHead& parsed,
                            size_t fragment_length, bool decoded) {
  std::string out;
  out.reserve(head.size() + 16);
  size_t status_end = head.find('\n');
  out.append(head.substr(0, status_end == std::string_view::npos ? head.size() : status_end + 1));
  EachHeader(head, [&](std::string_view line, std::string_view line_end, std::string_view name,
                       std::string_view) {
    bool length = NameIs(name, "Content-Length");
    if (decoded &&
        (length || NameIs(name, "Transfer-Encoding") || NameIs(name, "Content-Encoding"))) {
      return;
    }
    if (length) {
      if (parsed.content_length < 0) return;
      size_t colon = line.find(':');
      out.append(line.substr(0, colon + 1));
      out += ' ';
      out += std::to_string(parsed.content_length + static_cast<long long>(fragment_length));
      out.append(line_end);
      return;
    }
    size_t first = out.size();
    out.append(line);
    out.append(line_end);
    if (NameIs(name, "Last-Modified") || NameIs(name, "Expires")) {
      // The name may follow blanks; its first letter becomes 'b'.
      size_t letter = first;
      while (out[letter] == ' ' || out[letter] == '\t') ++letter;
      out[letter] = 'b';
    }
  });
  // The blank line that ended the head.
  size_t head_body = HeadLength(head);
  if (head_body != 0) {
    std::string_view tail = head.substr(0, head_body);
    out.append(tail.substr(tail.size() >= 2 && tail[tail.size() - 2] == '\r' ? tail.size() - 2
                                                                             : tail.size() - 1));
  }
  return out;
}

}  // namespace proxy
