// Link extraction.
#include "jobs/link_scan.h"

#include <cctype>
#include <cstring>

#include "common/text.h"

namespace jobs {

namespace {

constexpr size_t kNone = std::string_view::npos;
// How far a tag is searched for its end when a <link> is classified.
constexpr size_t kMaxTagScan = 4096;

bool StartsAt(std::string_view s, size_t at, std::string_view pattern) {
  return at <= s.size() && common::StartsWithNoCase(s.substr(at), pattern);
}

size_t FindFrom(std::string_view s, size_t from, std::string_view pattern) {
  if (from >= s.size()) return kNone;
  size_t at = common::FindText('<', s.substr(from), pattern);
  return at == common::kNotFound ? kNone : from + at;
}

// Membership in a scanf-style character set; a NUL byte is in none.
bool In(const char* set, char c) {
  return c != '\0' && std::strchr(set, c) != nullptr;
}

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f';
}

void AddLine(std::string* list, char marker, std::string_view url) {
  *list += marker;
  list->append(url);
  *list += '\n';
}

// Whether the tag that begins at `lt` is a <link> naming a style sheet.
bool IsStyleSheetLink(std::string_view s, size_t lt) {
  if (lt == kNone || !StartsAt(s, lt + 1, "link") || lt + 5 >= s.size() || !IsBlank(s[lt + 5]))
    return false;
  std::string_view tag = s.substr(lt, kMaxTagScan);
  size_t end = tag.find('>');
  if (end != kNone) tag = tag.substr(0, end);
  return common::FindText('<', tag, "stylesheet") != common::kNotFound;
}

// The tag scan over href, src, background, lowsrc and Location.
void ScanTags(std::string_view s, int status, bool storage_veto, std::string* list) {
  const size_t n = s.size();
  char last_angle = 0;
  size_t last_lt = kNone;
  auto pass = [&](size_t from, size_t to) {
    for (size_t k = from; k < to && k < n; ++k) {
      if (s[k] == '<') {
        last_angle = '<';
        last_lt = k;
      } else if (s[k] == '>') {
        last_angle = '>';
      }
    }
  };
  size_t i = 0;
  while (i < n) {
    if (!In("BbSsHhLlXx!", s[i])) {
      pass(i, i + 1);
      ++i;
      continue;
    }
    size_t h = i;
    if (h >= 1) {
      const char* close = nullptr;
      if (StartsAt(s, h - 1, "<xmp")) {
        close = "</xmp";
      } else if (StartsAt(s, h - 1, "<!--")) {
        close = "-->";
      } else if (StartsAt(s, h - 1, "<script")) {
        close = "</script";
      }
      if (close != nullptr) {
        size_t end = FindFrom(s, h + 1, close);
        if (end == kNone) return;
        size_t next = end + std::strlen(close);
        pass(i, next);
        i = next;
        continue;
      }
    }
    if ((status == 301 || status == 302) && StartsAt(s, h, "location: ")) {
      size_t v = s.find(':', h) + 1;
      while (v < n && (s[v] == ' ' || s[v] == '\t')) ++v;
      size_t end = v;
      while (end < n && s[end] != '\r' && s[end] != '\n') ++end;
      if (end > v) AddLine(list, '-', s.substr(v, end - v));
      return;
    }
    bool page = StartsAt(s, h, "href");
    bool support = !storage_veto && (StartsAt(s, h, "src") || StartsAt(s, h, "background") ||
                                     StartsAt(s, h, "lowsrc"));
    if ((page || support) && last_angle == '<') {
      // name, separator and value: %[^= \r\n"] %[= \r\n"] %[^"> \r\n], with
      // the apostrophe taken as a quote too.
      size_t k = h;
      while (k < n && !In("= \r\n\"'", s[k])) ++k;
      size_t separator = k;
      while (k < n && In("= \r\n\"'", s[k])) ++k;
      bool has_equals = s.substr(separator, k - separator).find('=') != kNone;
      size_t v = k;
      while (k < n && s[k] != '\0' && !In("\"'> \r\n", s[k])) ++k;
      std::string_view value = s.substr(v, k - v);
      if (has_equals && !value.empty() && !common::StartsWithNoCase(value, "javascript:")) {
        char marker = page && !IsStyleSheetLink(s, last_lt) ? '+' : '-';
        AddLine(list, marker, value);
        pass(i, k);
        i = k;
        continue;
      }
    }
    pass(i, i + 1);
    ++i;
  }
}

// A URL worth listing from a style sheet or a srcset.
bool Listable(std::string_view url) {
  return !url.empty() && url[0] != '#' && !common::StartsWithNoCase(url, "data:") &&
         !common::StartsWithNoCase(url, "javascript:");
}

std::string_view Trim(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

void SrcsetCandidates(std::string_view value, std::vector<std::string>* refs) {
  size_t i = 0;
  while (i < value.size()) {
    while (i < value.size() && (IsBlank(value[i]) || value[i] == ',')) ++i;
    size_t begin = i;
    while (i < value.size() && !IsBlank(value[i])) ++i;
    std::string_view url = value.substr(begin, i - begin);
    // A descriptor ("2x", "640w") follows up to the next comma.
    while (i < value.size() && value[i] != ',') ++i;
    if (!url.empty() && url.back() == ',') url.remove_suffix(1);
    if (Listable(url)) refs->emplace_back(url);
  }
}

// Walks the tags of a page: srcset and style attributes, <style> elements.
// `refs` (may be null) gets the references, `ranges` (may be null) the
// stretches that hold them.
void ScanModern(std::string_view s, std::vector<std::string>* refs,
                std::vector<std::pair<size_t, size_t>>* ranges) {
  const size_t n = s.size();
  size_t i = 0;
  while ((i = s.find('<', i)) != kNone) {
    if (StartsAt(s, i, "<!--")) {
      size_t end = FindFrom(s, i + 4, "-->");
      if (end == kNone) return;
      i = end + 3;
      continue;
    }
    size_t k = i + 1;
    while (k < n && (std::isalnum(static_cast<unsigned char>(s[k])) || s[k] == '-')) ++k;
    std::string_view name = s.substr(i + 1, k - i - 1);
    if (name.empty()) {
      ++i;
      continue;
    }
    if (common::StartsWithNoCase(name, "script") && name.size() == 6) {
      size_t end = FindFrom(s, k, "</script");
      if (end == kNone) return;
      i = end + 1;
      continue;
    }
    // Attributes up to the end of the tag.
    while (k < n && s[k] != '>') {
      while (k < n && (IsBlank(s[k]) || s[k] == '/')) ++k;
      if (k >= n || s[k] == '>') break;
      size_t name_begin = k;
      while (k < n && !IsBlank(s[k]) && s[k] != '=' && s[k] != '>') ++k;
      std::string_view attribute = s.substr(name_begin, k - name_begin);
      while (k < n && IsBlank(s[k])) ++k;
      if (k >= n || s[k] != '=') continue;
      ++k;
      while (k < n && IsBlank(s[k])) ++k;
      size_t value_begin = k, value_end = k;
      if (k < n && (s[k] == '"' || s[k] == '\'')) {
        size_t close = s.find(s[k], k + 1);
        value_begin = k + 1;
        value_end = close == kNone ? n : close;
        k = close == kNone ? n : close + 1;
      } else {
        while (k < n && !IsBlank(s[k]) && s[k] != '>') ++k;
        value_end = k;
      }
      std::string_view value = s.substr(value_begin, value_end - value_begin);
      bool srcset = attribute.size() == 6 && common::StartsWithNoCase(attribute, "srcset");
      bool style = attribute.size() == 5 && common::StartsWithNoCase(attribute, "style");
      if (srcset && refs != nullptr) SrcsetCandidates(value, refs);
      if (style && refs != nullptr)
        for (std::string& url : CssReferences(value)) refs->push_back(std::move(url));
      if ((srcset || style) && ranges != nullptr) ranges->emplace_back(value_begin, value_end);
    }
    if (name.size() == 5 && common::StartsWithNoCase(name, "style") && k < n) {
      size_t end = FindFrom(s, k, "</style");
      if (end == kNone) end = n;
      if (refs != nullptr)
        for (std::string& url : CssReferences(s.substr(k, end - k)))
          refs->push_back(std::move(url));
      if (ranges != nullptr) ranges->emplace_back(k, end);
      i = end;
      continue;
    }
    i = k;
  }
}

}  // namespace

std::vector<std::string> CssReferences(std::string_view css) {
  std::vector<std::string> refs;
  const size_t n = css.size();
  size_t i = 0;
  while (i < n) {
    size_t url = FindFrom(css, i, "url(");
    size_t import = FindFrom(css, i, "@import");
    if (url == kNone && import == kNone) break;
    size_t k;
    if (import != kNone && (url == kNone || import < url)) {
      k = import + 7;
      while (k < n && IsBlank(css[k])) ++k;
      if (k >= n || (css[k] != '"' && css[k] != '\'')) {
        i = k;  // an @import url(...) is read as a url(
        continue;
      }
    } else {
      k = url + 4;
      while (k < n && IsBlank(css[k])) ++k;
    }
    size_t begin = k, end;
    if (k < n && (css[k] == '"' || css[k] == '\'')) {
      begin = k + 1;
      end = css.find(css[k], begin);
      if (end == kNone) break;
      i = end + 1;
    } else {
      end = css.find(')', k);
      if (end == kNone) break;
      i = end + 1;
    }
    std::string_view value = Trim(css.substr(begin, end - begin));
    if (Listable(value)) refs.emplace_back(value);
  }
  return refs;
}

std::vector<std::pair<size_t, size_t>> StyleAndSrcsetRanges(std::string_view html) {
  std::vector<std::pair<size_t, size_t>> ranges;
  ScanModern(html, nullptr, &ranges);
  return ranges;
}

LinkScan ExtractLinks(std::string_view text, int status, bool storage_veto, ScanKind kind) {
  LinkScan scan;
  ScanTags(text, status, storage_veto, &scan.list);
  if (!storage_veto && kind != ScanKind::kOther) {
    std::vector<std::string> refs;
    if (kind == ScanKind::kStyleSheet) {
      refs = CssReferences(text);
    } else {
      ScanModern(text, &refs, nullptr);
    }
    for (const std::string& url : refs) AddLine(&scan.list, '-', url);
  }
  if (scan.list.size() > kMaxLinkList) {
    scan.list.resize(kMaxLinkList);
    size_t last = scan.list.rfind('\n');
    scan.list.resize(last == std::string::npos ? 0 : last + 1);
    scan.truncated = true;
  }
  return scan;
}

}  // namespace jobs
