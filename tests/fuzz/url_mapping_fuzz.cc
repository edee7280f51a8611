// Fuzz target: the mapping between pseudo-host URLs and browser URLs. The
// first byte chooses a form of the grammar to put in front of the rest.
// Checked: every browser URL written passes the strict judge of
// tests/engine/url_judge.h (a valid URL a browser parses to itself);
// reading it back gives the classic text exactly (folded as classification
// folds it) whenever that text has no control character; reading any
// synonym URL back never adds a CR, an LF or a NUL; rewriting a page
// never loses the text around the URLs.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "engine/url_mapping.h"
#include "engine/url_rewrite.h"
#include "tests/engine/url_cases.h"
#include "tests/engine/url_judge.h"

namespace {

constexpr const char* kForms[] = {
    "http://[kv]/",  "http://[wc]/", "http://[wr;$WCTX_CorvjobsicaContext]",
    "http://[wr;",   "http://[wrs;", "HTTP://[KV]",
    "http://[wr",    "file:///opt/prog/",
};
constexpr const char* kBrowserForms[] = {
    "http://corvane.asledraclient/", "http://corvane.command/", "http://corvane.verbatim/r",
    "http://h.-w.corvane.storedpage/", "http://",
};

// CR, LF and NUL: reading a URL back may keep those it was given, never add one.
size_t LineEnds(std::string_view text) {
  size_t n = 0;
  for (char c : text) n += c == '\r' || c == '\n' || c == '\0';
  return n;
}

bool HasControl(std::string_view text) {
  for (char c : text)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) return true;
  return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  std::string_view body(reinterpret_cast<const char*>(data + 1), size - 1);
  std::string classic = std::string(kForms[data[0] % 8]) + std::string(body);

  std::optional<std::string> browser = engine::ToBrowserUrl(classic, "/opt/prog");
  if (browser) {
    if (!url_judge::UrlProblem(*browser).empty()) __builtin_trap();
    if (classic.rfind("file:", 0) != 0 && !HasControl(classic)) {
      if (engine::ToClassicUrl(*browser) != url_cases::Folded(classic)) __builtin_trap();
    }
  }

  std::string typed = std::string(kBrowserForms[(data[0] >> 3) % 5]) + std::string(body);
  if (std::optional<std::string> back = engine::ToClassicUrl(typed)) {
    if (LineEnds(*back) > LineEnds(typed)) __builtin_trap();
  }

  std::string page;
  size_t rewritten = engine::RewriteUrls(body, "/opt/prog", &page);
  if (rewritten == 0 && page != body) __builtin_trap();
  return 0;
}
