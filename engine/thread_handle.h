// The thread handle: what a worker knows of itself (its name, such as l17),
// the shared context, and the request entry it serves. Handles that hold a
// shared context are counted in its liveThreads.
#pragma once

#include <memory>
#include <string_view>

#include "engine/shared_context.h"

namespace engine {

struct RequestEntry;

struct ThreadHandle {
  ThreadHandle() = default;
  ~ThreadHandle();
  ThreadHandle(const ThreadHandle&) = delete;
  ThreadHandle& operator=(const ThreadHandle&) = delete;

  // Fills in the shared context of the user-interface handle, made before
  // the context existed; it stays uncounted.
  void Attach(SharedContext* context) { shared = context; }

  char name[8] = {};
  SharedContext* shared = nullptr;
  RequestEntry* request = nullptr;  // set by workers 'e' and 'l'

 private:
  friend std::unique_ptr<ThreadHandle> MakeThreadHandle(std::string_view, SharedContext*);
  bool counted_ = false;
};

// Makes a handle named `name`; with a shared context it adds 1 to
// liveThreads. Null when the name does not fit (seven characters at most).
std::unique_ptr<ThreadHandle> MakeThreadHandle(std::string_view name, SharedContext* shared);

// Appends a trace line when the handle, its shared context and `trace` are
// set and the trace list exists; otherwise nothing.
void Trace(const ThreadHandle* handle, std::string_view text);

}  // namespace engine
