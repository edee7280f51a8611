// ledcore services for replication: items, deletions, replication info.
#include "ledra/core_calls.h"

#include "ledra/objects.h"
#include "ledra/replication/cutoff_purge.h"
#include "ledra/vxapi.h"

using namespace ledra;

VXStatus LCNoteAppendItem(VXHandle document, uint32_t flags, const char* name, uint16_t type, const void* value,
                          uint32_t length) {
  return VXItemPut(document, name, flags, 0, type, value, length);
}

VXStatus LCNoteDelete(VXHandle database, VXNoteId id, uint32_t flags) { return VXDocumentDelete(database, id, flags); }

VXStatus LCReplicationInfoGet(VXHandle database, LCReplicationInfo* info) {
  std::shared_ptr<Database> db;
  if (VXStatus s = GetDatabase(database, &db); s != kVXOk) return s;
  if (info == nullptr) return Fail(kVXBadArgument, "Replication information: no record given");
  std::lock_guard<std::mutex> lock(db->mutex);
  *info = LCReplicationInfo{};
  info->cutoff.ticks = db->store->InfoNumber("cutoff", 0);
  info->cutoff_days = static_cast<int32_t>(db->store->InfoNumber("cutoff_days", 0));
  info->flags = static_cast<uint32_t>(db->store->InfoNumber("repl_options", 0));
  return kVXOk;
}

VXStatus LCReplicationInfoSet(VXHandle database, const LCReplicationInfo* info) {
  std::shared_ptr<Database> db;
  if (VXStatus s = GetDatabase(database, &db); s != kVXOk) return s;
  if (info == nullptr) return Fail(kVXBadArgument, "Replication information: no record given");
  std::lock_guard<std::mutex> lock(db->mutex);
  NoteStore* store = db->store.get();
  if (VXStatus s = store->SetInfo("cutoff", std::to_string(info->cutoff.ticks)); s != kVXOk) return s;
  if (VXStatus s = store->SetInfo("cutoff_days", std::to_string(info->cutoff_days)); s != kVXOk) return s;
  if (VXStatus s = store->SetInfo("repl_options", std::to_string(info->flags)); s != kVXOk) return s;
  // A cut-off that removes old documents takes effect at once.
  uint32_t purged = 0;
  return replication::PurgeBeforeCutoff(store, &purged);
}
