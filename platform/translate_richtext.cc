// The translating wrappers of the composite calls.
#include "platform/translate_richtext.h"

#include <cstring>
#include <string>

#include "platform/translate.h"

namespace platform::wrap {

namespace {

const char* InOrSame(const char* text, std::string* converted) {
  if (text == nullptr || *text == '\0') return text;
  *converted = ToPlatformText(text);
  return converted->c_str();
}

}  // namespace

VXStatus VXCompositeCreate(VXHandle document, const char* item_name, VXHandle* composite) {
  std::string converted;
  return ::VXCompositeCreate(document, InOrSame(item_name, &converted), composite);
}

VXStatus VXCompositeCopy(VXHandle source, const char* item_name, VXHandle composite) {
  std::string converted;
  return ::VXCompositeCopy(source, InOrSame(item_name, &converted), composite);
}

VXStatus VXCompositeCopySubset(VXHandle source, const char* item_name, uint32_t first,
                               uint32_t last, VXHandle composite) {
  std::string converted;
  return ::VXCompositeCopySubset(source, InOrSame(item_name, &converted), first, last, composite);
}

VXStatus VXCompositeConvertDocument(VXHandle document, const char* form_name, VXHandle composite) {
  std::string converted;
  return ::VXCompositeConvertDocument(document, InOrSame(form_name, &converted), composite);
}

VXStatus VXCompositeListText(VXHandle composite, char* text, uint32_t size, uint32_t* length) {
  VXStatus status = ::VXCompositeListText(composite, text, size, length);
  if (status == kVXOk && text != nullptr) {
    ConvertFromPlatform(text, size);
    if (length != nullptr) *length = static_cast<uint32_t>(strnlen(text, size));
  }
  return status;
}

VXStatus VXCDRecordGetPointer(VXHandle composite, uint32_t number, const void** pointer,
                              uint32_t* length) {
  return ::VXCDRecordGetPointer(composite, number, pointer, length);
}

}  // namespace platform::wrap
