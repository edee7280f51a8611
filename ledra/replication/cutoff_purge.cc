// Purging what is older than a database's cut-off.
#include "ledra/replication/cutoff_purge.h"

#include "ledra/datetime.h"
#include "ledra/last_error.h"
#include "ledra/replication/receive_filter.h"

namespace ledra::replication {
namespace {

// The cut-off (ticks) of the last purge that looked at the whole file.
constexpr char kPurgedThrough[] = "repl_purged_through";

}  // namespace

VXStatus PurgeBeforeCutoff(NoteStore* store, ReplicaState* state, uint32_t* purged) {
  *purged = 0;
  if (store->in_batch()) return kVXOk;
  int64_t cutoff = EffectiveCutoff(store);
  int64_t done = store->InfoNumber(kPurgedThrough, 0);
  if (cutoff == 0) {
    // Without a cut-off old documents may come in; a cut-off set again
    // later must look at every note.
    return done == 0 ? kVXOk : store->SetInfo(kPurgedThrough, "");
  }
  // Nothing is older than the last purge's cut-off (receiving refuses what
  // is), so the whole file is looked at again only once the cut-off has
  // moved on by an hour: a replication with nothing to do stays short. A
  // cut-off moved back (a longer interval) lets older notes in: the file is
  // looked at from then on, from the new cut-off.
  if (done != 0 && cutoff >= done && cutoff < done + kTicksPerHour) return kVXOk;
  std::vector<VXNoteId> documents, stubs;
  if (VXStatus s = state->ListOlderThan(cutoff, &documents, &stubs); s != kVXOk) return s;
  if (documents.empty() && stubs.empty())
    return store->SetInfo(kPurgedThrough, std::to_string(cutoff));
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
  if (s == kVXOk) s = store->SetInfo(kPurgedThrough, std::to_string(cutoff));
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
