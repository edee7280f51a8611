// The translating wrappers around the Vantix calls that carry text.
#include "platform/translate.h"

#include <cstring>
#include <vector>

namespace platform {

namespace {

// Converts `text` of `size` bytes in place through a scratch buffer of
// 3 x size + 1 bytes; the result is cut to fit `size` with its 0.
void ConvertInPlace(uint32_t mode, char* text, size_t size) {
  if (text == nullptr || size == 0 || text[0] == '\0') return;
  size_t length = strnlen(text, size);
  std::vector<char> scratch(3 * length + 1);
  uint32_t written = 0;
  if (VXTranslate(mode, static_cast<uint32_t>(length), text, static_cast<uint32_t>(scratch.size()),
                  scratch.data(), &written) != kVXOk) {
    return;
  }
  // Cut at a character boundary so that no partial sequence is left.
  size_t keep = written < size ? written : size - 1;
  while (keep > 0 && keep < written && (static_cast<unsigned char>(scratch[keep]) & 0xC0) == 0x80)
    --keep;
  std::memcpy(text, scratch.data(), keep);
  text[keep] = '\0';
}

// The conversion of a text going in; an absent or empty text passes as is.
class InText {
 public:
  explicit InText(const char* text) : original_(text) {
    if (text != nullptr && *text != '\0') converted_ = ToPlatformText(text);
  }
  const char* get() const { return converted_.empty() ? original_ : converted_.c_str(); }
  uint32_t length() const { return static_cast<uint32_t>(converted_.size()); }

 private:
  const char* original_;
  std::string converted_;
};

void ConvertRecordBack(VXDesignRecord* record) {
  ConvertFromPlatform(record->full_name, sizeof record->full_name);
  ConvertFromPlatform(record->second_name, sizeof record->second_name);
  ConvertFromPlatform(record->third_name, sizeof record->third_name);
  // The texts may only shrink in place: they are bounded by their own length.
  if (record->selection != nullptr)
    ConvertFromPlatform(record->selection, std::strlen(record->selection) + 1);
  if (record->second_text != nullptr)
    ConvertFromPlatform(record->second_text, std::strlen(record->second_text) + 1);
}

}  // namespace

void ConvertToPlatform(char* text, size_t size) { ConvertInPlace(0, text, size); }
void ConvertFromPlatform(char* text, size_t size) { ConvertInPlace(1, text, size); }

std::string ToPlatformText(const char* text) {
  if (text == nullptr || *text == '\0') return "";
  size_t length = std::strlen(text);
  std::vector<char> buffer(3 * length + 1);
  uint32_t written = 0;
  if (VXTranslate(0, static_cast<uint32_t>(length), text, static_cast<uint32_t>(buffer.size()),
                  buffer.data(), &written) != kVXOk) {
    return text;
  }
  return std::string(buffer.data(), written);
}

namespace wrap {

VXStatus VXAttachmentAttach(VXHandle document, const char* file_path, const char* attachment_name,
                            uint32_t flags) {
  InText path(file_path), name(attachment_name);
  return ::VXAttachmentAttach(document, path.get(), name.get(), flags);
}

VXStatus VXAttachmentExtract(VXHandle document, const char* attachment_name,
                             const char* file_path, uint32_t flags) {
  InText name(attachment_name), path(file_path);
  return ::VXAttachmentExtract(document, name.get(), path.get(), flags);
}

VXStatus VXAttachmentDelete(VXHandle document, const char* attachment_name) {
  InText name(attachment_name);
  return ::VXAttachmentDelete(document, name.get());
}

VXStatus VXAttachmentList(VXHandle document, uint32_t code, char* name, uint32_t size,
                          uint32_t* bytes) {
  VXStatus status = ::VXAttachmentList(document, code, name, size, bytes);
  if (status == kVXOk) ConvertFromPlatform(name, size);
  return status;
}

VXStatus VXItemAppendTextList(VXHandle document, const char* name, const char* entry,
                              uint32_t length, uint32_t flags) {
  InText item(name);
  std::string converted;
  const char* value = entry;
  if (entry != nullptr && *entry != '\0') {
    std::string original = length != 0 ? std::string(entry, length) : std::string(entry);
    converted = ToPlatformText(original.c_str());
    value = converted.c_str();
    if (length != 0) length = static_cast<uint32_t>(converted.size());
  }
  return ::VXItemAppendTextList(document, item.get(), value, length, flags);
}

VXStatus VXErrorFetch(uint32_t* code, uint32_t* detail, char* text) {
  VXStatus status = ::VXErrorFetch(code, detail, text);
  ConvertFromPlatform(text, kVXErrorTextSize);
  return status;
}

VXStatus VXItemCopy(VXHandle source, const char* name, VXHandle target, uint32_t flags) {
  InText item(name);
  return ::VXItemCopy(source, item.get(), target, flags);
}

VXStatus VXItemDelete(VXHandle document, const char* name) {
  InText item(name);
  return ::VXItemDelete(document, item.get());
}

VXStatus VXItemGetInfo(VXHandle document, const char* name, uint16_t* type, uint32_t* length,
                       uint32_t* flags) {
  InText item(name);
  return ::VXItemGetInfo(document, item.get(), type, length, flags);
}

VXStatus VXItemGetLength(VXHandle document, const char* name, uint16_t type, uint32_t* length) {
  InText item(name);
  return ::VXItemGetLength(document, item.get(), type, length);
}

VXStatus VXItemFetch(VXHandle document, const char* name, uint16_t type, void* buffer,
                     uint32_t size, uint32_t* length) {
  InText item(name);
  VXStatus status = ::VXItemFetch(document, item.get(), type, buffer, size, length);
  if (status == kVXOk && type == kVXTypeText && buffer != nullptr) {
    char* text = static_cast<char*>(buffer);
    ConvertFromPlatform(text, size);
    if (length != nullptr) *length = static_cast<uint32_t>(strnlen(text, size));
  }
  return status;
}

VXStatus VXItemGetPointer(VXHandle document, const char* name, uint16_t type,
                          const void** pointer, uint32_t* length) {
  InText item(name);
  uint32_t got = 0;
  VXStatus status = ::VXItemGetPointer(document, item.get(), type, pointer, &got);
  if (status == kVXOk && type == kVXTypeText && pointer != nullptr && *pointer != nullptr) {
    // The document's own storage is not ours to rewrite.
    thread_local std::vector<char> converted;
    converted.assign(static_cast<const char*>(*pointer), static_cast<const char*>(*pointer) + got);
    converted.resize(3 * got + 1, '\0');
    ConvertFromPlatform(converted.data(), converted.size());
    got = static_cast<uint32_t>(std::strlen(converted.data()));
    *pointer = converted.data();
  }
  if (length != nullptr) *length = got;
  return status;
}

VXStatus VXItemPut(VXHandle document, const char* name, uint32_t flags, uint32_t name_length,
                   uint16_t type, const void* value, uint32_t length) {
  std::string name_text = name == nullptr ? "" : name_length != 0 ? std::string(name, name_length)
                                                                  : std::string(name);
  InText item(name_text.c_str());
  const char* item_name = name == nullptr ? nullptr : item.get();
  if (name_length != 0) name_length = static_cast<uint32_t>(std::strlen(item_name));
  std::string converted;
  if (type == kVXTypeText && value != nullptr) {
    const char* text = static_cast<const char*>(value);
    std::string original = length != 0 ? std::string(text, length) : std::string(text);
    if (!original.empty()) {
      converted = ToPlatformText(original.c_str());
      value = converted.c_str();
      if (length != 0) length = static_cast<uint32_t>(converted.size());
    }
  }
  return ::VXItemPut(document, item_name, flags, name_length, type, value, length);
}

VXStatus VXItemList(VXHandle document, uint32_t code, char* name, uint32_t size, uint16_t* type) {
  VXStatus status = ::VXItemList(document, code, name, size, type);
  if (status == kVXOk) ConvertFromPlatform(name, size);
  return status;
}

VXStatus VXFieldList(VXHandle database, VXNoteId form, uint32_t code, char* name, uint32_t size) {
  VXStatus status = ::VXFieldList(database, form, code, name, size);
  if (status == kVXOk) ConvertFromPlatform(name, size);
  return status;
}

VXStatus VXFieldFetch(VXHandle database, VXNoteId form, const char* name, VXFieldRecord* record) {
  InText field(name);
  VXStatus status = ::VXFieldFetch(database, form, field.get(), record);
  if (status == kVXOk && record != nullptr) ConvertFromPlatform(record->name, sizeof record->name);
  return status;
}

VXStatus VXSubformCopy(VXHandle source, const char* name, VXHandle target, VXNoteId* id) {
  InText subform(name);
  return ::VXSubformCopy(source, subform.get(), target, id);
}

VXStatus VXSubformCreate(VXHandle database, VXSubformRecord* record, VXNoteId* id) {
  if (record != nullptr) {
    ConvertToPlatform(record->name, sizeof record->name);
    ConvertToPlatform(record->alias, sizeof record->alias);
  }
  return ::VXSubformCreate(database, record, id);
}

VXStatus VXViewFetch(VXHandle database, VXNoteId view, VXDesignRecord* record) {
  VXStatus status = ::VXViewFetch(database, view, record);
  if (status == kVXOk && record != nullptr) ConvertRecordBack(record);
  return status;
}

VXStatus VXFormFetch(VXHandle database, VXNoteId form, VXDesignRecord* record) {
  VXStatus status = ::VXFormFetch(database, form, record);
  if (status == kVXOk && record != nullptr) ConvertRecordBack(record);
  return status;
}

VXStatus VXViewList(VXHandle database, uint32_t code, VXDesignRecord* record) {
  VXStatus status = ::VXViewList(database, code, record);
  if (status == kVXOk && record != nullptr) ConvertRecordBack(record);
  return status;
}

VXStatus VXFolderList(VXHandle database, uint32_t code, VXDesignRecord* record) {
  VXStatus status = ::VXFolderList(database, code, record);
  if (status == kVXOk && record != nullptr) ConvertRecordBack(record);
  return status;
}

VXStatus VXFormList(VXHandle database, uint32_t code, VXDesignRecord* record) {
  VXStatus status = ::VXFormList(database, code, record);
  if (status == kVXOk && record != nullptr) ConvertRecordBack(record);
  return status;
}

VXNoteId VXViewLocateByName(VXHandle database, const char* name) {
  InText view(name);
  return ::VXViewLocateByName(database, view.get());
}

VXNoteId VXFormLocateByName(VXHandle database, const char* name) {
  InText form(name);
  return ::VXFormLocateByName(database, form.get());
}

VXStatus VXDatabaseGetProperty(VXHandle database, uint32_t property, void* value, uint32_t size) {
  VXStatus status = ::VXDatabaseGetProperty(database, property, value, size);
  if (status == kVXOk && property >= kDbPropServer && property <= kDbPropDesignTemplate)
    ConvertFromPlatform(static_cast<char*>(value), size);
  return status;
}

VXStatus VXDatabaseList(const char* server, const char* folder, uint32_t reserved, uint32_t kinds,
                        uint32_t code, VXDatabaseEntry* entry) {
  InText in_folder(folder);
  VXStatus status = ::VXDatabaseList(server, in_folder.get(), reserved, kinds, code, entry);
  if (status == kVXOk && entry != nullptr) {
    ConvertFromPlatform(entry->title, sizeof entry->title);
    ConvertFromPlatform(entry->name, sizeof entry->name);
  }
  return status;
}

VXStatus VXDocumentGetProperty(VXHandle document, uint32_t property, void* value, uint32_t size) {
  if (property == kDocPropTitleLength) {
    // The length of the title as the caller will receive it, converted.
    char title[1024] = {};
    VXStatus status = ::VXDocumentGetProperty(document, kDocPropTitle, title, sizeof title);
    if (status != kVXOk) return status;
    ConvertFromPlatform(title, sizeof title);
    if (value == nullptr || size < sizeof(int32_t)) return kVXBadArgument;
    int32_t length = static_cast<int32_t>(std::strlen(title));
    std::memcpy(value, &length, sizeof length);
    return kVXOk;
  }
  VXStatus status = ::VXDocumentGetProperty(document, property, value, size);
  if (status == kVXOk && property == kDocPropTitle) ConvertFromPlatform(static_cast<char*>(value), size);
  return status;
}

VXStatus VXTextListFetch(VXHandle list, uint32_t index, char* text, uint32_t size,
                         uint32_t* length) {
  VXStatus status = ::VXTextListFetch(list, index, text, size, length);
  if (status == kVXOk && text != nullptr) {
    ConvertFromPlatform(text, size);
    if (length != nullptr) *length = static_cast<uint32_t>(strnlen(text, size));
  }
  return status;
}

VXStatus VXGetEnvironmentString(const char* name, char* value, uint32_t size) {
  InText variable(name);
  VXStatus status = ::VXGetEnvironmentString(variable.get(), value, size);
  if (status == kVXOk) ConvertFromPlatform(value, size);
  return status;
}

VXStatus VXSetEnvironmentString(const char* name, const char* value, uint32_t flags) {
  InText variable(name), text(value);
  return ::VXSetEnvironmentString(variable.get(), text.get(), flags);
}

}  // namespace wrap
}  // namespace platform
