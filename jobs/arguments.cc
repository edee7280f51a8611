// The job task's argument.
#include "jobs/arguments.h"

#include <cctype>
#include <string>

namespace jobs {

namespace {

// Leading blanks, an optional sign, digits; 0 when there are none. The
// value saturates instead of overflowing.
long DecimalValue(std::string_view text) {
  size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  long value = 0;
  for (; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); ++i) {
    if (value > 0x7FFFFFFF) break;
    value = value * 10 + (text[i] - '0');
  }
  return negative ? -value : value;
}

}  // namespace

VXNoteId ScheduleIdFromArgument(std::string_view argument) {
  long value = DecimalValue(argument);
  if (value == 0) {
    size_t at = argument.find("/D/");
    if (at == std::string_view::npos) at = argument.find("/E/");
    if (at != std::string_view::npos) value = DecimalValue(argument.substr(at + 3));
  }
  // Note ids are positive 32-bit numbers; anything else names no document.
  if (value <= 0 || value > 0xFFFFFFFFL) return 0;
  return static_cast<VXNoteId>(value);
}

}  // namespace jobs
