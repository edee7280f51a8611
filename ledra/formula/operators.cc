// The operators of the formula language on list values: comparisons (with
// text converted to the other side's type), arithmetic, text concatenation
// with +, and list concatenation with ':'.
#include <cmath>

#include "ledra/formula/evaluator.h"

namespace ledra {
namespace {

constexpr char kTypeMismatch[] = "Incorrect data type for operator";
constexpr char kDivisionByZero[] = "Division by zero";
constexpr char kOutOfRange[] = "Number or date-time out of range";
constexpr char kTooLarge[] = "Value exceeds the size limit of a list";

enum class Order { kLess, kEqual, kGreater, kUnordered };

template <typename T>
Order OrderOf(const T& a, const T& b) {
  if (a < b) return Order::kLess;
  return b < a ? Order::kGreater : Order::kEqual;
}

Order Flip(Order order) {
  if (order == Order::kLess) return Order::kGreater;
  if (order == Order::kGreater) return Order::kLess;
  return order;
}

bool IsPermuted(Op op) {
  switch (op) {
    case Op::kPermutedEqual: case Op::kPermutedNotEqual: case Op::kPermutedLess:
    case Op::kPermutedGreater: case Op::kPermutedLessEqual: case Op::kPermutedGreaterEqual:
    case Op::kPermutedAdd: case Op::kPermutedMultiply: case Op::kPermutedDivide:
      return true;
    default:
      return false;
  }
}

// The plain operator a permuted one applies to every pair.
Op BaseOf(Op op) {
  switch (op) {
    case Op::kPermutedEqual: return Op::kEqual;
    case Op::kPermutedNotEqual: case Op::kNotEqualAlt: return Op::kNotEqual;
    case Op::kPermutedLess: return Op::kLess;
    case Op::kPermutedGreater: return Op::kGreater;
    case Op::kPermutedLessEqual: return Op::kLessEqual;
    case Op::kPermutedGreaterEqual: return Op::kGreaterEqual;
    case Op::kPermutedAdd: return Op::kAdd;
    case Op::kPermutedMultiply: return Op::kMultiply;
    case Op::kPermutedDivide: return Op::kDivide;
    default: return op;
  }
}

// Text meets a number or a date-time: the text is read as the other type;
// a text that cannot be read is unordered (equal to nothing).
Order TextAgainst(const std::string& text, const FormulaValue& other, size_t j) {
  if (other.type == FormulaType::kNumber) {
    double number = 0;
    if (!FormulaParseNumber(text, &number)) return Order::kUnordered;
    return OrderOf(number, other.numbers[j]);
  }
  Datetime time;
  if (!DatetimeParse(text, &time)) return Order::kUnordered;
  return OrderOf(time.ticks, other.datetimes[j].ticks);
}

Order PairOrder(const FormulaValue& a, size_t i, const FormulaValue& b, size_t j) {
  if (a.type == b.type) {
    switch (a.type) {
      case FormulaType::kText: {
        const int c = a.texts[i].compare(b.texts[j]);
        return c < 0 ? Order::kLess : (c > 0 ? Order::kGreater : Order::kEqual);
      }
      case FormulaType::kNumber: return OrderOf(a.numbers[i], b.numbers[j]);
      case FormulaType::kDatetime: return OrderOf(a.datetimes[i].ticks, b.datetimes[j].ticks);
      case FormulaType::kError: return Order::kUnordered;
    }
  }
  if (a.type == FormulaType::kText) return TextAgainst(a.texts[i], b, j);
  return Flip(TextAgainst(b.texts[j], a, i));
}

bool Satisfies(Op base, Order order) {
  switch (base) {
    case Op::kEqual: return order == Order::kEqual;
    case Op::kNotEqual: return order != Order::kEqual;
    case Op::kLess: return order == Order::kLess;
    case Op::kGreater: return order == Order::kGreater;
    case Op::kLessEqual: return order == Order::kLess || order == Order::kEqual;
    case Op::kGreaterEqual: return order == Order::kGreater || order == Order::kEqual;
    default: return false;
  }
}

bool AddSeconds(const Datetime& start, double seconds, Datetime* out) {
  if (!(std::fabs(seconds) < 1e12)) return false;
  Datetime result = start;
  result.ticks += std::llround(seconds * kTicksPerSecond);
  if (!result.has_date) {
    result.ticks = ((result.ticks % kTicksPerDay) + kTicksPerDay) % kTicksPerDay;
  } else {
    const int year = DatetimeYear(result);
    if (year < 1 || year > 9999) return false;
  }
  *out = result;
  return true;
}

// Result type of a + b (or a - b), or kError when the types do not mix.
FormulaType ArithmeticType(Op base, FormulaType a, FormulaType b) {
  using T = FormulaType;
  if (a == T::kNumber && b == T::kNumber) return T::kNumber;
  switch (base) {
    case Op::kAdd:
      if (a == T::kText && b == T::kText) return T::kText;
      if ((a == T::kDatetime && b == T::kNumber) || (a == T::kNumber && b == T::kDatetime)) {
        return T::kDatetime;
      }
      return T::kError;
    case Op::kSubtract:
      if (a == T::kDatetime && b == T::kNumber) return T::kDatetime;
      if (a == T::kDatetime && b == T::kDatetime) return T::kNumber;
      return T::kError;
    default:
      return T::kError;
  }
}

}  // namespace

int FormulaCompare(Op op, const FormulaValue& a, const FormulaValue& b, uint32_t position,
                   FormulaValue* error) {
  if (a.IsError() || b.IsError()) {
    *error = a.IsError() ? a : b;
    return -1;
  }
  const bool mixable = a.type == b.type || a.type == FormulaType::kText ||
                       b.type == FormulaType::kText;
  if (!mixable) {
    *error = FormulaErrorValue(kTypeMismatch, position);
    return -1;
  }
  const Op base = BaseOf(op);
  const size_t sa = a.size(), sb = b.size();
  if (sa == 0 || sb == 0) return 0;
  if (IsPermuted(op)) {
    if (static_cast<uint64_t>(sa) * sb > kFormulaMaxPermutedPairs) {
      *error = FormulaErrorValue(kTooLarge, position);
      return -1;
    }
    for (size_t i = 0; i < sa; ++i) {
      for (size_t j = 0; j < sb; ++j) {
        if (Satisfies(base, PairOrder(a, i, b, j))) return 1;
      }
    }
    return 0;
  }
  const size_t n = sa > sb ? sa : sb;
  for (size_t k = 0; k < n; ++k) {
    const size_t i = k < sa ? k : sa - 1;
    const size_t j = k < sb ? k : sb - 1;
    if (Satisfies(base, PairOrder(a, i, b, j))) return 1;
  }
  return 0;
}

FormulaValue FormulaArithmetic(Op op, const FormulaValue& a, const FormulaValue& b,
                               uint32_t position) {
  if (a.IsError()) return a;
  if (b.IsError()) return b;
  const Op base = BaseOf(op);
  const FormulaType type = ArithmeticType(base, a.type, b.type);
  if (type == FormulaType::kError) return FormulaErrorValue(kTypeMismatch, position);
  const size_t sa = a.size(), sb = b.size();
  const bool permuted = IsPermuted(op);
  if (sa == 0 || sb == 0) return FormulaEmpty();
  if (permuted && sa > kFormulaMaxElements / sb) return FormulaErrorValue(kTooLarge, position);
  const size_t n = permuted ? sa * sb : (sa > sb ? sa : sb);
  if (n > kFormulaMaxElements) return FormulaErrorValue(kTooLarge, position);
  auto index_a = [&](size_t k) { return permuted ? k / sb : (k < sa ? k : sa - 1); };
  auto index_b = [&](size_t k) { return permuted ? k % sb : (k < sb ? k : sb - 1); };

  FormulaValue result;
  result.type = type;
  if (type == FormulaType::kText) {
    size_t bytes = 0;
    for (size_t k = 0; k < n; ++k) {
      bytes += a.texts[index_a(k)].size() + b.texts[index_b(k)].size();
      if (bytes > kFormulaMaxTextBytes) return FormulaErrorValue(kTooLarge, position);
    }
    result.texts.reserve(n);
    for (size_t k = 0; k < n; ++k) result.texts.push_back(a.texts[index_a(k)] + b.texts[index_b(k)]);
    return result;
  }
  if (type == FormulaType::kDatetime) {
    result.datetimes.reserve(n);
    for (size_t k = 0; k < n; ++k) {
      const bool time_first = a.type == FormulaType::kDatetime;
      const Datetime& start = time_first ? a.datetimes[index_a(k)] : b.datetimes[index_b(k)];
      double seconds = time_first ? b.numbers[index_b(k)] : a.numbers[index_a(k)];
      if (base == Op::kSubtract) seconds = -seconds;
      Datetime moved;
      if (!AddSeconds(start, seconds, &moved)) return FormulaErrorValue(kOutOfRange, position);
      result.datetimes.push_back(moved);
    }
    return result;
  }
  result.numbers.reserve(n);
  for (size_t k = 0; k < n; ++k) {
    double number = 0;
    if (a.type == FormulaType::kDatetime) {
      const int64_t ticks = a.datetimes[index_a(k)].ticks - b.datetimes[index_b(k)].ticks;
      number = static_cast<double>(ticks) / kTicksPerSecond;
    } else {
      const double x = a.numbers[index_a(k)];
      const double y = b.numbers[index_b(k)];
      switch (base) {
        case Op::kAdd: number = x + y; break;
        case Op::kSubtract: number = x - y; break;
        case Op::kMultiply: number = x * y; break;
        case Op::kDivide:
          if (y == 0) return FormulaErrorValue(kDivisionByZero, position);
          number = x / y;
          break;
        default: return FormulaErrorValue(kTypeMismatch, position);
      }
    }
    if (!std::isfinite(number)) return FormulaErrorValue(kOutOfRange, position);
    result.numbers.push_back(number);
  }
  return result;
}

FormulaValue FormulaConcatenate(const FormulaValue& a, const FormulaValue& b, uint32_t position) {
  if (a.IsError()) return a;
  if (b.IsError()) return b;
  if (a.type != b.type) return FormulaErrorValue(kTypeMismatch, position);
  if (a.size() + b.size() > kFormulaMaxElements ||
      FormulaTextBytes(a) + FormulaTextBytes(b) > kFormulaMaxTextBytes) {
    return FormulaErrorValue(kTooLarge, position);
  }
  FormulaValue result = a;
  result.texts.insert(result.texts.end(), b.texts.begin(), b.texts.end());
  result.numbers.insert(result.numbers.end(), b.numbers.begin(), b.numbers.end());
  result.datetimes.insert(result.datetimes.end(), b.datetimes.begin(), b.datetimes.end());
  return result;
}

}  // namespace ledra
