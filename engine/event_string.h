// Event strings and the dispatcher. A worker is started by a short text,
// "%c%d %ld %s": its letter, its sequence number (0 to 99), the shared
// context's reference as a decimal number and one argument (a request
// entry's reference for 'j', 'k' and 'l', else empty, so the text ends in a
// blank). The new thread owns its copy of the text, runs the dispatcher on
// it and ends.
#pragma once

#include <string>
#include <string_view>

#include "engine/shared_context.h"

namespace engine {

inline constexpr char kBadSharedData[] = "Thread got bad Shared Data! Thread terminating.";
inline constexpr char kListenBadSharedData[] =
    "LISTEN thread got bad Shared Data! Thread terminating.";
inline constexpr char kErrorTitle[] = "Error Condition Encountered";

std::string FormatEventString(char letter, int sequence, const SharedContext* shared,
                              std::string_view argument);
// A reference as the event string prints it.
std::string ReferenceText(const void* reference);

// Starts a worker thread on the event string; false when no thread could be
// started.
[[nodiscard]] bool StartWorker(char letter, int sequence, SharedContext* shared,
                               std::string_view argument);

// Runs the worker the event string names: 'a' to 'l'; anything else starts
// nothing. A shared context that does not exist (or an entry that is not in
// its queue) shows "Thread got bad Shared Data! Thread terminating." and the
// worker ends without running its loop.
void DispatchEventString(std::string event);

}  // namespace engine
