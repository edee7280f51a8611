// Item value forms and conversions between item types.
#include "ledra/value_convert.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "ledra/datetime.h"
#include "ledra/last_error.h"

namespace ledra {
namespace {

constexpr size_t kStoredDatetime = 9;

std::string StoreDatetime(const Datetime& d) {
  std::string out(kStoredDatetime, '\0');
  uint64_t t = static_cast<uint64_t>(d.ticks);
  for (int i = 0; i < 8; ++i) out[i] = static_cast<char>((t >> (8 * i)) & 0xff);
  out[8] = static_cast<char>((d.has_date ? 1 : 0) | (d.has_time ? 2 : 0));
  return out;
}

Datetime LoadDatetime(const char* p) {
  uint64_t t = 0;
  for (int i = 0; i < 8; ++i) t |= static_cast<uint64_t>(static_cast<unsigned char>(p[i])) << (8 * i);
  Datetime d;
  d.ticks = static_cast<int64_t>(t);
  d.has_date = (p[8] & 1) != 0;
  d.has_time = (p[8] & 2) != 0;
  return d;
}

std::string StoreNumber(double v) {
  std::string out(8, '\0');
  std::memcpy(out.data(), &v, 8);
  return out;
}

double LoadNumber(const char* p) {
  double v;
  std::memcpy(&v, p, 8);
  return v;
}

// The values of an item as a list of texts, numbers or date-times.
struct Values {
  enum { kText, kNumber, kDatetime, kOpaque } kind = kText;
  std::vector<std::string> texts;
  std::vector<double> numbers;
  std::vector<Datetime> datetimes;
};

Values Explode(const Item& item) {
  Values v;
  switch (item.type) {
    case kVXTypeText:
      v.texts.push_back(item.value);
      break;
    case kVXTypeTextList:
    case kVXTypeAttachmentRef:
      v.texts = SplitTextList(item.value);
      break;
    case kVXTypeNumber:
    case kVXTypeNumberList:
      v.kind = Values::kNumber;
      for (size_t i = 0; i + 8 <= item.value.size(); i += 8) v.numbers.push_back(LoadNumber(item.value.data() + i));
      break;
    case kVXTypeDatetime:
    case kVXTypeDatetimeList:
      v.kind = Values::kDatetime;
      for (size_t i = 0; i + kStoredDatetime <= item.value.size(); i += kStoredDatetime) {
        v.datetimes.push_back(LoadDatetime(item.value.data() + i));
      }
      break;
    default:
      v.kind = Values::kOpaque;
  }
  return v;
}

std::vector<std::string> AsTexts(const Values& v) {
  std::vector<std::string> out = v.texts;
  for (double n : v.numbers) out.push_back(NumberText(n));
  for (const Datetime& d : v.datetimes) out.push_back(DatetimeFormat(d));
  return out;
}

bool ParseNumber(const std::string& text, double* out) {
  std::string t = text;
  while (!t.empty() && t.back() == ' ') t.pop_back();
  size_t b = t.find_first_not_of(' ');
  if (b == std::string::npos) return false;
  const char* start = t.c_str() + b;
  char* end = nullptr;
  double v = std::strtod(start, &end);
  if (end == start || *end != '\0' || !std::isfinite(v)) return false;
  *out = v;
  return true;
}

VXStatus WrongType(const Item& item, uint16_t type) {
  return Fail(kVXWrongType, "Item " + item.name + " (type " + std::to_string(item.type) + ") cannot be read as type " +
                                std::to_string(type));
}

}  // namespace

std::string NumberText(double v) {
  if (v == 0) return "0";
  char buf[40];
  std::snprintf(buf, sizeof buf, "%.15g", v);
  return buf;
}

VXStatus ToStored(uint16_t type, const void* value, uint32_t length, std::string* stored) {
  const char* p = static_cast<const char*>(value);
  switch (type) {
    case kVXTypeText:
    case kVXTypeRichText:
    case kVXTypeFormula:
      stored->assign(p != nullptr ? p : "", p != nullptr ? length : 0);
      return kVXOk;
    case kVXTypeTextList:
      stored->assign(p != nullptr ? p : "", p != nullptr ? length : 0);
      // Every entry ends with a 0; a last entry without one gets it.
      if (!stored->empty() && stored->back() != '\0') stored->push_back('\0');
      return kVXOk;
    case kVXTypeNumber:
    case kVXTypeNumberList:
      if (p == nullptr || (type == kVXTypeNumber ? length != 8 && length != 0 : length % 8 != 0)) {
        return Fail(kVXBadArgument, "A number value is 8 bytes (a list: 8 bytes each)");
      }
      stored->assign(p, type == kVXTypeNumber ? 8 : length);
      return kVXOk;
    case kVXTypeDatetime:
    case kVXTypeDatetimeList: {
      size_t count = type == kVXTypeDatetime ? 1 : length / sizeof(Datetime);
      if (p == nullptr || (type == kVXTypeDatetime ? (length != 0 && length != sizeof(Datetime))
                                                  : length % sizeof(Datetime) != 0)) {
        return Fail(kVXBadArgument, "A date-time value is one ledra::Datetime record (a list: one each)");
      }
      stored->clear();
      for (size_t i = 0; i < count; ++i) {
        Datetime d;
        std::memcpy(&d, p + i * sizeof(Datetime), sizeof d);
        *stored += StoreDatetime(d);
      }
      return kVXOk;
    }
    default:
      return Fail(kVXBadArgument, "Item type " + std::to_string(type) + " is not known");
  }
}

VXStatus FromStored(const Item& item, uint16_t type, std::string* value) {
  if (type == 0) type = item.type;
  if (type == item.type && type != kVXTypeDatetime && type != kVXTypeDatetimeList) {
    *value = item.value;
    return kVXOk;
  }
  Values v = Explode(item);
  if (v.kind == Values::kOpaque) return WrongType(item, type);
  switch (type) {
    case kVXTypeText: {
      std::vector<std::string> all = AsTexts(v);
      value->clear();
      for (size_t i = 0; i < all.size(); ++i) *value += (i == 0 ? "" : ", ") + all[i];
      return kVXOk;
    }
    case kVXTypeTextList:
    case kVXTypeAttachmentRef:
      *value = JoinTextList(AsTexts(v));
      return kVXOk;
    case kVXTypeNumber:
    case kVXTypeNumberList: {
      std::vector<double> numbers = v.numbers;
      if (v.kind == Values::kText) {
        for (const std::string& t : v.texts) {
          double n;
          if (!ParseNumber(t, &n)) return WrongType(item, type);
          numbers.push_back(n);
        }
      } else if (v.kind != Values::kNumber) {
        return WrongType(item, type);
      }
      if (numbers.empty()) return WrongType(item, type);
      value->clear();
      for (size_t i = 0; i < (type == kVXTypeNumber ? 1 : numbers.size()); ++i) *value += StoreNumber(numbers[i]);
      return kVXOk;
    }
    case kVXTypeDatetime:
    case kVXTypeDatetimeList: {
      std::vector<Datetime> dates = v.datetimes;
      if (v.kind == Values::kText) {
        for (const std::string& t : v.texts) {
          Datetime d;
          if (!DatetimeParse(t, &d)) return WrongType(item, type);
          dates.push_back(d);
        }
      } else if (v.kind != Values::kDatetime) {
        return WrongType(item, type);
      }
      if (dates.empty()) return WrongType(item, type);
      value->clear();
      for (size_t i = 0; i < (type == kVXTypeDatetime ? 1 : dates.size()); ++i) {
        value->append(reinterpret_cast<const char*>(&dates[i]), sizeof(Datetime));
      }
      return kVXOk;
    }
    default:
      return WrongType(item, type);
  }
}

}  // namespace ledra
