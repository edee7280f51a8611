// Reading a fetched HTTP response as the crawl needs it: its status, the
// end of its header block, header values, and a page's title.
#pragma once

#include <string>
#include <string_view>

namespace jobs {

// The status number of the first line ("HTTP/1.0 200 OK" gives 200): the
// second word, when it is a number from 100 to 999; -1 when the response
// has no such status line.
int ResponseStatus(std::string_view response);

// The offset just past the first "\r\n\r\n" (the body's start);
// std::string_view::npos when there is none.
size_t BodyStart(std::string_view response);

// The value of the header `name` (given with its colon, such as
// "Content-type:", letter case ignored) within the header block: the text
// after the colon and any blanks, up to the line end. False when absent.
bool HeaderValue(std::string_view response, std::string_view name, std::string* value);

// The text between "<TITLE>" and the next "</TITLE" (letter case ignored),
// with carriage returns, line feeds, commas and semicolons made blanks.
// False when the page has no title.
bool PageTitle(std::string_view body, std::string* title);

}  // namespace jobs
