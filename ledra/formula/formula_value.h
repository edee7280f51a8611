// The values of the formula language: a list of one type (text, number or
// date-time), or an error. A one-element list is a plain value. Errors are
// values too: they carry a message and the position (1-based byte offset
// into the formula text) of the expression that failed, and pass through
// every operator and @function that meets them.
#ifndef LEDRA_FORMULA_FORMULA_VALUE_H_
#define LEDRA_FORMULA_FORMULA_VALUE_H_

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "ledra/datetime.h"

namespace ledra {

enum class FormulaType : uint8_t { kText = 0, kNumber = 1, kDatetime = 2, kError = 3 };

// Bounds that keep one evaluation finite in memory: no list has more
// elements, and no value holds more bytes of text, than these. An operation
// that would exceed them gives an error value instead.
inline constexpr size_t kFormulaMaxElements = 65535;
inline constexpr size_t kFormulaMaxTextBytes = size_t{4} << 20;

struct FormulaValue {
  FormulaType type = FormulaType::kText;
  std::vector<std::string> texts;     // kText
  std::vector<double> numbers;        // kNumber
  std::vector<Datetime> datetimes;    // kDatetime
  std::string error;                  // kError: the message
  uint32_t error_position = 0;        // kError: where in the formula

  size_t size() const;
  bool IsError() const { return type == FormulaType::kError; }
};

FormulaValue FormulaText(std::string text);
FormulaValue FormulaTextList(std::vector<std::string> texts);
FormulaValue FormulaNumber(double number);
FormulaValue FormulaNumberList(std::vector<double> numbers);
FormulaValue FormulaTime(Datetime value);
FormulaValue FormulaTimeList(std::vector<Datetime> values);
FormulaValue FormulaBool(bool value);
FormulaValue FormulaErrorValue(std::string message, uint32_t position);

// The empty text, the value of an absent item.
const FormulaValue& FormulaEmpty();

// Gives an empty list its one empty element of the list's type ("" or 0):
// the language has no empty lists.
void FormulaNormalize(FormulaValue* value);

// True when the value is the single empty text.
bool FormulaIsEmptyText(const FormulaValue& value);

// Total bytes of text the value holds (0 for other types).
size_t FormulaTextBytes(const FormulaValue& value);

// True when the value stays within kFormulaMaxElements and
// kFormulaMaxTextBytes.
bool FormulaWithinBounds(const FormulaValue& value);

// Numbers as the language writes them: integers without a decimal point,
// others with up to 15 significant digits.
std::string FormulaFormatNumber(double number);

// Reads a number written as text: optional blanks, sign, digits with an
// optional decimal point and exponent. Returns false for anything else
// (including an empty text), leaving *out unchanged.
[[nodiscard]] bool FormulaParseNumber(std::string_view text, double* out);

// The text form of element i of a value (numbers and date-times formatted).
std::string FormulaElementText(const FormulaValue& value, size_t i);

// The whole value as text, elements joined with separator (";" by default,
// as the `ledra eval` tool prints lists).
std::string FormulaToText(const FormulaValue& value, std::string_view separator = ";");

// The value as a text list of the same length.
FormulaValue FormulaAsTextList(const FormulaValue& value);

// "text", "number", "date-time" or "error".
const char* FormulaTypeName(FormulaType type);

bool FormulaEquals(const FormulaValue& a, const FormulaValue& b);

}  // namespace ledra

#endif  // LEDRA_FORMULA_FORMULA_VALUE_H_
