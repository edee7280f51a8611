// Form text.
#include "browser/form_text.h"

#include <cstdint>

namespace browser {

namespace {

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

bool IsUtf8(std::string_view text) {
  size_t i = 0;
  while (i < text.size()) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    size_t n = 0;
    uint32_t code = 0;
    if (c < 0x80) {
      ++i;
      continue;
    } else if ((c & 0xE0) == 0xC0) {
      n = 1;
      code = c & 0x1F;
    } else if ((c & 0xF0) == 0xE0) {
      n = 2;
      code = c & 0x0F;
    } else if ((c & 0xF8) == 0xF0) {
      n = 3;
      code = c & 0x07;
    } else {
      return false;
    }
    for (size_t k = 1; k <= n; ++k) {
      if (i + k >= text.size()) return false;
      unsigned char d = static_cast<unsigned char>(text[i + k]);
      if ((d & 0xC0) != 0x80) return false;
      code = (code << 6) | (d & 0x3F);
    }
    // Overlong forms, surrogates and values past U+10FFFF are not UTF-8.
    if ((n == 1 && code < 0x80) || (n == 2 && code < 0x800) || (n == 3 && code < 0x10000) ||
        (code >= 0xD800 && code <= 0xDFFF) || code > 0x10FFFF)
      return false;
    i += n + 1;
  }
  return true;
}

bool DecodeFormText(std::string_view text, std::string* out) {
  out->clear();
  out->reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    bool escaped = i > 0 && text[i - 1] == '\\';
    if (c == '%' && !escaped) {
      int high = i + 1 < text.size() ? HexValue(text[i + 1]) : -1;
      int low = i + 2 < text.size() ? HexValue(text[i + 2]) : -1;
      if (high < 0 || low < 0) return false;
      out->push_back(static_cast<char>(high * 16 + low));
      i += 2;
    } else if (c == '+' && !escaped) {
      out->push_back(' ');
    } else {
      out->push_back(c);
    }
  }
  return IsUtf8(*out);
}

std::string_view RequestBody(std::string_view raw_request) {
  size_t end = raw_request.find("\r\n\r\n");
  if (end == std::string_view::npos) return {};
  return raw_request.substr(end + 4);
}

bool ReadFormPairs(std::string_view body, std::vector<FormPair>* pairs, std::string* error) {
  pairs->clear();
  size_t at = 0;
  while (at <= body.size()) {
    size_t amp = body.find('&', at);
    std::string_view pair = body.substr(at, amp == std::string_view::npos ? body.npos : amp - at);
    at = amp == std::string_view::npos ? body.size() + 1 : amp + 1;
    size_t equals = pair.find('=');
    if (equals == std::string_view::npos || equals == 0) continue;
    FormPair decoded;
    if (!DecodeFormText(pair.substr(0, equals), &decoded.name) ||
        !DecodeFormText(pair.substr(equals + 1), &decoded.value)) {
      *error = "a field name or value is not properly encoded";
      return false;
    }
    pairs->push_back(std::move(decoded));
  }
  return true;
}

}  // namespace browser
