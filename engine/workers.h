// The loops of the long-lived workers and the request threads. Each loop
// keeps its interval as its longest wait and is woken at once when what it
// waits for changes.
#pragma once

#include "engine/request_entry.h"
#include "engine/thread_handle.h"

namespace engine {

// Longest waits of the loops, in milliseconds.
inline constexpr int kQueueWorkerWaitMs = 100;
inline constexpr int kPlatformWaitMs = 10;
inline constexpr int kReaperWaitMs = 20000;
inline constexpr int kListenerSettleMs = 300;
inline constexpr int kReplyFileAgeMinutes = 5;

void ListenerLoop(ThreadHandle& handle);                                // 'a'
void QueueWorkerLoop(ThreadHandle& handle, int type, char letter);      // 'b', 'c', 'd'
void CommandWorkerLoop(ThreadHandle& handle);                           // 'e'
void PlatformThreadLoop(ThreadHandle& handle);                          // 'f'
void ReaperLoop(ThreadHandle& handle);                                  // 'i'
void PassThroughRequest(ThreadHandle& handle, RequestEntry& entry);     // 'j'
void ReplicaRequestThread(ThreadHandle& handle, RequestEntry& entry);   // 'k'
void DatabaseRequestThread(ThreadHandle& handle, RequestEntry& entry);  // 'l'

// One pass of the reaper: unless a request is pending, frees the done
// entries at the head of the queue and sweeps the temporary folder of reply
// files older than five minutes. Returns the number of entries freed, -1
// when something was pending.
int ReapOnce(ThreadHandle& handle);

// The hidden window of the platform thread.
inline constexpr char kPlatformWindowClass[] = "static";
inline constexpr char kPlatformWindowTitle[] = "Kevrin_NDS_HiddenFrame";

}  // namespace engine
