// The translating wrappers of the platform's view, index and full-text
// calls (see platform/translate.h for the rules). Present when the
// platform has its views module (ledra/view/view_api.h).
#pragma once

#if __has_include("ledra/view/view_api.h")
#define CORVANE_HAVE_VIEWS 1

#include "ledra/vxapi.h"

namespace platform::wrap {

// The record's item name and 81-byte title come back converted.
VXStatus VXColumnFetch(VXHandle index, uint32_t column, VXColumnRecord* record);
VXStatus VXColumnList(VXHandle index, uint32_t code, VXColumnRecord* record);
// Query and formula go in converted.
VXStatus VXIndexFTSearch(VXHandle index, const char* query, uint32_t options, uint32_t sort,
                         uint32_t limit);
VXStatus VXIndexSearch(VXHandle index, const char* formula, uint32_t reserved1, uint32_t reserved2);
// Text properties 8 and 11 come back converted; 11 goes in converted.
VXStatus VXIndexGetProperty(VXHandle index, uint32_t property, void* value, uint32_t size);
VXStatus VXIndexSetProperty(VXHandle index, uint32_t property, const void* value);
VXStatus VXIndexGetViewPosition(VXHandle index, uint32_t size, char* text);
VXStatus VXIndexSetViewPosition(VXHandle index, const char* position);
// A text key (type 2) goes in converted; the caller's key is not changed.
VXStatus VXIndexKeySearch(VXHandle index, const VXKey* key, uint32_t mode, uint32_t options,
                          uint32_t* count);
// A text key comes back converted.
VXStatus VXIndexListKey(VXHandle index, uint32_t code, VXKey* key);
// The text comes back converted; *length is its new length.
VXStatus VXViewcellFetch(VXHandle index, uint32_t column, char* text, uint32_t size,
                         uint32_t* length);

}  // namespace platform::wrap

#else
#define CORVANE_HAVE_VIEWS 0
#endif
