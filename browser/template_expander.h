// The template expander: copies a template, replacing each context variable
// ("$WCTX_" and a name, compared without regard to case, in the order of the
// table in template_expander.cc) with its value from an action context.
//
// Values are written as they are, except those that carry text of the
// request: ServerName, DBFileName, Adverb, Kind, RefererURL and SelfURL are
// escaped for HTML ("&" "<" ">" '"' "'"), which reads the same in an
// attribute or in text. Inside a <script> element the escaped form stays
// as it is written, so templates put these values into attributes.
//
// Include: reads files inside the program folder only. A template may come
// from a database on another server, so a name that would leave the program
// folder ("/etc/passwd", "../../x", a link pointing out) includes nothing.
// Includes nest at most kMaxIncludeDepth deep, so a file that includes
// itself ends.
#pragma once

#include <string>
#include <string_view>

#include "browser/action_context.h"

namespace browser {

inline constexpr char kVariableMarker[] = "$WCTX_";
inline constexpr int kMaxIncludeDepth = 8;
inline constexpr size_t kJsItemLimit = 2048;

// Appends the expansion of text to out.
void ExpandTemplate(const ActionContext& context, std::string_view text, std::string* out);

// The file an Include: name reads: "htmdata/" + name in the program folder,
// or else the name itself; "" when neither exists inside the program folder.
std::string IncludedFilePath(const std::string& program_dir, const std::string& name);

// The text written for a JavaScript string: "'", "\"" and "\\" preceded by
// "\\", each newline written "<br>" and a carriage return before it dropped.
std::string JavaScriptText(std::string_view text);

}  // namespace browser
