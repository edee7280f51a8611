// Text utilities: search, case, removal, whole-file reads, percent-decoding.
#include "common/text.h"

#include <cctype>

namespace common {

static char Lower(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

// A byte that continues a UTF-8 character cannot start a match: matching
// starts only at character boundaries.
static bool Continues(char c) {
  return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

static bool MatchesAt(std::string_view text, size_t at, std::string_view pattern) {
  for (size_t i = 0; i < pattern.size(); ++i)
    if (Lower(text[at + i]) != Lower(pattern[i])) return false;
  return true;
}

size_t FindText(char direction, std::string_view text, std::string_view pattern) {
  if (pattern.empty() || pattern.size() > text.size()) return kNotFound;
  size_t last_start = text.size() - pattern.size();
  size_t found = kNotFound;
  for (size_t at = 0; at <= last_start; ++at) {
    if (Continues(text[at]) || !MatchesAt(text, at, pattern)) continue;
    if (direction != '>') return at;
    found = at;
  }
  return found;
}

void LowerCaseInPlace(std::string& text) {
  for (char& c : text) c = Lower(c);
}

void RemoveCharacter(std::string& text, char character) {
  std::string kept;
  kept.reserve(text.size());
  for (char c : text)
    if (c != character) kept.push_back(c);
  text.swap(kept);
}

std::optional<std::string> ReadFileText(std::FILE* file) {
  if (file == nullptr) return std::nullopt;
  std::string text;
  char buffer[4096];
  size_t got;
  while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0) {
    text.append(buffer, got);
    if (text.size() > kMaxFileText) return std::nullopt;
  }
  if (std::ferror(file)) return std::nullopt;
  return text;
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() && MatchesAt(text, 0, prefix);
}

static int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  c = Lower(c);
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

std::string PercentDecode(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (c == '%' && (i == 0 || text[i - 1] != '\\') && i + 2 < text.size() &&
        HexValue(text[i + 1]) >= 0 && HexValue(text[i + 2]) >= 0) {
      out.push_back(static_cast<char>(HexValue(text[i + 1]) * 16 + HexValue(text[i + 2])));
      i += 2;
      continue;
    }
    out.push_back(c);
  }
  return out;
}

}  // namespace common
