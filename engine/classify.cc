// Request classification.
#include "engine/classify.h"

#include "common/text.h"

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

char Lower(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c;
}

}  // namespace

int ClassifyText(std::string& raw) {
  int type = kPassThrough;
  size_t line_end = raw.find('\n');
  if (line_end == std::string::npos) line_end = raw.size();
  size_t at = common::FindText('<', std::string_view(raw).substr(0, line_end), "http://[");
  if (at != common::kNotFound) {
    for (size_t i = 0; i < 4; ++i) raw[at + i] = Lower(raw[at + i]);
    size_t letters = at + 8;
    if (letters + 1 < line_end) {
      raw[letters] = Lower(raw[letters]);
      raw[letters + 1] = Lower(raw[letters + 1]);
      std::string_view pair(raw.data() + letters, 2);
      if (pair == "kv")
        type = kDatabaseRequest;
      else if (pair == "wc")
        type = kCommandRequest;
      else if (pair == "wr")
        type = kReplicaRequest;
    }
  }
  for (const Synonym& synonym : kSynonyms) {
    size_t found = common::FindText('<', raw, synonym.found);
    if (found == common::kNotFound) continue;
    raw.replace(found, synonym.replaced, synonym.replacement);
    type = synonym.event_type;
  }
  return type;
}

void Classify(RequestEntry& entry) {
  entry.eventType = ClassifyText(entry.rawRequest);
}

}  // namespace engine
