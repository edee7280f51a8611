// The listening socket and the request intake. The listener binds to
// `listenAddress` of the shared context (127.0.0.1 unless widened) on
// `localPort`, accepts one connection at a time, reads the whole request,
// classifies it and appends it to the request queue.
#pragma once

#include "engine/request_entry.h"
#include "engine/thread_handle.h"

namespace engine {

inline constexpr int kListenBacklog = 40;
inline constexpr size_t kReceivePiece = 4095;

// Creates the listening socket and stores it in listenSocket; on failure
// writes the trace line of the failing step and sets `stop` to 2.
void SetUpListener(ThreadHandle& handle);

// Waits at most the listener's interval (3 s, less when stop is set) for a
// connection; the accepted socket, or kNoSocket.
os::Socket WaitForConnection(ThreadHandle& handle);

// Reads the request from `socket` until it is complete, the peer closes,
// it stays silent for the receive time-out, or stop is set. Builds, classifies
// and queues the entry and returns it. A request larger than the size cap is
// answered with a 413 and closed; nothing is queued and the result is null.
RequestEntry* TakeRequest(os::Socket socket, ThreadHandle& handle);

}  // namespace engine
