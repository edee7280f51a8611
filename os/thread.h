// Threads of the host layer: a worker runs detached on its own heap copy of
// the text it was started with, so the starter may return at once.
#pragma once

#include <string>
#include <string_view>

namespace os {

// The function a thread runs; it owns the argument it receives.
using ThreadEntry = void (*)(std::string argument);

// Starts `entry` on a new detached thread with a copy of `argument`.
// Returns false (and starts nothing) when the system refuses a new thread.
[[nodiscard]] bool StartDetachedThread(ThreadEntry entry, std::string_view argument);

}  // namespace os
