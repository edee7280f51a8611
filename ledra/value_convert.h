// Item values between the form callers pass (ledra/vxapi.h) and the stored
// form (ledra/note.h), and conversions between item types: numbers and
// date-times to text and back, single values to lists, lists to text joined
// by ", ".
#pragma once

#include <cstdint>
#include <string>

#include "ledra/note.h"
#include "ledra/vx_types.h"

namespace ledra {

// A caller's value of type into stored form. Fails (with a message) when
// the value is malformed: a number not 8 bytes, a date-time list not a whole
// number of records, text that is not UTF-8 is accepted as bytes.
[[nodiscard]] VXStatus ToStored(uint16_t type, const void* value, uint32_t length, std::string* stored);

// The item's value as type (0: its own type) in the callers' form. Fails
// with kVXWrongType when the value cannot be read as that type.
[[nodiscard]] VXStatus FromStored(const Item& item, uint16_t type, std::string* value);

// Number as text: up to 15 significant digits, no trailing zeros.
std::string NumberText(double v);

}  // namespace ledra
