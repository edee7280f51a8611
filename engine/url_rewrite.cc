// URL rewriting inside pages.
#include "engine/url_rewrite.h"

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

// Where the URL that starts at `start` ends.
size_t UrlEnd(std::string_view text, size_t start) {
  char before = start > 0 ? text[start - 1] : '\0';
  std::string_view stops = " \t\r\n\"'<>`";
  if (before == '"') stops = "\"\r\n";
  if (before == '\'') stops = "'\r\n";
  if (before == '(') stops = " \t\r\n\"'<>)";
  size_t end = text.find_first_of(stops, start);
  return end == std::string_view::npos ? text.size() : end;
}

// The classic text of the URL at `start` and its end, when a URL corvex
// may rewrite starts there.
std::optional<std::string> ClassicAt(std::string_view text, size_t start, size_t* end) {
  if (MatchesNoCase(text, start, "file:")) {
    *end = UrlEnd(text, start);
    return std::string(text.substr(start, *end - start));
  }
  if (!MatchesNoCase(text, start, "http://")) return std::nullopt;
  if (start + 7 < text.size() && text[start + 7] == '[') {
    *end = UrlEnd(text, start);
    return std::string(text.substr(start, *end - start));
  }
  for (const OldSynonym& synonym : kOldSynonyms) {
    size_t after = start + synonym.prefix.size();
    if (after < text.size() && text[after] == '/' && MatchesNoCase(text, start, synonym.prefix)) {
      *end = UrlEnd(text, start);
      return std::string(synonym.classic) + std::string(text.substr(after, *end - after));
    }
  }
  return std::nullopt;
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
    std::optional<std::string> classic = ClassicAt(text, start, &end);
    if (!classic) continue;
    std::optional<std::string> browser = ToBrowserUrl(*classic, program_dir);
    if (!browser) continue;
    out->append(text.substr(copied, start - copied));
    out->append(*browser);
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
