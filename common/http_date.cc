// HTTP date conversion.
#include "common/http_date.h"

#include <vector>

#include "common/text.h"

namespace common {

// Splits `text` by the separators in order: field i ends at separators[i].
// The last field runs to the end. False when a separator is missing or a
// field is empty.
static bool SplitFields(std::string_view text, std::string_view separators,
                        std::vector<std::string>* fields) {
  size_t at = 0;
  for (char separator : separators) {
    size_t end = text.find(separator, at);
    if (end == std::string_view::npos || end == at) return false;
    fields->emplace_back(text.substr(at, end - at));
    at = end + 1;
  }
  if (at >= text.size()) return false;
  fields->emplace_back(text.substr(at));
  return true;
}

bool HttpDateToPlatformDate(std::string_view http_date, std::string* out) {
  out->clear();
  size_t gmt = http_date.find("GMT");
  if (gmt == std::string_view::npos) return false;
  // What precedes " GMT": weekday, day, month, year and the time.
  std::string_view text = http_date.substr(0, gmt);
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  std::vector<std::string> fields;
  std::string month;
  if (http_date.find('-') != std::string_view::npos) {
    // Sunday, 06-Nov-94 08:49:37
    if (!SplitFields(text, " -- ::", &fields)) return false;
  } else {
    // Sun, 06 Nov 1994 08:49:37
    if (!SplitFields(text, "    ::", &fields)) return false;
  }
  if (fields.size() != 7) return false;
  month = fields[2];
  LowerCaseInPlace(month);
  static constexpr std::string_view kMonths = "   janfebmaraprmayjunjulaugsepoctnovdec";
  size_t position = month.size() == 3 ? kMonths.find(month) : std::string_view::npos;
  if (position == std::string_view::npos || position % 3 != 0 || position == 0) return false;
  *out = std::to_string(position / 3) + "/" + fields[1] + "/" + fields[3] + " " + fields[4] + ":" +
         fields[5] + ":" + fields[6] + " GMT";
  return true;
}

}  // namespace common
