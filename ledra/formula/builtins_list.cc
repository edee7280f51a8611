// Built-ins on lists and numbers: @Elements, @Subset, membership, @Replace,
// @Unique, @Sum, @Max, @Min, @Abs, @Integer, @Round, @Modulo. Membership
// compares elements by their text forms, so 1 is a member of "1" : "2";
// it uses hashing, so large lists stay linear.
#include <cmath>
#include <random>
#include <string>
#include <unordered_map>
#include <unordered_set>

#include "ledra/formula/builtins.h"

namespace ledra {
namespace {

constexpr char kSubsetZero[] = "The count of @Subset must not be zero";

std::string Key(const FormulaValue& value, size_t i) {
  if (value.type == FormulaType::kDatetime) {
    // Ticks keep hundredths that the text form drops.
    return "\x01" + std::to_string(value.datetimes[i].ticks);
  }
  return FormulaElementText(value, i);
}

std::unordered_set<std::string> KeySet(const FormulaValue& value) {
  std::unordered_set<std::string> keys;
  keys.reserve(value.size());
  for (size_t i = 0; i < value.size(); ++i) keys.insert(Key(value, i));
  return keys;
}

// Keys of a date-time list and a text list never meet unless the text is
// read as a date-time; membership of mixed lists goes through text.
bool Mixed(const FormulaValue& a, const FormulaValue& b) {
  return a.type != b.type &&
         (a.type == FormulaType::kDatetime || b.type == FormulaType::kDatetime);
}

FormulaValue NumberMap(const CallFrame& frame, const FormulaValue& value, double (*f)(double)) {
  if (value.type != FormulaType::kNumber) return frame.Error(kNeedNumber);
  FormulaValue out = value;
  for (double& number : out.numbers) number = f(number);
  return out;
}

FormulaValue Extreme(CallFrame& frame, bool want_max) {
  for (const FormulaValue& arg : frame.args) {
    if (arg.type != FormulaType::kNumber) return frame.Error(kNeedNumber);
  }
  auto pick = [want_max](double a, double b) { return want_max ? (a > b ? a : b) : (a < b ? a : b); };
  if (frame.args.size() == 1) {
    const auto& numbers = frame.args[0].numbers;
    double best = numbers[0];
    for (double number : numbers) best = pick(best, number);
    return FormulaNumber(best);
  }
  const auto& a = frame.args[0].numbers;
  const auto& b = frame.args[1].numbers;
  const size_t n = a.size() > b.size() ? a.size() : b.size();
  std::vector<double> out;
  out.reserve(n);
  for (size_t k = 0; k < n; ++k) {
    out.push_back(pick(a[k < a.size() ? k : a.size() - 1], b[k < b.size() ? k : b.size() - 1]));
  }
  return FormulaNumberList(std::move(out));
}

}  // namespace

bool BuiltinWholeNumber(const FormulaValue& value, int64_t* out) {
  if (value.type != FormulaType::kNumber || value.numbers.empty()) return false;
  const double number = std::trunc(value.numbers[0]);
  constexpr double kLimit = 1099511627776.0;  // 2^40
  if (!(number >= -kLimit && number <= kLimit)) return false;
  *out = static_cast<int64_t>(number);
  return true;
}

// A single empty text counts as no elements, as an absent item does.
FormulaValue BuiltinElements(CallFrame& frame) {
  const FormulaValue& value = frame.args[0];
  if (FormulaIsEmptyText(value)) return FormulaNumber(0);
  return FormulaNumber(static_cast<double>(value.size()));
}

// @Subset(list; n): the first n elements, or the last -n.
FormulaValue BuiltinSubset(CallFrame& frame) {
  const FormulaValue& list = frame.args[0];
  int64_t n = 0;
  if (!BuiltinWholeNumber(frame.args[1], &n)) return frame.Error(kNeedNumber);
  if (n == 0) return frame.Error(kSubsetZero);
  const size_t size = list.size();
  const size_t wanted = static_cast<size_t>(n > 0 ? n : -n);
  const size_t count = wanted < size ? wanted : size;
  const size_t first = n > 0 ? 0 : size - count;
  FormulaValue out;
  out.type = list.type;
  switch (list.type) {
    case FormulaType::kText:
      out.texts.assign(list.texts.begin() + first, list.texts.begin() + first + count);
      break;
    case FormulaType::kNumber:
      out.numbers.assign(list.numbers.begin() + first, list.numbers.begin() + first + count);
      break;
    case FormulaType::kDatetime:
      out.datetimes.assign(list.datetimes.begin() + first, list.datetimes.begin() + first + count);
      break;
    case FormulaType::kError: return list;
  }
  return out;
}

// @Member(value; list): the 1-based position of the value in the list, 0
// when it is not there.
FormulaValue BuiltinMember(CallFrame& frame) {
  const bool mixed = Mixed(frame.args[0], frame.args[1]);
  const FormulaValue value = mixed ? FormulaAsTextList(frame.args[0]) : frame.args[0];
  const FormulaValue list = mixed ? FormulaAsTextList(frame.args[1]) : frame.args[1];
  const std::string wanted = Key(value, 0);
  for (size_t i = 0; i < list.size(); ++i) {
    if (Key(list, i) == wanted) return FormulaNumber(static_cast<double>(i + 1));
  }
  return FormulaNumber(0);
}

// @IsMember: every element of the first list is in the second.
FormulaValue BuiltinIsMember(CallFrame& frame) {
  const bool mixed = Mixed(frame.args[0], frame.args[1]);
  const FormulaValue values = mixed ? FormulaAsTextList(frame.args[0]) : frame.args[0];
  const FormulaValue list = mixed ? FormulaAsTextList(frame.args[1]) : frame.args[1];
  const auto keys = KeySet(list);
  for (size_t i = 0; i < values.size(); ++i) {
    if (keys.count(Key(values, i)) == 0) return FormulaNumber(0);
  }
  return FormulaNumber(1);
}

// @IsNotMember: no element of the first list is in the second.
FormulaValue BuiltinIsNotMember(CallFrame& frame) {
  const bool mixed = Mixed(frame.args[0], frame.args[1]);
  const FormulaValue values = mixed ? FormulaAsTextList(frame.args[0]) : frame.args[0];
  const FormulaValue list = mixed ? FormulaAsTextList(frame.args[1]) : frame.args[1];
  const auto keys = KeySet(list);
  for (size_t i = 0; i < values.size(); ++i) {
    if (keys.count(Key(values, i)) != 0) return FormulaNumber(0);
  }
  return FormulaNumber(1);
}

// @Replace(list; from; to): each element equal to from[k] becomes to[k],
// or "" when the to list is shorter.
FormulaValue BuiltinReplace(CallFrame& frame) {
  const FormulaValue& source = frame.args[0];
  const FormulaValue& from = frame.args[1];
  const FormulaValue& to = frame.args[2];
  if (source.type != FormulaType::kText || from.type != FormulaType::kText ||
      to.type != FormulaType::kText) {
    return frame.Error(kNeedText);
  }
  std::unordered_map<std::string, size_t> index;
  for (size_t k = 0; k < from.texts.size(); ++k) index.emplace(from.texts[k], k);
  FormulaValue out = source;
  size_t total = FormulaTextBytes(source);
  for (std::string& text : out.texts) {
    auto it = index.find(text);
    if (it == index.end()) continue;
    const std::string& with = it->second < to.texts.size() ? to.texts[it->second] : std::string();
    total += with.size();
    if (total > kFormulaMaxTextBytes) return frame.Error(kValueTooLarge);
    text = with;
  }
  return out;
}

// @Unique(list): the list without repeats, first occurrences kept in order.
// Without an argument: a text unique to this call.
FormulaValue BuiltinUnique(CallFrame& frame) {
  if (frame.args.empty()) {
    static std::mt19937_64 generator{std::random_device{}()};
    static uint64_t counter = 0;
    char buffer[40];
    std::snprintf(buffer, sizeof buffer, "%016llX-%08llX",
                  static_cast<unsigned long long>(generator()),
                  static_cast<unsigned long long>(++counter & 0xffffffffu));
    return FormulaText(buffer);
  }
  const FormulaValue& list = frame.args[0];
  FormulaValue out;
  out.type = list.type;
  std::unordered_set<std::string> seen;
  for (size_t i = 0; i < list.size(); ++i) {
    if (!seen.insert(Key(list, i)).second) continue;
    switch (list.type) {
      case FormulaType::kText: out.texts.push_back(list.texts[i]); break;
      case FormulaType::kNumber: out.numbers.push_back(list.numbers[i]); break;
      case FormulaType::kDatetime: out.datetimes.push_back(list.datetimes[i]); break;
      case FormulaType::kError: return list;
    }
  }
  return out;
}

FormulaValue BuiltinSum(CallFrame& frame) {
  double sum = 0;
  for (const FormulaValue& arg : frame.args) {
    if (arg.type != FormulaType::kNumber) return frame.Error(kNeedNumber);
    for (double number : arg.numbers) sum += number;
  }
  if (!std::isfinite(sum)) return frame.Error(kBadArgument);
  return FormulaNumber(sum);
}

FormulaValue BuiltinMax(CallFrame& frame) { return Extreme(frame, true); }
FormulaValue BuiltinMin(CallFrame& frame) { return Extreme(frame, false); }

FormulaValue BuiltinAbs(CallFrame& frame) {
  return NumberMap(frame, frame.args[0], [](double x) { return std::fabs(x); });
}

FormulaValue BuiltinInteger(CallFrame& frame) {
  return NumberMap(frame, frame.args[0], [](double x) { return std::trunc(x); });
}

// @Round(n; factor): to the nearest multiple of factor (1 by default).
FormulaValue BuiltinRound(CallFrame& frame) {
  double factor = 1;
  if (frame.args.size() > 1) {
    if (frame.args[1].type != FormulaType::kNumber) return frame.Error(kNeedNumber);
    factor = frame.args[1].numbers[0];
    if (factor == 0) return frame.Error(kBadArgument);
  }
  if (frame.args[0].type != FormulaType::kNumber) return frame.Error(kNeedNumber);
  FormulaValue out = frame.args[0];
  for (double& number : out.numbers) {
    number = std::round(number / factor) * factor;
    if (!std::isfinite(number)) return frame.Error(kBadArgument);
  }
  return out;
}

// @Modulo(n; d): the remainder of n / d, with the sign of n; pairwise.
FormulaValue BuiltinModulo(CallFrame& frame) {
  const FormulaValue& a = frame.args[0];
  const FormulaValue& b = frame.args[1];
  if (a.type != FormulaType::kNumber || b.type != FormulaType::kNumber) {
    return frame.Error(kNeedNumber);
  }
  const size_t n = a.size() > b.size() ? a.size() : b.size();
  std::vector<double> out;
  out.reserve(n);
  for (size_t k = 0; k < n; ++k) {
    const double x = a.numbers[k < a.size() ? k : a.size() - 1];
    const double y = b.numbers[k < b.size() ? k : b.size() - 1];
    if (y == 0) return frame.Error("Division by zero");
    out.push_back(std::fmod(x, y));
  }
  return FormulaNumberList(std::move(out));
}

}  // namespace ledra
