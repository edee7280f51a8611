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
// A step of start-up or shutdown that the browser layer performs.
using BrowserStep = void (*)(ThreadHandle& handle);

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
  // The network test of the web proxy: looks up a well-known name within
  // `timeout_seconds`, sets `networkUp` and returns it. Empty: `networkUp`
  // is returned unchanged. The catalogue, the scheduler and the favourite
  // dialogs call it through here.
  int (*networkTest)(ThreadHandle& handle, int timeout_seconds) = nullptr;
  // Server and path of the current page-replica database, for replica URLs
  // naming $WCTX_CorvjobsicaContext; false when there is none.
  bool (*currentReplicaDatabase)(ThreadHandle& handle, std::string* server,
                                 std::string* path) = nullptr;

  // The browser layer's steps of start-up, the main window and shutdown.
  // Each empty hook does nothing.
  // Start-up: save the browsers' proxy settings and point them at corvex;
  // disable_underline also switches their link underlining off.
  void (*replaceBrowserSettings)(ThreadHandle& handle, bool disable_underline) = nullptr;
  // Start-up: make sure a preferred browser is known; false when none can
  // be found (the path, when found, lands in *browser).
  bool (*ensurePreferredBrowser)(ThreadHandle& handle, std::string* browser) = nullptr;
  // Start-up: the upstream proxy and its overrides from the browser's
  // saved settings; false when it has none (the Configuration items apply).
  bool (*savedBrowserProxy)(ThreadHandle& handle, std::string* proxy,
                            std::string* overrides) = nullptr;
  BrowserStep launchBrowser = nullptr;           // clear its cache, launch it
  BrowserStep preferredBrowserDialog = nullptr;  // menu "Set Preferred Browser", command "B"
  // The ID-file dialog of the settings dialogs (command "A"); shown from the
  // command worker. Empty: the command only returns to its page.
  BrowserStep idFileDialog = nullptr;
  BrowserStep closeBrowsers = nullptr;           // shutdown, unless restarting
  BrowserStep restoreBrowserSettings = nullptr;  // clean-up
  BrowserStep clearBrowserCache = nullptr;       // clean-up
};

// The process-wide hooks; install them before the workers start.
EngineHooks& Hooks();

}  // namespace engine
