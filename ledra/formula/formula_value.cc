// Formula values: construction, bounds, and the text forms of numbers and
// date-times.
#include "ledra/formula/formula_value.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace ledra {

size_t FormulaValue::size() const {
  switch (type) {
    case FormulaType::kText: return texts.size();
    case FormulaType::kNumber: return numbers.size();
    case FormulaType::kDatetime: return datetimes.size();
    case FormulaType::kError: return 1;
  }
  return 0;
}

FormulaValue FormulaText(std::string text) {
  FormulaValue value;
  value.texts.push_back(std::move(text));
  return value;
}

FormulaValue FormulaTextList(std::vector<std::string> texts) {
  FormulaValue value;
  value.texts = std::move(texts);
  FormulaNormalize(&value);
  return value;
}

FormulaValue FormulaNumber(double number) {
  FormulaValue value;
  value.type = FormulaType::kNumber;
  value.numbers.push_back(number);
  return value;
}

FormulaValue FormulaNumberList(std::vector<double> numbers) {
  FormulaValue value;
  value.type = FormulaType::kNumber;
  value.numbers = std::move(numbers);
  FormulaNormalize(&value);
  return value;
}

FormulaValue FormulaTime(Datetime time) {
  FormulaValue value;
  value.type = FormulaType::kDatetime;
  value.datetimes.push_back(time);
  return value;
}

FormulaValue FormulaTimeList(std::vector<Datetime> times) {
  FormulaValue value;
  value.type = FormulaType::kDatetime;
  value.datetimes = std::move(times);
  FormulaNormalize(&value);
  return value;
}

FormulaValue FormulaBool(bool truth) { return FormulaNumber(truth ? 1 : 0); }

FormulaValue FormulaErrorValue(std::string message, uint32_t position) {
  FormulaValue value;
  value.type = FormulaType::kError;
  value.error = std::move(message);
  value.error_position = position;
  return value;
}

const FormulaValue& FormulaEmpty() {
  static const FormulaValue kEmpty = FormulaText("");
  return kEmpty;
}

void FormulaNormalize(FormulaValue* value) {
  if (value->size() != 0) return;
  switch (value->type) {
    case FormulaType::kText: value->texts.emplace_back(); break;
    case FormulaType::kNumber: value->numbers.push_back(0); break;
    case FormulaType::kDatetime:
      // A list of no date-times reads as the empty text, as an absent item.
      *value = FormulaEmpty();
      break;
    case FormulaType::kError: break;
  }
}

bool FormulaIsEmptyText(const FormulaValue& value) {
  return value.type == FormulaType::kText && value.texts.size() == 1 && value.texts[0].empty();
}

size_t FormulaTextBytes(const FormulaValue& value) {
  size_t bytes = 0;
  for (const std::string& text : value.texts) bytes += text.size();
  return bytes + value.error.size();
}

bool FormulaWithinBounds(const FormulaValue& value) {
  return value.size() <= kFormulaMaxElements && FormulaTextBytes(value) <= kFormulaMaxTextBytes;
}

std::string FormulaFormatNumber(double number) {
  if (number == 0) return "0";  // also -0
  char buffer[64];
  if (std::fabs(number) < 1e15 && number == std::trunc(number)) {
    std::snprintf(buffer, sizeof buffer, "%.0f", number);
  } else {
    std::snprintf(buffer, sizeof buffer, "%.15g", number);
  }
  return buffer;
}

bool FormulaParseNumber(std::string_view text, double* out) {
  size_t i = 0;
  const size_t n = text.size();
  while (i < n && (text[i] == ' ' || text[i] == '\t')) ++i;
  const size_t start = i;
  if (i < n && (text[i] == '+' || text[i] == '-')) ++i;
  size_t digits = 0;
  while (i < n && text[i] >= '0' && text[i] <= '9') ++i, ++digits;
  if (i < n && text[i] == '.') {
    ++i;
    while (i < n && text[i] >= '0' && text[i] <= '9') ++i, ++digits;
  }
  if (digits == 0) return false;
  if (i < n && (text[i] == 'e' || text[i] == 'E')) {
    size_t j = i + 1;
    if (j < n && (text[j] == '+' || text[j] == '-')) ++j;
    size_t exponent_digits = 0;
    while (j < n && text[j] >= '0' && text[j] <= '9') ++j, ++exponent_digits;
    if (exponent_digits == 0) return false;
    i = j;
  }
  const size_t end = i;
  while (i < n && (text[i] == ' ' || text[i] == '\t')) ++i;
  if (i != n) return false;
  const std::string copy(text.substr(start, end - start));
  const double number = std::strtod(copy.c_str(), nullptr);
  if (!std::isfinite(number)) return false;
  *out = number;
  return true;
}

std::string FormulaElementText(const FormulaValue& value, size_t i) {
  switch (value.type) {
    case FormulaType::kText: return value.texts[i];
    case FormulaType::kNumber: return FormulaFormatNumber(value.numbers[i]);
    case FormulaType::kDatetime: return DatetimeFormat(value.datetimes[i]);
    case FormulaType::kError: return value.error;
  }
  return std::string();
}

std::string FormulaToText(const FormulaValue& value, std::string_view separator) {
  std::string out;
  for (size_t i = 0; i < value.size(); ++i) {
    if (i > 0) out.append(separator);
    out += FormulaElementText(value, i);
  }
  return out;
}

FormulaValue FormulaAsTextList(const FormulaValue& value) {
  if (value.type == FormulaType::kText || value.IsError()) return value;
  FormulaValue out;
  out.texts.reserve(value.size());
  for (size_t i = 0; i < value.size(); ++i) out.texts.push_back(FormulaElementText(value, i));
  FormulaNormalize(&out);
  return out;
}

const char* FormulaTypeName(FormulaType type) {
  switch (type) {
    case FormulaType::kText: return "text";
    case FormulaType::kNumber: return "number";
    case FormulaType::kDatetime: return "date-time";
    case FormulaType::kError: return "error";
  }
  return "?";
}

bool FormulaEquals(const FormulaValue& a, const FormulaValue& b) {
  if (a.type != b.type) return false;
  switch (a.type) {
    case FormulaType::kText: return a.texts == b.texts;
    case FormulaType::kNumber: return a.numbers == b.numbers;
    case FormulaType::kDatetime:
      if (a.datetimes.size() != b.datetimes.size()) return false;
      for (size_t i = 0; i < a.datetimes.size(); ++i) {
        const Datetime& x = a.datetimes[i];
        const Datetime& y = b.datetimes[i];
        if (x.ticks != y.ticks || x.has_date != y.has_date || x.has_time != y.has_time) return false;
      }
      return true;
    case FormulaType::kError: return a.error == b.error && a.error_position == b.error_position;
  }
  return false;
}

}  // namespace ledra
