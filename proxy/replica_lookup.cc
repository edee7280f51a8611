// Key search in the page-replica database.
#include "proxy/replica_lookup.h"

#include <cstring>

#include "browser/template_sources.h"
#include "common/page_replica_format.h"
#include "common/text.h"
#include "platform/translate_views.h"
#include "platform/view_records.h"

namespace proxy {

namespace {

// The longest key text a key search takes, cut at a character boundary.
size_t KeyPrefixLength(const std::string& key, size_t room) {
  if (key.size() <= room) return key.size();
  size_t length = room;
  while (length > 0 && (static_cast<unsigned char>(key[length]) & 0xC0) == 0x80) --length;
  return length;
}

}  // namespace

bool IsStoredPageUrl(std::string_view url) {
  return common::StartsWithNoCase(url, "http://[wr");
}

std::string KeyOfUrl(std::string_view url) {
  if (IsStoredPageUrl(url)) {
    size_t close = url.find(']');
    return close == std::string_view::npos ? "" : std::string(url.substr(close + 1));
  }
  return url.size() > 7 ? std::string(url.substr(7)) : "";
}

bool FindElement(engine::ThreadHandle& handle, platform::OpenDatabase& database,
                 const std::string& key, ElementMatch* match) {
  *match = ElementMatch{};
#if CORVANE_HAVE_VIEWS
  if (database.handle == 0) return false;
  platform::ViewRecord* view =
      platform::GetViewRecordByName(handle, database.handle, common::kKeyView);
  if (view == nullptr || view->index == 0) return false;
  if (platform::Views().indexRefresh != nullptr) (void)platform::Views().indexRefresh(view->index);
  if (key.empty()) return true;
  VXKey search;
  search.kind = kVXKeyFirstSorted;
  search.type = kVXTypeText;
  size_t length = KeyPrefixLength(key, sizeof search.text - 1);
  std::memcpy(search.text, key.data(), length);
  search.text[length] = '\0';
  bool whole = length == key.size();
  uint32_t count = 0;
  if (platform::wrap::VXIndexKeySearch(view->index, &search, 1, whole ? 0 : kVXKeyLeading,
                                       &count) != kVXOk ||
      count == 0) {
    return true;
  }
  VXNoteId note = 0;
  if (VXIndexNavigate(view->index, kVXNavCurrent, 0, &note, nullptr) != kVXOk) return true;
  if (!whole) {
    // A key longer than a key search holds: the first document that
    // begins with it must carry the whole key.
    std::string stored;
    if (!browser::ReadDocumentItem(database.handle, note, common::kItemKey, 0, &stored) ||
        stored != key) {
      return true;
    }
    count = 1;
  }
  match->count = count;
  match->note = note;
  return true;
#else
  (void)handle;
  (void)database;
  (void)key;
  return false;
#endif
}

}  // namespace proxy
