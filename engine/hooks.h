// Where later layers plug into the request engine. Each hook is a function
// that a layer above installs at start-up (before worker 'f' and worker 'a'
// start); an empty hook gives the engine's own interim behaviour, named at
// each hook.
#pragma once

#include <string>

namespace engine {

struct ThreadHandle;
struct RequestEntry;

// A long-lived worker loop (browser watch 'g', scheduler 'h'); it returns
// when `stop` is set. Empty: the worker ends at once.
using WorkerLoop = void (*)(ThreadHandle& handle);
// Serves one request entry and finishes it (FinishEntry).
using RequestLoop = void (*)(ThreadHandle& handle, RequestEntry& entry);

struct EngineHooks {
  WorkerLoop browserWatch = nullptr;  // 'g'
  WorkerLoop scheduler = nullptr;     // 'h'
  // 'j', the pass-through of one request. Empty: the connection is closed
  // without a reply.
  RequestLoop passThrough = nullptr;
  // Serves one command request on worker 'e' and finishes it. Empty: the
  // command is answered "HTTP/1.1 204 No Content\n\n\n".
  RequestLoop commandHandler = nullptr;
  // Worker 'f' before its loop (opens the configuration database) and after
  // it (closes every open database, ends the use of the platform; called
  // under queueLock).
  WorkerLoop platformStart = nullptr;
  WorkerLoop platformEnd = nullptr;
  // The platform's error text for the last failure (error page). Empty hook
  // or empty text: "Could not perform requested action.".
  std::string (*platformErrorText)(const ThreadHandle& handle) = nullptr;
  // Server and path of the current page-replica database, for replica URLs
  // naming $WCTX_CorvjobsicaContext; false when there is none.
  bool (*currentReplicaDatabase)(ThreadHandle& handle, std::string* server,
                                 std::string* path) = nullptr;
};

// The process-wide hooks; install them before the workers start.
EngineHooks& Hooks();

}  // namespace engine
