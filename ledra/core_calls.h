// The ledcore services the replication job uses, beside the memory handles
// of ledra/vxapi.h. Ordinals (the programs bind ledcore by number):
//   143 LCMemFree, 182 LCMemLock, 183 LCMemUnlock     (ledra/vxapi.h)
//   2006 LCNoteAppendItem, 2010 LCNoteDelete,
//   2088 LCReplicationInfoGet, 2089 LCReplicationInfoSet (here)
//   2040 compiles a formula: the formula module provides it.
// A core handle is what VXDatabaseGetProperty / VXDocumentGetProperty give
// for property kVXPropCoreHandle; in this platform it is the Vantix handle.
#pragma once

#include <cstdint>

#include "ledra/datetime.h"
#include "ledra/vx_types.h"

inline constexpr uint32_t kVXPropCoreHandle = 0x40000000;

// A database's replication information.
struct LCReplicationInfo {
  ledra::Datetime cutoff;   // documents not modified since are removed (flag 0x80)
  int32_t cutoff_days = 0;  // database property 16
  uint32_t flags = 0;       // database property 18
};

// Appends an item (flags as VXItemPut; 4 = summary) to a document.
[[nodiscard]] VXStatus LCNoteAppendItem(VXHandle document, uint32_t flags, const char* name, uint16_t type,
                                        const void* value, uint32_t length);
// Deletes a note by id; flags as VXDocumentDelete (512 purge).
[[nodiscard]] VXStatus LCNoteDelete(VXHandle database, VXNoteId id, uint32_t flags);
[[nodiscard]] VXStatus LCReplicationInfoGet(VXHandle database, LCReplicationInfo* info);
// With flag 0x80 the documents older than the cut-off are purged at once
// (ledra/replication/cutoff_purge.h).
[[nodiscard]] VXStatus LCReplicationInfoSet(VXHandle database, const LCReplicationInfo* info);
