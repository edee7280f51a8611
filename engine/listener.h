// The listening socket and the hand-over of a request read whole. The
// listener binds to `listenAddress` of the shared context (127.0.0.1 unless
// widened) on `localPort`; the intake (engine/intake.h) accepts connections
// and reads their requests side by side; each request read whole is
// classified and appended to the request queue here.
#pragma once

#include <string>

#include "engine/request_entry.h"
#include "engine/thread_handle.h"

namespace engine {

// Sized for bursts: a thousand connections opened at once must not find
// the queue of the kernel full (the kernel caps it at net.core.somaxconn).
inline constexpr int kListenBacklog = 4096;
inline constexpr size_t kReceivePiece = 4095;

// Creates the listening socket and stores it in listenSocket; on failure
// writes the trace line of the failing step and sets `stop` to 2. Raises
// the process's descriptor limit to its hard limit first.
void SetUpListener(ThreadHandle& handle);

// Builds the entry of a request read whole (or as far as the client sent
// it), classifies it, appends it to the queue and counts it as pending.
// `last_piece` is the last piece received, for the trace.
RequestEntry* QueueRequest(os::Socket socket, std::string text, const std::string& last_piece,
                           ThreadHandle& handle);

}  // namespace engine
