// The intake of the listener 'a': it accepts connections and reads their
// requests side by side, so the intake of one connection never waits for
// another's bytes. One thread waits on the listening socket, every
// connection being read and the stop descriptor at once (os/poller.h).
//
// A read ends, and what arrived is queued as the request (QueueRequest),
// when the request is complete (engine/request_assembler.h), when the peer
// closes its side or fails, when it stays silent for `receiveTimeoutMs`, or
// when its headers have not ended `headerDeadlineMs` after it was accepted:
// a client that sends a header byte now and then holds its place for that
// long at most. A request larger than `requestSizeCap` gets a 413 and is
// not queued. At most `connectionsReadCap` connections (and never more than
// half the descriptors the process may open) are read at once; a new one
// past that takes the place of the one read longest, which is closed.
#pragma once

#include "engine/thread_handle.h"

namespace engine {

// Runs until `stop` is set; then closes every connection still being read.
void RunIntake(ThreadHandle& handle);

}  // namespace engine
