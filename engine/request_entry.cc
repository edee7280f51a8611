// The request queue: append, claim, free the done head, finish an answer.
#include "engine/request_entry.h"

#include <cstring>

namespace engine {

RequestEntry* AppendEntry(SharedContext& shared, std::unique_ptr<RequestEntry> entry) {
  RequestEntry* appended = entry.get();
  os::LockGuard guard(shared.queueLock);
  std::unique_ptr<RequestEntry>* tail =
      shared.requestTail != nullptr ? &shared.requestTail->next : &shared.requestQueue;
  // The tail is the last entry; a test may have linked entries itself.
  while (*tail) tail = &(*tail)->next;
  *tail = std::move(entry);
  shared.requestTail = appended;
  return appended;
}

RequestEntry* Claim(SharedContext& shared, int type) {
  os::LockGuard guard(shared.queueLock);
  if (type < 0 || type >= kEventTypes) return nullptr;
  RequestEntry*& from = shared.claimFrom[type];
  RequestEntry* last = nullptr;
  for (RequestEntry* entry = from != nullptr ? from : shared.requestQueue.get(); entry;
       entry = entry->next.get()) {
    last = entry;
    if (entry->eventType == type && entry->done == 0 && entry->workerName[0] == 0) {
      entry->workerName[0] = 1;
      from = entry;
      return entry;
    }
  }
  if (last != nullptr) from = last;
  return nullptr;
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
  while (shared.requestQueue && shared.requestQueue->done == 1) {
    std::unique_ptr<RequestEntry> head = std::move(shared.requestQueue);
    shared.requestQueue = std::move(head->next);
    ++freed;
  }
  if (freed != 0) {
    // The claims' starting points may have been freed: start from the head.
    shared.claimFrom.fill(nullptr);
    if (!shared.requestQueue) shared.requestTail = nullptr;
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
