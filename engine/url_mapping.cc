// The mapping between pseudo-host URLs and synonym-host URLs.
#include "engine/url_mapping.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace engine {

namespace {

constexpr std::string_view kHttp = "http://";
constexpr char kHex[] = "0123456789ABCDEF";
// The bracket text that names the current page-replica database.
constexpr std::string_view kCurrentContext = "$WCTX_CorvjobsicaContext";
constexpr std::string_view kWorkspace = "http://[wc]/";
// The first letters of the host label that carries a replica context:
// "-w" the current page-replica database, "-x" a context written out.
constexpr std::string_view kCurrentContextLabel = "-w";
constexpr std::string_view kContextLabelMark = "-x";
constexpr size_t kMaxLabel = 63;
constexpr size_t kMaxHost = 253;

// -1 unset, 0 layer on, 1 classic.
std::atomic<int> classic_setting{-1};

char Lower(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c;
}

bool IsAlnum(unsigned char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

bool IsLowerAlnum(unsigned char c) {
  return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool StartsNoCase(std::string_view text, std::string_view prefix) {
  if (text.size() < prefix.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i)
    if (Lower(text[i]) != Lower(prefix[i])) return false;
  return true;
}

bool EndsWith(std::string_view text, std::string_view suffix) {
  return text.size() >= suffix.size() && text.substr(text.size() - suffix.size()) == suffix;
}

// The bytes a path keeps as they are: the ASCII URL code points less "?",
// "#" (they end the path) and "'" (it would end a quoted attribute or a
// script string the URL stands in).
enum Keep : uint8_t { kPath = 1, kQuery = 2, kSegment = 4 };

constexpr std::array<uint8_t, 256> MakeKeeps() {
  std::array<uint8_t, 256> keeps{};
  for (int c = 0; c < 256; ++c) {
    bool path = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
    for (char k : std::string_view("-._~!$&()*+,;=:@/")) path = path || c == k;
    keeps[c] = static_cast<uint8_t>((path ? kPath | kQuery : 0) | (c == '?' ? kQuery : 0) |
                                    (path && c != '/' ? kSegment : 0));
  }
  return keeps;
}
constexpr std::array<uint8_t, 256> kKeeps = MakeKeeps();

void AppendEscape(std::string* out, unsigned char c) {
  out->push_back('%');
  out->push_back(kHex[c >> 4]);
  out->push_back(kHex[c & 15]);
}

// The run of host characters after "http://" at `at`.
std::string_view HostRunAfter(std::string_view text, size_t at) {
  size_t end = at;
  while (end < text.size()) {
    unsigned char c = static_cast<unsigned char>(text[end]);
    if (!IsAlnum(c) && c != '.' && c != '-' && c != ':') break;
    ++end;
  }
  return text.substr(at, end - at);
}

// Whether a synonym URL begins at `at` ("http://" and one of the hosts).
bool SynonymUrlAt(std::string_view text, size_t at) {
  if (!StartsNoCase(text.substr(at), kHttp)) return false;
  return FindSynonymHost(HostRunAfter(text, at + kHttp.size())) != nullptr;
}

// Appends `part` escaped; `keep` names the bytes kept. The ":" of a
// synonym URL inside the part is escaped, so that reading the URL back
// leaves it as it stands instead of mapping it.
void AppendEscaped(std::string* out, std::string_view part, Keep keep) {
  size_t run = 0;  // start of the bytes kept and not yet appended
  for (size_t i = 0; i < part.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(part[i]);
    if ((kKeeps[c] & keep) != 0 && !(c == ':' && i >= 4 && SynonymUrlAt(part, i - 4))) continue;
    out->append(part.substr(run, i - run));
    AppendEscape(out, c);
    run = i + 1;
  }
  out->append(part.substr(run));
}

bool IsDotSegment(std::string_view segment) {
  return segment == "." || segment == "..";
}

// Appends the path, query and fragment of `rest`, escaped. With
// `escape_slash` the path is one segment. False when a path segment is "."
// or "..", which a browser would resolve away.
bool AppendEscapedRest(std::string* out, std::string_view rest, bool escape_slash) {
  size_t hash = rest.find('#');
  size_t question = rest.substr(0, hash).find('?');
  size_t path_end = question != std::string_view::npos ? question : hash;
  std::string_view path = rest.substr(0, path_end);
  if (!escape_slash) {
    for (size_t start = 0;;) {
      size_t slash = path.find('/', start);
      if (IsDotSegment(path.substr(start, slash - start))) return false;
      if (slash == std::string_view::npos) break;
      start = slash + 1;
    }
  }
  AppendEscaped(out, path, escape_slash ? kSegment : kPath);
  if (question != std::string_view::npos) {
    out->push_back('?');
    AppendEscaped(out, rest.substr(question + 1, hash - question - 1), kQuery);
  }
  if (hash != std::string_view::npos) {
    out->push_back('#');
    AppendEscaped(out, rest.substr(hash + 1), kQuery);
  }
  return true;
}

// ---- Host labels of the stored-page families.

// Writes text into host labels: [a-z0-9] as they are, a "." between two
// labels as it is where `dots` allows (else escaped), anything else "-xx";
// a label that would pass 63 characters ends in "-" and goes on in the
// next one.
class LabelWriter {
 public:
  explicit LabelWriter(std::string* out) : out_(out) {}

  void Append(std::string_view text, bool dots) {
    static constexpr char kLowerHex[] = "0123456789abcdef";
    for (size_t i = 0; i < text.size(); ++i) {
      unsigned char c = static_cast<unsigned char>(text[i]);
      bool separator = dots && c == '.' && i > 0 && i + 1 < text.size() && text[i - 1] != '.' &&
                       text[i + 1] != '.';
      if (separator) {
        EndLabel();
      } else if (IsLowerAlnum(c)) {
        Unit({reinterpret_cast<const char*>(&text[i]), 1});
      } else {
        char escape[3] = {'-', kLowerHex[c >> 4], kLowerHex[c & 15]};
        Unit({escape, 3});
      }
    }
  }
  void Unit(std::string_view unit) {
    if (label_ + unit.size() > kMaxLabel - 1) {
      out_->append("-.");
      label_ = 0;
    }
    out_->append(unit);
    label_ += unit.size();
  }
  void EndLabel() {
    out_->push_back('.');
    label_ = 0;
  }

 private:
  std::string* out_;
  size_t label_ = 0;
};

bool ValidHostLength(std::string_view host) {
  if (host.size() > kMaxHost) return false;
  for (size_t start = 0;;) {
    size_t dot = host.find('.', start);
    size_t size = (dot == std::string_view::npos ? host.size() : dot) - start;
    if (size == 0 || size > kMaxLabel) return false;
    if (dot == std::string_view::npos) return true;
    start = dot + 1;
  }
}

// Reads the escapes of one logical label back into bytes: [a-z0-9] and
// "-" with two lower-case hexadecimal digits, nothing else. A control
// character does not read: any page can make the browser ask for any host,
// and a CR, LF or NUL read back would end the request line it goes into.
bool UnescapeLabel(std::string_view label, std::string* out) {
  auto lower_hex = [](char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'); };
  for (size_t i = 0; i < label.size(); ++i) {
    char c = label[i];
    if (IsLowerAlnum(static_cast<unsigned char>(c))) {
      out->push_back(c);
    } else if (c == '-' && i + 2 < label.size() && lower_hex(label[i + 1]) &&
               lower_hex(label[i + 2])) {
      int value = HexValue(label[i + 1]) * 16 + HexValue(label[i + 2]);
      if (value < 0x20 || value == 0x7f) return false;
      out->push_back(static_cast<char>(value));
      i += 2;
    } else {
      return false;
    }
  }
  return true;
}

// The context and the page's host from the labels before a stored-page
// family name ("www.example.com.-w"); false when they do not read.
bool ReadReplicaLabels(std::string_view labels, std::string* context, std::string* page_host) {
  std::vector<std::string> logical;
  std::string current;
  for (size_t start = 0;;) {
    size_t dot = labels.find('.', start);
    std::string_view label = labels.substr(start, dot - start);
    if (label.empty()) return false;
    if (label.back() == '-') {
      current.append(label.substr(0, label.size() - 1));
    } else {
      current.append(label);
      logical.push_back(std::move(current));
      current.clear();
    }
    if (dot == std::string_view::npos) break;
    start = dot + 1;
  }
  if (!current.empty() || logical.size() < 2) return false;
  const std::string& last = logical.back();
  if (last == kCurrentContextLabel) {
    *context = kCurrentContext;
  } else if (last.compare(0, 2, kContextLabelMark) == 0) {
    if (!UnescapeLabel(std::string_view(last).substr(2), context)) return false;
    if (context->find(']') != std::string::npos) return false;
  } else {
    return false;
  }
  for (size_t i = 0; i + 1 < logical.size(); ++i) {
    if (i > 0) page_host->push_back('.');
    size_t before = page_host->size();
    if (!UnescapeLabel(logical[i], page_host) || page_host->size() == before) return false;
  }
  return true;
}

// ---- The forms, one way.

// `folded` is the text after "http://" with its pseudo-host letters folded.
void AppendVerbatim(std::string* out, std::string_view folded) {
  out->append("http://corvane.verbatim/r");
  (void)AppendEscapedRest(out, folded, true);
}

// "http://[wr;C]HOST/REST" on the stored-page family `family`; false (and
// nothing appended) when the simple form cannot hold it.
bool AppendStoredPageUrl(std::string* out, std::string_view bracket_context, std::string_view key,
                         std::string_view family) {
  size_t host_end = key.find_first_of("/?#");
  if (host_end == 0 || host_end == std::string_view::npos || key[host_end] != '/') return false;
  std::string_view page_host = key.substr(0, host_end);
  // The links of a stored page mostly lead to the same site: the host
  // written last is kept for the next.
  thread_local std::string last_family, last_context, last_page_host, last_host;
  thread_local bool last_valid = false;
  if (last_host.empty() || family != last_family || bracket_context != last_context ||
      page_host != last_page_host) {
    last_family.assign(family);
    last_context.assign(bracket_context);
    last_page_host.assign(page_host);
    last_host.assign("http://");
    LabelWriter labels(&last_host);
    labels.Append(page_host, true);
    labels.EndLabel();
    if (bracket_context == kCurrentContext) {
      labels.Unit(kCurrentContextLabel);
    } else {
      labels.Unit(kContextLabelMark);
      labels.Append(bracket_context, false);
    }
    labels.EndLabel();
    last_host.append(family);
    last_valid = ValidHostLength(std::string_view(last_host).substr(7));
  }
  if (!last_valid) return false;
  size_t before = out->size();
  out->append(last_host);
  if (!AppendEscapedRest(out, key.substr(host_end), false)) {
    out->resize(before);
    return false;
  }
  return true;
}

// The path with its "." and ".." segments resolved as a browser resolves
// them ("/a/./b/../c" is "/a/c"); `path` starts with "/".
std::string RemoveDotSegments(std::string_view path) {
  std::vector<std::string_view> segments;
  bool trailing = false;
  for (size_t start = 1; start <= path.size();) {
    size_t slash = path.find('/', start);
    std::string_view segment = path.substr(start, slash - start);
    bool last = slash == std::string_view::npos;
    trailing = last && IsDotSegment(segment);
    if (segment == "..") {
      if (!segments.empty()) segments.pop_back();
    } else if (segment != ".") {
      segments.push_back(segment);
    }
    if (last) break;
    start = slash + 1;
  }
  std::string out;
  for (std::string_view segment : segments) {
    out.push_back('/');
    out.append(segment);
  }
  if (trailing || out.empty()) out.push_back('/');
  return out;
}

bool AppendFileUrl(std::string* out, std::string_view text, std::string_view program_dir) {
  if (!StartsNoCase(text, "file:")) return false;
  size_t at = 5;
  while (at < text.size() && text[at] == '/') ++at;
  if (at < 7) return false;
  while (!program_dir.empty() && program_dir.front() == '/') program_dir.remove_prefix(1);
  while (!program_dir.empty() && program_dir.back() == '/') program_dir.remove_suffix(1);
  std::string_view rest = text.substr(at);
  if (program_dir.empty() || rest.substr(0, program_dir.size()) != program_dir) return false;
  rest.remove_prefix(program_dir.size());
  if (!rest.empty() && rest[0] != '/' && rest[0] != '?' && rest[0] != '#') return false;
  out->append("http://corvane.programfolder");
  size_t path_end = rest.find_first_of("?#");
  std::string path = RemoveDotSegments(rest.substr(0, path_end));
  if (path_end != std::string_view::npos) path += rest.substr(path_end);
  (void)AppendEscapedRest(out, path, false);
  return true;
}

// ---- And back.

// The pseudo-host prefix that stands for "http://" and the host `run` of a
// synonym URL: "http://[kv]", "http://[wc]", "http://[wr;C]HOST", ...; none
// for a host that has no such prefix (or labels that do not read).
std::optional<std::string> ClassicPrefix(std::string_view run) {
  const SynonymHost* synonym = FindSynonymHost(run);
  if (synonym == nullptr) return std::nullopt;
  std::string name(run.substr(0, run.find(':')));
  for (char& c : name) c = Lower(c);
  switch (synonym->kind) {
    case SynonymKind::kDatabase:
      return "http://[kv]";
    case SynonymKind::kCommand:
      return "http://[wc]";
    case SynonymKind::kStoredPage:
    case SynonymKind::kStoredForm: {
      if (name == synonym->host) return std::nullopt;
      std::string context, page_host;
      std::string_view labels(name);
      labels.remove_suffix(std::strlen(synonym->host) + 1);
      if (!ReadReplicaLabels(labels, &context, &page_host)) return std::nullopt;
      std::string prefix =
          synonym->kind == SynonymKind::kStoredPage ? "http://[wr;" : "http://[wrs;";
      return prefix + context + "]" + page_host;
    }
    default:
      return std::nullopt;
  }
}

// Percent-decodes `text` into `out`, control characters left escaped, and
// writes synonym URLs inside it back into their pseudo-host forms.
void AppendDecoded(std::string* out, std::string_view text) {
  for (size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if ((c == 'h' || c == 'H') && SynonymUrlAt(text, i)) {
      std::string_view run = HostRunAfter(text, i + kHttp.size());
      size_t end = i + kHttp.size() + run.size();
      const SynonymHost* synonym = FindSynonymHost(run);
      if (synonym->kind == SynonymKind::kVerbatim && StartsNoCase(text.substr(end), "/r")) {
        out->append(kHttp);
        i = end + 1;
        continue;
      }
      if (std::optional<std::string> prefix = ClassicPrefix(run)) {
        out->append(*prefix);
        i = end - 1;
        continue;
      }
    }
    int high = c == '%' && i + 2 < text.size() ? HexValue(text[i + 1]) : -1;
    int low = high >= 0 ? HexValue(text[i + 2]) : -1;
    int value = high * 16 + low;
    if (low >= 0 && value >= 0x20 && value != 0x7f) {
      out->push_back(static_cast<char>(value));
      i += 2;
      continue;
    }
    out->push_back(c);
  }
}

}  // namespace

const SynonymHost* FindSynonymHost(std::string_view host) {
  std::string name(host.substr(0, host.find(':')));
  for (char& c : name) c = Lower(c);
  for (const SynonymHost& synonym : kSynonymHosts) {
    if (name == synonym.host) return &synonym;
    if (!synonym.family) continue;
    std::string dotted = std::string(".") + synonym.host;
    if (synonym.kind == SynonymKind::kLegacyReplica) {
      if (name.compare(0, std::strlen(synonym.host) + 1, std::string(synonym.host) + ".") == 0)
        return &synonym;
    } else if (EndsWith(name, dotted)) {
      return &synonym;
    }
  }
  return nullptr;
}

bool ClassicUrls() {
  int setting = classic_setting.load();
  if (setting < 0) {
    const char* value = std::getenv("CORVANE_CLASSIC_URLS");
    setting = value != nullptr && value[0] == '1' ? 1 : 0;
    int unset = -1;
    classic_setting.compare_exchange_strong(unset, setting);
    setting = classic_setting.load();
  }
  return setting == 1;
}

void SetClassicUrls(bool classic) {
  classic_setting = classic ? 1 : 0;
}

bool AppendBrowserUrl(std::string* out, std::string_view classic, std::string_view program_dir) {
  if (AppendFileUrl(out, classic, program_dir)) return true;
  if (!StartsNoCase(classic, "http://[")) return false;
  std::string_view after = classic.substr(kHttp.size());  // "[..."
  if (after.size() < 3) return false;
  char first = Lower(after[1]), second = Lower(after[2]);
  bool kv = first == 'k' && second == 'v', wc = first == 'w' && second == 'c';
  bool wr = first == 'w' && second == 'r';
  if (!kv && !wc && !wr) return false;
  if (!wr && after.size() > 4 && after[3] == ']' && after[4] == '/') {
    size_t before = out->size();
    out->append(kv ? "http://corvane.asledraclient" : "http://corvane.command");
    if (AppendEscapedRest(out, after.substr(4), false)) return true;
    out->resize(before);
  }
  if (wr) {
    size_t close = after.find(']');
    if (close != std::string_view::npos) {
      std::string_view bracket = after.substr(1, close - 1);  // "wr;C" or "wrs;C"
      std::string_view key = after.substr(close + 1);
      if (bracket.substr(2, 1) == ";" &&
          AppendStoredPageUrl(out, bracket.substr(3), key, "corvane.storedpage"))
        return true;
      if (bracket.substr(2, 2) == "s;" &&
          AppendStoredPageUrl(out, bracket.substr(4), key, "corvane.storedform"))
        return true;
    }
  }
  // The pseudo-host letters are folded to lower case, as classification
  // folds them.
  std::string folded(after);
  folded[1] = first;
  folded[2] = second;
  AppendVerbatim(out, folded);
  return true;
}

std::optional<std::string> ToBrowserUrl(std::string_view classic, std::string_view program_dir) {
  std::string out;
  if (!AppendBrowserUrl(&out, classic, program_dir)) return std::nullopt;
  return out;
}

std::optional<std::string> ToClassicUrl(std::string_view browser) {
  if (!StartsNoCase(browser, kHttp)) return std::nullopt;
  std::string_view after = browser.substr(kHttp.size());
  size_t host_end = after.find_first_of("/?#");
  std::string_view host = after.substr(0, host_end);
  const SynonymHost* synonym = FindSynonymHost(host);
  if (synonym == nullptr) return std::nullopt;
  std::string name(host.substr(0, host.find(':')));
  for (char& c : name) c = Lower(c);
  std::string_view rest = host_end == std::string_view::npos ? "" : after.substr(host_end);
  std::string out;
  switch (synonym->kind) {
    case SynonymKind::kDatabase:
    case SynonymKind::kCommand:
      out = synonym->kind == SynonymKind::kDatabase ? "http://[kv]" : "http://[wc]";
      if (rest.empty() || rest[0] != '/') out.push_back('/');
      AppendDecoded(&out, rest);
      return out;
    case SynonymKind::kVerbatim:
      if (!StartsNoCase(rest, "/r")) return std::string(kWorkspace);
      out = "http://";
      AppendDecoded(&out, rest.substr(2));
      return out;
    case SynonymKind::kStoredPage:
    case SynonymKind::kStoredForm: {
      std::optional<std::string> prefix = ClassicPrefix(host);
      if (!prefix) return std::string(kWorkspace);
      out = *prefix;
      if (rest.empty() || rest[0] != '/') out.push_back('/');
      AppendDecoded(&out, rest);
      return out;
    }
    case SynonymKind::kLegacyReplica:
      // The bare root only; "corvane.lookupreplica.HOST" is the old
      // synonym, which classification rewrites as it always did.
      if (name == synonym->host) return std::string(kWorkspace);
      return std::nullopt;
    case SynonymKind::kProgramFolder:
      return std::nullopt;
  }
  return std::nullopt;
}

std::optional<std::string> ProgramFolderPath(std::string_view browser) {
  if (!StartsNoCase(browser, kHttp)) return std::nullopt;
  std::string_view after = browser.substr(kHttp.size());
  size_t host_end = after.find_first_of("/?#");
  const SynonymHost* synonym = FindSynonymHost(after.substr(0, host_end));
  if (synonym == nullptr || synonym->kind != SynonymKind::kProgramFolder) return std::nullopt;
  std::string_view rest = host_end == std::string_view::npos ? "" : after.substr(host_end);
  rest = rest.substr(0, rest.find_first_of("?#"));
  std::string path;
  for (size_t i = 0; i < rest.size(); ++i) {
    int high = rest[i] == '%' && i + 2 < rest.size() ? HexValue(rest[i + 1]) : -1;
    int low = high >= 0 ? HexValue(rest[i + 2]) : -1;
    if (low >= 0) {
      path.push_back(static_cast<char>(high * 16 + low));
      i += 2;
    } else {
      path.push_back(rest[i]);
    }
  }
  return path;
}

}  // namespace engine
