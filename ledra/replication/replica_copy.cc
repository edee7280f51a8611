// Copying a database as a new replica.
#include "ledra/replication/replica_copy.h"

#include <algorithm>

#include "ledra/last_error.h"
#include "ledra/replication/receive_filter.h"
#include "ledra/replication/replica_state.h"
#include "ledra/replication/store_replica.h"

namespace ledra::replication {
namespace {

// Ends the read transaction on the source however the copy leaves.
struct ReadSnapshot {
  sqlite3* db;
  bool open = false;
  ~ReadSnapshot() {
    if (open) sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
  }
};

VXStatus CopyInto(NoteStore* source, NoteStore* target, uint32_t mask,
                  const std::string& source_server, const std::string& source_path) {
  ReplicaState from(source), to(target);
  uint64_t origin = 0;
  if (VXStatus s = from.Instance(&origin); s != kVXOk) return s;
  const std::string origin_text = OriginText(origin);
  ReadSnapshot snapshot{source->db()};
  if (sqlite3_exec(source->db(), "BEGIN", nullptr, nullptr, nullptr) != SQLITE_OK) {
    return Fail(kVXStorageError,
                source->label() + " cannot be read: " + sqlite3_errmsg(source->db()));
  }
  snapshot.open = true;
  int64_t through = 0;
  if (VXStatus s = from.MaxSequence(&through); s != kVXOk) return s;
  std::vector<VXNoteId> with_attachments;
  if (VXStatus s = from.NotesWithAttachments(&with_attachments); s != kVXOk) return s;
  if (VXStatus s = to.EnsureTables(); s != kVXOk) return s;
  uint64_t target_origin = 0;
  if (VXStatus s = to.NewInstance(&target_origin); s != kVXOk) return s;

  VXStatus s = from.ListLive(mask, [&](const NoteRow& row) {
    Note note;
    note.unid = row.unid;
    note.note_class = row.note_class;
    note.created = row.created;
    note.has_parent = row.has_parent;
    note.parent = row.parent;
    if (VXStatus r = from.ReadItems(row.id, &note.items); r != kVXOk) return r;
    std::vector<Attachment> attachments;
    if (std::binary_search(with_attachments.begin(), with_attachments.end(), row.id)) {
      std::vector<Attachment> listed;
      if (VXStatus r = source->ListAttachments(row.id, &listed); r != kVXOk) return r;
      for (const Attachment& a : listed) {
        Attachment full;
        if (VXStatus r = source->ReadAttachment(row.id, a.name, &full); r != kVXOk) return r;
        attachments.push_back(std::move(full));
      }
    }
    if (VXStatus r = target->Insert(&note, attachments); r != kVXOk) return r;
    if (VXStatus r = to.SetModified(note.id, row.modified); r != kVXOk) return r;
    return to.WriteState(note.id, note.sequence, origin_text,
                         ReplicaState::EffectiveChain(row, origin));
  });
  if (s != kVXOk) return s;
  if (VXStatus r = to.SetHistory(origin_text, through); r != kVXOk) return r;
  ReceiveFilter filter;
  if (VXStatus r = filter.Load(target); r != kVXOk) return r;
  if (VXStatus r = target->SetInfo("repl_filter", filter.fingerprint()); r != kVXOk) return r;
  return target->SetInfo(PartnerKey(source_server), source_path);
}

}  // namespace

VXStatus CopyReplicaNotes(NoteStore* source, NoteStore* target, uint32_t options,
                          uint32_t class_mask, const std::string& source_server,
                          const std::string& source_path) {
  uint32_t mask = 0;
  if ((options & kVXCopyDocuments) != 0) mask |= kVXClassDocument;
  if ((options & kVXCopyDesign) != 0) {
    mask |= (class_mask == 0 ? 0xFFFFFFFEu : (class_mask & ~kVXClassDocument));
  }
  mask &= ~kVXClassReplFormula;
  if (VXStatus s = target->BeginBatch(); s != kVXOk) return s;
  VXStatus s = mask == 0 ? kVXOk : CopyInto(source, target, mask, source_server, source_path);
  if (s != kVXOk) {
    LastError keep = LastFailure();
    sqlite3_exec(target->db(), "ROLLBACK", nullptr, nullptr, nullptr);
    (void)target->CommitBatch();
    return Fail(keep.code, keep.message, keep.detail);
  }
  return target->CommitBatch();
}

}  // namespace ledra::replication
