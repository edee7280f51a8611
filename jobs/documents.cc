// Platform helpers of the job task.
#include "jobs/documents.h"

#include "platform/translate.h"
#include "platform/translate_views.h"

namespace jobs {

bool ReadTextItem(VXHandle document, const char* name, std::string* value, size_t max_bytes) {
  value->clear();
  uint32_t length = 0;
  if (platform::wrap::VXItemGetLength(document, name, kVXTypeText, &length) != kVXOk) return false;
  // A conversion may grow the text; leave room for it and the 0.
  std::vector<char> buffer(static_cast<size_t>(length) * 3 + 1, '\0');
  uint32_t got = 0;
  if (platform::wrap::VXItemFetch(document, name, kVXTypeText, buffer.data(),
                                  static_cast<uint32_t>(buffer.size()), &got) != kVXOk) {
    return false;
  }
  value->assign(buffer.data(), got);
  if (max_bytes != 0 && value->size() > max_bytes) value->resize(max_bytes);
  return true;
}

std::string TextItem(VXHandle document, const char* name, size_t max_bytes) {
  std::string value;
  (void)ReadTextItem(document, name, &value, max_bytes);
  return value;
}

VXStatus PutTextItem(VXHandle document, const char* name, const std::string& value) {
  return platform::wrap::VXItemPut(document, name, kVXItemSummary, 0, kVXTypeText, value.data(),
                                   static_cast<uint32_t>(value.size()));
}

bool ReadDatetimeItem(VXHandle document, const char* name, ledra::Datetime* value) {
  ledra::Datetime read;
  uint32_t length = 0;
  if (::VXItemFetch(document, name, kVXTypeDatetime, &read, sizeof read, &length) != kVXOk ||
      length != sizeof read) {
    return false;
  }
  *value = read;
  return true;
}

VXStatus PutDatetimeItem(VXHandle document, const char* name, const ledra::Datetime& value) {
  return ::VXItemPut(document, name, kVXItemSummary, 0, kVXTypeDatetime, &value, sizeof value);
}

VXStatus SelectDocuments(VXHandle database, const std::string& formula,
                         std::vector<VXNoteId>* ids) {
  VXHandle index = 0;
  if (VXStatus status = ::VXIndexOpen(database, &index); status != kVXOk) return status;
  VXStatus status = platform::wrap::VXIndexSearch(index, formula.c_str(), 0, 0);
  if (status == kVXOk) {
    VXNoteId id = 0;
    while (::VXIndexNavigate(index, kVXNavNext, 0, &id, nullptr) == kVXOk) {
      if (id != 0xFFFFFFFFu) ids->push_back(id);
    }
  }
  ::VXIndexClose(index);
  return status;
}

std::string LastPlatformError() {
  uint32_t code = 0, detail = 0;
  char text[kVXErrorTextSize] = {};
  platform::wrap::VXErrorFetch(&code, &detail, text);
  return text;
}

std::string EnvironmentString(const char* name) {
  std::vector<char> value(2048, '\0');
  if (platform::wrap::VXGetEnvironmentString(name, value.data(), 2048) != kVXOk) return "";
  return value.data();
}

ledra::Datetime PlatformNow() {
  ledra::Datetime now;
  (void)VXDatetimeNow(&now);
  return now;
}

}  // namespace jobs
