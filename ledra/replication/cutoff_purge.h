// The cut-off purge: a database whose replication options ask for it
// (0x80, database property 18) drops the documents last changed before its
// cut-off, and stops sending deletion stubs that old. A purge is not a
// deletion: it is not replicated, so partners keep their copies.
#pragma once

#include <cstdint>

#include "ledra/note_store.h"
#include "ledra/replication/replica_state.h"
#include "ledra/vx_types.h"

namespace ledra::replication {

// In one transaction of its own; purged gets the notes purged. Nothing is
// done while the store holds a batch of its caller (database property 30):
// the purge waits for the next replication.
[[nodiscard]] VXStatus PurgeBeforeCutoff(NoteStore* store, ReplicaState* state, uint32_t* purged);
// The same, with a replication state of its own (LCReplicationInfoSet).
[[nodiscard]] VXStatus PurgeBeforeCutoff(NoteStore* store, uint32_t* purged);

}  // namespace ledra::replication
