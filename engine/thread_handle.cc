// Thread handles and the trace.
#include "engine/thread_handle.h"

#include <cstring>

namespace engine {

ThreadHandle::~ThreadHandle() {
  if (counted_ && shared != nullptr) {
    // The decrement is the handle's last touch of the shared context:
    // shutdown may free the context as soon as it sees the count reach 0.
    shared->wake.NotifyAfter([this] { --shared->liveThreads; });
  }
}

std::unique_ptr<ThreadHandle> MakeThreadHandle(std::string_view name, SharedContext* shared) {
  if (name.size() >= sizeof ThreadHandle::name) return nullptr;
  auto handle = std::make_unique<ThreadHandle>();
  std::memcpy(handle->name, name.data(), name.size());
  handle->shared = shared;
  if (shared != nullptr) {
    shared->wake.NotifyAfter([shared] { ++shared->liveThreads; });
    handle->counted_ = true;
  }
  return handle;
}

void Trace(const ThreadHandle* handle, std::string_view text) {
  if (handle == nullptr || handle->shared == nullptr || handle->shared->trace == 0) return;
  os::TraceList* list = handle->shared->traceList.load();
  if (list != nullptr) list->Append(text);
}

}  // namespace engine
