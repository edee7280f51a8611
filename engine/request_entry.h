// The request queue entry: one accepted connection, from the intake that
// queues it to the thread that answered it, which frees it once it is done.
// The reaper frees what is left over (entries nobody claimed and finished).
//
// The queue is a list in arrival order with a tail, so appending and
// freeing an entry cost the same however many requests were served; a
// claim walks only the entries still in the list, which are the requests
// being received or served.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "engine/shared_context.h"
#include "os/socket.h"

namespace engine {

struct ThreadHandle;

struct RequestEntry {
  std::unique_ptr<RequestEntry> next;  // guarded by queueLock
  RequestEntry* previous = nullptr;    // guarded by queueLock
  int32_t methodKind = 0;              // 1 when the request begins with 'G', else 2
  int32_t eventType = kPassThrough;
  std::atomic<uint16_t> done{0};  // set by the answering thread once the socket is closed
  char workerName[8] = {};        // guarded by queueLock; non-empty once claimed
  // Guarded by queueLock: set by the claim, cleared by ReleaseEntry. While
  // it is set a worker may still read the entry, so only that worker frees
  // it and the reaper leaves it (and what stands behind it) alone.
  bool held = false;
  std::string rawRequest;  // request line, headers and body as received
  os::Socket socket = os::kNoSocket;
};

// Appends `entry` at the tail of the queue (under queueLock) and returns it.
RequestEntry* AppendEntry(SharedContext& shared, std::unique_ptr<RequestEntry> entry);

// Takes the first entry of `type` that is neither done nor claimed and marks
// it claimed and held; null when there is none.
RequestEntry* Claim(SharedContext& shared, int type);

// The claimant's last word on an entry: it stops holding it and, when the
// entry is done, unlinks and frees it at once. An entry not done stays for
// the reaper. The caller must not touch the entry afterwards.
void ReleaseEntry(SharedContext& shared, RequestEntry* entry);

// Number of entries in the queue (under queueLock).
size_t QueueLength(SharedContext& shared);

// Writes `name` into the entry's workerName under queueLock.
void NameWorker(SharedContext& shared, RequestEntry& entry, const char* name);

// Whether `entry` is in the queue of `shared` (under queueLock).
bool InQueue(SharedContext& shared, const RequestEntry* entry);

// Unlinks and frees the done entries at the head of the queue, up to the
// first one that is not done or is still held by its worker. Caller holds
// queueLock. Returns the number freed.
int FreeDoneAtHead(SharedContext& shared);

// Shuts the connection down in both directions, closes it and marks the
// entry done: the last step of every answer.
void FinishEntry(SharedContext& shared, RequestEntry& entry);

}  // namespace engine
