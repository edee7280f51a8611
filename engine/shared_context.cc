// The shared context: construction, the stop signal, the registry of live
// contexts that event strings are checked against, counters.
#include "engine/shared_context.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <mutex>
#include <set>

#include "engine/request_entry.h"

namespace engine {

namespace {

// Every shared context that exists, so that a number read back from an event
// string is used only when it names one of them.
std::mutex& LiveLock() {
  static std::mutex lock;
  return lock;
}
std::set<const SharedContext*>& Live() {
  static std::set<const SharedContext*> live;
  return live;
}

}  // namespace

SharedContext::SharedContext() {
  stopFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  std::lock_guard<std::mutex> guard(LiveLock());
  Live().insert(this);
}

SharedContext::~SharedContext() {
  {
    std::lock_guard<std::mutex> guard(LiveLock());
    Live().erase(this);
  }
  // Entries are freed one by one: a long queue must not recurse through
  // the chain of owners.
  std::unique_ptr<RequestEntry> entry = std::move(requestQueue);
  while (entry) {
    if (!entry->done) os::Close(entry->socket);
    entry = std::move(entry->next);
  }
  os::Close(listenSocket);
  if (stopFd >= 0) ::close(stopFd);
}

void SetStop(SharedContext& shared, uint16_t reason) {
  shared.stop = reason;
  if (shared.stopFd >= 0) {
    uint64_t one = 1;
    ssize_t written = ::write(shared.stopFd, &one, sizeof one);
    (void)written;  // a full counter is readable already
  }
  shared.wake.Notify();
  for (os::WakeUp& queue : shared.queueWake) queue.Notify();
  shared.operationWake.Notify();
}

SharedContext* LiveContext(long reference) {
  auto* candidate = reinterpret_cast<SharedContext*>(reference);
  std::lock_guard<std::mutex> guard(LiveLock());
  return Live().count(candidate) != 0 ? candidate : nullptr;
}

int WorkersAlive(const SharedContext& shared) {
  return shared.liveThreads.load() + shared.startingThreads.load();
}

void IncrementPending(SharedContext& shared, int type) {
  ++shared.pending[type];
  shared.queueWake[type].Notify();
}

void DecrementPending(SharedContext& shared, int type) {
  uint16_t count = shared.pending[type].load();
  while (count > 0 && !shared.pending[type].compare_exchange_weak(count, count - 1)) {
  }
}

int NextSequence(SharedContext& shared, int type) {
  int16_t current = shared.sequence[type].load();
  int16_t next;
  do {
    next = current >= 99 ? 0 : static_cast<int16_t>(current + 1);
  } while (!shared.sequence[type].compare_exchange_weak(current, next));
  return next;
}

}  // namespace engine
