// Handle table: one map under one lock. Calls are short, so a single lock
// is no bottleneck; the objects carry their own locks.
#include "ledra/handles.h"

#include <mutex>
#include <unordered_map>

namespace ledra {
namespace {

struct Entry {
  HandleKind kind;
  std::shared_ptr<void> object;
};

std::mutex table_mutex;
std::unordered_map<VXHandle, Entry> table;  // guarded by table_mutex
VXHandle next_handle = 1;                   // guarded by table_mutex

}  // namespace

VXHandle RegisterHandle(HandleKind kind, std::shared_ptr<void> object) {
  std::lock_guard<std::mutex> lock(table_mutex);
  while (next_handle == 0 || table.count(next_handle) != 0) ++next_handle;
  VXHandle h = next_handle++;
  table.emplace(h, Entry{kind, std::move(object)});
  return h;
}

std::shared_ptr<void> LookupHandle(VXHandle handle, HandleKind kind) {
  std::lock_guard<std::mutex> lock(table_mutex);
  auto it = table.find(handle);
  if (it == table.end() || it->second.kind != kind) return nullptr;
  return it->second.object;
}

std::shared_ptr<void> ReleaseHandle(VXHandle handle, HandleKind kind) {
  std::lock_guard<std::mutex> lock(table_mutex);
  auto it = table.find(handle);
  if (it == table.end() || it->second.kind != kind) return nullptr;
  std::shared_ptr<void> object = std::move(it->second.object);
  table.erase(it);
  return object;
}

void ReleaseAllHandles() {
  std::unordered_map<VXHandle, Entry> old;
  {
    std::lock_guard<std::mutex> lock(table_mutex);
    old.swap(table);
  }
  // Objects are destroyed outside the lock: a database closing may commit.
}

}  // namespace ledra
