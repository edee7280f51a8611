// A store file as one side of a replication.
#include "ledra/replication/store_replica.h"

#include <cstdio>

#include "ledra/last_error.h"
#include "ledra/replication/cutoff_purge.h"

namespace ledra::replication {
namespace {

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

// The classes a transfer moves: never the replication formulas.
uint32_t ClassMask(uint32_t class_mask) {
  return (class_mask == 0 ? 0xFFFFFFFFu : class_mask) & ~kVXClassReplFormula;
}

}  // namespace

std::string PartnerKey(const std::string& server) {
  return "repl_partner." + Lower(server);
}

StoreReplica::StoreReplica(std::shared_ptr<Database> database)
    : database_(std::move(database)), store_(database_->store.get()), state_(store_) {}

StoreReplica::~StoreReplica() {
  if (receiving_) Abandon();
  if (sending_) EndSend();
}

VXStatus StoreReplica::Open(const std::string& server, const std::string& path, uint32_t open_flags,
                            std::unique_ptr<StoreReplica>* out) {
  std::shared_ptr<Database> database;
  if (VXStatus s = OpenDatabaseObject(server, path, open_flags, &database); s != kVXOk) return s;
  out->reset(new StoreReplica(std::move(database)));
  return kVXOk;
}

VXStatus StoreReplica::Origin() {
  if (origin_ != 0) return kVXOk;
  return state_.Instance(&origin_);
}

VXStatus StoreReplica::Identify(ReplicaIdentity* out) {
  out->label = store_->label();
  std::string text;
  if (VXStatus s = store_->GetInfo("replica_id", &text); s != kVXOk) return s;
  unsigned long a = 0, b = 0;
  if (std::sscanf(text.c_str(), "%lu %lu", &a, &b) != 2) {
    return Fail(kVXNotADatabase, store_->label() + " has no readable replica id; it is damaged");
  }
  out->replica_id[0] = static_cast<uint32_t>(a);
  out->replica_id[1] = static_cast<uint32_t>(b);
  if (VXStatus s = Origin(); s != kVXOk) return s;
  out->instance = origin_;
  return kVXOk;
}

// --- Sending -----------------------------------------------------------------

VXStatus StoreReplica::BeginSend() {
  if (VXStatus s = Origin(); s != kVXOk) return s;
  // A read transaction: every later read sees the file as it was at its
  // first read, whatever other programs save meanwhile.
  if (sqlite3_exec(store_->db(), "BEGIN", nullptr, nullptr, nullptr) != SQLITE_OK) {
    return Fail(kVXStorageError,
                store_->label() + " cannot be read: " + sqlite3_errmsg(store_->db()));
  }
  sending_ = true;
  return kVXOk;
}

void StoreReplica::EndSend() {
  if (!sending_) return;
  sending_ = false;
  sqlite3_exec(store_->db(), "COMMIT", nullptr, nullptr, nullptr);
}

VXStatus StoreReplica::ListChanges(int64_t since, uint64_t receiver, uint32_t class_mask,
                                   ChangeList* out) {
  out->changes.clear();
  const uint32_t mask = ClassMask(class_mask);
  const std::string receiver_text = OriginText(receiver);
  VXStatus s = state_.ListSince(since, [&](const NoteRow& row) {
    if (row.local_stub || (row.note_class & mask) == 0) return true;
    // Received from that partner and not changed here since: it has it.
    if (row.has_state && row.state_sequence == row.sequence && row.source == receiver_text)
      return true;
    NoteSummary summary;
    summary.id = row.id;
    summary.unid = row.unid;
    summary.note_class = row.note_class;
    summary.sequence = row.sequence;
    summary.modified = row.modified;
    summary.deleted = row.deleted;
    summary.chain = ReplicaState::EffectiveChain(row, origin_);
    out->changes.push_back(std::move(summary));
    return true;
  });
  if (s != kVXOk) return s;
  return state_.MaxSequence(&out->through);
}

VXStatus StoreReplica::LoadHeld(const NoteRow& row, NoteVersion* out) {
  out->note = Note{};
  out->note.id = row.id;
  out->note.unid = row.unid;
  out->note.note_class = row.note_class;
  out->note.created = row.created;
  out->note.modified = row.modified;
  out->note.sequence = row.sequence;
  out->note.has_parent = row.has_parent;
  out->note.parent = row.parent;
  if (VXStatus s = state_.ReadItems(row.id, &out->note.items); s != kVXOk) return s;
  out->attachments.clear();
  bool has = false;
  if (VXStatus s = state_.HasAttachments(row.id, &has); s != kVXOk) return s;
  std::vector<Attachment> listed;
  if (has) {
    if (VXStatus s = store_->ListAttachments(row.id, &listed); s != kVXOk) return s;
  }
  for (const Attachment& a : listed) {
    Attachment full;
    if (VXStatus s = store_->ReadAttachment(row.id, a.name, &full); s != kVXOk) return s;
    out->attachments.push_back(std::move(full));
  }
  out->chain = ReplicaState::EffectiveChain(row, origin_);
  return kVXOk;
}

VXStatus StoreReplica::ReadNote(const NoteSummary& which, NoteVersion* out) {
  NoteRow row;
  bool found = false;
  if (VXStatus s = state_.ReadRow(which.id, &row, &found); s != kVXOk) return s;
  if (!found || row.deleted) {
    return Fail(kVXNoteNotFound,
                "Document " + std::to_string(which.id) + " not found in " + label());
  }
  return LoadHeld(row, out);
}

// --- Receiving ---------------------------------------------------------------

VXStatus StoreReplica::ReceivedThrough(uint64_t sender, int64_t* since) {
  *since = 0;
  if (VXStatus s = filter_.Load(store_); s != kVXOk) return s;
  std::string recorded;
  if (VXStatus s = store_->GetInfo("repl_filter", &recorded); s != kVXOk) return s;
  if (recorded.empty() || FilterWidened(recorded, filter_.fingerprint())) return kVXOk;
  return state_.History(OriginText(sender), since);
}

VXStatus StoreReplica::BeginReceive(uint64_t sender, int64_t* since, ReceiveCounts* counts) {
  *since = 0;
  if (VXStatus s = Origin(); s != kVXOk) return s;
  if (VXStatus s = store_->BeginBatch(); s != kVXOk) return s;
  receiving_ = true;
  sender_ = OriginText(sender);
  VXStatus s = state_.EnsureTables();
  if (s == kVXOk) s = filter_.Load(store_);
  std::string recorded;
  if (s == kVXOk) s = store_->GetInfo("repl_filter", &recorded);
  if (s == kVXOk && recorded != filter_.fingerprint()) {
    if (recorded.empty() || FilterWidened(recorded, filter_.fingerprint()))
      s = state_.ClearHistory();
    // A replica whose selective formula changed holds only what the new
    // one selects: what it received and kept unchanged goes, locally.
    bool formula_changed = recorded.substr(0, recorded.find(' ')) !=
                           filter_.fingerprint().substr(0, filter_.fingerprint().find(' '));
    if (s == kVXOk && formula_changed && filter_.has_formula()) s = DropUnselected(counts);
    if (s == kVXOk) s = store_->SetInfo("repl_filter", filter_.fingerprint());
  }
  if (s == kVXOk) s = state_.History(sender_, since);
  if (s != kVXOk) Abandon();
  return s;
}

VXStatus StoreReplica::DropUnselected(ReceiveCounts* counts) {
  std::vector<VXNoteId> drop;
  VXStatus s = state_.ListLive(kVXClassDocument, [&](const NoteRow& row) {
    if (!row.has_state || row.source.empty() || row.state_sequence != row.sequence) return kVXOk;
    NoteVersion held;
    if (VXStatus l = LoadHeld(row, &held); l != kVXOk) return l;
    if (!filter_.Accepts(held.note)) drop.push_back(row.id);
    return kVXOk;
  });
  for (VXNoteId id : drop) {
    if (s == kVXOk) s = store_->Delete(id, /*purge=*/true);
    if (s == kVXOk) s = state_.DropState(id);
    if (s == kVXOk) ++counts->removed;
  }
  return s;
}

VXStatus StoreReplica::Write(const NoteVersion& version, const NoteRow* held) {
  Note note = version.note;
  std::vector<AttachmentChange> changes;
  note.id = 0;
  if (held != nullptr) {
    note.id = held->id;
    if (held->deleted) {
      if (VXStatus s = state_.Reopen(held->id); s != kVXOk) return s;
    } else {
      bool has = false;
      if (VXStatus s = state_.HasAttachments(held->id, &has); s != kVXOk) return s;
      std::vector<Attachment> old;
      if (has) {
        if (VXStatus s = store_->ListAttachments(held->id, &old); s != kVXOk) return s;
      }
      for (Attachment& a : old) changes.push_back(AttachmentChange{true, std::move(a)});
    }
  }
  for (const Attachment& a : version.attachments) changes.push_back(AttachmentChange{false, a});
  if (VXStatus s = store_->Save(&note, changes); s != kVXOk) return s;
  if (VXStatus s = state_.SetModified(note.id, version.note.modified); s != kVXOk) return s;
  return state_.WriteState(note.id, note.sequence, sender_, version.chain);
}

VXStatus StoreReplica::WriteDeletion(const NoteRow& held, const NoteSummary& stub) {
  if (VXStatus s = store_->Delete(held.id, /*purge=*/false); s != kVXOk) return s;
  if (VXStatus s = state_.SetModified(held.id, stub.modified); s != kVXOk) return s;
  int64_t sequence = 0;
  if (VXStatus s = state_.SequenceOf(held.id, &sequence); s != kVXOk) return s;
  return state_.WriteState(held.id, sequence, sender_, stub.chain);
}

VXStatus StoreReplica::KeepConflict(const NoteVersion& loser, const VXUnid& unid, bool as_response,
                                    ReceiveCounts* counts) {
  const Revision& revision = loser.chain.back();
  const VXUnid conflict_unid = ConflictUnid(unid, revision);
  NoteRow existing;
  bool found = false;
  if (VXStatus s = state_.FindByUnid(conflict_unid, &existing, &found); s != kVXOk) return s;
  if (found) return kVXOk;  // made already, here or by the partner
  NoteVersion conflict = loser;
  conflict.note.unid = conflict_unid;
  if (as_response) {
    conflict.note.has_parent = true;
    conflict.note.parent = unid;
  }
  conflict.note.PutItem(Item{kConflictItem, kVXTypeText, kVXItemSummary, ""});
  conflict.chain = Chain{revision};
  const std::string sender = sender_;
  sender_.clear();  // made here: every partner is sent it
  VXStatus s = Write(conflict, nullptr);
  sender_ = sender;
  if (s == kVXOk) ++counts->conflicts;
  return s;
}

VXStatus StoreReplica::Receive(const NoteSummary& in, const FetchNote& fetch,
                               ReceiveCounts* counts) {
  if ((in.note_class & kVXClassReplFormula) != 0 || in.chain.empty()) return kVXOk;
  NoteRow held;
  bool found = false;
  if (VXStatus s = state_.FindByUnid(in.unid, &held, &found); s != kVXOk) return s;
  const bool absent = !found || held.local_stub;

  if (in.deleted) {
    if (absent || held.deleted) return kVXOk;
    Chain mine = ReplicaState::EffectiveChain(held, origin_);
    Lineage lineage = CompareChains(in.chain, mine);
    bool take = lineage == Lineage::kIncomingNewer ||
                (lineage == Lineage::kConflict && Later(in.chain.back(), mine.back()));
    if (!take) return kVXOk;
    if (lineage == Lineage::kConflict) {
      NoteVersion edit;
      if (VXStatus s = LoadHeld(held, &edit); s != kVXOk) return s;
      if (VXStatus s = KeepConflict(edit, in.unid, /*as_response=*/false, counts); s != kVXOk)
        return s;
    }
    if (VXStatus s = WriteDeletion(held, in); s != kVXOk) return s;
    ++counts->deletions;
    return kVXOk;
  }

  Chain mine;
  Lineage lineage = Lineage::kIncomingNewer;
  if (!absent) {
    mine = ReplicaState::EffectiveChain(held, origin_);
    lineage = CompareChains(in.chain, mine);
    if (lineage == Lineage::kSame || lineage == Lineage::kLocalNewer) return kVXOk;
  }
  NoteVersion version;
  if (VXStatus s = fetch(&version); s != kVXOk) {
    // Deleted at the sender since it was listed: its stub comes next time.
    return s == kVXNoteNotFound ? kVXOk : s;
  }
  if (version.chain.empty() || !filter_.Accepts(version.note)) return kVXOk;
  if (absent) {
    if (VXStatus s = Write(version, found ? &held : nullptr); s != kVXOk) return s;
    ++counts->additions;
    return kVXOk;
  }
  const bool incoming_wins =
      lineage == Lineage::kIncomingNewer || Later(version.chain.back(), mine.back());
  if (!incoming_wins) {
    // The version held here stays; the incoming one is kept beside it.
    return KeepConflict(version, in.unid, /*as_response=*/!held.deleted, counts);
  }
  if (lineage == Lineage::kConflict && !held.deleted) {
    NoteVersion loser;
    if (VXStatus s = LoadHeld(held, &loser); s != kVXOk) return s;
    if (VXStatus s = KeepConflict(loser, in.unid, /*as_response=*/true, counts); s != kVXOk)
      return s;
  }
  if (VXStatus s = Write(version, &held); s != kVXOk) return s;
  if (held.deleted) {
    ++counts->additions;
  } else {
    ++counts->updates;
  }
  return kVXOk;
}

void StoreReplica::Abandon() {
  receiving_ = false;
  sqlite3_exec(store_->db(), "ROLLBACK", nullptr, nullptr, nullptr);
  // The store sees its transaction gone and ends its batch.
  (void)store_->CommitBatch();
  state_.AfterRollback();
}

VXStatus StoreReplica::EndReceive(bool commit, int64_t through) {
  if (!receiving_) return kVXOk;
  if (!commit) {
    Abandon();
    return kVXOk;
  }
  VXStatus s = state_.SetHistory(sender_, through);
  if (s == kVXOk) {
    receiving_ = false;
    s = store_->CommitBatch();
    if (s != kVXOk) state_.AfterRollback();
    return s;
  }
  LastError keep = LastFailure();
  Abandon();
  return Fail(keep.code, keep.message, keep.detail);
}

// --- Upkeep ------------------------------------------------------------------

VXStatus StoreReplica::PurgeBeforeCutoff(uint32_t* purged) {
  return replication::PurgeBeforeCutoff(store_, &state_, purged);
}

VXStatus StoreReplica::PartnerPath(const std::string& server, std::string* path) {
  return store_->GetInfo(PartnerKey(server), path);
}

VXStatus StoreReplica::RememberPartner(const std::string& server, const std::string& path) {
  std::string known;
  if (VXStatus s = PartnerPath(server, &known); s != kVXOk) return s;
  if (known == path) return kVXOk;
  return store_->SetInfo(PartnerKey(server), path);
}

}  // namespace ledra::replication
