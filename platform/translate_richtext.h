// The translating wrappers of the platform's composite (rich-text) calls;
// see platform/translate.h for the rules.
#pragma once

#include <cstdint>

#include "ledra/richtext/vx_composite.h"

namespace platform::wrap {

// The one text argument (item or form name) goes in converted.
VXStatus VXCompositeCreate(VXHandle document, const char* item_name, VXHandle* composite);
VXStatus VXCompositeCopy(VXHandle source, const char* item_name, VXHandle composite);
VXStatus VXCompositeCopySubset(VXHandle source, const char* item_name, uint32_t first,
                               uint32_t last, VXHandle composite);
VXStatus VXCompositeConvertDocument(VXHandle document, const char* form_name, VXHandle composite);
// The text comes back converted; *length is its new length.
VXStatus VXCompositeListText(VXHandle composite, char* text, uint32_t size, uint32_t* length);
// A record's content is a binary structure whose texts are already in the
// host's character set (both UTF-8): it passes unchanged, since converting
// the whole content would damage its numbers.
VXStatus VXCDRecordGetPointer(VXHandle composite, uint32_t number, const void** pointer,
                              uint32_t* length);

}  // namespace platform::wrap
