// The error page that the database pages write on a platform failure, and
// the page for a database URL that cannot be read.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

#include "engine/thread_handle.h"

namespace engine {

inline constexpr char kErrorPageFormat[] = "<html><DT><H2>Ledra Error:</H2><DT><DT>%s<DT>";
inline constexpr char kNoErrorText[] = "Could not perform requested action.";
inline constexpr char kOfflineRedirectFormat[] =
    "HTTP/1.0 302 Temporarily Moved\r\nLocation: file://%s/htmdata/offline.htm\r\n\r\n";
inline constexpr char kBadDatabaseUrlPage[] = "<html>\n\nSorry, bad Corvane URL format.\n";
inline constexpr char kBadReplicaUrlPage[] = "\n\nSorry, bad Corvane URL format.\n";

// The platform's error text as the error page shows it: files below the
// program folder named relative to it (the page would otherwise tell any
// page that reads it where the program lives), and escaped for HTML (the
// text may name a database from the URL).
std::string ErrorPageText(std::string_view text, const std::string& program_dir);

// On line: appends the error page with the platform's error text. Off line:
// writes a redirect to the local off-line page over the start of the file
// (later bytes stay as a body the browser ignores). Nothing without a file.
void WriteErrorPage(std::FILE* reply, const ThreadHandle& handle);

}  // namespace engine
