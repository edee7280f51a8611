// The translating wrappers of the view, index and full-text calls, and the
// table of view calls filled from them.
#include "platform/translate_views.h"

#if CORVANE_HAVE_VIEWS

#include <cstring>
#include <string>

#include "platform/translate.h"
#include "platform/view_calls.h"

namespace platform {
namespace wrap {

namespace {

const char* InOrSame(const char* text, std::string* converted) {
  if (text == nullptr || *text == '\0') return text;
  *converted = ToPlatformText(text);
  return converted->c_str();
}

}  // namespace

VXStatus VXColumnFetch(VXHandle index, uint32_t column, VXColumnRecord* record) {
  VXStatus status = ::VXColumnFetch(index, column, record);
  if (status == kVXOk && record != nullptr) {
    ConvertFromPlatform(record->item_name, sizeof record->item_name);
    ConvertFromPlatform(record->title, sizeof record->title);
  }
  return status;
}

VXStatus VXColumnList(VXHandle index, uint32_t code, VXColumnRecord* record) {
  VXStatus status = ::VXColumnList(index, code, record);
  if (status == kVXOk && record != nullptr) {
    ConvertFromPlatform(record->item_name, sizeof record->item_name);
    ConvertFromPlatform(record->title, sizeof record->title);
  }
  return status;
}

VXStatus VXIndexFTSearch(VXHandle index, const char* query, uint32_t options, uint32_t sort,
                         uint32_t limit) {
  std::string converted;
  return ::VXIndexFTSearch(index, InOrSame(query, &converted), options, sort, limit);
}

VXStatus VXIndexSearch(VXHandle index, const char* formula, uint32_t reserved1, uint32_t reserved2) {
  std::string converted;
  return ::VXIndexSearch(index, InOrSame(formula, &converted), reserved1, reserved2);
}

VXStatus VXIndexGetProperty(VXHandle index, uint32_t property, void* value, uint32_t size) {
  VXStatus status = ::VXIndexGetProperty(index, property, value, size);
  if (status == kVXOk && (property == kIndexPropViewName || property == kIndexPropFormula))
    ConvertFromPlatform(static_cast<char*>(value), size);
  return status;
}

VXStatus VXIndexSetProperty(VXHandle index, uint32_t property, const void* value) {
  std::string converted;
  if (property == kIndexPropFormula) value = InOrSame(static_cast<const char*>(value), &converted);
  return ::VXIndexSetProperty(index, property, value);
}

VXStatus VXIndexGetViewPosition(VXHandle index, uint32_t size, char* text) {
  VXStatus status = ::VXIndexGetViewPosition(index, size, text);
  if (status == kVXOk) ConvertFromPlatform(text, size);
  return status;
}

VXStatus VXIndexSetViewPosition(VXHandle index, const char* position) {
  std::string converted;
  return ::VXIndexSetViewPosition(index, InOrSame(position, &converted));
}

VXStatus VXIndexKeySearch(VXHandle index, const VXKey* key, uint32_t mode, uint32_t options,
                          uint32_t* count) {
  if (key == nullptr || key->type != kVXTypeText) return ::VXIndexKeySearch(index, key, mode, options, count);
  VXKey converted = *key;
  ConvertToPlatform(converted.text, sizeof converted.text);
  return ::VXIndexKeySearch(index, &converted, mode, options, count);
}

VXStatus VXIndexListKey(VXHandle index, uint32_t code, VXKey* key) {
  VXStatus status = ::VXIndexListKey(index, code, key);
  if (status == kVXOk && key != nullptr && key->type == kVXTypeText)
    ConvertFromPlatform(key->text, sizeof key->text);
  return status;
}

VXStatus VXViewcellFetch(VXHandle index, uint32_t column, char* text, uint32_t size,
                         uint32_t* length) {
  VXStatus status = ::VXViewcellFetch(index, column, text, size, length);
  if (status == kVXOk && text != nullptr) {
    ConvertFromPlatform(text, size);
    if (length != nullptr) *length = static_cast<uint32_t>(strnlen(text, size));
  }
  return status;
}

}  // namespace wrap

namespace {

template <typename T>
T Word(const engine::OperationArgs& args, int n) {
  if constexpr (std::is_pointer_v<T>) {
    return reinterpret_cast<T>(args[n]);
  } else {
    return static_cast<T>(args[n]);
  }
}

VXStatus Columns(VXHandle index, std::vector<ColumnInfo>* columns) {
  columns->clear();
  uint32_t count = 0;
  if (VXStatus status = ::VXColumnGetCount(index, &count); status != kVXOk) return status;
  VXColumnRecord record;
  for (uint32_t code = kVXListFirst; columns->size() < count && wrap::VXColumnList(index, code, &record) == kVXOk;
       code = kVXListNext) {
    columns->push_back({record.title, record.item_name, record.width, record.flags});
  }
  return kVXOk;
}

VXStatus Select(VXHandle database, const char* formula, std::vector<VXNoteId>* ids) {
  VXHandle index = 0;
  if (VXStatus status = ::VXIndexOpen(database, &index); status != kVXOk) return status;
  VXStatus status = ::VXIndexSearch(index, formula, 0, 0);
  if (status == kVXOk) {
    VXNoteId id = 0;
    while (::VXIndexNavigate(index, kVXNavNext, 0, &id, nullptr) == kVXOk) {
      if (id != 0xFFFFFFFFu) ids->push_back(id);
    }
  }
  ::VXIndexClose(index);
  return status;
}

int32_t SearchWords(const engine::OperationArgs& args) {
  return static_cast<int32_t>(wrap::VXIndexSearch(Word<VXHandle>(args, 0), Word<const char*>(args, 1),
                                                  Word<uint32_t>(args, 2), Word<uint32_t>(args, 3)));
}

int32_t NavigateWords(const engine::OperationArgs& args) {
  return static_cast<int32_t>(::VXIndexNavigate(Word<VXHandle>(args, 0), Word<uint32_t>(args, 1),
                                                Word<uint32_t>(args, 2), Word<VXNoteId*>(args, 3),
                                                Word<VXRowInfo*>(args, 4)));
}

int32_t KeySearchWords(const engine::OperationArgs& args) {
  return static_cast<int32_t>(wrap::VXIndexKeySearch(Word<VXHandle>(args, 0), Word<const VXKey*>(args, 1),
                                                     Word<uint32_t>(args, 2), Word<uint32_t>(args, 3),
                                                     Word<uint32_t*>(args, 4)));
}

}  // namespace

void InstallLedraViewCalls() {
  ViewCalls& calls = Views();
  calls.indexOpen = ::VXIndexOpen;
  calls.indexOpenView = ::VXIndexOpenView;
  calls.indexClose = ::VXIndexClose;
  calls.indexRefresh = ::VXIndexRefresh;
  calls.columns = Columns;
  calls.select = Select;
  calls.indexSearchWords = SearchWords;
  calls.indexNavigateWords = NavigateWords;
  calls.indexKeySearchWords = KeySearchWords;
}

}  // namespace platform

#endif  // CORVANE_HAVE_VIEWS
