// Search from the view's search bar: by the first sorted column ("Go to")
// or by the full-text index, whose results the view then shows with their
// scores until the search bar is switched off.
#include <cstdlib>

#include "browser/maintenance.h"
#include "browser/platform_helpers.h"
#include "browser/position_walk.h"
#include "browser/view_operations.h"
#include "browser/view_sets.h"
#include "common/text.h"
#include "engine/request_entry.h"
#include "ledra/datetime.h"
#include "platform/translate_views.h"

namespace browser {

namespace {

constexpr char kNoKeyMatch[] =
    "The text you entered does not match the text in the first sorted column in the view.";
constexpr char kNoMatchTitle[] = "Pellam Corvane: No Matching Pages Found";
constexpr char kOutOfDateQuestion[] =
    "Your full text index is out of date. Update it now? \n\nIf you select No, search results "
    "will reflect only information that was available the last time this database was indexed.";
constexpr char kFullTextSearchTitle[] = "Pellam Corvane: Full Text Search";
constexpr char kUpdateComplete[] = "Update complete. Ready to proceed with search.";
constexpr char kSearchTip[] = "Tip: Try searching for text that is on one of your Favorite pages.";
constexpr uint32_t kFirstMatch = 1;
constexpr uint32_t kLeadingAnyCase = kVXKeyLeading | kVXKeyAnyCase;
constexpr uint32_t kFullTextOptions = 200;

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// The length of the last character of a UTF-8 text.
size_t LastCharacterLength(const std::string& text) {
  size_t n = 1;
  while (n < text.size() && (static_cast<unsigned char>(text[text.size() - n]) & 0xC0) == 0x80) ++n;
  return n;
}

bool KeySearch(VXHandle index, const VXKey& key) {
  uint32_t count = 0;
  return platform::wrap::VXIndexKeySearch(index, &key, kFirstMatch, kLeadingAnyCase, &count) ==
         kVXOk;
}

bool TextKeySearch(VXHandle index, const std::string& text) {
  VXKey key;
  key.kind = kVXKeyFirstSorted;
  key.type = kVXTypeText;
  size_t n = std::min(text.size(), sizeof key.text - 1);
  while (n > 0 && n < text.size() && (static_cast<unsigned char>(text[n]) & 0xC0) == 0x80) --n;
  text.copy(key.text, n);
  key.text[n] = '\0';
  return KeySearch(index, key);
}

void SearchByKey(engine::ThreadHandle& handle, VXHandle index, const std::string& query) {
  VXKey listed;
  (void)platform::wrap::VXIndexListKey(index, kVXListFirst, &listed);
  std::string text = query;
  bool found = TextKeySearch(index, text);
  while (!found && !text.empty()) {
    text.erase(text.size() - LastCharacterLength(text));
    found = TextKeySearch(index, text);
  }
  if (!found) {
    VXKey number;
    number.kind = kVXKeyFirstSorted;
    number.type = kVXTypeNumber;
    number.number = std::atof(query.c_str());
    found = KeySearch(index, number);
  }
  if (!found) {
    (void)Tell(handle, kNoKeyMatch, kNoMatchTitle, os::Icon::kInformation);
    return;
  }
  // The page starts just above the match.
  VXNoteId id = 0;
  (void)VXIndexNavigate(index, kVXNavNext, 2, &id, nullptr);
}

void SearchFullText(engine::ThreadHandle& handle, platform::ViewRecord& view, VXHandle database,
                    const std::string& query) {
  int32_t indexed = 0;
  (void)VXDatabaseGetProperty(database, kDbPropFtPresent, &indexed, sizeof indexed);
  if (indexed == 0) {
    FullTextIndexDialog(handle, database);
    return;
  }
  SetSelectionPolarity(view, -1);
  (void)platform::wrap::VXIndexFTSearch(view.index, "", kVXFTClear, 0, 0);
  (void)VXIndexRefresh(view.index);
  ledra::Datetime modified, updated;
  if (VXDatabaseGetProperty(database, kDbPropLastModified, &modified, sizeof modified) == kVXOk &&
      VXDatabaseGetProperty(database, kDbPropFtUpdated, &updated, sizeof updated) == kVXOk &&
      VXDatetimeCompare(&modified, &updated) > 0 &&
      AskYesNo(handle, kOutOfDateQuestion, kFullTextSearchTitle)) {
    if (VXDatabaseCreateFTIndex(database, kFullTextOptions, 0, 0) == kVXOk)
      (void)Tell(handle, kUpdateComplete, kFullTextSearchTitle, os::Icon::kInformation);
    else
      TellPlatformError(handle, kFullTextErrorTitle);
  }
  if (query.empty()) return;
  if (platform::wrap::VXIndexFTSearch(view.index, query.c_str(), 1, 1, 0) != kVXOk) {
    std::string message = PlatformErrorText();
    if (!message.empty()) message += "\n\n";
    message += kSearchTip;
    (void)Tell(handle, message, kNoMatchTitle, os::Icon::kInformation);
    return;
  }
  (void)SetPosition(view.index, "1");
}

}  // namespace

bool ParseSearchQuery(const std::string& url, std::string* text, char* mode) {
  size_t question = url.find('?');
  if (question == std::string::npos) return false;
  std::string after = url.substr(question + 1);
  size_t start = 0;
  if (after.empty() || after[0] != 'S') {
    start = after.find("SearchText");
    if (start == std::string::npos) return false;
  }
  std::string parameter = after.substr(start);
  size_t equals = parameter.find('=');
  if (equals == std::string::npos) return false;
  size_t amp = parameter.find('&', equals + 1);
  std::string value =
      parameter.substr(equals + 1, amp == std::string::npos ? std::string::npos : amp - equals - 1);
  *mode = amp != std::string::npos && amp + 1 < parameter.size() ? parameter[amp + 1] : '\0';
  text->clear();
  for (size_t i = 0; i < value.size(); ++i) {
    char c = value[i];
    bool escaped = i > 0 && value[i - 1] == '\\';
    if (c == '%' && !escaped && i + 2 < value.size() && HexValue(value[i + 1]) >= 0 &&
        HexValue(value[i + 2]) >= 0) {
      *text += static_cast<char>(HexValue(value[i + 1]) * 16 + HexValue(value[i + 2]));
      i += 2;
    } else if (c == '+' && !escaped) {
      *text += ' ';
    } else {
      *text += c;
    }
  }
  return true;
}

std::string SearchUrl(const engine::DatabaseRequest& request) {
  if (request.entry != nullptr) {
    const std::string& raw = request.entry->rawRequest;
    std::string line = raw.substr(0, raw.find_first_of("\r\n"));
    size_t blank = line.find(' ');
    size_t start = blank == std::string::npos ? std::string::npos : line.find('h', blank + 1);
    if (start != std::string::npos) {
      std::string url = line.substr(start);
      size_t last = url.rfind(' ');
      if (last != std::string::npos && common::StartsWithNoCase(url.substr(last + 1), "HTTP/"))
        url.resize(last);
      return url;
    }
  }
  return request.url.value_or("");
}

void SearchView(engine::ThreadHandle& handle, const std::string& url, platform::ViewRecord& view,
                VXHandle database) {
  std::string text;
  char mode = '\0';
  if (!ParseSearchQuery(url, &text, &mode)) return;
  if (mode == 'S') {
    int32_t indexed = 0;
    (void)VXDatabaseGetProperty(database, kDbPropFtPresent, &indexed, sizeof indexed);
    mode = indexed == 1 ? 'F' : 'Q';
  }
  if (mode == 'Q')
    SearchByKey(handle, view.index, text);
  else if (mode == 'F')
    SearchFullText(handle, view, database, text);
  else
    FullTextIndexDialog(handle, database);
}

}  // namespace browser
