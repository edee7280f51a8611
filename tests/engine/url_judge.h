// A strict judge of the URLs the output layer writes for the browser: an
// http URL that a browser parses without a validation error and serialises
// back to the very same text, so that what it sends is what corvex wrote.
//
// It follows the URL Standard's "valid URL string" for the http scheme, with
// the host held to a valid domain in the strict sense (domain to ASCII with
// beStrict: letters, digits and "-" in labels of 1 to 63, at most 253 in
// all, lower case as serialised, no "xn--" label, a last label that is not
// a number), and adds what makes the parse an identity: a path that starts
// with "/" and has no "." or ".." segment (also not spelled with %2e), and
// no escape of an unreserved character (browsers unescape those). The
// browser suite checks the same URLs with Chromium's own parser.
#pragma once

#include <string>
#include <string_view>

namespace url_judge {

inline bool IsUnreserved(unsigned char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
         c == '.' || c == '_' || c == '~';
}

// ASCII URL code points (non-ASCII is never written by the layer).
inline bool IsUrlCodePoint(unsigned char c) {
  return IsUnreserved(c) ||
         std::string_view("!$&'()*+,/:;=?@").find(static_cast<char>(c)) != std::string_view::npos;
}

inline int Hex(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Empty when `host` is a strictly valid, serialised domain; else why not.
inline std::string HostProblem(std::string_view host) {
  if (host.empty() || host.size() > 253) return "host length";
  size_t start = 0;
  std::string_view last;
  for (;;) {
    size_t dot = host.find('.', start);
    std::string_view label = host.substr(start, dot - start);
    if (label.empty() || label.size() > 63) return "label length";
    for (char c : label)
      if (!((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-'))
        return std::string("label character ") + c;
    if (label.substr(0, 4) == "xn--") return "punycode label";
    last = label;
    if (dot == std::string_view::npos) break;
    start = dot + 1;
  }
  bool number = !last.empty();
  for (char c : last) number = number && c >= '0' && c <= '9';
  if (number || last.substr(0, 2) == "0x") return "ends in a number";
  return "";
}

// Empty when `part` holds only URL units; `path` also refuses "?" and
// escapes of unreserved characters.
inline std::string UnitsProblem(std::string_view part, bool path) {
  for (size_t i = 0; i < part.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(part[i]);
    if (c == '%') {
      if (i + 2 >= part.size() || Hex(part[i + 1]) < 0 || Hex(part[i + 2]) < 0) return "bad escape";
      if (path &&
          IsUnreserved(static_cast<unsigned char>(Hex(part[i + 1]) * 16 + Hex(part[i + 2]))))
        return "escaped unreserved character";
      i += 2;
      continue;
    }
    if (!IsUrlCodePoint(c) || (path && c == '?')) return std::string("character ") + part[i];
  }
  return "";
}

inline bool IsDotSegment(std::string_view segment) {
  std::string lowered;
  for (char c : segment) lowered += (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c;
  return lowered == "." || lowered == "%2e" || lowered == ".." || lowered == ".%2e" ||
         lowered == "%2e." || lowered == "%2e%2e";
}

// Empty when `url` is a valid http URL that parses to itself; else why not.
inline std::string UrlProblem(std::string_view url) {
  if (url.substr(0, 7) != "http://") return "scheme";
  std::string_view rest = url.substr(7);
  size_t host_end = rest.find_first_of("/?#");
  if (host_end == std::string_view::npos || rest[host_end] != '/') return "no path";
  if (std::string problem = HostProblem(rest.substr(0, host_end)); !problem.empty()) return problem;
  rest.remove_prefix(host_end);
  size_t hash = rest.find('#');
  std::string_view fragment = hash == std::string_view::npos ? "" : rest.substr(hash + 1);
  rest = rest.substr(0, hash);
  size_t question = rest.find('?');
  std::string_view query = question == std::string_view::npos ? "" : rest.substr(question + 1);
  std::string_view path = rest.substr(0, question);
  for (size_t start = 1;;) {
    size_t slash = path.find('/', start);
    if (IsDotSegment(path.substr(start, slash - start))) return "dot segment";
    if (slash == std::string_view::npos) break;
    start = slash + 1;
  }
  if (std::string problem = UnitsProblem(path, true); !problem.empty()) return "path " + problem;
  if (std::string problem = UnitsProblem(query, false); !problem.empty()) return "query " + problem;
  if (std::string problem = UnitsProblem(fragment, false); !problem.empty())
    return "fragment " + problem;
  return "";
}

}  // namespace url_judge
