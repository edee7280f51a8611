// Escaping of text for generated HTML.
#include "common/html_escape.h"

namespace common {

namespace {

void Append(std::string_view text, std::string* out, bool apostrophe) {
  for (char c : text) {
    if (c == '\'' && !apostrophe) {
      *out += c;
      continue;
    }
    switch (c) {
      case '&':
        *out += "&amp;";
        break;
      case '<':
        *out += "&lt;";
        break;
      case '>':
        *out += "&gt;";
        break;
      case '"':
        *out += "&quot;";
        break;
      case '\'':
        *out += "&#39;";
        break;
      default:
        *out += c;
    }
  }
}

}  // namespace

void AppendHtmlEscaped(std::string_view text, std::string* out) {
  Append(text, out, true);
}

std::string HtmlEscape(std::string_view text) {
  std::string out;
  Append(text, &out, true);
  return out;
}

std::string HtmlEscapeText(std::string_view text) {
  std::string out;
  Append(text, &out, false);
  return out;
}

}  // namespace common
