// Form text: the body of a submitted form, name=value pairs joined by "&",
// each percent-escaped by the browser.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace browser {

// Larger bodies are refused whole: no field of a page comes near it.
inline constexpr size_t kMaxFormBody = size_t{16} << 20;

// Decodes form text: "%" and two hexadecimal digits, not preceded by a
// backslash, become that byte; "+" not preceded by a backslash becomes a
// blank. False when a "%" so placed is not followed by two hexadecimal
// digits, or when the result is not UTF-8; *out is then unspecified.
bool DecodeFormText(std::string_view text, std::string* out);

// True when text is well-formed UTF-8.
bool IsUtf8(std::string_view text);

struct FormPair {
  std::string name;
  std::string value;
};

// The body of a raw request: what follows its first "\r\n\r\n" ("" when
// there is none).
std::string_view RequestBody(std::string_view raw_request);

// The decoded pairs of a body, in their order. A pair without "=" or with
// an empty name is skipped. False (with *error naming the fault) when a
// pair cannot be decoded.
bool ReadFormPairs(std::string_view body, std::vector<FormPair>* pairs, std::string* error);

}  // namespace browser
