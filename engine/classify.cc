// Request classification.
#include "engine/classify.h"

#include "common/text.h"
#include "engine/url_mapping.h"

namespace engine {

namespace {

struct Synonym {
  const char* found;  // searched anywhere in the request, any case
  size_t replaced;    // how many of its characters are replaced
  const char* replacement;
  int event_type;
};

constexpr Synonym kSynonyms[] = {
    {"http://Corvane.AsLedraClient/", 28, "http://[kv]", kDatabaseRequest},
    {"http://Corvane.LookupReplica.", 29, "http://[wr;", kReplicaRequest},
    {"http://Corvane.Command/", 22, "http://[wc]", kCommandRequest},
};
constexpr size_t kLegacyReplica = 1;

char Lower(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c;
}

// The EventType of the pseudo-host at `at` ("http://[" and two letters),
// folding "http" and the letters to lower case in place.
int PseudoHostType(std::string& raw, size_t at, size_t line_end) {
  for (size_t i = 0; i < 4; ++i) raw[at + i] = Lower(raw[at + i]);
  size_t letters = at + 8;
  if (letters + 1 >= line_end) return kPassThrough;
  raw[letters] = Lower(raw[letters]);
  raw[letters + 1] = Lower(raw[letters + 1]);
  std::string_view pair(raw.data() + letters, 2);
  if (pair == "kv") return kDatabaseRequest;
  if (pair == "wc") return kCommandRequest;
  if (pair == "wr") return kReplicaRequest;
  return kPassThrough;
}

int ClassifyClassic(std::string& raw) {
  int type = kPassThrough;
  size_t line_end = raw.find('\n');
  if (line_end == std::string::npos) line_end = raw.size();
  size_t at = common::FindText('<', std::string_view(raw).substr(0, line_end), "http://[");
  if (at != common::kNotFound) type = PseudoHostType(raw, at, line_end);
  for (const Synonym& synonym : kSynonyms) {
    size_t found = common::FindText('<', raw, synonym.found);
    if (found == common::kNotFound) continue;
    raw.replace(found, synonym.replaced, synonym.replacement);
    type = synonym.event_type;
  }
  return type;
}

// Where the URL of the request line lies: after the first blank, up to a
// last blank followed by "HTTP/" or the line's end.
bool FindRequestUrl(const std::string& raw, size_t* start, size_t* end) {
  size_t line_end = raw.find_first_of("\r\n");
  if (line_end == std::string::npos) line_end = raw.size();
  size_t blank = raw.find(' ');
  if (blank == std::string::npos || blank >= line_end) return false;
  *start = blank + 1;
  *end = line_end;
  size_t last = raw.rfind(' ', line_end - 1);
  if (last != std::string::npos && last > blank &&
      common::StartsWithNoCase(std::string_view(raw).substr(last + 1, line_end - last - 1),
                               "HTTP/"))
    *end = last;
  return true;
}

// Writes a synonym URL between `start` and `end` back into its pseudo-host
// form; false when it is none.
bool MapBack(std::string& raw, size_t start, size_t end) {
  std::optional<std::string> classic =
      ToClassicUrl(std::string_view(raw).substr(start, end - start));
  if (!classic) return false;
  raw.replace(start, end - start, *classic);
  return true;
}

void MapReferer(std::string& raw) {
  size_t headers_end = raw.find("\n\r\n");
  if (headers_end == std::string::npos) headers_end = raw.find("\n\n");
  if (headers_end == std::string::npos) headers_end = raw.size();
  for (size_t at = raw.find('\n'); at != std::string::npos && at < headers_end;
       at = raw.find('\n', at + 1)) {
    if (!common::StartsWithNoCase(std::string_view(raw).substr(at + 1), "Referer:")) continue;
    size_t start = at + 1 + 8;
    while (start < raw.size() && (raw[start] == ' ' || raw[start] == '\t')) ++start;
    size_t end = raw.find_first_of("\r\n", start);
    if (end == std::string::npos) end = raw.size();
    while (end > start && (raw[end - 1] == ' ' || raw[end - 1] == '\t')) --end;
    (void)MapBack(raw, start, end);
    return;
  }
}

// A browser asks every host of a page for its icon; corvex's own hosts
// answer with the program's, from the program folder.
bool MapIcon(std::string& raw, size_t start, size_t end) {
  std::string_view url = std::string_view(raw).substr(start, end - start);
  if (!common::StartsWithNoCase(url, "http://")) return false;
  size_t slash = url.find('/', 7);
  if (slash == std::string_view::npos || url.substr(slash) != "/favicon.ico") return false;
  const SynonymHost* host = FindSynonymHost(url.substr(7, slash - 7));
  if (host == nullptr || !host->ownPages || host->kind == SynonymKind::kProgramFolder) return false;
  raw.replace(start, end - start, kProgramIconUrl);
  return true;
}

int ClassifyMapped(std::string& raw) {
  size_t start = 0, end = 0;
  if (!FindRequestUrl(raw, &start, &end)) return kPassThrough;
  if (MapIcon(raw, start, end)) return kPassThrough;
  MapReferer(raw);
  (void)MapBack(raw, start, end);
  // The long host name that has always led to stored pages, at the front.
  const Synonym& legacy = kSynonyms[kLegacyReplica];
  if (common::StartsWithNoCase(std::string_view(raw).substr(start), legacy.found))
    raw.replace(start, legacy.replaced, legacy.replacement);
  if (!common::StartsWithNoCase(std::string_view(raw).substr(start), "http://["))
    return kPassThrough;
  size_t line_end = raw.find_first_of("\r\n");
  if (line_end == std::string::npos) line_end = raw.size();
  return PseudoHostType(raw, start, line_end);
}

}  // namespace

int ClassifyText(std::string& raw) {
  return ClassicUrls() ? ClassifyClassic(raw) : ClassifyMapped(raw);
}

void Classify(RequestEntry& entry) {
  entry.eventType = ClassifyText(entry.rawRequest);
}

}  // namespace engine
