// Platform date-times: civil calendar arithmetic on a count of hundredths of
// a second since the epoch, proleptic Gregorian, years 1 to 9999.
#include "ledra/datetime.h"

#include <chrono>
#include <cstdio>

namespace ledra {
namespace {

constexpr int kMinYear = 1;
constexpr int kMaxYear = 9999;

int64_t FloorDiv(int64_t a, int64_t b) {
  int64_t q = a / b;
  if ((a % b != 0) && ((a < 0) != (b < 0))) --q;
  return q;
}

int64_t FloorMod(int64_t a, int64_t b) { return a - FloorDiv(a, b) * b; }

bool IsLeap(int64_t year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

int DaysInMonth(int64_t year, int month) {
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (month == 2 && IsLeap(year)) return 29;
  return kDays[month - 1];
}

bool DaysInRange(int64_t days) {
  static const int64_t kFirst = DaysFromCivil(kMinYear, 1, 1);
  static const int64_t kLast = DaysFromCivil(kMaxYear, 12, 31);
  return days >= kFirst && days <= kLast;
}

// A small cursor over the text being parsed.
struct Scanner {
  std::string_view text;
  size_t pos = 0;

  bool AtEnd() const { return pos >= text.size(); }
  char Peek() const { return AtEnd() ? '\0' : text[pos]; }
  void SkipBlanks() {
    while (!AtEnd() && (text[pos] == ' ' || text[pos] == '\t')) ++pos;
  }
  bool Take(char c) {
    if (Peek() != c) return false;
    ++pos;
    return true;
  }
  // Reads 1 to max_digits decimal digits; *count receives how many.
  bool Number(int max_digits, int* value, int* count) {
    int n = 0;
    int v = 0;
    while (!AtEnd() && text[pos] >= '0' && text[pos] <= '9') {
      if (n == max_digits) return false;
      v = v * 10 + (text[pos] - '0');
      ++pos;
      ++n;
    }
    if (n == 0) return false;
    *value = v;
    *count = n;
    return true;
  }
};

int FullYear(int year, int digits) {
  if (digits <= 2) return year < 50 ? 2000 + year : 1900 + year;
  return year;
}

// "M/D/Y" or "YYYY-MM-DD". On success *days holds the day number.
bool ParseDate(Scanner* s, int64_t* days) {
  Scanner probe = *s;
  int a = 0, b = 0, c = 0, na = 0, nb = 0, nc = 0;
  if (!probe.Number(4, &a, &na)) return false;
  int year = 0, month = 0, day = 0;
  if (na == 4 && probe.Take('-')) {
    if (!probe.Number(2, &b, &nb) || !probe.Take('-') || !probe.Number(2, &c, &nc)) return false;
    year = a;
    month = b;
    day = c;
  } else {
    if (na > 2 || !probe.Take('/')) return false;
    if (!probe.Number(2, &b, &nb) || !probe.Take('/') || !probe.Number(4, &c, &nc)) return false;
    if (nc == 3) return false;
    month = a;
    day = b;
    year = FullYear(c, nc);
  }
  if (year < kMinYear || year > kMaxYear || month < 1 || month > 12) return false;
  if (day < 1 || day > DaysInMonth(year, month)) return false;
  *days = DaysFromCivil(year, month, day);
  *s = probe;
  return true;
}

bool TakeWord(Scanner* s, std::string_view word) {
  if (s->text.size() - s->pos < word.size()) return false;
  for (size_t i = 0; i < word.size(); ++i) {
    char c = s->text[s->pos + i];
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    if (c != word[i]) return false;
  }
  s->pos += word.size();
  return true;
}

// "H:MM", "H:MM:SS", "H:MM:SS.hh", each optionally followed by AM or PM.
bool ParseTime(Scanner* s, int64_t* ticks) {
  Scanner probe = *s;
  int hour = 0, minute = 0, second = 0, hundredths = 0, n = 0;
  if (!probe.Number(2, &hour, &n) || !probe.Take(':')) return false;
  if (!probe.Number(2, &minute, &n) || n != 2) return false;
  if (probe.Take(':')) {
    if (!probe.Number(2, &second, &n) || n != 2) return false;
    if (probe.Take('.') || probe.Take(',')) {
      if (!probe.Number(2, &hundredths, &n)) return false;
      if (n == 1) hundredths *= 10;
    }
  }
  Scanner suffix = probe;
  suffix.SkipBlanks();
  bool am = TakeWord(&suffix, "AM");
  bool pm = !am && TakeWord(&suffix, "PM");
  if (am || pm) {
    if (hour < 1 || hour > 12) return false;
    if (hour == 12) hour = 0;
    if (pm) hour += 12;
    probe = suffix;
  }
  if (hour > 23 || minute > 59 || second > 59) return false;
  *ticks = hour * kTicksPerHour + minute * kTicksPerMinute + second * kTicksPerSecond + hundredths;
  *s = probe;
  return true;
}

}  // namespace

int64_t DaysFromCivil(int64_t year, int month, int day) {
  year -= month <= 2;
  const int64_t era = FloorDiv(year, 400);
  const int64_t yoe = year - era * 400;
  const int64_t doy = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
  const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

void CivilFromDays(int64_t days, int64_t* year, int* month, int* day) {
  days += 719468;
  const int64_t era = FloorDiv(days, 146097);
  const int64_t doe = days - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  *day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  *month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  *year = yoe + era * 400 + (*month <= 2);
}

Datetime DatetimeNow() {
  using namespace std::chrono;
  const auto since = duration_cast<milliseconds>(system_clock::now().time_since_epoch());
  return Datetime{since.count() / 10, true, true};
}

Datetime DatetimeToday() {
  Datetime now = DatetimeNow();
  return Datetime{FloorDiv(now.ticks, kTicksPerDay) * kTicksPerDay, true, false};
}

bool DatetimeParse(std::string_view text, Datetime* out) {
  Scanner s{text};
  s.SkipBlanks();
  const bool bracketed = s.Take('[');
  s.SkipBlanks();
  Datetime value;
  int64_t days = 0;
  int64_t time = 0;
  if (ParseDate(&s, &days)) {
    value.has_date = true;
    value.has_time = false;
    Scanner after = s;
    after.SkipBlanks();
    if (after.pos > s.pos && ParseTime(&after, &time)) {
      value.has_time = true;
      s = after;
    }
    value.ticks = days * kTicksPerDay + time;
  } else if (ParseTime(&s, &time)) {
    value.has_date = false;
    value.has_time = true;
    value.ticks = time;
  } else {
    return false;
  }
  s.SkipBlanks();
  if (bracketed && !s.Take(']')) return false;
  s.SkipBlanks();
  if (!s.AtEnd()) return false;
  *out = value;
  return true;
}

DatetimeParts DatetimeSplit(const Datetime& value) {
  DatetimeParts parts;
  const int64_t days = FloorDiv(value.ticks, kTicksPerDay);
  int64_t rest = FloorMod(value.ticks, kTicksPerDay);
  if (value.has_date) {
    int64_t year = 0;
    CivilFromDays(days, &year, &parts.month, &parts.day);
    parts.year = static_cast<int>(year);
    parts.weekday = static_cast<int>(FloorMod(days + 4, 7)) + 1;
  } else {
    parts.year = parts.month = parts.day = parts.weekday = 0;
  }
  parts.hour = static_cast<int>(rest / kTicksPerHour);
  rest %= kTicksPerHour;
  parts.minute = static_cast<int>(rest / kTicksPerMinute);
  rest %= kTicksPerMinute;
  parts.second = static_cast<int>(rest / kTicksPerSecond);
  parts.hundredths = static_cast<int>(rest % kTicksPerSecond);
  return parts;
}

bool DatetimeFromParts(int year, int month, int day, int hour, int minute, int second,
                       Datetime* out) {
  if (year < kMinYear || year > kMaxYear || month < 1 || month > 12) return false;
  if (day < 1 || day > DaysInMonth(year, month)) return false;
  if (hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 59) {
    return false;
  }
  out->ticks = DaysFromCivil(year, month, day) * kTicksPerDay + hour * kTicksPerHour +
               minute * kTicksPerMinute + second * kTicksPerSecond;
  out->has_date = true;
  out->has_time = true;
  return true;
}

std::string DatetimeFormat(const Datetime& value) {
  const DatetimeParts p = DatetimeSplit(value);
  char buffer[48];
  if (value.has_date && value.has_time) {
    std::snprintf(buffer, sizeof buffer, "%02d/%02d/%04d %02d:%02d:%02d", p.month, p.day, p.year,
                  p.hour, p.minute, p.second);
  } else if (value.has_date) {
    std::snprintf(buffer, sizeof buffer, "%02d/%02d/%04d", p.month, p.day, p.year);
  } else {
    std::snprintf(buffer, sizeof buffer, "%02d:%02d:%02d", p.hour, p.minute, p.second);
  }
  return buffer;
}

bool DatetimeValid(const Datetime& value) {
  if (!value.has_date) return value.ticks >= 0 && value.ticks < kTicksPerDay;
  return DaysInRange(FloorDiv(value.ticks, kTicksPerDay));
}

int DatetimeCompare(const Datetime& a, const Datetime& b) {
  if (a.ticks < b.ticks) return -1;
  return a.ticks > b.ticks ? 1 : 0;
}

bool DatetimeAdjust(Datetime* value, const DatetimeAdjustment& by) {
  // Hundredths of the time fields; bounded so that no sum can overflow.
  constexpr int64_t kLimit = int64_t{1} << 40;
  if (by.years > kLimit || by.years < -kLimit || by.months > kLimit || by.months < -kLimit ||
      by.days > kLimit || by.days < -kLimit || by.hours > kLimit || by.hours < -kLimit ||
      by.minutes > kLimit || by.minutes < -kLimit || by.seconds > kLimit ||
      by.seconds < -kLimit) {
    return false;
  }
  const int64_t shift =
      by.hours * kTicksPerHour + by.minutes * kTicksPerMinute + by.seconds * kTicksPerSecond;
  if (!value->has_date) {
    value->ticks = FloorMod(value->ticks + shift, kTicksPerDay);
    return true;
  }
  int64_t days = FloorDiv(value->ticks, kTicksPerDay);
  const int64_t time = FloorMod(value->ticks, kTicksPerDay);
  if (by.years != 0 || by.months != 0) {
    int64_t year = 0;
    int month = 0, day = 0;
    CivilFromDays(days, &year, &month, &day);
    const int64_t total = year * 12 + (month - 1) + by.years * 12 + by.months;
    year = FloorDiv(total, 12);
    month = static_cast<int>(FloorMod(total, 12)) + 1;
    if (year < kMinYear || year > kMaxYear) return false;
    if (day > DaysInMonth(year, month)) day = DaysInMonth(year, month);
    days = DaysFromCivil(year, month, day);
  }
  days += by.days;
  if (!DaysInRange(days)) return false;
  const int64_t ticks = days * kTicksPerDay + time + shift;
  if (!DaysInRange(FloorDiv(ticks, kTicksPerDay))) return false;
  value->ticks = ticks;
  return true;
}

int64_t DatetimeDifference(const Datetime& a, const Datetime& b, DatetimeUnit unit) {
  const int64_t delta = a.ticks - b.ticks;
  switch (unit) {
    case DatetimeUnit::kHundredths: return delta;
    case DatetimeUnit::kSeconds: return delta / kTicksPerSecond;
    case DatetimeUnit::kMinutes: return delta / kTicksPerMinute;
    case DatetimeUnit::kHours: return delta / kTicksPerHour;
    case DatetimeUnit::kDays: return delta / kTicksPerDay;
  }
  return delta;
}

int DatetimeYear(const Datetime& value) { return DatetimeSplit(value).year; }
int DatetimeMonth(const Datetime& value) { return DatetimeSplit(value).month; }
int DatetimeDay(const Datetime& value) { return DatetimeSplit(value).day; }
int DatetimeHour(const Datetime& value) { return DatetimeSplit(value).hour; }
int DatetimeMinute(const Datetime& value) { return DatetimeSplit(value).minute; }
int DatetimeSecond(const Datetime& value) { return DatetimeSplit(value).second; }
int DatetimeWeekday(const Datetime& value) { return DatetimeSplit(value).weekday; }

}  // namespace ledra
