// The table of 32-bit handles that the Vantix calls give out: databases,
// documents, memory, and the kinds the view and rich-text modules add.
// A handle names one object of one kind; a closed or unknown handle, or one
// of another kind, finds nothing, so every call can answer kVXBadHandle.
#pragma once

#include <cstdint>
#include <memory>

#include "ledra/vx_types.h"

namespace ledra {

enum class HandleKind : uint8_t {
  kDatabase = 1,
  kDocument = 2,
  kMemory = 3,
  kIndex = 4,
  kComposite = 5,
};

// Registers an object; returns its handle, never 0. Handles are not reused
// until the 32-bit counter wraps, so a stale handle does not reach a newer
// object.
VXHandle RegisterHandle(HandleKind kind, std::shared_ptr<void> object);
// The object, or null when the handle is not a live handle of that kind.
std::shared_ptr<void> LookupHandle(VXHandle handle, HandleKind kind);
// Removes the handle; returns the object (null when it was not live).
std::shared_ptr<void> ReleaseHandle(VXHandle handle, HandleKind kind);
// Drops every handle (VXTerm).
void ReleaseAllHandles();

template <typename T>
std::shared_ptr<T> Lookup(VXHandle handle, HandleKind kind) {
  return std::static_pointer_cast<T>(LookupHandle(handle, kind));
}

}  // namespace ledra
