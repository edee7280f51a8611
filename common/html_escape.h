// Escaping of text that lands in generated HTML. Every piece of a request
// or of a document that a page echoes goes through here, in element text
// and in quoted attribute values alike.
#pragma once

#include <string>
#include <string_view>

namespace common {

// "&", "<", ">", '"' and "'" become "&amp;", "&lt;", "&gt;", "&quot;" and
// "&#39;"; every other byte (UTF-8 sequences included) is kept.
std::string HtmlEscape(std::string_view text);
// Appends the escaped text to *out.
void AppendHtmlEscaped(std::string_view text, std::string* out);

// The same for element text and double-quoted attribute values only, where
// an apostrophe ends nothing and stays as it is: "&", "<", ">" and '"'.
// Names that pages show with their apostrophes (view and form names) keep
// their bytes.
std::string HtmlEscapeText(std::string_view text);

}  // namespace common
