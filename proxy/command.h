// Command URLs, http://[wc]/LETTER/ARGUMENT: commands to the program itself
// from the pages corvex shows (the dashboard, the workspace, stored pages),
// served one at a time by the command worker 'e'. Every command is answered,
// after it is done, with a redirect back to the page the user came from (its
// Referer, with "#dashboard"), so the browser stays where it was; a letter
// without a command leads to the workspace.
//
//   "1"      restart the program (after the reply)
//   "7", "M" show the text after "?" in a message box
//   "A"      the ID-file dialog
//   "B"      the preferred-browser dialog
//   "D"      the dashboard frame ("D/D/URL", "D/F/URL"); reads only
//   "F"      edit the Favourite of the URL after "?" (operation 31)
//   "N"      switch between on-line and off-line mode (asks first)
//   "S"      make the URL after "?" a Favourite, or update it (operation 29)
//   other    the workspace; reads only
#pragma once

#include <string>
#include <string_view>

#include "engine/request_entry.h"
#include "engine/thread_handle.h"

namespace proxy {

inline constexpr char kCommandTraceFormat[] = "\nCommand request caught: %s";
inline constexpr char kCommandRedirectFormat[] =
    "HTTP/1.0 302 Temporarily Moved\r\nLocation: %s\r\n\r\n";
inline constexpr char kNoReferer[] = "http://[wc]/";
inline constexpr char kDashboardAnchor[] = "#dashboard";
inline constexpr char kMessageTitle[] = "Corvane";
inline constexpr char kOnlineQuestion[] = "Switch to ONLINE mode?";
inline constexpr char kOfflineQuestion[] = "Switch to OFFLINE mode?";
inline constexpr char kCannotLink[] =
    "This page cannot be linked as a Favorite.  Try this command instead on an ordinary on-line "
    "web page.";
inline constexpr char kExempt[] =
    "This page is exempt from Replication.  Try this command instead on an ordinary on-line web "
    "page.";

// A command request line read: "%s http://[wc]/%c/%[^\r\n]", the argument
// cut at its last blank. A line that does not match leaves letter '\0' and
// the argument empty.
struct CommandLine {
  char letter = '\0';
  std::string argument;
};
CommandLine ReadCommandLine(std::string_view raw_request);

// The page to return to: the Referer header's value with "#dashboard"
// appended unless it holds it already; "http://[wc]/" without a Referer.
std::string ReturnTarget(std::string_view raw_request);

// Serves one command request and finishes the entry (the hook of 'e').
void ServeCommand(engine::ThreadHandle& handle, engine::RequestEntry& entry);

}  // namespace proxy
