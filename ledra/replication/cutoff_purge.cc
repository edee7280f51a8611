// Purging what is older than a database's cut-off.
#include "ledra/replication/cutoff_purge.h"

#include "ledra/last_error.h"
#include "ledra/replication/receive_filter.h"

namespace ledra::replication {

VXStatus PurgeBeforeCutoff(NoteStore* store, ReplicaState* state, uint32_t* purged) {
  *purged = 0;
  int64_t cutoff = EffectiveCutoff(store);
  if (cutoff == 0 || store->in_batch()) return kVXOk;
  std::vector<VXNoteId> documents, stubs;
  if (VXStatus s = state->ListOlderThan(cutoff, &documents, &stubs); s != kVXOk) return s;
  if (documents.empty() && stubs.empty()) return kVXOk;
  if (VXStatus s = store->BeginBatch(); s != kVXOk) return s;
  VXStatus s = kVXOk;
  for (VXNoteId id : documents) {
    if (s == kVXOk) s = store->Delete(id, /*purge=*/true);
    if (s == kVXOk) s = state->DropState(id);
  }
  // Old stubs stop travelling; their rows stay, as note ids are never reused.
  for (VXNoteId id : stubs) {
    if (s == kVXOk) s = state->MarkLocalStub(id);
  }
  if (s != kVXOk) {
    LastError keep = LastFailure();
    sqlite3_exec(store->db(), "ROLLBACK", nullptr, nullptr, nullptr);
    (void)store->CommitBatch();
    state->AfterRollback();
    return Fail(keep.code, keep.message, keep.detail);
  }
  if (VXStatus c = store->CommitBatch(); c != kVXOk) return c;
  *purged = static_cast<uint32_t>(documents.size() + stubs.size());
  return kVXOk;
}

VXStatus PurgeBeforeCutoff(NoteStore* store, uint32_t* purged) {
  ReplicaState state(store);
  return PurgeBeforeCutoff(store, &state, purged);
}

}  // namespace ledra::replication
