// Link normalisation and bounds.
#include "jobs/link_normalise.h"

#include "common/text.h"

namespace jobs {

namespace {

constexpr size_t kNone = std::string::npos;
constexpr size_t kSchemeLength = 7;  // "http://"

bool IsAsciiLetter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

// The offset of the first '/' after the host, kNone when the URL has none.
size_t PathStart(std::string_view url) {
  if (url.size() <= kSchemeLength) return kNone;
  size_t slash = url.find('/', kSchemeLength);
  return slash;
}

// Removes "../" with the page name (or empty segment) and one folder before
// it, and "./" with the page name before it, never reaching back past the
// first '/' after the host. A doubled slash left in the path counts as one.
void ResolveDots(std::string* url) {
  size_t root = PathStart(*url);
  if (root == kNone) return;
  for (;;) {
    size_t at = url->find("../", root);
    if (at == kNone) break;
    // The second '/' before "../", not before the root.
    size_t first = at == 0 ? kNone : url->rfind('/', at - 1);
    size_t second = (first == kNone || first <= root) ? kNone : url->rfind('/', first - 1);
    size_t cut = second == kNone || second < root ? root + 1 : second + 1;
    if (first == kNone || first < root) cut = at;
    url->erase(cut, at + 3 - cut);
  }
  for (;;) {
    size_t at = url->find("./", root);
    if (at == kNone) break;
    size_t before = at == 0 ? kNone : url->rfind('/', at - 1);
    size_t cut = before == kNone || before < root ? at : before + 1;
    url->erase(cut, at + 2 - cut);
  }
  size_t query = url->find('?', root);
  for (size_t at; (at = url->find("//", root)) != kNone && (query == kNone || at < query);) {
    url->erase(at, 1);
    if (query != kNone) --query;
  }
}

// Whether the link begins with a scheme other than http ("data:", "tel:",
// "about:", "blob:"...): letters, then letters, digits, '+', '-' or '.', then
// ':'. A browser never reads such a link against the page, so neither may
// the crawl: "data:," would become the page "http://h/dir/data:,".
bool OtherScheme(std::string_view link) {
  size_t i = 0;
  if (link.empty() || !IsAsciiLetter(link[0])) return false;
  while (i < link.size() && (IsAsciiLetter(link[i]) || (link[i] >= '0' && link[i] <= '9') ||
                             link[i] == '+' || link[i] == '-' || link[i] == '.'))
    ++i;
  return i < link.size() && link[i] == ':' && !common::StartsWithNoCase(link, "http:");
}

void DecodeAmpersands(std::string* url) {
  for (size_t at; (at = common::FindText('<', *url, "&amp;")) != common::kNotFound;)
    url->replace(at, 5, "&");
}

}  // namespace

bool NormaliseLink(std::string_view link, std::string_view referrer, std::string* url) {
  for (const char* scheme : {"mailto", "ftp://", "wais://", "gopher://", "https://"})
    if (common::StartsWithNoCase(link, scheme)) return false;
  std::string out;
  if (common::StartsWithNoCase(link, "http://")) {
    out = link;
  } else if (link.empty() || link[0] == '#' || link[0] == '?' || OtherScheme(link)) {
    return false;
  } else if (link[0] == '.') {
    out = std::string(referrer) + std::string(link);
    ResolveDots(&out);
  } else if (link[0] == '/') {
    size_t root = PathStart(referrer);
    out = std::string(root == kNone ? referrer : referrer.substr(0, root)) + std::string(link);
  } else {
    size_t last = referrer.rfind('/');
    if (last == kNone) return false;
    // A referrer without a path ("http://h") is the folder itself.
    out = last < 8 ? std::string(referrer) + "/" : std::string(referrer.substr(0, last + 1));
    out += link;
  }
  if (PathStart(out) == kNone) out += '/';
  size_t hash = out.rfind('#');
  if (hash != kNone) out.resize(hash);
  DecodeAmpersands(&out);
  *url = std::move(out);
  return true;
}

std::string ElementKey(std::string_view url) {
  return std::string(url.size() > kSchemeLength ? url.substr(kSchemeLength) : std::string_view());
}

std::string HostOf(std::string_view url) {
  if (!common::StartsWithNoCase(url, "http://")) return "";
  std::string_view rest = url.substr(kSchemeLength);
  size_t end = rest.find_first_of("/\r\n ");
  return std::string(end == std::string_view::npos ? rest : rest.substr(0, end));
}

bool PassesBounds(std::string_view url, std::string_view bounds) {
  bool any = false;
  size_t i = 0;
  while (i < bounds.size()) {
    while (i < bounds.size() && (bounds[i] == ',' || bounds[i] == ' ')) ++i;
    size_t begin = i;
    while (i < bounds.size() && bounds[i] != ',' && bounds[i] != ' ') ++i;
    std::string_view entry = bounds.substr(begin, i - begin);
    if (entry.empty()) continue;
    any = true;
    if (entry[0] == '*') {
      std::string_view rest = entry.substr(1);
      if (rest.empty() || common::FindText('<', url, rest) != common::kNotFound) return true;
    } else if (common::StartsWithNoCase(url, entry)) {
      return true;
    }
  }
  return !any;
}

}  // namespace jobs
