// Prints every URL of tests/engine/url_cases.h with its browser form, one
// pair a line separated by a tab, for the browser suite to check with
// Chromium's URL parser. Pairs whose classic text holds a tab or a line
// end are left out.
#include <cstdio>
#include <string>

#include "engine/url_mapping.h"
#include "tests/engine/url_cases.h"

int main() {
  for (const std::string& url : url_cases::AllUrls()) {
    std::optional<std::string> browser = engine::ToBrowserUrl(url, "/opt/corvane prog");
    if (!browser || url.find_first_of("\t\r\n") != std::string::npos) continue;
    std::printf("%s\t%s\n", url.c_str(), browser->c_str());
  }
  return 0;
}
