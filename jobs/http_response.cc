// Reading fetched responses.
#include "jobs/http_response.h"

#include <cctype>

#include "common/text.h"

namespace jobs {

int ResponseStatus(std::string_view response) {
  size_t line_end = response.find_first_of("\r\n");
  std::string_view line = response.substr(0, line_end);
  size_t blank = line.find(' ');
  if (blank == std::string_view::npos || blank == 0) return -1;
  size_t i = blank;
  while (i < line.size() && line[i] == ' ') ++i;
  int status = 0, digits = 0;
  while (i < line.size() && std::isdigit(static_cast<unsigned char>(line[i])) && digits < 4) {
    status = status * 10 + (line[i++] - '0');
    ++digits;
  }
  if (digits == 0 || digits > 3 || status < 100) return -1;
  if (i < line.size() && line[i] != ' ' && line[i] != '\t') return -1;
  return status;
}

size_t BodyStart(std::string_view response) {
  size_t at = response.find("\r\n\r\n");
  return at == std::string_view::npos ? at : at + 4;
}

bool HeaderValue(std::string_view response, std::string_view name, std::string* value) {
  size_t end = response.find("\r\n\r\n");
  std::string_view headers = response.substr(0, end);
  // A header begins a line.
  size_t from = 0;
  for (;;) {
    size_t at = common::FindText('<', headers.substr(from), name);
    if (at == common::kNotFound) return false;
    at += from;
    if (at > 0 && headers[at - 1] != '\n') {
      from = at + 1;
      continue;
    }
    size_t v = at + name.size();
    while (v < headers.size() && (headers[v] == ' ' || headers[v] == '\t')) ++v;
    size_t stop = headers.find_first_of("\r\n", v);
    *value = std::string(headers.substr(v, stop == std::string_view::npos ? stop : stop - v));
    return true;
  }
}

bool PageTitle(std::string_view body, std::string* title) {
  size_t open = common::FindText('<', body, "<TITLE>");
  if (open == common::kNotFound) return false;
  std::string_view rest = body.substr(open + 7);
  size_t close = common::FindText('<', rest, "</TITLE");
  if (close == common::kNotFound) return false;
  title->assign(rest.substr(0, close));
  for (char& c : *title)
    if (c == '\r' || c == '\n' || c == ',' || c == ';') c = ' ';
  return true;
}

}  // namespace jobs
