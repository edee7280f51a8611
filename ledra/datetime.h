// Platform date-times: the one time value of the store, the formula language
// and the scheduler. A date-time counts hundredths of a second since
// 1970-01-01 00:00:00 UTC; a value may carry only a date (a day at midnight)
// or only a time of day (hundredths since midnight).
//
// The platform's clock is UTC. Every process that reads or writes a
// database (the proxy, the job task, the importer, the `ledra` tool) sees one
// and the same clock, so a NextActivation written by one is due at the same
// moment for another, whatever time zone each was started in. Converting to
// the user's local time is a matter of display, left to the caller.
#ifndef LEDRA_DATETIME_H_
#define LEDRA_DATETIME_H_

#include <cstdint>
#include <string>
#include <string_view>

namespace ledra {

struct Datetime {
  int64_t ticks = 0;  // hundredths of a second since 1970-01-01 00:00:00 UTC
  bool has_date = true;
  bool has_time = true;
};

inline constexpr int64_t kTicksPerSecond = 100;
inline constexpr int64_t kTicksPerMinute = 60 * kTicksPerSecond;
inline constexpr int64_t kTicksPerHour = 60 * kTicksPerMinute;
inline constexpr int64_t kTicksPerDay = 24 * kTicksPerHour;

// Units of DatetimeDifference. The scheduler counts in days (5), as does the
// cut-off of replication.
enum class DatetimeUnit : int {
  kHundredths = 1,
  kSeconds = 2,
  kMinutes = 3,
  kHours = 4,
  kDays = 5,
};

// The fields of a date-time adjustment; each may be negative.
struct DatetimeAdjustment {
  int64_t years = 0;
  int64_t months = 0;
  int64_t days = 0;
  int64_t hours = 0;
  int64_t minutes = 0;
  int64_t seconds = 0;
};

// The broken-down form of a date-time. `weekday` is 1 for Sunday to 7 for
// Saturday.
struct DatetimeParts {
  int year = 1970;
  int month = 1;
  int day = 1;
  int hour = 0;
  int minute = 0;
  int second = 0;
  int hundredths = 0;
  int weekday = 5;
};

// The current date and time; the clock's hundredths are kept.
Datetime DatetimeNow();
// Today at midnight, a date-only value.
Datetime DatetimeToday();

// Reads a date-time written as text: "12/08/2026", "1/1/95" (two-digit years
// 00-49 are 20xx, 50-99 are 19xx), "2026-12-08", either followed by a time
// "14:03", "14:03:00", "14:03:00.25", "2:03 PM"; a time alone ("14:03") is a
// time-only value. The whole may stand in brackets: "[12/08/2026 14:03]".
// Leading and trailing blanks are ignored. Returns false, leaving *out
// unchanged, when the text is not a date-time or names an impossible date.
[[nodiscard]] bool DatetimeParse(std::string_view text, Datetime* out);

// "MM/DD/YYYY HH:MM:SS"; a date-only value gives "MM/DD/YYYY", a time-only
// value "HH:MM:SS". Hundredths are not written.
std::string DatetimeFormat(const Datetime& value);

// True when the value lies in the years 1 to 9999 (a time-only value:
// within one day). Values read from outside are checked with it before any
// arithmetic.
bool DatetimeValid(const Datetime& value);

// -1, 0 or 1 as a is earlier than, equal to or later than b.
int DatetimeCompare(const Datetime& a, const Datetime& b);

// Moves a date-time by the adjustment. Years and months go first, and a day
// past the end of the resulting month is clamped to its last day (January 31
// plus one month is February 28 or 29); then days, hours, minutes and
// seconds. A time-only value moves only by its time fields and stays within
// one day. Returns false, leaving *value unchanged, when the result would
// leave the years 1 to 9999.
[[nodiscard]] bool DatetimeAdjust(Datetime* value, const DatetimeAdjustment& by);

// a - b counted in whole units, truncated toward zero.
int64_t DatetimeDifference(const Datetime& a, const Datetime& b, DatetimeUnit unit);

DatetimeParts DatetimeSplit(const Datetime& value);
// Builds a date-time from its parts (hundredths and weekday ignored).
// Returns false when the parts name no real date or time.
[[nodiscard]] bool DatetimeFromParts(int year, int month, int day, int hour, int minute,
                                     int second, Datetime* out);

int DatetimeYear(const Datetime& value);
int DatetimeMonth(const Datetime& value);
int DatetimeDay(const Datetime& value);
int DatetimeHour(const Datetime& value);
int DatetimeMinute(const Datetime& value);
int DatetimeSecond(const Datetime& value);
int DatetimeWeekday(const Datetime& value);

// Days since 1970-01-01 of a civil date, and back; exposed for the store's
// index keys and the formula language's date arithmetic.
int64_t DaysFromCivil(int64_t year, int month, int day);
void CivilFromDays(int64_t days, int64_t* year, int* month, int* day);

}  // namespace ledra

#endif  // LEDRA_DATETIME_H_
