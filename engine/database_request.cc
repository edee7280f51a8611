// Parsing of [kv] URLs.
#include "engine/database_request.h"

#include "common/text.h"

namespace engine {

namespace {

constexpr size_t kNone = std::string::npos;

// The segment that begins after the "/" found at or after `from`, ending at
// `end_mark` (or the end of the URL). Writes where the segment ends into
// *after. False when there is no "/" or nothing follows it.
bool NextSegment(const std::string& url, size_t from, char end_mark, std::string* segment,
                 size_t* after) {
  size_t slash = url.find('/', from);
  if (slash == kNone || slash + 1 >= url.size()) return false;
  size_t end = url.find(end_mark, slash + 1);
  if (end == kNone) end = url.size();
  *segment = url.substr(slash + 1, end - slash - 1);
  *after = end;
  return true;
}

}  // namespace

std::unique_ptr<DatabaseRequest> ParseDatabaseRequest(std::string_view raw, RequestEntry* entry) {
  size_t line_end = raw.find_first_of("\r\n");
  std::string_view line = raw.substr(0, line_end);
  int slashes = 0;
  for (char c : line) {
    if (c == '/' && ++slashes >= 9) break;
  }
  if (slashes < 3) return nullptr;

  // The URL starts at the first "h" after the first blank of the request
  // line and runs to the line's end, less a trailing " HTTP/x.y".
  size_t blank = line.find(' ');
  if (blank == kNone) return nullptr;
  size_t start = line.find('h', blank + 1);
  if (start == kNone) return nullptr;
  std::string url(line.substr(start));
  size_t last_blank = url.rfind(' ');
  if (last_blank != kNone &&
      common::StartsWithNoCase(std::string_view(url).substr(last_blank + 1), "HTTP/")) {
    url.resize(last_blank);
  }

  auto request = std::make_unique<DatabaseRequest>();
  request->entry = entry;
  request->method = std::string(line.substr(0, blank));
  url = common::PercentDecode(url);
  request->url = url;

  // Each field is read only when the one before found its "/" and text
  // after it; the rest stay absent.
  size_t bracket = url.find(']');
  std::string text;
  size_t after = 0;
  if (bracket == kNone || !NextSegment(url, bracket, ':', &text, &after)) return request;
  request->server = text;
  if (after >= url.size()) return request;
  if (!NextSegment(url, after, ':', &text, &after)) return request;
  for (char& c : text)
    if (c == '/') c = '\\';
  common::LowerCaseInPlace(text);
  request->database = text;
  if (after >= url.size()) return request;
  std::optional<std::string>* fields[] = {&request->command, &request->argument1,
                                          &request->argument2, &request->argument3,
                                          &request->argument4};
  for (std::optional<std::string>* field : fields) {
    if (!NextSegment(url, after, '/', &text, &after)) return request;
    *field = text;
  }
  common::LowerCaseInPlace(*request->argument4);

  size_t brace = url.find('{', after);
  if (brace != kNone && brace + 1 < url.size()) {
    size_t close = url.rfind('}');
    if (close != kNone && close > brace + 1)
      request->returnUrl = url.substr(brace + 1, close - brace - 1);
  }
  return request;
}

}  // namespace engine
