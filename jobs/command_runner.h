// The command runner of the job task: runs a command line from a Schedule
// document (a content filter, a post-processor) as a process of its own,
// started directly, never through a shell.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace jobs {

inline constexpr char kCurrentUrlMarker[] = "$WCTX_CurURL";
inline constexpr size_t kMaxCommandWords = 255;

// The words of a command line: the first "$WCTX_CurURL" (any case) is
// replaced by `current_url`, then the text is split at runs of blanks into
// at most 255 words. A double-quoted stretch belongs to one word and loses
// its quotes, as on the desktop's own command lines.
std::vector<std::string> CommandWords(std::string_view command, std::string_view current_url);

// Starts the first word as the program with the other words as arguments,
// and waits for it to end when `wait` is set. Nothing is reported when it
// cannot be started; false then.
bool RunCommand(std::string_view command, std::string_view current_url, bool wait);

}  // namespace jobs
