// Text utilities shared across the programs. Texts are UTF-8; a multi-byte
// character is never split, changed or matched in its middle.
#pragma once

#include <cstdio>
#include <optional>
#include <string>
#include <string_view>

namespace common {

inline constexpr size_t kNotFound = std::string::npos;

// Case-insensitive search (ASCII letters). Direction '<' finds the first
// occurrence, '>' the last one. kNotFound when absent or when the pattern
// is empty.
size_t FindText(char direction, std::string_view text, std::string_view pattern);

// Lower-cases the ASCII letters in place; multi-byte characters untouched.
void LowerCaseInPlace(std::string& text);

// Deletes every occurrence of the (ASCII) character in place.
void RemoveCharacter(std::string& text, char character);

// The whole of an open file from its current position; none when the file
// is longer than 63000 bytes or cannot be read.
inline constexpr size_t kMaxFileText = 63000;
std::optional<std::string> ReadFileText(std::FILE* file);

// True when `text` begins with `prefix`, compared without regard to case.
bool StartsWithNoCase(std::string_view text, std::string_view prefix);

// Percent-decoding: each "%" not preceded by a backslash and followed by two
// hexadecimal digits is replaced by the byte they spell. A "%" followed by
// anything else is kept as it is.
std::string PercentDecode(std::string_view text);

// printf into a string of any length ("" for a bad format).
template <typename... Args>
std::string Format(const char* format, Args... args) {
  char text[4096];
  int n = std::snprintf(text, sizeof text, format, args...);
  if (n < 0) return "";
  if (static_cast<size_t>(n) < sizeof text) return std::string(text, static_cast<size_t>(n));
  std::string big(static_cast<size_t>(n) + 1, '\0');
  std::snprintf(big.data(), big.size(), format, args...);
  big.resize(static_cast<size_t>(n));
  return big;
}

}  // namespace common
