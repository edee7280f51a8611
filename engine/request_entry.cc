// The request queue: append, claim, release, free the done head, finish an
// answer.
#include "engine/request_entry.h"

#include <cstring>

namespace engine {

namespace {

// Takes `entry` out of the queue and frees it. Caller holds queueLock.
void Unlink(SharedContext& shared, RequestEntry* entry) {
  RequestEntry* previous = entry->previous;
  std::unique_ptr<RequestEntry>& owner = previous != nullptr ? previous->next : shared.requestQueue;
  std::unique_ptr<RequestEntry> doomed = std::move(owner);
  owner = std::move(doomed->next);
  if (owner) {
    owner->previous = previous;
  } else {
    shared.requestQueueTail = previous;
  }
  --shared.requestQueueLength;
}

}  // namespace

RequestEntry* AppendEntry(SharedContext& shared, std::unique_ptr<RequestEntry> entry) {
  RequestEntry* appended = entry.get();
  os::LockGuard guard(shared.queueLock);
  RequestEntry* tail = shared.requestQueueTail;
  entry->previous = tail;
  (tail != nullptr ? tail->next : shared.requestQueue) = std::move(entry);
  shared.requestQueueTail = appended;
  ++shared.requestQueueLength;
  return appended;
}

RequestEntry* Claim(SharedContext& shared, int type) {
  os::LockGuard guard(shared.queueLock);
  for (RequestEntry* entry = shared.requestQueue.get(); entry; entry = entry->next.get()) {
    if (entry->eventType == type && entry->done == 0 && entry->workerName[0] == 0) {
      entry->workerName[0] = 1;
      entry->held = true;
      return entry;
    }
  }
  return nullptr;
}

void ReleaseEntry(SharedContext& shared, RequestEntry* entry) {
  {
    os::LockGuard guard(shared.queueLock);
    entry->held = false;
    if (entry->done != 1) return;
    Unlink(shared, entry);
  }
  // Outside queueLock: a watcher's condition may take it.
  shared.wake.Notify();
}

size_t QueueLength(SharedContext& shared) {
  os::LockGuard guard(shared.queueLock);
  return shared.requestQueueLength;
}

void NameWorker(SharedContext& shared, RequestEntry& entry, const char* name) {
  os::LockGuard guard(shared.queueLock);
  std::strncpy(entry.workerName, name, sizeof entry.workerName - 1);
  entry.workerName[sizeof entry.workerName - 1] = 0;
}

bool InQueue(SharedContext& shared, const RequestEntry* wanted) {
  os::LockGuard guard(shared.queueLock);
  for (RequestEntry* entry = shared.requestQueue.get(); entry; entry = entry->next.get())
    if (entry == wanted) return true;
  return false;
}

int FreeDoneAtHead(SharedContext& shared) {
  int freed = 0;
  while (shared.requestQueue && shared.requestQueue->done == 1 && !shared.requestQueue->held) {
    Unlink(shared, shared.requestQueue.get());
    ++freed;
  }
  return freed;
}

void FinishEntry(SharedContext& shared, RequestEntry& entry) {
  os::ShutdownAndClose(entry.socket);
  entry.socket = os::kNoSocket;
  entry.done = 1;
  shared.wake.Notify();
}

}  // namespace engine
