// Platform date-times: parsing, formatting, arithmetic and parts.
#include "ledra/datetime.h"

#include <gtest/gtest.h>

namespace ledra {
namespace {

Datetime Parsed(const char* text) {
  Datetime value;
  EXPECT_TRUE(DatetimeParse(text, &value)) << text;
  return value;
}

TEST(Datetime, ParseAndFormat) {
  static const struct {
    const char* text;
    const char* formatted;
    bool has_date;
    bool has_time;
  } cases[] = {
      {"1/1/95", "01/01/1995", true, false},
      {"1/1/49", "01/01/2049", true, false},
      {"1/1/50", "01/01/1950", true, false},
      {"1/1/00", "01/01/2000", true, false},
      {"12/08/2026", "12/08/2026", true, false},
      {"12/08/2026 14:03:00", "12/08/2026 14:03:00", true, true},
      {"12/08/2026 14:03", "12/08/2026 14:03:00", true, true},
      {"[12/08/2026]", "12/08/2026", true, false},
      {" [ 12/08/2026 14:03 ] ", "12/08/2026 14:03:00", true, true},
      {"2026-12-08 09:05:07", "12/08/2026 09:05:07", true, true},
      {"14:03", "14:03:00", false, true},
      {"2:03 PM", "14:03:00", false, true},
      {"12:00 am", "00:00:00", false, true},
      {"12/31/1969 23:59:59.99", "12/31/1969 23:59:59", true, true},
      {"2/29/2024", "02/29/2024", true, false},
      {"1/1/0001", "01/01/0001", true, false},
      {"12/31/9999 23:59:59", "12/31/9999 23:59:59", true, true},
  };
  for (const auto& c : cases) {
    Datetime value = Parsed(c.text);
    EXPECT_EQ(DatetimeFormat(value), c.formatted) << c.text;
    EXPECT_EQ(value.has_date, c.has_date) << c.text;
    EXPECT_EQ(value.has_time, c.has_time) << c.text;
  }
}

TEST(Datetime, ParseRejects) {
  static const char* const cases[] = {
      "",         "abc",         "13/1/2026", "2/30/2026",  "2/29/2023", "1/1/995",
      "1/1/2026x", "[1/1/2026",  "1/1/2026]", "24:00",      "12:60",     "13:00 PM",
      "1/1",      "1/1/2026 5",  "0/1/2026",  "1/0/2026",   "1/1/12345", "14:3",
  };
  for (const char* text : cases) {
    Datetime value{42, false, false};
    EXPECT_FALSE(DatetimeParse(text, &value)) << text;
    EXPECT_EQ(value.ticks, 42) << text;
  }
}

TEST(Datetime, EpochAndParts) {
  Datetime epoch = Parsed("1/1/1970 00:00:00");
  EXPECT_EQ(epoch.ticks, 0);
  Datetime d = Parsed("12/08/2026 14:03:09.50");
  EXPECT_EQ(DatetimeYear(d), 2026);
  EXPECT_EQ(DatetimeMonth(d), 12);
  EXPECT_EQ(DatetimeDay(d), 8);
  EXPECT_EQ(DatetimeHour(d), 14);
  EXPECT_EQ(DatetimeMinute(d), 3);
  EXPECT_EQ(DatetimeSecond(d), 9);
  EXPECT_EQ(DatetimeSplit(d).hundredths, 50);
  static const struct {
    const char* text;
    int weekday;  // 1 Sunday .. 7 Saturday
  } weekdays[] = {
      {"1/1/1970", 5}, {"12/08/2026", 3}, {"12/31/1969", 4}, {"1/1/2000", 7}, {"3/1/1900", 5},
  };
  for (const auto& c : weekdays) EXPECT_EQ(DatetimeWeekday(Parsed(c.text)), c.weekday) << c.text;
}

TEST(Datetime, Adjust) {
  static const struct {
    const char* start;
    DatetimeAdjustment by;
    const char* result;
  } cases[] = {
      {"1/31/2026 10:00", {0, 1, 0, 0, 0, 0}, "02/28/2026 10:00:00"},
      {"1/31/2024 10:00", {0, 1, 0, 0, 0, 0}, "02/29/2024 10:00:00"},
      {"2/29/2024", {1, 0, 0, 0, 0, 0}, "02/28/2025"},
      {"3/31/2026", {0, -1, 0, 0, 0, 0}, "02/28/2026"},
      {"12/15/2026", {0, 1, 0, 0, 0, 0}, "01/15/2027"},
      {"1/15/2026", {0, -13, 0, 0, 0, 0}, "12/15/2024"},
      {"12/31/2026 23:30", {0, 0, 0, 0, 45, 0}, "01/01/2027 00:15:00"},
      {"3/1/2026 00:00", {0, 0, -1, 0, 0, 0}, "02/28/2026 00:00:00"},
      {"1/1/1970 00:00", {0, 0, 0, 0, 0, -1}, "12/31/1969 23:59:59"},
      {"1/31/2026 10:00", {1, 1, 1, 1, 1, 1}, "03/01/2027 11:01:01"},
      {"23:30", {0, 0, 0, 1, 0, 0}, "00:30:00"},
      {"00:10", {0, 0, 5, 0, -20, 0}, "23:50:00"},
  };
  for (const auto& c : cases) {
    Datetime value = Parsed(c.start);
    ASSERT_TRUE(DatetimeAdjust(&value, c.by)) << c.start;
    EXPECT_EQ(DatetimeFormat(value), c.result) << c.start;
  }
  Datetime last = Parsed("12/31/9999");
  EXPECT_FALSE(DatetimeAdjust(&last, {0, 0, 1, 0, 0, 0}));
  EXPECT_EQ(DatetimeFormat(last), "12/31/9999");
  Datetime first = Parsed("1/1/0001");
  EXPECT_FALSE(DatetimeAdjust(&first, {0, -1, 0, 0, 0, 0}));
  EXPECT_FALSE(DatetimeAdjust(&first, {int64_t{1} << 62, 0, 0, 0, 0, 0}));
}

TEST(Datetime, DifferenceAndCompare) {
  static const struct {
    const char* a;
    const char* b;
    DatetimeUnit unit;
    int64_t difference;
  } cases[] = {
      {"12/09/2026 14:00", "12/08/2026 14:00", DatetimeUnit::kDays, 1},
      {"12/09/2026 13:59", "12/08/2026 14:00", DatetimeUnit::kDays, 0},
      {"12/08/2026 14:00", "12/09/2026 14:00", DatetimeUnit::kDays, -1},
      {"12/08/2026 15:00", "12/08/2026 14:00", DatetimeUnit::kDays, 0},
      {"12/08/2026 15:00", "12/08/2026 14:00", DatetimeUnit::kHours, 1},
      {"12/08/2026 14:15", "12/08/2026 14:00", DatetimeUnit::kMinutes, 15},
      {"12/08/2026 14:00:30", "12/08/2026 14:00", DatetimeUnit::kSeconds, 30},
      {"1/1/2026", "1/1/2025", DatetimeUnit::kDays, 365},
      {"12/08/2026 14:00:00.25", "12/08/2026 14:00", DatetimeUnit::kHundredths, 25},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(DatetimeDifference(Parsed(c.a), Parsed(c.b), c.unit), c.difference)
        << c.a << " - " << c.b;
  }
  EXPECT_EQ(static_cast<int>(DatetimeUnit::kDays), 5);
  EXPECT_EQ(DatetimeCompare(Parsed("1/1/95"), Parsed("1/1/2026")), -1);
  EXPECT_EQ(DatetimeCompare(Parsed("1/1/2026"), Parsed("1/1/95")), 1);
  EXPECT_EQ(DatetimeCompare(Parsed("1/1/2026 00:00"), Parsed("1/1/2026")), 0);
}

TEST(Datetime, NowAndToday) {
  Datetime now = DatetimeNow();
  Datetime today = DatetimeToday();
  EXPECT_TRUE(now.has_date && now.has_time);
  EXPECT_TRUE(today.has_date);
  EXPECT_FALSE(today.has_time);
  EXPECT_EQ(today.ticks % kTicksPerDay, 0);
  EXPECT_LE(today.ticks, now.ticks);
  // Allow for midnight passing between the two readings.
  EXPECT_LE(now.ticks - today.ticks, 2 * kTicksPerDay);
  EXPECT_GT(DatetimeYear(now), 2000);
}

TEST(Datetime, Valid) {
  EXPECT_TRUE(DatetimeValid(Parsed("1/1/0001")));
  EXPECT_TRUE(DatetimeValid(Parsed("12/31/9999 23:59:59")));
  EXPECT_TRUE(DatetimeValid(Parsed("23:59")));
  EXPECT_FALSE(DatetimeValid(Datetime{INT64_MAX, true, true}));
  EXPECT_FALSE(DatetimeValid(Datetime{INT64_MIN, true, false}));
  EXPECT_FALSE(DatetimeValid(Datetime{kTicksPerDay, false, true}));
  EXPECT_FALSE(DatetimeValid(Datetime{-1, false, true}));
}

TEST(Datetime, FromPartsRejectsImpossible) {
  Datetime value;
  EXPECT_TRUE(DatetimeFromParts(2024, 2, 29, 23, 59, 59, &value));
  EXPECT_EQ(DatetimeFormat(value), "02/29/2024 23:59:59");
  EXPECT_FALSE(DatetimeFromParts(2023, 2, 29, 0, 0, 0, &value));
  EXPECT_FALSE(DatetimeFromParts(2023, 1, 1, 24, 0, 0, &value));
  EXPECT_FALSE(DatetimeFromParts(0, 1, 1, 0, 0, 0, &value));
}

}  // namespace
}  // namespace ledra
