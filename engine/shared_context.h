// The shared context: the one process-wide record of corvex. Start-up makes
// it, every worker reaches it through its thread handle, shutdown frees it
// after the workers have ended.
//
// Fields written by several threads are atomics or are guarded by the named
// lock. Where two locks are taken together, queueLock comes first.
#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>

#include "common/name_cache.h"
#include "os/desktop.h"
#include "os/socket.h"
#include "os/sync.h"

namespace engine {

struct RequestEntry;

}  // namespace engine

// Records of the open-database cache (platform/); that layer defines them
// and owns the lists hung on the shared context.
namespace platform {
struct OpenDatabase;
struct ViewRecord;
}  // namespace platform

namespace engine {

// EventType of a request entry.
enum EventType : int32_t {
  kPassThrough = 0,
  kDatabaseRequest = 1,
  kReplicaRequest = 2,
  kCommandRequest = 3,
};
inline constexpr int kEventTypes = 4;

// Values of `stop`.
enum StopReason : uint16_t {
  kRunning = 0,
  kStopRequested = 1,
  kListenerFailed = 2,
  kPlatformFailed = 3,
};

// The argument words of a database operation. A word holds a number or a
// reference (a reply file name, a request record), so it is as wide as a
// pointer.
using OperationArgs = std::array<intptr_t, 8>;

// Hand-over states of the database operation channel.
enum OperationState : int { kOperationIdle = 0, kOperationPending = 1, kOperationRunning = 2 };

struct SharedContext {
  SharedContext();
  ~SharedContext();
  SharedContext(const SharedContext&) = delete;
  SharedContext& operator=(const SharedContext&) = delete;

  os::Lock queueLock;  // the request queue; also held around file dialogs
  std::atomic<uint16_t> stop{kRunning};
  std::atomic<uint16_t> offline{0};
  std::atomic<uint16_t> trace{0};
  std::atomic<uint16_t> restart{0};
  uint16_t localPort = 0;
  int16_t networkTimeout = 120;
  uint16_t replicatorsAllowed = 3;
  uint16_t dashboardState = 1;
  std::atomic<uint16_t> resorting{0};
  std::string upstreamProxy;
  std::string proxyOverrides;
  std::string startUrl;
  std::string startTarget;
  os::Socket listenSocket = os::kNoSocket;
  os::Window* mainWindow = nullptr;
  std::atomic<os::TraceList*> traceList{nullptr};
  std::atomic<os::Window*> platformWindow{nullptr};
  std::string programDir;
  std::string programDirUrl;
  uint32_t linesInView = 30;
  std::atomic<int16_t> liveThreads{0};
  // Workers started but not yet holding their handle: shutdown waits for
  // them too, or it could free the context under a thread about to use it.
  std::atomic<int16_t> startingThreads{0};
  std::array<std::atomic<uint16_t>, kEventTypes> pending{};
  std::array<std::atomic<int16_t>, kEventTypes> sequence{};

  // The database operation channel. The submitter holds operationLock for
  // the whole operation; operationState hands the words over to the
  // platform thread and back.
  os::Lock operationLock;
  OperationArgs operationArgs{};  // written under operationLock while idle
  std::atomic<int32_t> operationResult{-1};
  std::atomic<uint16_t> operationCode{0};
  std::atomic<int> operationState{kOperationIdle};
  // The platform thread while it runs: an operation submitted from it runs
  // at once instead of waiting for itself.
  std::atomic<std::thread::id> platformThread{};

  // The open-database cache: touched by the platform thread only.
  platform::OpenDatabase* openDatabases = nullptr;
  platform::ViewRecord* lastView = nullptr;
  platform::OpenDatabase* lastDatabase = nullptr;
  platform::OpenDatabase* webDatabase = nullptr;

  os::Lock nameCacheLock;
  std::atomic<uint16_t> networkUp{0};
  std::unique_ptr<RequestEntry> requestQueue;  // guarded by queueLock
  // Host names of outbound connections; its list is guarded by nameCacheLock.
  common::NameCache nameCache{nameCacheLock};

  // Wakes every loop at once when what it waits for changes: a request
  // queued, an operation submitted or finished, a thread ended, stop set.
  os::WakeUp wake;
  // Readable once stop is set, so the listener's wait on its socket ends.
  int stopFd = -1;

  // Settings of this build.
  std::string listenAddress = "127.0.0.1";  // CORVANE_LISTEN_ADDRESS widens it
  int listenerWaitMs = 3000;
  int receiveTimeoutMs = 10000;              // silence that ends an intake
  int headerDeadlineMs = 30000;              // longest read of a request's headers
  size_t connectionsReadCap = 4096;          // connections read at once; the oldest yields
  size_t requestSizeCap = size_t{64} << 20;  // larger requests get a 413
  int interruptAfterMs = 31000;              // Esc question of a long operation
};

// Sets `stop` and wakes every loop.
void SetStop(SharedContext& shared, uint16_t reason);

// Wakes the loops after a change that they wait for.
inline void Notify(SharedContext& shared) {
  shared.wake.Notify();
}

// Whether `reference` (a number read back from an event string) names a
// shared context that exists now.
SharedContext* LiveContext(long reference);

// Threads that may still read the context: the counted handles and the
// workers started but not yet running. Shutdown waits for this to reach 0.
int WorkersAlive(const SharedContext& shared);

// Adds one to `pending[type]` and wakes the loops; DecrementPending never
// goes below 0.
void IncrementPending(SharedContext& shared, int type);
void DecrementPending(SharedContext& shared, int type);
// Adds 1 to `sequence[type]`, wrapping past 99 to 0; returns the new number.
int NextSequence(SharedContext& shared, int type);

}  // namespace engine
