// Built-ins on date-times: the clock, the document's dates, @Date, @Time,
// @Adjust and the parts of a date-time. Date-time arguments may also be
// text that reads as a date-time ("1/1/95").
#include "ledra/formula/builtins.h"

namespace ledra {
namespace {

constexpr char kInvalidDate[] = "Invalid date or time";

Datetime DayOf(Datetime time, int64_t shift) {
  const int64_t day = (time.ticks >= 0 ? time.ticks : time.ticks - kTicksPerDay + 1) / kTicksPerDay;
  return Datetime{(day + shift) * kTicksPerDay, true, false};
}

// Reads the arguments from `first` on as whole numbers.
bool Numbers(const CallFrame& frame, size_t first, size_t count, int64_t* out) {
  for (size_t k = 0; k < count; ++k) {
    if (!BuiltinWholeNumber(frame.args[first + k], &out[k])) return false;
  }
  return true;
}

FormulaValue Part(CallFrame& frame, int (*part)(const DatetimeParts&)) {
  std::vector<Datetime> times;
  FormulaValue error;
  if (!BuiltinTimes(frame, frame.args[0], &times, &error)) return error;
  std::vector<double> out;
  out.reserve(times.size());
  for (const Datetime& time : times) out.push_back(part(DatetimeSplit(time)));
  return FormulaNumberList(std::move(out));
}

bool InIntRange(int64_t v) { return v >= -100000 && v <= 100000; }

}  // namespace

bool BuiltinTimes(const CallFrame& frame, const FormulaValue& value, std::vector<Datetime>* out,
                  FormulaValue* error) {
  if (value.type == FormulaType::kDatetime) {
    *out = value.datetimes;
    return true;
  }
  if (value.type != FormulaType::kText) {
    *error = frame.Error(kNeedTime);
    return false;
  }
  out->clear();
  for (const std::string& text : value.texts) {
    Datetime time;
    if (!DatetimeParse(text, &time)) {
      *error = frame.Error(kNeedTime);
      return false;
    }
    out->push_back(time);
  }
  return true;
}

FormulaValue BuiltinNow(CallFrame& frame) { return FormulaTime(frame.evaluator.Now()); }
FormulaValue BuiltinToday(CallFrame& frame) { return FormulaTime(DayOf(frame.evaluator.Now(), 0)); }
FormulaValue BuiltinYesterday(CallFrame& frame) {
  return FormulaTime(DayOf(frame.evaluator.Now(), -1));
}
FormulaValue BuiltinTomorrow(CallFrame& frame) {
  return FormulaTime(DayOf(frame.evaluator.Now(), 1));
}
FormulaValue BuiltinCreated(CallFrame& frame) {
  return FormulaTime(frame.evaluator.document().Created());
}
FormulaValue BuiltinModified(CallFrame& frame) {
  return FormulaTime(frame.evaluator.document().Modified());
}

// @Date(date-time), @Date(year; month; day) or @Date(year; month; day;
// hour; minute; second): the date alone.
FormulaValue BuiltinDate(CallFrame& frame) {
  const size_t n = frame.args.size();
  if (n == 1) {
    std::vector<Datetime> times;
    FormulaValue error;
    if (!BuiltinTimes(frame, frame.args[0], &times, &error)) return error;
    for (Datetime& time : times) {
      if (!time.has_date) return frame.Error(kInvalidDate);
      time = DayOf(time, 0);
    }
    return FormulaTimeList(std::move(times));
  }
  if (n != 3 && n != 6) return frame.Error(kBadArgument);
  int64_t parts[3];
  if (!Numbers(frame, 0, 3, parts)) return frame.Error(kNeedNumber);
  Datetime date;
  if (!InIntRange(parts[0]) || !InIntRange(parts[1]) || !InIntRange(parts[2]) ||
      !DatetimeFromParts(static_cast<int>(parts[0]), static_cast<int>(parts[1]),
                         static_cast<int>(parts[2]), 0, 0, 0, &date)) {
    return frame.Error(kInvalidDate);
  }
  date.has_time = false;
  return FormulaTime(date);
}

// @Time(date-time): the time of day alone; @Time(hour; minute; second): a
// time of day; @Time(year; month; day; hour; minute; second): a date-time.
FormulaValue BuiltinTime(CallFrame& frame) {
  const size_t n = frame.args.size();
  if (n == 1) {
    std::vector<Datetime> times;
    FormulaValue error;
    if (!BuiltinTimes(frame, frame.args[0], &times, &error)) return error;
    for (Datetime& time : times) {
      if (!time.has_time) return frame.Error(kInvalidDate);
      time.ticks = ((time.ticks % kTicksPerDay) + kTicksPerDay) % kTicksPerDay;
      time.has_date = false;
    }
    return FormulaTimeList(std::move(times));
  }
  if (n != 3 && n != 6) return frame.Error(kBadArgument);
  int64_t parts[6];
  if (!Numbers(frame, 0, n, parts)) return frame.Error(kNeedNumber);
  for (size_t k = 0; k < n; ++k) {
    if (!InIntRange(parts[k])) return frame.Error(kInvalidDate);
  }
  Datetime time;
  if (n == 3) {
    if (!DatetimeFromParts(1970, 1, 1, static_cast<int>(parts[0]), static_cast<int>(parts[1]),
                           static_cast<int>(parts[2]), &time)) {
      return frame.Error(kInvalidDate);
    }
    time.has_date = false;
    return FormulaTime(time);
  }
  if (!DatetimeFromParts(static_cast<int>(parts[0]), static_cast<int>(parts[1]),
                         static_cast<int>(parts[2]), static_cast<int>(parts[3]),
                         static_cast<int>(parts[4]), static_cast<int>(parts[5]), &time)) {
    return frame.Error(kInvalidDate);
  }
  return FormulaTime(time);
}

// @Adjust(date-time; years; months; days; hours; minutes; seconds): every
// element moved; a month end clamps (January 31 + 1 month = February 28).
// A trailing keyword such as [InLocalTime] is accepted: the clock is UTC.
FormulaValue BuiltinAdjust(CallFrame& frame) {
  std::vector<Datetime> times;
  FormulaValue error;
  if (!BuiltinTimes(frame, frame.args[0], &times, &error)) return error;
  int64_t by[6];
  if (!Numbers(frame, 1, 6, by)) return frame.Error(kNeedNumber);
  const DatetimeAdjustment adjustment{by[0], by[1], by[2], by[3], by[4], by[5]};
  for (Datetime& time : times) {
    if (!DatetimeAdjust(&time, adjustment)) return frame.Error(kInvalidDate);
  }
  return FormulaTimeList(std::move(times));
}

FormulaValue BuiltinYear(CallFrame& frame) {
  return Part(frame, [](const DatetimeParts& p) { return p.year; });
}
FormulaValue BuiltinMonth(CallFrame& frame) {
  return Part(frame, [](const DatetimeParts& p) { return p.month; });
}
FormulaValue BuiltinDay(CallFrame& frame) {
  return Part(frame, [](const DatetimeParts& p) { return p.day; });
}
FormulaValue BuiltinHour(CallFrame& frame) {
  return Part(frame, [](const DatetimeParts& p) { return p.hour; });
}
FormulaValue BuiltinMinute(CallFrame& frame) {
  return Part(frame, [](const DatetimeParts& p) { return p.minute; });
}
FormulaValue BuiltinSecond(CallFrame& frame) {
  return Part(frame, [](const DatetimeParts& p) { return p.second; });
}
FormulaValue BuiltinWeekday(CallFrame& frame) {
  return Part(frame, [](const DatetimeParts& p) { return p.weekday; });
}

}  // namespace ledra
