// Document identities.
#include "browser/document_ids.h"

#include <cstdio>
#include <cstdlib>

#include "ledra/vxapi.h"
#include "platform/translate.h"

namespace browser {

namespace {

constexpr uint32_t kReadOnly = 1;

}  // namespace

std::string UnidToText(const VXUnid& unid) {
  char text[kUnidTextSize + 8];
  std::snprintf(text, sizeof text, "%lxg%lxg%lxg%lxg", static_cast<unsigned long>(unid.words[0]),
                static_cast<unsigned long>(unid.words[1]),
                static_cast<unsigned long>(unid.words[2]),
                static_cast<unsigned long>(unid.words[3]));
  return text;
}

bool TextToUnid(std::string_view text, VXUnid* unid) {
  *unid = VXUnid{};
  std::string copy(text.substr(0, 64));
  unsigned long words[4] = {0, 0, 0, 0};
  if (std::sscanf(copy.c_str(), "%lxg%lxg%lxg%lxg", &words[0], &words[1], &words[2], &words[3]) !=
      4)
    return false;
  for (int i = 0; i < 4; ++i) unid->words[i] = static_cast<uint32_t>(words[i]);
  return true;
}

bool IsZeroUnid(const VXUnid& unid) {
  return unid == VXUnid{};
}

VXNoteId NoteIdFromText(VXHandle database, std::string_view text) {
  if (text.find('g') != std::string_view::npos) {
    VXUnid unid;
    if (!TextToUnid(text, &unid)) return 0;
    return VXDocumentLocateByUnid(database, &unid);
  }
  std::string copy(text.substr(0, 32));
  char* end = nullptr;
  long value = std::strtol(copy.c_str(), &end, 10);
  if (value <= 0) return 0;
  return static_cast<VXNoteId>(value);
}

VXUnid UnidOfNote(VXHandle database, VXNoteId note_id) {
  VXUnid unid;
  VXHandle document = 0;
  if (VXDocumentOpen(database, note_id, kReadOnly, &document) != kVXOk) return unid;
  if (VXDocumentGetProperty(document, kDocPropUnid, &unid, sizeof unid) != kVXOk) unid = VXUnid{};
  VXDocumentClose(document, kVXCloseDiscard);
  return unid;
}

VXNoteId FormFromText(VXHandle database, std::string_view text) {
  std::string name(text);
  if (!name.empty()) {
    VXNoteId form = platform::wrap::VXFormLocateByName(database, name.c_str());
    if (form != 0) return form;
  }
  return NoteIdFromText(database, text);
}

char SeparatorOfKind(uint32_t kind) {
  switch (kind) {
    case 1:
      return ' ';
    case 2:
      return ',';
    case 3:
    case 4:
    case 5:
      return ';';
    default:
      return '\0';
  }
}

bool ListContains(uint32_t kind, std::string_view names, std::string_view text) {
  if (names.empty() || text.empty()) return false;
  char separator = SeparatorOfKind(kind);
  size_t start = 0;
  for (;;) {
    size_t bar = names.find('|', start);
    std::string_view name =
        names.substr(start, bar == std::string_view::npos ? std::string_view::npos : bar - start);
    if (!name.empty() && name.front() == ' ') name.remove_prefix(1);
    if (!name.empty() && name.back() == ' ') name.remove_suffix(1);
    if (!name.empty()) {
      for (size_t at = text.find(name); at != std::string_view::npos;
           at = text.find(name, at + 1)) {
        size_t after = at + name.size();
        if (after == text.size() || (separator != '\0' && text[after] == separator)) return true;
      }
    }
    if (bar == std::string_view::npos) return false;
    start = bar + 1;
  }
}

std::string_view KeywordDisplay(std::string_view keyword) {
  return keyword.substr(0, keyword.find('|'));
}

std::string_view KeywordAlias(std::string_view keyword) {
  size_t bar = keyword.rfind('|');
  if (bar == std::string_view::npos) return {};
  return keyword.substr(bar + 1);
}

std::string PositionOnly(std::string_view text) {
  size_t n = 0;
  while (n < text.size() && n < 255 && ((text[n] >= '0' && text[n] <= '9') || text[n] == '.')) ++n;
  return std::string(text.substr(0, n));
}

}  // namespace browser
