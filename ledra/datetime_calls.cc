// The date-time calls and VXConvert, on the platform's date-time module.
#include <cstring>

#include "ledra/datetime.h"
#include "ledra/last_error.h"
#include "ledra/objects.h"
#include "ledra/value_convert.h"
#include "ledra/vxapi.h"

namespace ledra {

// Writes a date-time property value.
VXStatus PutTicks(void* value, uint32_t size, int64_t ticks) {
  if (size != 0 && size < sizeof(Datetime)) {
    return Fail(kVXBufferTooSmall, "A date-time value needs " + std::to_string(sizeof(Datetime)) + " bytes");
  }
  Datetime d;
  d.ticks = ticks;
  std::memcpy(value, &d, sizeof d);
  return kVXOk;
}

}  // namespace ledra

using namespace ledra;

VXStatus VXDatetimeNow(Datetime* now) {
  if (now == nullptr) return Fail(kVXBadArgument, "Date-time now: no place for the value");
  *now = DatetimeNow();
  return kVXOk;
}

int32_t VXDatetimeCompare(const Datetime* a, const Datetime* b) {
  if (a == nullptr || b == nullptr) {
    Fail(kVXBadArgument, "Date-time compare: a value is missing");
    return 0;
  }
  return DatetimeCompare(*a, *b);
}

VXStatus VXDatetimeDifference(const Datetime* a, const Datetime* b, uint32_t unit, int32_t* result) {
  if (a == nullptr || b == nullptr || result == nullptr) {
    return Fail(kVXBadArgument, "Date-time difference: a value or the result is missing");
  }
  int64_t d = 0;
  switch (unit) {
    case 1: d = DatetimeDifference(*a, *b, DatetimeUnit::kHundredths); break;
    case 2: d = DatetimeDifference(*a, *b, DatetimeUnit::kSeconds); break;
    case 3: d = DatetimeDifference(*a, *b, DatetimeUnit::kMinutes); break;
    case 4: d = DatetimeDifference(*a, *b, DatetimeUnit::kHours); break;
    case 5: d = DatetimeDifference(*a, *b, DatetimeUnit::kDays); break;
    case 6: d = DatetimeDifference(*a, *b, DatetimeUnit::kDays) / 7; break;
    default:
      return Fail(kVXBadArgument, "Date-time difference: unit " + std::to_string(unit) + " is not known (1-6)");
  }
  if (d > INT32_MAX || d < INT32_MIN) {
    return Fail(kVXConversionFailed, "Date-time difference does not fit 32 bits in unit " + std::to_string(unit));
  }
  *result = static_cast<int32_t>(d);
  return kVXOk;
}

VXStatus VXDatetimeAdjust(Datetime* value, const VXDatetimeAdjustment* adjustment) {
  if (value == nullptr || adjustment == nullptr) {
    return Fail(kVXBadArgument, "Date-time adjust: the value or the adjustment is missing");
  }
  DatetimeAdjustment by;
  by.years = adjustment->years;
  by.months = adjustment->months;
  by.days = static_cast<int64_t>(adjustment->days) + 7 * static_cast<int64_t>(adjustment->weeks);
  by.hours = adjustment->hours;
  by.minutes = adjustment->minutes;
  by.seconds = adjustment->seconds;
  Datetime result = *value;
  if (!DatetimeAdjust(&result, by)) {
    return Fail(kVXConversionFailed, "Date-time adjustment leaves the years 1 to 9999");
  }
  result.ticks += adjustment->hundredths;
  *value = result;
  return kVXOk;
}

VXStatus VXConvert(uint32_t from_type, uint32_t from_length, const void* from, uint32_t to_type, uint32_t to_size,
                   void* to, uint32_t* out_length) {
  if (from == nullptr || to == nullptr || to_size == 0) return Fail(kVXBadArgument, "Convert: no value or no buffer");
  if (from_type > 0xFFFF || to_type > 0xFFFF) return Fail(kVXBadArgument, "Convert: type not known");
  uint32_t length = from_length;
  if (from_type == kVXTypeText && length == 0) length = static_cast<uint32_t>(std::strlen(static_cast<const char*>(from)));
  if (from_type == kVXTypeDatetime) length = sizeof(Datetime);  // callers pass the record's size or 8
  if (from_type == kVXTypeNumber) length = 8;
  Item item;
  item.name = "value";
  item.type = static_cast<uint16_t>(from_type);
  if (VXStatus s = ToStored(item.type, from, length, &item.value); s != kVXOk) return s;
  std::string out;
  if (VXStatus s = FromStored(item, static_cast<uint16_t>(to_type), &out); s != kVXOk) {
    return Fail(kVXConversionFailed, LastFailure().message);
  }
  uint32_t n = 0;
  if (to_type == kVXTypeText) {
    n = CopyText(out, static_cast<char*>(to), to_size);
  } else {
    if (out.size() > to_size) return Fail(kVXBufferTooSmall, "Convert: the result needs " + std::to_string(out.size()) + " bytes");
    std::memcpy(to, out.data(), out.size());
    n = static_cast<uint32_t>(out.size());
  }
  if (out_length != nullptr) *out_length = n;
  return kVXOk;
}
