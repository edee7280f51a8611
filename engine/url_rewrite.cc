// URL rewriting inside pages.
#include "engine/url_rewrite.h"

#include <array>
#include <cstdint>
#include <cstring>
#include <optional>

#include "engine/url_mapping.h"

namespace engine {

namespace {

char Lower(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c;
}

bool MatchesNoCase(std::string_view text, size_t at, std::string_view word) {
  if (at + word.size() > text.size()) return false;
  for (size_t i = 0; i < word.size(); ++i)
    if (Lower(text[at + i]) != word[i]) return false;
  return true;
}

// The long host names of [kv] and [wc] that pages may carry, as they were
// always accepted: the host and its "/" stand for the pseudo-host.
struct OldSynonym {
  std::string_view prefix;  // lower case, "http://" included, "/" excluded
  std::string_view classic;
};
constexpr OldSynonym kOldSynonyms[] = {
    {"http://corvane.asledraclient", "http://[kv]"},
    {"http://corvane.command", "http://[wc]"},
};

// The characters that end a URL, by what stands before it.
enum Stop : uint8_t { kAfterDoubleQuote = 1, kAfterQuote = 2, kAfterParen = 4, kElsewhere = 8 };

constexpr std::array<uint8_t, 256> MakeStops() {
  std::array<uint8_t, 256> stops{};
  for (char c : std::string_view("\r\n")) stops[static_cast<unsigned char>(c)] = 15;
  stops['"'] |= kAfterDoubleQuote | kAfterParen | kElsewhere;
  stops['\''] |= kAfterQuote | kAfterParen | kElsewhere;
  for (char c : std::string_view(" \t<>"))
    stops[static_cast<unsigned char>(c)] |= kAfterParen | kElsewhere;
  stops[')'] |= kAfterParen;
  stops['`'] |= kElsewhere;
  return stops;
}
constexpr std::array<uint8_t, 256> kStops = MakeStops();

// Where the URL that starts at `start` ends.
size_t UrlEnd(std::string_view text, size_t start) {
  char before = start > 0 ? text[start - 1] : '\0';
  uint8_t stop = before == '"'    ? kAfterDoubleQuote
                 : before == '\'' ? kAfterQuote
                 : before == '('  ? kAfterParen
                                  : kElsewhere;
  size_t end = start;
  while (end < text.size() && (kStops[static_cast<unsigned char>(text[end])] & stop) == 0) ++end;
  return end;
}

// Appends the browser form of the URL that starts at `start`, when it is
// one corvex rewrites, and sets *end to where it ended; false otherwise.
bool AppendRewrittenAt(std::string* out, std::string_view text, size_t start,
                       std::string_view program_dir, size_t* end) {
  if (MatchesNoCase(text, start, "file:") || (MatchesNoCase(text, start, "http://") &&
                                              start + 7 < text.size() && text[start + 7] == '[')) {
    *end = UrlEnd(text, start);
    return AppendBrowserUrl(out, text.substr(start, *end - start), program_dir);
  }
  if (!MatchesNoCase(text, start, "http://")) return false;
  for (const OldSynonym& synonym : kOldSynonyms) {
    size_t after = start + synonym.prefix.size();
    if (after < text.size() && text[after] == '/' && MatchesNoCase(text, start, synonym.prefix)) {
      *end = UrlEnd(text, start);
      std::string classic = std::string(synonym.classic);
      classic.append(text.substr(after, *end - after));
      return AppendBrowserUrl(out, classic, program_dir);
    }
  }
  return false;
}

}  // namespace

size_t RewriteUrls(std::string_view text, std::string_view program_dir, std::string* out) {
  size_t rewritten = 0;
  size_t copied = 0;  // text before this is in *out
  size_t at = 0;
  out->reserve(out->size() + text.size() + text.size() / 16);
  while (at < text.size()) {
    const void* colon = std::memchr(text.data() + at, ':', text.size() - at);
    if (colon == nullptr) break;
    size_t colon_at = static_cast<const char*>(colon) - text.data();
    at = colon_at + 1;
    if (colon_at < 4) continue;
    size_t start = colon_at - 4;
    if (start < copied) continue;
    size_t end = 0;
    out->append(text.substr(copied, start - copied));
    copied = start;
    if (!AppendRewrittenAt(out, text, start, program_dir, &end)) continue;
    copied = end;
    at = end;
    ++rewritten;
  }
  out->append(text.substr(copied));
  return rewritten;
}

std::optional<std::string> RewriteWholeUrl(std::string_view url, std::string_view program_dir) {
  if (MatchesNoCase(url, 0, "file:") ||
      (url.size() > 7 && MatchesNoCase(url, 0, "http://") && url[7] == '['))
    return ToBrowserUrl(url, program_dir);
  for (const OldSynonym& synonym : kOldSynonyms) {
    size_t after = synonym.prefix.size();
    if (after < url.size() && url[after] == '/' && MatchesNoCase(url, 0, synonym.prefix))
      return ToBrowserUrl(std::string(synonym.classic) + std::string(url.substr(after)),
                          program_dir);
  }
  return std::nullopt;
}

}  // namespace engine
