// HTTP dates to the platform's date text. An RFC 1123 date
// ("Sun, 06 Nov 1994 08:49:37 GMT") or an RFC 850 date
// ("Sunday, 06-Nov-94 08:49:37 GMT") becomes "11/06/1994 08:49:37 GMT":
// month number, day, year, hour, minute, second; a two-digit year stays two
// digits.
#pragma once

#include <string>
#include <string_view>

namespace common {

// Writes the platform date into *out and returns true; returns false and
// leaves *out empty when the text is not one of the two GMT forms or names
// no known month (the asctime form without "GMT" is not converted).
[[nodiscard]] bool HttpDateToPlatformDate(std::string_view http_date, std::string* out);

}  // namespace common
