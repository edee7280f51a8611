// The long-lived workers: listener 'a', queue workers 'b', 'c', 'd', command
// worker 'e', platform thread 'f' and reaper 'i'.
#include "engine/workers.h"

#include <cstdio>
#include <cstdlib>

#include "common/reply_forms.h"
#include "engine/changing_requests.h"
#include "engine/event_string.h"
#include "engine/hooks.h"
#include "engine/intake.h"
#include "engine/listener.h"
#include "engine/reply_file.h"
#include "engine/request_origin.h"
#include "os/desktop.h"
#include "os/files.h"
#include "platform/database_operation.h"

namespace engine {

void ListenerLoop(ThreadHandle& handle) {
  SharedContext& shared = *handle.shared;
  for (char letter : {'b', 'd', 'c', 'e', 'g', 'h', 'i'}) {
    if (!StartWorker(letter, 1, &shared, ""))
      Trace(&handle, std::string("\nCould not start worker ") + letter);
  }
  shared.wake.WaitFor(kListenerSettleMs, [&] { return shared.stop != 0; });
  RunIntake(handle);
}

// Waits, the interval at a time, until a request of `type` is pending or
// stop is set; false on stop.
static bool WaitForPending(SharedContext& shared, int type) {
  while (!shared.pendingWake[type].WaitFor(
      kQueueWorkerWaitMs, [&] { return shared.pending[type] != 0 || shared.stop != 0; })) {
  }
  return shared.stop == 0;
}

void QueueWorkerLoop(ThreadHandle& handle, int type, char letter) {
  SharedContext& shared = *handle.shared;
  while (WaitForPending(shared, type)) {
    if (RequestEntry* entry = Claim(shared, type)) {
      int sequence = NextSequence(shared, type);
      char name[8];
      std::snprintf(name, sizeof name, "%c%d", letter, sequence);
      NameWorker(shared, *entry, name);
      if (!StartWorker(letter, sequence, &shared, ReferenceText(entry))) {
        // Without a thread nobody would ever answer: close it now.
        Trace(&handle, std::string("\nCould not start worker ") + name);
        FinishEntry(shared, *entry);
        ReleaseEntry(shared, entry);
      }
    }
    // A claim that found nothing still uses up its count.
    DecrementPending(shared, type);
  }
}

static void InterimCommand(ThreadHandle&, RequestEntry& entry, SharedContext& shared) {
  AnswerWithText(shared, entry, common::kReplyNoContent);
}

void CommandWorkerLoop(ThreadHandle& handle) {
  SharedContext& shared = *handle.shared;
  while (WaitForPending(shared, kCommandRequest)) {
    if (RequestEntry* entry = Claim(shared, kCommandRequest)) {
      NextSequence(shared, kCommandRequest);
      NameWorker(shared, *entry, handle.name);
      handle.request = entry;
      const char* change = CommandRequestActs(entry->rawRequest) ? kCommandChange : nullptr;
      if (auto refusal = RefuseForeignChange(&handle, entry->rawRequest, change)) {
        AnswerWithText(shared, *entry, *refusal);
      } else if (Hooks().commandHandler != nullptr) {
        Hooks().commandHandler(handle, *entry);
      } else {
        InterimCommand(handle, *entry, shared);
      }
      handle.request = nullptr;
      ReleaseEntry(shared, entry);
    }
    DecrementPending(shared, kCommandRequest);
  }
}

void PlatformThreadLoop(ThreadHandle& handle) {
  SharedContext& shared = *handle.shared;
  shared.platformThread = std::this_thread::get_id();
  if (Hooks().platformStart != nullptr) Hooks().platformStart(handle);
  os::Window hidden(kPlatformWindowClass, kPlatformWindowTitle);
  while (shared.stop == 0) {
    while (shared.operationState != kOperationPending) {
      shared.operationSubmitted.WaitFor(kPlatformWaitMs, [&] {
        return shared.operationState == kOperationPending || shared.stop != 0;
      });
      os::Window* none = nullptr;
      if (shared.platformWindow.compare_exchange_strong(none, &hidden)) shared.wake.Notify();
      os::Message message;
      while (hidden.Peek(&message)) hidden.Dispatch(message);
      if (shared.stop != 0) break;
    }
    if (shared.stop != 0) break;
    platform::ServePendingOperation(handle);
  }
  {
    os::LockGuard guard(shared.queueLock);
    if (Hooks().platformEnd != nullptr) Hooks().platformEnd(handle);
  }
  shared.platformWindow = nullptr;
  shared.platformThread = std::thread::id();
}

int ReapOnce(ThreadHandle& handle) {
  SharedContext& shared = *handle.shared;
  for (const auto& count : shared.pending)
    if (count != 0) return -1;
  os::LockGuard queue_guard(shared.queueLock);
  os::LockGuard operation_guard(shared.operationLock);
  int freed = FreeDoneAtHead(shared);
  os::SweepFolderByAge(shared.programDir + "/wtemp", kReplyFileAgeMinutes);
  return freed;
}

void ReaperLoop(ThreadHandle& handle) {
  SharedContext& shared = *handle.shared;
  for (;;) {
    shared.reaperWake.WaitFor(kReaperWaitMs, [&] { return shared.stop != 0; });
    if (shared.stop != 0) return;
    ReapOnce(handle);
  }
}

}  // namespace engine
