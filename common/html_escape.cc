// Escaping of text for generated HTML.
#include "common/html_escape.h"

namespace common {

void AppendHtmlEscaped(std::string_view text, std::string* out) {
  for (char c : text) {
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

std::string HtmlEscape(std::string_view text) {
  std::string out;
  AppendHtmlEscaped(text, &out);
  return out;
}

}  // namespace common
